// The text files of a scene: image geometry files, camera files with their
// companion, and whole field-of-view lists. Each is read with both decimal
// separators.

#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"

#include "fov/fov_scene.h"
#include "geometry/readers.h"
#include "geometry/records.h"
#include "platform/error.h"
#include "platform/files.h"

#include <bit>
#include <cmath>
#include <limits>

namespace skarvel::fuzz {
namespace {

// Values the readers never store: they accept finite numbers only.
constexpr double kUntouched = std::numeric_limits<double>::quiet_NaN();

bool Untouched(double v) { return std::isnan(v); }

bool NoInfOrNan(const QString& text) {
  return !text.contains(QLatin1String("inf"), Qt::CaseInsensitive) &&
         !text.contains(QLatin1String("nan"), Qt::CaseInsensitive);
}

void RequireReported(const SilentSink& sink, bool ok, const QString& text, const char* reader) {
  if (ok) {
    Require(sink.count == 0, std::string(reader) + " succeeded and reported a fault");
  } else {
    Require(sink.count == 1, std::string(reader) + " failed with " + std::to_string(sink.count) + " reports");
    Require(sink.caption == kReaderErrorCaption && sink.text == text,
            std::string(reader) + " reported '" + sink.text.toStdString() + "'");
  }
}

TImageGeometry UntouchedGeometry() {
  TImageGeometry g;
  g.Values.fill(kUntouched);
  return g;
}

}  // namespace

void FuzzImageGeometry(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QStringList lines = TextLines(bytes);
  const QString fileName = Scratch::Fresh().write(QStringLiteral("frame.ort"), bytes);
  for (QChar separator : kSeparators) {
    Separator scope(separator);
    TImageGeometry parsed = UntouchedGeometry();
    bool parsedOk = true;
    try {
      ParseImageGeometry(lines, parsed);
    } catch (const Error&) {
      parsedOk = false;
    }
    // Values are stored one by one as their lines convert: the ones stored
    // form a prefix, all of them after a success.
    int stored = 0;
    while (stored < 21 && !Untouched(parsed[stored])) ++stored;
    for (int i = stored; i < 21; ++i) Require(Untouched(parsed[i]), "a value stored after a faulty line");
    for (int i = 0; i < stored; ++i) Require(std::isfinite(parsed[i]), "a stored value is not finite");
    Require(parsedOk == (stored == 21), "success and the values stored disagree");

    SilentSink sink;
    TImageGeometry read = UntouchedGeometry();
    QList<QByteArray> source;
    const bool ok = ReadImageGeometry(fileName, read, &source);
    RequireReported(sink, ok, kImageGeometryReadError, "ReadImageGeometry");
    Require(ok == parsedOk, "the file reader and the parser disagree");
    for (int i = 0; i < 21; ++i)
      Require(std::bit_cast<std::uint64_t>(read[i]) == std::bit_cast<std::uint64_t>(parsed[i]),
              "the file reader and the parser store different values");
    if (ok) Require(source == SplitLines(bytes), "the source lines are not the file's lines");
  }
}

void FuzzCameraFile(const std::uint8_t* data, std::size_t size) {
  const QList<QByteArray> parts = SplitParts(data, size, 2);
  if (ReachesOutside(parts.value(0), false)) return;
  const Scratch& scratch = Scratch::Fresh();
  const QString fileName = scratch.write(QStringLiteral("camera.cam"), parts.value(0));
  if (parts.size() > 1) scratch.write(QStringLiteral("rows.txt"), parts[1]);
  const int cameraLines = static_cast<int>(TextLines(parts.value(0)).size());

  for (QChar separator : kSeparators) {
    Separator scope(separator);
    SilentSink sink;
    TCameraParams camera;
    camera.PrincipalColumn = camera.PrincipalRow = camera.FocalLength = kUntouched;
    camera.FrameWidth = camera.FrameHeight = camera.RowScale = kUntouched;
    camera.CompanionLines = QStringList{QStringLiteral("untouched")};
    const int ok = ReadCameraFile(fileName, camera);
    Require(ok == 0 || ok == 1, "ReadCameraFile returned " + std::to_string(ok));
    RequireReported(sink, ok == 1, kCameraReadError, "ReadCameraFile");
    Require(Untouched(camera.RowScale), "the camera reader set the row scale");
    if (ok == 1) {
      Require(cameraLines >= 6, "a camera file of fewer than six lines was read");
      for (double v : {camera.PrincipalColumn, camera.PrincipalRow, camera.FrameWidth, camera.FrameHeight})
        Require(std::isfinite(v), "a camera value is not finite");
      Require(std::isfinite(camera.FocalLength), "the focal length is not finite");
    } else {
      // What was not converted keeps its old value; nothing becomes infinite.
      for (double v : {camera.PrincipalColumn, camera.PrincipalRow, camera.FocalLength, camera.FrameWidth,
                       camera.FrameHeight})
        Require(Untouched(v) || std::isfinite(v), "a camera value is not finite");
    }
  }
}

void FuzzFovList(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  // The first byte chooses the orientation system and the separator.
  const int selector = data[0] % 6;
  const auto system = static_cast<TOrientationSystem>(selector % 3 + 1);
  const QList<QByteArray> parts = SplitParts(data + 1, size - 1, 4);
  if (ReachesOutside(parts.value(0), true) || ReachesOutside(parts.value(2), false)) return;

  const Scratch& scratch = Scratch::Fresh();
  const QString listName = scratch.write(QStringLiteral("scene.lst"), parts.value(0));
  if (parts.size() > 1) scratch.write(QStringLiteral("frame.ort"), parts[1]);
  if (parts.size() > 2) scratch.write(QStringLiteral("camera.cam"), parts[2]);
  if (parts.size() > 3) scratch.write(QStringLiteral("rows.txt"), parts[3]);

  Separator scope(kSeparators[selector / 3]);
  SilentSink sink;
  FovScene scene;
  bool ok = true;
  try {
    scene.LoadFovList(listName, system);
  } catch (const Error& e) {
    ok = false;
    Require(!e.message().isEmpty(), "a load ended with an empty message");
  }
  Require(scene.Drawing().width() == 1024 && scene.Drawing().height() == 1024,
          "the drawing changed its size");
  const int corners = scene.Footprints().Length();
  Require(corners % 4 == 0, "a frame without four corners");
  Require(scene.CornerLines().size() % 5 == 0, "corner lines of a frame half written");
  for (const QString& line : scene.CornerLines())
    Require(NoInfOrNan(line), "corner line " + line.toStdString());
  if (ok) {
    Require(sink.count == 0, "a load succeeded and a reader reported a fault");
    Require(corners > 0, "a load without frames succeeded");
    Require(scene.CornerLines().size() == 5 * (corners / 4), "not five corner lines per frame");
    for (int i = 0; i < corners; ++i)
      Require(std::isfinite(scene.Footprints().At(i).X) && std::isfinite(scene.Footprints().At(i).Y),
              "a corner is not finite");
    Require(scene.LegendWidth() > 0 && scene.LegendHeight() > 0, "the legend has no pixels");
  }
}

}  // namespace skarvel::fuzz
