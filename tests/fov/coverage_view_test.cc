// The coverage view of the field-of-view window: the legend at its own size
// under the map at every zoom, and the surface model chosen in the menu.

#include "app/main_form.h"
#include "fov/fov_form.h"
#include "shell/windows.h"
#include "support/test_support.h"
#include "support/widget_test_support.h"

#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::ModalWatcher;

class CoverageViewTest : public ::testing::Test {
 protected:
  CoverageViewTest() : windows_(dir_.path()) {
    MainForm->show();
    MainForm->N10Click();
    FOVForm->OpenDirectory(dir_.file("fov"));
  }
  void click(const QString& entry) { testing::ClickEntry(FOVForm, entry); }
  // The view as on the screen; kept as PNG in $SKARVEL_SCREENSHOT_DIR when set.
  QImage grab(const QString& name) {
    QApplication::processEvents();
    const QImage image = FOVForm->Coverage->grab().toImage();
    const QString folder = qEnvironmentVariable("SKARVEL_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
      QDir().mkpath(folder);
      image.save(folder + u'/' + name + QStringLiteral(".png"));
    }
    return image;
  }
  testing::SampleWorkspace dir_;
  testing::ProgramWindows windows_;
};

TEST_F(CoverageViewTest, TheLegendKeepsItsSizeUnderTheMapAtEveryZoom) {
  FOVForm->show();
  click("scene.lst");  // the sample folder keeps the model's relief
  CoverageView* view = FOVForm->Coverage;
  ASSERT_TRUE(view->isVisible());
  const QSize natural = view->Picture->naturalSize();
  const QSize legendSize = view->Legend->sizeHint();
  ASSERT_FALSE(legendSize.isEmpty());
  struct Zoom {
    int percent;
    void (TFOVForm::*choose)();
  } zooms[] = {{50, &TFOVForm::N501Click}, {100, &TFOVForm::N1001Click}, {200, &TFOVForm::N2001Click}};
  QImage legendAt100;
  std::vector<QImage> legends;
  for (const Zoom& zoom : zooms) {
    SCOPED_TRACE(zoom.percent);
    (FOVForm->*zoom.choose)();
    QApplication::processEvents();
    EXPECT_EQ(view->Picture->size(), natural * zoom.percent / 100) << "the map follows the drawing's zoom";
    EXPECT_EQ(view->Legend->size(), legendSize) << "the legend does not";
    // Under the map's scroll area and wholly inside the view.
    const QRect legend(view->Legend->mapTo(view, QPoint(0, 0)), view->Legend->size());
    const QRect scroll = view->Scroll->geometry();
    EXPECT_GE(legend.top(), scroll.bottom());
    EXPECT_TRUE(view->rect().contains(legend))
        << legend.x() << "," << legend.y() << " " << legend.width() << "x" << legend.height();
    const QImage shot = grab(QStringLiteral("coverage_view_%1").arg(zoom.percent));
    legends.push_back(shot.copy(legend));
  }
  EXPECT_TRUE(legends[0] == legends[1] && legends[1] == legends[2]) << "the legend is the same pixels";
  // The legend is not in the map: the picture is the cells alone.
  EXPECT_EQ(natural.height() % FOVForm->Relief()->map.grid.rows, 0);
}

TEST_F(CoverageViewTest, TheSurfaceChoiceReadsTheReliefAgainAndShadesItsModel) {
  EXPECT_TRUE(FOVForm->SurfaceBilinearItem->isChecked());
  EXPECT_FALSE(FOVForm->SurfaceBlocksItem->isChecked());
  EXPECT_TRUE(FOVForm->SurfaceBlocksItem->isCheckable());
  EXPECT_EQ(FOVForm->SurfaceModel(), ReliefSurfaceModel::kBilinear);
  click("scene.lst");
  ASSERT_TRUE(FOVForm->HasRelief());
  EXPECT_EQ(FOVForm->Relief()->model, ReliefSurfaceModel::kBilinear) << "bilinear to begin with";
  const FovRelief* bilinear = FOVForm->Relief();
  const QImage smooth = FOVForm->Coverage->Picture->image();

  FOVForm->SurfaceBlocksItem->trigger();
  EXPECT_EQ(FOVForm->SurfaceModel(), ReliefSurfaceModel::kBlocks);
  ASSERT_TRUE(FOVForm->HasRelief());
  EXPECT_NE(FOVForm->Relief(), bilinear) << "read again";
  EXPECT_EQ(FOVForm->Relief()->model, ReliefSurfaceModel::kBlocks);
  EXPECT_EQ(FOVForm->Relief()->fileName, dir_.file("fov/relief.asc"));
  EXPECT_TRUE(FOVForm->SurfaceBlocksItem->isChecked());
  EXPECT_FALSE(FOVForm->SurfaceBilinearItem->isChecked());
  EXPECT_FALSE(FOVForm->Coverage->Picture->image() == smooth) << "blocks are shaded cell by cell";

  // The map gone, the choice back is an error that leaves the relief and
  // the choice as they were.
  ASSERT_TRUE(QFile::rename(dir_.file("fov/relief.asc"), dir_.file("fov/relief.kept")));
  const FovRelief* blocks = FOVForm->Relief();
  {
    ModalWatcher watcher;
    testing::RunAsEvent([&] { FOVForm->SurfaceBilinearItem->trigger(); });
    ASSERT_EQ(watcher.boxes.size(), 1u);
    EXPECT_TRUE(watcher.boxes[0].text.startsWith("Ошибка чтения карты высот"))
        << watcher.boxes[0].text.toStdString();
  }
  EXPECT_EQ(FOVForm->Relief(), blocks);
  EXPECT_EQ(FOVForm->SurfaceModel(), ReliefSurfaceModel::kBlocks);
  EXPECT_TRUE(FOVForm->SurfaceBlocksItem->isChecked());
  EXPECT_FALSE(FOVForm->SurfaceBilinearItem->isChecked());

  // A relief chosen by hand is read as the model in force.
  ASSERT_TRUE(QFile::rename(dir_.file("fov/relief.kept"), dir_.file("fov/relief.asc")));
  ModalWatcher watcher;
  watcher.onOtherModal = [](QWidget* modal) {
    auto* dialog = qobject_cast<QInputDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    QTest::keyClick(dialog->findChild<QLineEdit*>(), Qt::Key_Return);  // the Z scale proposed
  };
  watcher.answerFileDialog(dir_.file("fov/relief.asc"));
  testing::RunAsEvent([&] { FOVForm->ReliefItem->trigger(); });
  ASSERT_TRUE(watcher.boxes.empty()) << watcher.boxTexts().join('\n').toStdString();
  EXPECT_EQ(FOVForm->Relief()->model, ReliefSurfaceModel::kBlocks);
  // Without a relief the choice is only kept, for the next one.
  FOVForm->NoReliefItem->trigger();
  FOVForm->SurfaceBilinearItem->trigger();
  EXPECT_EQ(FOVForm->SurfaceModel(), ReliefSurfaceModel::kBilinear);
  EXPECT_FALSE(FOVForm->HasRelief());
}

}  // namespace
}  // namespace skarvel
