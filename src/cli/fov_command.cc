#include "cli/commands.h"
#include "fov/fov_job.h"
#include "platform/file_names.h"
#include "platform/numbers.h"

#include <QFileInfo>

namespace skarvel::cli {

namespace {

TOrientationSystem ParseSystem(const QString& name) {
  if (name == QLatin1String("bench")) return TOrientationSystem::Bench;
  if (name == QLatin1String("photogrammetric")) return TOrientationSystem::Photogrammetric;
  if (name == QLatin1String("mathematical")) return TOrientationSystem::Mathematical;
  throw UsageError(QStringLiteral("unknown orientation system '%1'").arg(name).toStdString());
}

ReliefSurfaceModel ParseSurface(const QString& name) {
  if (name == QLatin1String("bilinear")) return ReliefSurfaceModel::kBilinear;
  if (name == QLatin1String("blocks")) return ReliefSurfaceModel::kBlocks;
  throw UsageError(QStringLiteral("unknown relief surface '%1'").arg(name).toStdString());
}

}  // namespace

// One load of a list file, as a click on it in the field-of-view window: the
// corner lines the window's hidden list receives go to standard output, the
// drawing (and on request the legend panel) to 24-bit bitmaps, and on request
// the footprint figures to CSV and GeoJSON. Every frame whose footprint is
// flagged gets a warning line on standard error. With a height map the
// exports carry what each frame sees of the relief, and a coverage map (on
// the relief's grid, or without one on a plane grid of a given cell) can be
// written. A load that ends in an error, or figures that cannot be computed,
// write no file.
int RunFov(const ParsedArguments& parsed) {
  if (parsed.positional.size() != 1 || parsed.positional.front().isEmpty())
    throw UsageError("exactly one list file is needed");
  const QString list = parsed.positional.front();
  // The window starts in the bench system.
  const TOrientationSystem system =
      ParseSystem(parsed.value(QStringLiteral("system"), QStringLiteral("bench")));
  const QFileInfo info(list);
  const QString output =
      parsed.value(QStringLiteral("output"), MakeOutputName(info.path(), info.fileName(), kDrawingSuffix));
  const QString legend = parsed.value(QStringLiteral("legend"), QString());
  const QString csv = parsed.value(QStringLiteral("csv"), QString());
  const QString geojson = parsed.value(QStringLiteral("geojson"), QString());
  const QString relief = parsed.value(QStringLiteral("relief"), QString());
  const QString coverage = parsed.value(QStringLiteral("coverage"), QString());
  const bool hasScale = parsed.options.contains(QStringLiteral("relief-z-scale"));
  const bool hasCell = parsed.options.contains(QStringLiteral("coverage-cell"));
  const bool hasSurface = parsed.options.contains(QStringLiteral("relief-surface"));
  if (hasScale && relief.isEmpty()) throw UsageError("--relief-z-scale needs --relief");
  if (hasSurface && relief.isEmpty()) throw UsageError("--relief-surface needs --relief");
  if (hasCell && !relief.isEmpty()) throw UsageError("--coverage-cell is for a coverage without --relief");
  if (hasCell && coverage.isEmpty()) throw UsageError("--coverage-cell needs --coverage");
  if (!coverage.isEmpty() && relief.isEmpty() && !hasCell)
    throw UsageError("--coverage needs --relief or --coverage-cell");
  // Numbers as the windows' edits convert them.
  FovJobOptions options;
  options.listFile = list;
  options.system = system;
  options.drawingFile = output;
  options.legendFile = legend;
  options.csvFile = csv;
  options.geojsonFile = geojson;
  options.reliefFile = relief;
  options.reliefZScale = hasScale ? StrToFloat(parsed.options.value(QStringLiteral("relief-z-scale"))) : 1.0;
  options.reliefSurface =
      ParseSurface(parsed.value(QStringLiteral("relief-surface"), QStringLiteral("bilinear")));
  if (hasCell) options.coverageCell = StrToFloat(parsed.options.value(QStringLiteral("coverage-cell")));
  options.coverageFile = coverage;
  FovJobObserver observer;
  // What the hidden list received, also before a load that ended.
  observer.loaded = [](const FovScene& scene) { PrintOutLines(scene.CornerLines()); };
  observer.warning = [](const QString& warning) { PrintErr(warning); };
  FovScene scene;
  RunFovJob(options, scene, observer);
  return kExitOk;
}

}  // namespace skarvel::cli
