#include "fov/fov_scene.h"

#include "fov/projection.h"
#include "fov/scene_drawing.h"
#include "geometry/readers.h"
#include "platform/bitmap.h"
#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/float_checks.h"
#include "platform/numbers.h"
#include "platform/parallel.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <unordered_set>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace skarvel {

namespace {

bool IsComment(const QString& line) { return line.startsWith(QStringLiteral("//")); }

// A name from the list as the readers are to open it: names without a
// folder, or with a relative one, are taken from the list's folder.
QString ResolveName(const QString& folder, const QString& nameFromList) {
  const QString name = NativeFileName(nameFromList);
  if (name.isEmpty()) return nameFromList;
  // Only a name starting with ":" may be Qt's own (a resource); asking the
  // file system's view of the others costs more than the rest of the load.
  const bool absolute = name.startsWith(u':') ? QFileInfo(name).isAbsolute() : name.startsWith(u'/');
  if (absolute) return nameFromList;
  return JoinPath(folder, name);
}

QString CornerLine(const VT_Point& corner) {
  // Made in a scratch text, then copied at its size: one allocation a line.
  thread_local QString scratch;
  scratch.clear();
  AppendShortNumber(scratch, corner.X);
  scratch += QLatin1StringView("  -  ");
  AppendShortNumber(scratch, corner.Y);
  return QString(scratch.constData(), scratch.size());
}

}  // namespace

int NextDataLine(const QStringList& lines, int start) {
  for (int i = std::max(start, 0); i < lines.size(); ++i)
    if (!IsComment(lines[i])) return i;
  return -1;
}

int SkipCommentLines(const QStringList& lines, int start) {
  int i = start;
  while (true) {
    if (i < 0 || i >= lines.size()) throw Error(messages::ListIndexOutOfBounds(i));
    if (!IsComment(lines[i])) return i;
    ++i;
  }
}

void MoveFootprint(std::vector<VT_Point>& corners, size_t first, size_t moved, size_t target) {
  const double dY = fp::ToDouble(static_cast<long double>(corners.at(target).Y) - corners.at(moved).Y);
  const double dX = fp::ToDouble(static_cast<long double>(corners.at(target).X) - corners.at(moved).X);
  for (size_t i = first; i < first + 4; ++i)
    corners.at(i).Y = fp::ToDouble(corners.at(i).Y + static_cast<long double>(dY));
  for (size_t i = first; i < first + 4; ++i)
    corners.at(i).X = fp::ToDouble(corners.at(i).X + static_cast<long double>(dX));
}

QString NoFramesMessage(const QString& listFileName) {
  return QStringLiteral("Список %1 не содержит ни одного кадра.").arg(QFileInfo(listFileName).fileName());
}

QString FrameFileMessage(const QString& fileName, int frame) {
  return QStringLiteral("Кадр %1: файл «%2» не прочитан, загрузка списка прервана.").arg(frame).arg(fileName);
}

FovScene::FovScene() : drawing_(BlankPicture(kDrawingWidth, kDrawingHeight)) {}

void FovScene::ClearPictures() {
  drawing_.fill(ButtonFaceColor());
  legendEntries_.clear();
}

void FovScene::LoadFovList(const QString& listFileName, TOrientationSystem system) {
  system_ = system;
  if (listFileName.isEmpty()) return;
  geometryNames_.clear();
  footprints_.SetLength(0);
  frames_.clear();

  // An unreadable list ends the load here, with the previous picture intact.
  const QStringList lines = ReadTextLines(listFileName);
  ClearPictures();

  // The corners are gathered in a vector (the shared array would be copied
  // for every frame) and handed over whether or not the load completes.
  std::vector<VT_Point> corners;
  auto publish = [&] {
    footprints_.SetLength(static_cast<int>(corners.size()));
    for (size_t i = 0; i < corners.size(); ++i)
      footprints_.At(static_cast<int>(i)).CopyCoordinates(corners[i]);
  };
  try {
    LoadFrames(lines, QFileInfo(listFileName).absolutePath(), corners);
  } catch (...) {
    publish();
    throw;
  }
  publish();
  if (footprints_.Length() == 0) throw Error(NoFramesMessage(listFileName));
  Draw();
}

namespace {

// What one frame's projection gives, made on any thread; a failure is kept
// to be raised when the frame's turn comes.
struct ProjectedFrame {
  FrameProjection projection;
  TFootprint footprint;
  QString lines[4];  // the corner lines made before any failure
  int lineCount = 0;
  std::exception_ptr failure;  // of the projection or of corner line lineCount
};

void ProjectFrame(TOrientationSystem system, const TCameraParams& camera, const TImageGeometry& geometry,
                  ProjectedFrame& out) {
  try {
    FrameProjection& projection = out.projection;
    projection.dlt = ComputeDlt(system, camera.FocalLength, geometry);
    projection.divisor = static_cast<double>(DltDivisor(RotationMatrix(system, geometry), geometry));
    projection.inverse = InvertHomography(SceneHomography(projection.dlt));
    out.footprint = ProjectFootprint(projection.inverse, camera);
    for (const VT_Point* corner : {&out.footprint.A, &out.footprint.B, &out.footprint.C, &out.footprint.D})
      out.lines[out.lineCount++] = CornerLine(*corner);
  } catch (...) {
    out.failure = std::current_exception();
  }
}

// The bytes of a small file through one open and one read where it fits
// the buffer (a geometry file is a few hundred bytes; the general reader asks
// for the file's status three times). A read shorter than asked ends a
// plain file; what is not one (a folder, a pipe without data, a device that
// never ends) fails here, opened without waiting, and the reporting reader
// then meets it again. Empty after any fault.
bool ReadSmallFile(const QString& nameFromList, QByteArray& bytes) {
  constexpr qsizetype kFirstRead = 4096, kMost = qsizetype{1} << 20;
  const QByteArray path = QFile::encodeName(NativeFileName(nameFromList));
  if (path.isEmpty()) return false;
  const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  bytes.resize(kFirstRead);
  qsizetype got = 0;
  bool ok = true;
  while (true) {
    const ssize_t n = ::read(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got));
    if (n < 0) ok = false;
    if (n <= 0) break;
    got += n;
    if (got < bytes.size()) break;  // short: the end of the file
    if (bytes.size() >= kMost) {
      ok = false;
      break;
    }
    bytes.resize(2 * bytes.size());
  }
  bytes.resize(ok ? got : 0);
  ::close(fd);
  return ok;
}

// A geometry file read and parsed without reporting a fault (the reporting
// reader reads it again when its frame's turn comes).
struct QuietGeometry {
  TImageGeometry geometry;
  bool ok = false;
};

}  // namespace

void FovScene::LoadFrames(const QStringList& lines, const QString& folder, std::vector<VT_Point>& corners) {
  // The frames' data lines: a frame needs two; a lone one at the end is
  // ignored.
  std::vector<std::pair<int, int>> frameLines;
  for (int last = -1;;) {
    const int geometryLine = NextDataLine(lines, last + 1);
    if (geometryLine < 0) break;
    const int cameraLine = NextDataLine(lines, geometryLine + 1);
    if (cameraLine < 0) break;
    last = cameraLine;
    frameLines.emplace_back(geometryLine, cameraLine);
  }
  const int count = static_cast<int>(frameLines.size());
  std::vector<QString> geometryNames(static_cast<size_t>(count)), geometryFiles(geometryNames.size()),
      cameraNames(geometryNames.size()), cameraFiles(geometryNames.size());
  ForEachRange(count, 1024, [&](int begin, int end) {
    for (size_t n = static_cast<size_t>(begin); n < static_cast<size_t>(end); ++n) {
      geometryNames[n] = NumberField(lines[frameLines[n].first]);
      geometryFiles[n] = ResolveName(folder, geometryNames[n]);
      // Frames in a row mostly share their camera's line.
      const QString& cameraLine = lines[frameLines[n].second];
      if (n > static_cast<size_t>(begin) && cameraLine == lines[frameLines[n - 1].second]) {
        cameraNames[n] = cameraNames[n - 1];
        cameraFiles[n] = cameraFiles[n - 1];
      } else {
        cameraNames[n] = NumberField(cameraLine);
        cameraFiles[n] = ResolveName(folder, cameraNames[n]);
      }
    }
  });

  // A file that several frames name is read once per load: its values are
  // those of a successful read (a failed one ends the load), so a frame
  // taking them from here gets what reading the file again would give.
  // Geometry files, one per frame in a survey, are read on every core
  // first; camera files, a few shared by all, when a frame first needs one.
  std::vector<int> geometryOf(static_cast<size_t>(count)), cameraOf(geometryOf.size());
  std::vector<QString> distinctGeometries;
  QHash<QString, int> geometryIndex, cameraIndex;
  for (size_t n = 0; n < geometryOf.size(); ++n) {
    auto g = geometryIndex.constFind(geometryFiles[n]);
    if (g == geometryIndex.constEnd()) {
      g = geometryIndex.insert(geometryFiles[n], static_cast<int>(distinctGeometries.size()));
      distinctGeometries.push_back(geometryFiles[n]);
    }
    geometryOf[n] = *g;
    auto c = cameraIndex.constFind(cameraFiles[n]);
    if (c == cameraIndex.constEnd())
      c = cameraIndex.insert(cameraFiles[n], static_cast<int>(cameraIndex.size()));
    cameraOf[n] = *c;
  }
  std::vector<QuietGeometry> geometries(distinctGeometries.size());
  ForEachRange(static_cast<int>(geometries.size()), 64, [&](int begin, int end) {
    QByteArray bytes;  // one buffer for the range's files
    for (size_t i = static_cast<size_t>(begin); i < static_cast<size_t>(end); ++i) {
      if (!ReadSmallFile(distinctGeometries[i], bytes)) continue;
      if (ParseImageGeometryBytes(bytes, geometries[i].geometry)) {
        geometries[i].ok = true;
        continue;
      }
      try {
        ParseImageGeometry(TextLines(std::move(bytes)), geometries[i].geometry);
        geometries[i].ok = true;
      } catch (const std::exception&) {
      }
    }
  });
  std::vector<TCameraParams> cameras(static_cast<size_t>(cameraIndex.size()));
  std::vector<char> cameraRead(cameras.size(), 0);
  TCameraParams camera;  // carried from frame to frame within the load

  // Frames are projected on every core a batch at a time (a run of frames
  // whose files are all read) and taken in list order, so that a failure
  // ends the load at the same frame, with the same corner lines and
  // messages, as taking the frames one by one.
  std::vector<ProjectedFrame> batch;
  int batchBegin = 0;
  // Room for every frame at once: a survey's lists would otherwise be copied
  // as they grow.
  geometryNames_.reserve(count);
  cornerLines_.reserve(cornerLines_.size() + 5 * qsizetype{count});
  corners.reserve(4 * static_cast<size_t>(count));
  frames_.reserve(static_cast<size_t>(count));
  for (int frame = 1; frame <= count; ++frame) {
    const size_t n = static_cast<size_t>(frame - 1);
    geometryNames_.append(geometryNames[n]);
    // A frame whose files cannot be read must not be drawn from another
    // frame's values: the reader has reported it, and the load ends.
    QuietGeometry& read = geometries[static_cast<size_t>(geometryOf[n])];
    if (!read.ok) {
      if (!ReadImageGeometry(geometryFiles[n], geometry_))
        throw Error(FrameFileMessage(NativeFileName(geometryNames[n]), frame));
      read = {geometry_, true};  // readable after all
    }
    geometry_ = read.geometry;
    const size_t c = static_cast<size_t>(cameraOf[n]);
    if (!cameraRead[c]) {
      if (ReadCameraFile(cameraFiles[n], camera) == 0)
        throw Error(FrameFileMessage(NativeFileName(cameraNames[n]), frame));
      if (camera.CompanionLines.isEmpty()) throw Error(messages::ListIndexOutOfBounds(0));
      camera.RowScale = FileStrToFloat(camera.CompanionLines.front());
      cameras[c] = camera;
      cameras[c].CompanionLines = QStringList();  // nothing needs them after the row scale
      cameraRead[c] = 1;
    }

    if (n >= static_cast<size_t>(batchBegin) + batch.size()) {
      // The next batch: from this frame to the first whose files are not
      // read yet.
      size_t end = n + 1;
      while (end < geometryOf.size() && end - n < 8192 &&
             geometries[static_cast<size_t>(geometryOf[end])].ok &&
             cameraRead[static_cast<size_t>(cameraOf[end])])
        ++end;
      batchBegin = static_cast<int>(n);
      batch.assign(end - n, ProjectedFrame());
      ForEachRange(static_cast<int>(batch.size()), 256, [&](int begin, int stop) {
        for (size_t i = static_cast<size_t>(begin); i < static_cast<size_t>(stop); ++i)
          ProjectFrame(system_, cameras[static_cast<size_t>(cameraOf[n + i])],
                       geometries[static_cast<size_t>(geometryOf[n + i])].geometry, batch[i]);
      });
    }
    ProjectedFrame& projected = batch[n - static_cast<size_t>(batchBegin)];
    for (int i = 0; i < projected.lineCount; ++i) cornerLines_.append(std::move(projected.lines[i]));
    if (projected.failure) std::rethrow_exception(projected.failure);
    cornerLines_.append(QString());
    const TFootprint& footprint = projected.footprint;

    if (frame == 1) trackPoint_.CopyCoordinates(ProjectTrackPoint(projected.projection.inverse));

    const size_t first = corners.size();
    for (const VT_Point* corner : {&footprint.A, &footprint.B, &footprint.C, &footprint.D})
      corners.emplace_back().CopyCoordinates(*corner);
    projected.projection.camera = cameras[c];
    frames_.push_back(std::move(projected.projection));

    // Frames 2 to 5 join frame 1 in one strip (corners A, B, C, D of frame
    // n are elements 4 (n - 1) to 4 (n - 1) + 3).
    switch (frame) {
      case 2:  // D onto frame 1's A
        MoveFootprint(corners, first, first + 3, 0);
        break;
      case 3:  // D onto frame 2's A
        MoveFootprint(corners, first, first + 3, 4);
        break;
      case 4:  // A onto frame 1's D
        MoveFootprint(corners, first, first, 3);
        break;
      case 5:  // A onto frame 4's D
        MoveFootprint(corners, first, first, 15);
        break;
      default:
        break;
    }
  }
}

namespace {

// The pixels and colour of one footprint's outline.
struct Outline {
  OutlinePixels pixels;
  TColor color;
};

struct PixelsHash {
  size_t operator()(const OutlinePixels& pixels) const {
    size_t h = 0;
    for (const QPoint& p : pixels) h = h * 1000003u ^ qHash(p);
    return h;
  }
};

}  // namespace

void FovScene::Draw() {
  view_ = FitSceneView(footprints_, drawing_.width(), drawing_.height());
  const int frames = footprints_.Length() / 4;

  // Outlines and legend entries are made on every core; should a frame's
  // pixels fail, the legend keeps the entries before it, as when they are
  // made in turn.
  std::vector<Outline> outlines(static_cast<size_t>(frames));
  std::vector<LegendEntry> entries(outlines.size());
  std::vector<std::exception_ptr> failures(outlines.size());
  const DynamicArray<VT_Point>& corners = footprints_;
  const QStringList& names = geometryNames_;
  ForEachRange(frames, 2048, [&](int begin, int end) {
    for (int n = begin; n < end; ++n) {
      const size_t i = static_cast<size_t>(n);
      try {
        const TColor color = PaletteColor(n);
        outlines[i] = {FootprintPixels(view_, corners.At(4 * n), corners.At(4 * n + 1), corners.At(4 * n + 2),
                                       corners.At(4 * n + 3)),
                       color};
        // Entries alternate between the columns; a row holds two.
        entries[i] = {color, LegendLabel(names.at(n)), n % 2 == 0 ? 1 : 2, n / 2};
      } catch (...) {
        failures[i] = std::current_exception();
        return;
      }
    }
  });
  const auto failed =
      std::find_if(failures.begin(), failures.end(), [](const auto& f) { return f != nullptr; });
  entries.resize(static_cast<size_t>(failed - failures.begin()));
  legendEntries_ = std::move(entries);
  if (failed != failures.end()) std::rethrow_exception(*failed);
  // An outline's stroke covers the same pixels whatever its colour, so an
  // outline drawn again later through the same corner pixels (in any colour)
  // covers every pixel of the earlier one, whatever lies between: only the
  // last of such repeats needs drawing. Lists that repeat frames draw each
  // distinct outline once, and a survey too small on the drawing to tell
  // its frames apart draws only the last of those that meet the same pixels.
  std::vector<bool> drawn(outlines.size(), false);
  std::unordered_set<OutlinePixels, PixelsHash> later;
  for (size_t n = outlines.size(); n-- > 0;) drawn[n] = later.insert(outlines[n].pixels).second;

  DrawTrack(drawing_, view_, trackPoint_);
  QPainter painter(&drawing_);
  for (size_t n = 0; n < outlines.size(); ++n)
    if (drawn[n]) DrawOutline(painter, outlines[n].pixels, outlines[n].color);
}

int FovScene::LegendWidth() const { return kLegendWidth; }

int FovScene::LegendHeight() const { return skarvel::LegendHeight(static_cast<int>(legendEntries_.size())); }

QImage FovScene::LegendBand(const QRect& area) const {
  QImage band = BlankPicture(area.width(), area.height());
  if (area.isEmpty() || legendEntries_.empty()) return band;
  // An entry of row r paints within pixel rows 30 r + 22 to 30 r + 60 (its
  // label's cell and its line at 30 r + 30): only the rows of entries that
  // can reach the area are painted, in the order the entries were made.
  const int top = area.top(), bottom = area.bottom() + 1;
  const int lastRow = legendEntries_.back().row;
  const int firstRow = std::clamp((top - 2 * kLegendRowHeight) / kLegendRowHeight, 0, lastRow + 1);
  const int endRow = std::clamp(bottom / kLegendRowHeight + 1, 0, lastRow + 1);
  if (firstRow >= endRow) return band;
  QPainter painter(&band);
  painter.translate(-area.left(), -top);
  const size_t firstEntry = 2 * static_cast<size_t>(firstRow);
  for (size_t i = firstEntry; i < legendEntries_.size() && legendEntries_[i].row < endRow; ++i) {
    const LegendEntry& entry = legendEntries_[i];
    PaintLegendEntry(painter, kLegendStartHeight + kLegendRowHeight * entry.row, entry.color, entry.label,
                     entry.column);
  }
  return band;
}

void FovScene::PaintLegend(QPainter& painter, const QRect& area) const {
  if (area.isEmpty()) return;
  painter.drawImage(area.topLeft(), LegendBand(area));
}

void FovScene::SaveDrawing(const QString& fileName) const { SaveBitmap24(drawing_, fileName); }

void FovScene::SaveLegend(const QString& fileName) const {
  const int width = LegendWidth();
  SaveBitmap24Bands(fileName, width, LegendHeight(),
                    [&](int begin, int end, std::uint8_t* out, std::ptrdiff_t stride) {
                      const QImage band = LegendBand(QRect(0, begin, width, end - begin));
                      for (int y = begin; y < end; ++y, out += stride) {
                        const auto* in = reinterpret_cast<const QRgb*>(band.constScanLine(y - begin));
                        std::uint8_t* p = out;
                        for (int x = 0; x < width; ++x) {
                          *p++ = static_cast<std::uint8_t>(qBlue(in[x]));
                          *p++ = static_cast<std::uint8_t>(qGreen(in[x]));
                          *p++ = static_cast<std::uint8_t>(qRed(in[x]));
                        }
                      }
                    });
}

}  // namespace skarvel
