#include "cli/commands.h"
#include "fov/footprint_export.h"
#include "fov/footprint_figures.h"
#include "fov/fov_scene.h"
#include "platform/file_names.h"

#include <QFileInfo>

namespace skarvel::cli {

namespace {

TOrientationSystem ParseSystem(const QString& name) {
  if (name == QLatin1String("bench")) return TOrientationSystem::Bench;
  if (name == QLatin1String("photogrammetric")) return TOrientationSystem::Photogrammetric;
  if (name == QLatin1String("mathematical")) return TOrientationSystem::Mathematical;
  throw UsageError(QStringLiteral("unknown orientation system '%1'").arg(name).toStdString());
}

}  // namespace

// One load of a list file, as a click on it in the field-of-view window: the
// corner lines the window's hidden list receives go to standard output, the
// drawing (and on request the legend panel) to 24-bit bitmaps, and on request
// the footprint figures to CSV and GeoJSON. Every frame whose footprint is
// flagged gets a warning line on standard error. A load that ends in an
// error, or figures that cannot be computed, write no file.
int RunFov(const QStringList& args) {
  const ParsedArguments parsed =
      ParseArguments(args, {QStringLiteral("system"), QStringLiteral("output"), QStringLiteral("legend"),
                            QStringLiteral("csv"), QStringLiteral("geojson")});
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

  FovScene scene;
  try {
    scene.LoadFovList(list, system);
  } catch (...) {
    // What the hidden list received before the load ended.
    PrintOutLines(scene.CornerLines());
    throw;
  }
  PrintOutLines(scene.CornerLines());
  // Overlaps are computed only for an export; the flags always.
  const bool exports = !csv.isEmpty() || !geojson.isEmpty();
  const SceneFigures figures = exports ? ComputeFootprintFigures(scene) : ComputeFrameFigures(scene);
  for (const FrameFigures& frame : figures.frames)
    if (frame.flags.any()) PrintErr(FlagWarning(frame));
  scene.SaveDrawing(output);
  if (!legend.isEmpty()) scene.SaveLegend(legend);
  if (!csv.isEmpty()) WriteFootprintsCsv(csv, figures);
  if (!geojson.isEmpty()) WriteFootprintsGeoJson(geojson, figures);
  return kExitOk;
}

}  // namespace skarvel::cli
