#include "cli/commands.h"
#include "fov/footprint_export.h"
#include "fov/footprint_figures.h"
#include "fov/fov_scene.h"
#include "fov/relief_figures.h"
#include "platform/file_names.h"
#include "platform/numbers.h"
#include "platform/raster.h"

#include <QFileInfo>

#include <algorithm>
#include <span>

namespace skarvel::cli {

namespace {

TOrientationSystem ParseSystem(const QString& name) {
  if (name == QLatin1String("bench")) return TOrientationSystem::Bench;
  if (name == QLatin1String("photogrammetric")) return TOrientationSystem::Photogrammetric;
  if (name == QLatin1String("mathematical")) return TOrientationSystem::Mathematical;
  throw UsageError(QStringLiteral("unknown orientation system '%1'").arg(name).toStdString());
}

QString ReliefWarning(const FrameFigures& frame) {
  return QStringLiteral("Предупреждение: кадр %1 (%2): центр проекции не выше поверхности рельефа")
      .arg(frame.frame)
      .arg(frame.name);
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
  if (hasScale && relief.isEmpty()) throw UsageError("--relief-z-scale needs --relief");
  if (hasCell && !relief.isEmpty()) throw UsageError("--coverage-cell is for a coverage without --relief");
  if (hasCell && coverage.isEmpty()) throw UsageError("--coverage-cell needs --coverage");
  if (!coverage.isEmpty() && relief.isEmpty() && !hasCell)
    throw UsageError("--coverage needs --relief or --coverage-cell");
  // Numbers as the windows' edits convert them. The height map is read
  // before anything else, so that a bad one writes nothing.
  const double zScale = hasScale ? StrToFloat(parsed.options.value(QStringLiteral("relief-z-scale"))) : 1.0;
  const double cell = hasCell ? StrToFloat(parsed.options.value(QStringLiteral("coverage-cell"))) : 0.0;
  HeightMap heights;
  if (!relief.isEmpty()) heights = ReadHeightMap(relief, zScale);

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
  SceneFigures figures = exports ? ComputeFootprintFigures(scene) : ComputeFrameFigures(scene);
  for (const FrameFigures& frame : figures.frames)
    if (frame.flags.any()) PrintErr(FlagWarning(frame));
  std::vector<std::uint32_t> counts;
  std::unique_ptr<SurfaceIntersector> surface;
  if (!relief.isEmpty()) {
    surface = MakePyramidIntersector(heights);
    if (!coverage.isEmpty()) counts = ComputeCoverage(scene.Frames(), *surface);
  } else if (!coverage.isEmpty()) {
    heights = PlaneMap(scene.Frames(), cell);
    counts = ComputeCoverage(scene.Frames(), *MakePyramidIntersector(heights));
  }
  scene.SaveDrawing(output);
  if (!legend.isEmpty()) scene.SaveLegend(legend);
  // The relief figures are made a block of frames at a time as the exports
  // reach them, each frame's warning with its block.
  ReliefSource source;
  if (surface != nullptr) {
    source = [&, blocks = ReliefBlocks(scene.Frames(), *surface)](int begin, int end) {
      std::vector<FrameRelief> block = blocks(begin, end);
      for (int n = begin; n < end; ++n)
        if (block[static_cast<size_t>(n - begin)].cameraBelowSurface)
          PrintErr(ReliefWarning(figures.frames[static_cast<size_t>(n)]));
      return block;
    };
  }
  WriteFootprintExports(csv, geojson, figures, source);
  if (!coverage.isEmpty()) WriteCountRaster(coverage, heights.grid, counts);
  return kExitOk;
}

}  // namespace skarvel::cli
