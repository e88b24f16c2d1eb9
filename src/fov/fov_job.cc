#include "fov/fov_job.h"

#include "footprints/footprint_export.h"
#include "platform/error.h"
#include "platform/files.h"
#include "relief/relief_figures.h"

namespace skarvel {

std::shared_ptr<const FovRelief> HoldFovRelief(HeightMap map, ReliefSurfaceModel model) {
  auto relief = std::make_shared<FovRelief>();
  relief->map = std::move(map);
  relief->model = model;
  // The intersector holds the map by reference: it is made over the map's
  // final place.
  relief->surface = MakeSurfaceIntersector(relief->map, model);
  return relief;
}

std::shared_ptr<const FovRelief> ReadFovRelief(const QString& fileName, double zScale,
                                               ReliefSurfaceModel model) {
  auto relief = std::const_pointer_cast<FovRelief>(HoldFovRelief(ReadHeightMap(fileName, zScale), model));
  relief->fileName = fileName;
  relief->zScale = zScale;
  return relief;
}

QString CameraBelowSurfaceWarning(const FrameFigures& frame) {
  return QStringLiteral("Предупреждение: кадр %1 (%2): центр проекции не выше поверхности рельефа")
      .arg(frame.frame)
      .arg(frame.name);
}

void CheckFovJobOptions(const FovJobOptions& options) {
  const bool relief = options.relief != nullptr || !options.reliefFile.isEmpty();
  if (relief && options.coverageCell)
    throw Error(QStringLiteral("Размер ячейки покрытия задаётся только для покрытия без рельефа"));
  if (!options.coverageFile.isEmpty() && !relief && !options.coverageCell)
    throw Error(QStringLiteral("Для карты покрытия нужен рельеф или размер ячейки"));
}

FovJobResult RunFovJob(const FovJobOptions& options, FovScene& scene, const FovJobObserver& observer) {
  CheckFovJobOptions(options);
  FovJobResult result;
  const auto warn = [&](const QString& warning) {
    result.warnings.append(warning);
    if (observer.warning) observer.warning(warning);
  };
  // The height map is read before anything else, so that a bad one writes
  // nothing.
  result.relief = options.relief;
  if (!result.relief && !options.reliefFile.isEmpty())
    result.relief = ReadFovRelief(options.reliefFile, options.reliefZScale, options.reliefSurface);

  if (!options.listFile.isEmpty()) {
    try {
      scene.LoadFovList(options.listFile, options.system);
    } catch (...) {
      if (observer.loaded) observer.loaded(scene);
      throw;
    }
    if (observer.loaded) observer.loaded(scene);
  }

  // Overlaps are computed only for an export; the flags always.
  const bool exports = !options.csvFile.isEmpty() || !options.geojsonFile.isEmpty();
  result.figures = exports ? ComputeFootprintFigures(scene) : ComputeFrameFigures(scene);
  for (const FrameFigures& frame : result.figures.frames)
    if (frame.flags.any()) warn(FlagWarning(frame));
  const auto warnCameraBelow = [&](int n, const FrameRelief& relief) {
    if (relief.cameraBelowSurface && n < static_cast<int>(result.figures.frames.size()))
      warn(CameraBelowSurfaceWarning(result.figures.frames[static_cast<size_t>(n)]));
  };

  const bool coverage = !options.coverageFile.isEmpty() || options.coverageView;
  if (coverage && !scene.Frames().empty()) {
    if (result.relief)
      result.coverageMap = result.relief;
    else if (options.coverageCell)
      result.coverageMap =
          HoldFovRelief(PlaneMap(scene.Frames(), *options.coverageCell), options.reliefSurface);
  }
  if (result.coverageMap) {
    const SurfaceIntersector& surface = *result.coverageMap->surface;
    result.counts = ComputeCoverage(scene.Frames(), surface, options.coverageView ? &result.hidden : nullptr);
    if (options.coverageView) {
      result.coverageFigures = ComputeReliefFigures(scene.Frames(), surface);
      if (result.coverageMap == result.relief)
        for (size_t n = 0; n < result.coverageFigures.size(); ++n)
          warnCameraBelow(static_cast<int>(n), result.coverageFigures[n]);
    }
  }

  if (!options.drawingFile.isEmpty()) {
    scene.SaveDrawing(options.drawingFile);
    result.written.append(options.drawingFile);
  }
  if (!options.legendFile.isEmpty()) {
    scene.SaveLegend(options.legendFile);
    result.written.append(options.legendFile);
  }
  // The relief figures go with the exports a block of frames at a time, each
  // frame's warning with its block; those the coverage view has made already
  // are not made, nor warned about, again.
  ReliefSource source;
  if (result.relief != nullptr && !result.coverageFigures.empty() && result.coverageMap == result.relief) {
    source = [&figures = result.coverageFigures](int begin, int end) {
      std::vector<FrameRelief> block(static_cast<size_t>(end - begin));
      for (int n = begin; n < end && n < static_cast<int>(figures.size()); ++n)
        block[static_cast<size_t>(n - begin)] = figures[static_cast<size_t>(n)];
      return block;
    };
  } else if (result.relief != nullptr) {
    source = [&, blocks = ReliefBlocks(scene.Frames(), *result.relief->surface)](int begin, int end) {
      std::vector<FrameRelief> block = blocks(begin, end);
      for (int n = begin; n < end; ++n) warnCameraBelow(n, block[static_cast<size_t>(n - begin)]);
      return block;
    };
  }
  // The exports and the coverage raster are put in place together, once
  // every one of them is written.
  if (!options.coverageFile.isEmpty() && !result.coverageMap)
    throw Error(QStringLiteral("Кадры не загружены: карта покрытия не строится"));
  FileCommitGroup group;
  if (exports) AddFootprintExports(group, options.csvFile, options.geojsonFile, result.figures, source);
  if (!options.coverageFile.isEmpty())
    AddCountRaster(group, options.coverageFile, result.coverageMap->map.grid, result.counts);
  group.Commit();
  for (const QString& file : {options.csvFile, options.geojsonFile, options.coverageFile})
    if (!file.isEmpty()) result.written.append(file);
  return result;
}

}  // namespace skarvel
