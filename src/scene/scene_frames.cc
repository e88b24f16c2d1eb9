#include "scene/scene_frames.h"

#include "geometry/readers.h"
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
#include <exception>
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

// The names of each frame's files, as the list gives them and as they are
// opened.
struct FrameNames {
  std::vector<QString> geometryNames, geometryFiles, cameraNames, cameraFiles;
};

FrameNames ResolveFrameNames(const QStringList& lines, const std::vector<std::pair<int, int>>& frameLines,
                             const QString& folder) {
  const size_t count = frameLines.size();
  FrameNames names{std::vector<QString>(count), std::vector<QString>(count), std::vector<QString>(count),
                   std::vector<QString>(count)};
  ForEachRange(static_cast<int>(count), 1024, [&](int begin, int end) {
    for (size_t n = static_cast<size_t>(begin); n < static_cast<size_t>(end); ++n) {
      names.geometryNames[n] = NumberField(lines[frameLines[n].first]);
      names.geometryFiles[n] = ResolveName(folder, names.geometryNames[n]);
      // Frames in a row mostly share their camera's line.
      const QString& cameraLine = lines[frameLines[n].second];
      if (n > static_cast<size_t>(begin) && cameraLine == lines[frameLines[n - 1].second]) {
        names.cameraNames[n] = names.cameraNames[n - 1];
        names.cameraFiles[n] = names.cameraFiles[n - 1];
      } else {
        names.cameraNames[n] = NumberField(cameraLine);
        names.cameraFiles[n] = ResolveName(folder, names.cameraNames[n]);
      }
    }
  });
  return names;
}

// A file that several frames name is read once per load: per frame the
// index of its geometry file among the distinct ones, and of its camera
// file.
struct FileIndex {
  std::vector<int> geometryOf, cameraOf;
  std::vector<QString> distinctGeometries;
  int cameraCount = 0;
};

FileIndex IndexFiles(const FrameNames& names) {
  FileIndex index;
  const size_t count = names.geometryFiles.size();
  index.geometryOf.resize(count);
  index.cameraOf.resize(count);
  QHash<QString, int> geometryIndex, cameraIndex;
  for (size_t n = 0; n < count; ++n) {
    auto g = geometryIndex.constFind(names.geometryFiles[n]);
    if (g == geometryIndex.constEnd()) {
      g = geometryIndex.insert(names.geometryFiles[n], static_cast<int>(index.distinctGeometries.size()));
      index.distinctGeometries.push_back(names.geometryFiles[n]);
    }
    index.geometryOf[n] = *g;
    auto c = cameraIndex.constFind(names.cameraFiles[n]);
    if (c == cameraIndex.constEnd())
      c = cameraIndex.insert(names.cameraFiles[n], static_cast<int>(cameraIndex.size()));
    index.cameraOf[n] = *c;
  }
  index.cameraCount = static_cast<int>(cameraIndex.size());
  return index;
}

// Geometry files, one per frame in a survey, read on every core without
// reporting (a file that fails here is read again by the reporting reader
// when its frame's turn comes).
std::vector<QuietGeometry> ReadGeometriesQuietly(const std::vector<QString>& files) {
  std::vector<QuietGeometry> geometries(files.size());
  ForEachRange(static_cast<int>(geometries.size()), 64, [&](int begin, int end) {
    QByteArray bytes;  // one buffer for the range's files
    for (size_t i = static_cast<size_t>(begin); i < static_cast<size_t>(end); ++i) {
      if (!ReadSmallFile(files[i], bytes)) continue;
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
  return geometries;
}

// Moves frame `frame`'s footprint (its corners from `first` on) as the strip
// links it, if they do.
void ChainIntoStrip(std::vector<VT_Point>& corners, int frame, size_t first) {
  for (const StripLink& link : kStripLinks)
    if (link.frame == frame)
      MoveFootprint(corners, first, first + static_cast<size_t>(link.moved),
                    4 * static_cast<size_t>(link.neighbour - 1) + static_cast<size_t>(link.target));
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

std::vector<std::pair<int, int>> ListFrameLines(const QStringList& lines) {
  // A frame needs two data lines; a lone one at the end is ignored.
  std::vector<std::pair<int, int>> frameLines;
  for (int last = -1;;) {
    const int geometryLine = NextDataLine(lines, last + 1);
    if (geometryLine < 0) break;
    const int cameraLine = NextDataLine(lines, geometryLine + 1);
    if (cameraLine < 0) break;
    last = cameraLine;
    frameLines.emplace_back(geometryLine, cameraLine);
  }
  return frameLines;
}

int StripNeighbour(int frame) {
  for (const StripLink& link : kStripLinks)
    if (link.frame == frame) return link.neighbour;
  return 0;
}

QString FrameFileMessage(const QString& fileName, int frame) {
  return QStringLiteral("Кадр %1: файл «%2» не прочитан, загрузка списка прервана.").arg(frame).arg(fileName);
}

void SceneFrames::ClearFrames() {
  geometryNames_.clear();
  footprints_.SetLength(0);
  frames_.clear();
}

void SceneFrames::LoadFrames(const QStringList& lines, const QString& folder, TOrientationSystem system) {
  const std::vector<std::pair<int, int>> frameLines = ListFrameLines(lines);
  const int count = static_cast<int>(frameLines.size());
  const FrameNames names = ResolveFrameNames(lines, frameLines, folder);
  const FileIndex files = IndexFiles(names);
  std::vector<QuietGeometry> geometries = ReadGeometriesQuietly(files.distinctGeometries);
  // Camera files, a few shared by all, are read when a frame first needs one.
  std::vector<TCameraParams> cameras(static_cast<size_t>(files.cameraCount));
  std::vector<char> cameraRead(cameras.size(), 0);
  TCameraParams camera;  // carried from frame to frame within the load

  // The corners are gathered in a vector (the shared array would be copied
  // for every frame) and handed over whether or not the load completes.
  std::vector<VT_Point> corners;
  struct Publish {
    std::vector<VT_Point>& corners;
    DynamicArray<VT_Point>& footprints;
    ~Publish() {
      footprints.SetLength(static_cast<int>(corners.size()));
      for (size_t i = 0; i < corners.size(); ++i)
        footprints.At(static_cast<int>(i)).CopyCoordinates(corners[i]);
    }
  } publish{corners, footprints_};

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
    geometryNames_.append(names.geometryNames[n]);
    // A frame whose files cannot be read must not be drawn from another
    // frame's values: the reader has reported it, and the load ends.
    QuietGeometry& read = geometries[static_cast<size_t>(files.geometryOf[n])];
    if (!read.ok) {
      if (!ReadImageGeometry(names.geometryFiles[n], geometry_))
        throw Error(FrameFileMessage(NativeFileName(names.geometryNames[n]), frame));
      read = {geometry_, true};  // readable after all
    }
    geometry_ = read.geometry;
    const size_t c = static_cast<size_t>(files.cameraOf[n]);
    if (!cameraRead[c]) {
      if (ReadCameraFile(names.cameraFiles[n], camera) == 0)
        throw Error(FrameFileMessage(NativeFileName(names.cameraNames[n]), frame));
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
      while (end < files.geometryOf.size() && end - n < 8192 &&
             geometries[static_cast<size_t>(files.geometryOf[end])].ok &&
             cameraRead[static_cast<size_t>(files.cameraOf[end])])
        ++end;
      batchBegin = static_cast<int>(n);
      batch.assign(end - n, ProjectedFrame());
      ForEachRange(static_cast<int>(batch.size()), 256, [&](int begin, int stop) {
        for (size_t i = static_cast<size_t>(begin); i < static_cast<size_t>(stop); ++i)
          ProjectFrame(system, cameras[static_cast<size_t>(files.cameraOf[n + i])],
                       geometries[static_cast<size_t>(files.geometryOf[n + i])].geometry, batch[i]);
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
    ChainIntoStrip(corners, frame, first);
  }
}

}  // namespace skarvel
