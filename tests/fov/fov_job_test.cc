// The field-of-view job on its own: what it refuses, what it reads once and
// what it writes.

#include "fov/fov_job.h"
#include "platform/error.h"
#include "support/output_faults.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::TempDir;

QString SampleList() { return testing::SourceDir() + "/samples/fov/scene.lst"; }
QString SampleRelief() { return testing::SourceDir() + "/samples/fov/relief.asc"; }

TEST(FovJob, RefusesACoverageWithNeitherOrBothOfReliefAndCellBeforeLoadingOrWriting) {
  TempDir dir;
  struct Case {
    const char* name;
    bool relief;
    std::optional<double> cell;
    bool coverageFile;
  };
  const Case cases[] = {
      {"coverage without relief or cell", false, std::nullopt, true},
      {"cell with a relief", true, 0.05, true},
      {"cell with a relief, no coverage file", true, 0.05, false},
  };
  for (const Case& c : cases) {
    FovJobOptions options;
    options.listFile = SampleList();
    options.drawingFile = dir.file("drawing.bmp");
    if (c.relief) options.reliefFile = SampleRelief();
    options.coverageCell = c.cell;
    if (c.coverageFile) options.coverageFile = dir.file("c.asc");
    FovScene scene;
    bool loaded = false;
    EXPECT_THROW(RunFovJob(options, scene, {.loaded = [&](const FovScene&) { loaded = true; }}), Error)
        << c.name;
    EXPECT_FALSE(loaded) << c.name;
    EXPECT_TRUE(dir.entries().isEmpty()) << c.name;
  }
}

TEST(FovJob, ABadHeightMapEndsTheJobBeforeTheListIsLoaded) {
  TempDir dir;
  FovJobOptions options;
  options.listFile = SampleList();
  options.drawingFile = dir.file("drawing.bmp");
  options.reliefFile = dir.write("bad.asc", "ncols 2\nnrows\n");
  FovScene scene;
  bool loaded = false;
  EXPECT_THROW(RunFovJob(options, scene, {.loaded = [&](const FovScene&) { loaded = true; }}), Error);
  EXPECT_FALSE(loaded);
  EXPECT_EQ(dir.entries(), QStringList({"bad.asc"}));
}

TEST(FovJob, AHeldReliefAndALoadedSceneAreUsedAsTheyAre) {
  TempDir dir;
  FovScene scene;
  FovJobOptions first;
  first.listFile = SampleList();
  first.reliefFile = SampleRelief();
  first.reliefSurface = ReliefSurfaceModel::kBlocks;
  first.coverageView = true;
  const FovJobResult view = RunFovJob(first, scene);
  ASSERT_NE(view.relief, nullptr);
  EXPECT_EQ(view.relief->model, ReliefSurfaceModel::kBlocks) << "read as the surface asked for";
  EXPECT_EQ(view.coverageMap, view.relief);
  EXPECT_EQ(view.counts.size(), view.relief->map.z.size());
  EXPECT_EQ(view.hidden.size(), view.counts.size());
  EXPECT_EQ(view.coverageFigures.size(), 6u);
  EXPECT_TRUE(view.written.isEmpty());
  const int cornerLines = static_cast<int>(scene.CornerLines().size());

  // No list: the scene as loaded; a held relief: its file is not read again.
  FovJobOptions save;
  save.relief = view.relief;
  save.reliefFile = dir.file("gone.asc");
  save.coverageFile = dir.file("c.asc");
  save.csvFile = dir.file("f.csv");
  const FovJobResult saved = RunFovJob(save, scene);
  EXPECT_EQ(static_cast<int>(scene.CornerLines().size()), cornerLines);
  EXPECT_EQ(saved.counts, view.counts);
  EXPECT_EQ(saved.written, QStringList({dir.file("f.csv"), dir.file("c.asc")}));
  EXPECT_TRUE(saved.hidden.empty()) << "hidden counts are for the view";
}

// The exports and the coverage raster: put in place together or not at all.
TEST(FovJobOutput, TheExportsAndTheCoverageAreAllPutInPlaceOrNone) {
  testing::ExpectOutputGroupSurvivesInjectedFaults({.prepare = [](const QString&) {},
                                                    .write =
                                                        [](const QString& folder) {
                                                          FovScene scene;
                                                          FovJobOptions options;
                                                          options.listFile = SampleList();
                                                          options.reliefFile = SampleRelief();
                                                          options.csvFile = folder + "/f.csv";
                                                          options.geojsonFile = folder + "/f.geojson";
                                                          options.coverageFile = folder + "/c.tif";
                                                          RunFovJob(options, scene);
                                                        },
                                                    .outputs = {"f.csv", "f.geojson", "c.tif"}});
}

}  // namespace
}  // namespace skarvel
