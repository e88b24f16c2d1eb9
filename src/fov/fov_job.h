#pragma once
// One field-of-view job: a list file loaded into a scene, with its figures,
// warnings, optional relief and coverage, and the files asked for. The
// command line runs one job per call; the window runs one per click and per
// save, holding the scene and the relief between them, so that both write
// the same bytes for the same job.
//
// The job's order: the options are checked and the relief read (a bad height
// map ends the job before anything else); the list is loaded; the frame
// figures are computed and each flagged frame warned about; the coverage is
// computed; then the drawing and the legend are written, in this order; then
// the CSV and GeoJSON (each frame's relief figures with them, and a warning
// for every frame whose projection centre is not above the relief) and the
// coverage raster are written as one group (FileCommitGroup): each to a
// temporary file of its own, all synced, and only then all put in place, so
// that a failure at any of them leaves every one of the three as it was. An
// error ends the job where it arises; the drawing and the legend written
// before it stay.

#include "footprints/footprint_figures.h"
#include "fov/fov_scene.h"
#include "platform/raster.h"
#include "relief/relief_surface.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace skarvel {

// A height map with the intersector over it, read once and held for as many
// jobs as use it.
struct FovRelief {
  HeightMap map;
  std::unique_ptr<SurfaceIntersector> surface;  // over `map`
  QString fileName;                             // empty for a plane map
  double zScale = 1;
  ReliefSurfaceModel model = ReliefSurfaceModel::kBilinear;
};

// Reads a height map with its Z scale (ReadHeightMap's errors) as the surface
// of `model`.
std::shared_ptr<const FovRelief> ReadFovRelief(const QString& fileName, double zScale,
                                               ReliefSurfaceModel model = ReliefSurfaceModel::kBilinear);
// Holds a map already made (the plane map of a coverage without a relief) as
// the surface of `model`.
std::shared_ptr<const FovRelief> HoldFovRelief(HeightMap map,
                                               ReliefSurfaceModel model = ReliefSurfaceModel::kBilinear);

struct FovJobOptions {
  // The list file, loaded in `system`; empty: the scene as it is loaded.
  QString listFile;
  TOrientationSystem system = TOrientationSystem::Bench;
  // Files written; empty: not written.
  QString drawingFile;
  QString legendFile;
  QString csvFile;
  QString geojsonFile;
  QString coverageFile;
  // The relief: `relief` when held, else `reliefFile` read with
  // `reliefZScale`, else none.
  std::shared_ptr<const FovRelief> relief;
  QString reliefFile;
  double reliefZScale = 1;
  // The surface model of `reliefFile` (a held relief keeps its own).
  ReliefSurfaceModel reliefSurface = ReliefSurfaceModel::kBilinear;
  // The coverage without a relief: on the plane Z = 0 with square cells of
  // this size (PlaneMap).
  std::optional<double> coverageCell;
  // The coverage and what its picture needs (hidden counts and every frame's
  // relief figures) also without a coverage file, when there is a relief or
  // a cell.
  bool coverageView = false;
};

struct FovJobObserver {
  // After the list's load, also after one that ended in an error: the corner
  // lines it left are in the scene.
  std::function<void(const FovScene& scene)> loaded;
  // Each warning as it arises.
  std::function<void(const QString& warning)> warning;
};

struct FovJobResult {
  SceneFigures figures;  // with the overlaps when an export was written
  // The relief used (null without one).
  std::shared_ptr<const FovRelief> relief;
  // The coverage: the map its counts lie on (the relief's, or the plane
  // map), the counts per cell and, for the view, the hidden counts and every
  // frame's figures over that map. Empty when no coverage was asked for.
  std::shared_ptr<const FovRelief> coverageMap;
  std::vector<std::uint32_t> counts;
  std::vector<std::uint32_t> hidden;
  std::vector<FrameRelief> coverageFigures;
  QStringList warnings;  // in the order they arose
  QStringList written;   // the files written, in order
};

// The warning of a frame whose projection centre is not above the relief.
QString CameraBelowSurfaceWarning(const FrameFigures& frame);

// Raises skarvel::Error for options that do not make a job: a coverage file
// without a relief or a cell, a cell with a relief.
void CheckFovJobOptions(const FovJobOptions& options);

FovJobResult RunFovJob(const FovJobOptions& options, FovScene& scene, const FovJobObserver& observer = {});

}  // namespace skarvel
