// The field-of-view window driven as a person drives it.

#include "fov/fov_form.h"
#include "../cli/cli_test_support.h"
#include "app/main_form.h"
#include "fov/scene_drawing.h"
#include "platform/bitmap_file.h"
#include "platform/raster.h"
#include "shell/windows.h"
#include "support/frame_files.h"
#include "support/test_support.h"
#include "support/widget_test_support.h"

#include <QDir>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::Find;
using testing::ModalWatcher;
using testing::ProgramWindows;
using testing::TempDir;

// The drawing as 24-bit bitmap pixels, to compare with a saved file.
Bitmap AsBitmap(const QImage& image) {
  Bitmap out = Bitmap::Colour(image.width(), image.height());
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      std::uint8_t* p = out.row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(qBlue(c));
      p[1] = static_cast<std::uint8_t>(qGreen(c));
      p[2] = static_cast<std::uint8_t>(qRed(c));
    }
  return out;
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

// Answers the window's number dialogs as a person does: types each text of
// `texts` over the proposed one and presses Enter (an empty text keeps the
// proposal), or presses Escape once the texts are used up; records the
// dialogs and what they proposed.
struct NumberAnswers {
  explicit NumberAnswers(ModalWatcher& watcher) {
    watcher.onOtherModal = [this](QWidget* modal) {
      auto* dialog = qobject_cast<QInputDialog*>(modal);
      ASSERT_NE(dialog, nullptr) << modal->objectName().toStdString();
      auto* edit = dialog->findChild<QLineEdit*>();
      dialogs << dialog->objectName();
      proposed << edit->text();
      if (texts.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Escape);
        return;
      }
      const QString text = texts.takeFirst();
      if (!text.isEmpty()) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
      }
      QTest::keyClick(edit, Qt::Key_Return);
    };
  }
  QStringList texts;
  QStringList dialogs;
  QStringList proposed;
};

// A seventh frame tilted 88 degrees beside the sample scene: its far corners
// see the horizon, and its outline crosses itself.
void WriteTiltedList(const testing::TempDir& dir) {
  testing::FrameGeometry tilted;
  tilted.distance = 4.25;
  tilted.aboutY = 88;
  dir.write("fov/tilted.ort", testing::GeometryFile(tilted));
  dir.write("fov/tilted.lst",
            testing::ReadBytes(dir.file("fov/scene.lst")) + "tilted.ort ;\r\ncameras\\camera_a.cam ;\r\n");
  // A plateau 0.1 high under frames 1, 2, 4 and 6: scaled by 50 it stands
  // above their cameras.
  QByteArray plateau =
      "ncols 20\nnrows 20\nxllcorner -0.5\nyllcorner -0.5\ncellsize 0.05\nNODATA_value -9999\n";
  for (int row = 0; row < 20; ++row) plateau += QByteArray("0.1 ").repeated(20) + "\n";
  dir.write("fov/plateau.asc", plateau);
}

class FovFormTest : public ::testing::Test {
 protected:
  FovFormTest() : windows_(dir_.path()) {
    MainForm->show();
    MainForm->N10Click();
    FOVForm->OpenDirectory(dir_.file("fov"));
  }
  void click(const QString& entry) { testing::ClickEntry(FOVForm, entry); }
  void chooseItem(int index) {
    QTest::mouseClick(Find<QRadioButton>(FOVForm, QStringLiteral("RadioGroup3Item%1").arg(index)),
                      Qt::LeftButton);
  }
  testing::SampleWorkspace dir_;
  ProgramWindows windows_;
};

TEST_F(FovFormTest, StartsInTheBenchSystemWithABlankDrawingAndItsControls) {
  EXPECT_EQ(FOVForm->windowTitle(), "Визуализация полей зрения съемочной аппаратуры");
  EXPECT_EQ(FOVForm->RadioGroup3->title(), "Система ориентации");
  EXPECT_EQ(FOVForm->RadioGroup3ItemIndex(), 2);
  EXPECT_EQ(FOVForm->Scene().System(), TOrientationSystem::Bench);
  EXPECT_EQ(FOVForm->Image1->size(), QSize(1024, 1024));
  EXPECT_EQ(FOVForm->ImageWidth, 1024);
  EXPECT_EQ(FOVForm->Image1->image().pixel(500, 500), ButtonFaceColor().rgb());
  EXPECT_TRUE(FOVForm->ListBox1->isHidden());
  EXPECT_EQ(FOVForm->FileListBox1->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(FOVForm->Panel4->width(), 238);
  EXPECT_EQ(OrientationOfItem(0), TOrientationSystem::Mathematical);
  EXPECT_EQ(OrientationOfItem(1), TOrientationSystem::Photogrammetric);
  EXPECT_EQ(OrientationOfItem(2), TOrientationSystem::Bench);
}

TEST_F(FovFormTest, AListClickDrawsTheSceneAsTheCommandLineDoesInEverySystem) {
  const std::pair<int, const char*> systems[] = {{2, "bench"}, {1, "photogrammetric"}, {0, "mathematical"}};
  click("scene.lst");
  for (const auto& [item, name] : systems) {
    chooseItem(item);
    const QString reference = dir_.file(QStringLiteral("reference_%1.bmp").arg(name));
    const auto result = testing::RunBatch({"fov", "--decimal-separator", ".", "--system", name, "--output",
                                           reference, dir_.file("fov/scene.lst")});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(SamePixels(AsBitmap(FOVForm->Image1->image()), LoadBitmap(reference))) << name;
    // What the control paints at 100 % is the drawing itself.
    EXPECT_EQ(FOVForm->Image1->render(QRect(0, 0, 1024, 1024)).convertToFormat(QImage::Format_RGB32),
              FOVForm->Scene().Drawing().convertToFormat(QImage::Format_RGB32))
        << name;
  }
  // The legend panel shows the six entries.
  EXPECT_EQ(FOVForm->Image2->size(), QSize(650, 150));
  EXPECT_EQ(FOVForm->Image2->grab().toImage().convertToFormat(QImage::Format_RGB32),
            FOVForm->Scene().LegendBand(QRect(0, 0, 650, 150)).convertToFormat(QImage::Format_RGB32));
}

TEST_F(FovFormTest, ChoosingASystemWithoutAListOnlyRecordsIt) {
  chooseItem(1);
  EXPECT_EQ(FOVForm->Scene().System(), TOrientationSystem::Photogrammetric);
  EXPECT_EQ(FOVForm->Image1->image().pixel(500, 500), ButtonFaceColor().rgb());
  click("scene.lst");
  FovScene reference;
  reference.LoadFovList(dir_.file("fov/scene.lst"), TOrientationSystem::Photogrammetric);
  EXPECT_EQ(FOVForm->Scene().Drawing(), reference.Drawing());
}

TEST_F(FovFormTest, ClickingTheSameListAgainRedrawsAndAddsTheCornerLinesAgain) {
  click("scene.lst");
  const QImage first = FOVForm->Scene().Drawing();
  const int lines = FOVForm->ListBox1->model()->rowCount();
  EXPECT_EQ(lines, 30);  // six frames, four corners and a blank line each
  click("scene.lst");
  EXPECT_EQ(FOVForm->Scene().Drawing(), first);
  EXPECT_EQ(FOVForm->ListBox1->model()->rowCount(), 2 * lines);
}

TEST_F(FovFormTest, DoubleClickSavesTheWholeDrawingWhateverTheZoom) {
  click("scene.lst");
  FOVForm->N501Click();
  EXPECT_EQ(FOVForm->Image1->size(), QSize(512, 512));
  ModalWatcher watcher;
  const QString saved = dir_.file("saved.bmp");
  watcher.answerFileDialog(saved);
  testing::DoubleClick(FOVForm->Image1, QPoint(100, 100));
  EXPECT_EQ(watcher.fileDialogs, QStringList({"BmpSaveDialog"}));
  const Bitmap file = LoadBitmap(saved);
  EXPECT_EQ(file.width, 1024);
  EXPECT_EQ(file.fileBitCount, 24);
  EXPECT_TRUE(SamePixels(file, AsBitmap(FOVForm->Scene().Drawing())));
  // Cancelling writes nothing.
  QFile::remove(saved);
  testing::DoubleClick(FOVForm->Image1, QPoint(100, 100));
  EXPECT_FALSE(QFileInfo::exists(saved));
  EXPECT_EQ(FOVForm->BmpSaveDialog->nameFilters(), QStringList({"Bitmap Files (*.bmp)", "All Files (*.*)"}));
  EXPECT_EQ(FOVForm->BmpSaveDialog->defaultSuffix(), "bmp");
}

TEST_F(FovFormTest, ABareNameTypedInASaveDialogLandsInTheFolderTheWindowBrowses) {
  click("scene.lst");
  ModalWatcher watcher;
  watcher.typeIntoFileDialog("drawing.bmp");
  testing::DoubleClick(FOVForm->Image1, QPoint(100, 100));
  watcher.typeIntoFileDialog("outlines.csv");
  FOVForm->SaveOutlinesItem->trigger();
  EXPECT_EQ(watcher.fileDialogs, QStringList({"BmpSaveDialog", "OutlineSaveDialog"}));
  for (const char* name : {"drawing.bmp", "outlines.csv"}) {
    EXPECT_TRUE(QFileInfo::exists(dir_.file(QStringLiteral("fov/") + name))) << name;
    EXPECT_FALSE(QFileInfo::exists(dir_.file(name))) << name << " in the start-up folder";
  }
}

TEST_F(FovFormTest, AReaderFailureShowsItsBoxThenTheErrorAndLeavesTheClearedDrawing) {
  click("scene.lst");
  QFile::remove(dir_.file("fov/frame3.ort"));
  ModalWatcher watcher;
  click("scene.lst");
  ASSERT_EQ(watcher.boxes.size(), 2u) << watcher.boxTexts().join("\n").toStdString();
  EXPECT_EQ(watcher.boxes[0].caption, "Ошибка!");
  EXPECT_EQ(watcher.boxes[0].text, "Ошибка чтения файла геометрии изображения!");
  EXPECT_EQ(watcher.boxes[1].caption, "Skarvel");
  EXPECT_EQ(watcher.boxes[1].icon, QMessageBox::Critical);
  // The name as it was opened, without the blank the list has before ";".
  EXPECT_EQ(watcher.boxes[1].text, "Кадр 3: файл «frame3.ort» не прочитан, загрузка списка прервана.");
  const QImage drawing = FOVForm->Image1->image();
  for (int y = 0; y < 1024; y += 64)
    for (int x = 0; x < 1024; x += 64) ASSERT_EQ(drawing.pixel(x, y), ButtonFaceColor().rgb());
  // The window stays usable: the next click starts afresh.
  click("scene_blocks.lst");
  EXPECT_EQ(watcher.boxes.size(), 4u) << "scene_blocks names frame3.ort too";
}

TEST_F(FovFormTest, TheZoomMenuOpensOnTheDrawingOnly) {
  FOVForm->show();
  QContextMenuEvent onDrawing(QContextMenuEvent::Mouse, QPoint(5, 5),
                              FOVForm->Image1->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(FOVForm->Image1, &onDrawing);
  EXPECT_TRUE(FOVForm->ScalePopupMenu1->isVisible());
  FOVForm->ScalePopupMenu1->hide();
  FOVForm->N4001Click();
  FOVForm->N751Click();
  EXPECT_EQ(FOVForm->Image1->size(), QSize(768, 768));
}

TEST_F(FovFormTest, OutlinesAreSavedAsGeoJsonOrCsvFromTheZoomMenu) {
  EXPECT_FALSE(FOVForm->SaveOutlinesItem->isEnabled()) << "nothing drawn yet";
  const QList<QAction*> items = FOVForm->ScalePopupMenu1->actions();
  ASSERT_EQ(items.size(), 15);
  EXPECT_TRUE(items[6]->isSeparator()) << "the six zoom items stay first";
  EXPECT_EQ(items[7]->text(), "Сохранить контуры…");
  click("scene.lst");
  ASSERT_TRUE(FOVForm->SaveOutlinesItem->isEnabled());
  ModalWatcher watcher;
  // The sample folder's relief came with the list: each frame's relief
  // figures go with it, as `fov --relief` writes them.
  ASSERT_TRUE(FOVForm->HasRelief());
  const QString withRelief = dir_.file("relief.csv");
  watcher.answerFileDialog(withRelief);
  FOVForm->SaveOutlinesItem->trigger();
  const QList<QByteArray> reliefRows = testing::ReadBytes(withRelief).split('\n');
  ASSERT_EQ(reliefRows.size(), 8);
  EXPECT_TRUE(reliefRows[0].trimmed().endsWith(",misses_surface,relief_outline"))
      << reliefRows[0].toStdString();
  EXPECT_TRUE(reliefRows[1].contains("\"POLYGON((")) << reliefRows[1].toStdString();

  FOVForm->NoReliefItem->trigger();
  const QString geojson = dir_.file("outlines.geojson");
  watcher.answerFileDialog(geojson);
  FOVForm->SaveOutlinesItem->trigger();
  const QJsonDocument document = QJsonDocument::fromJson(testing::ReadBytes(geojson));
  ASSERT_TRUE(document.isObject());
  EXPECT_EQ(document.object()["type"].toString(), "FeatureCollection");
  const QJsonArray features = document.object()["features"].toArray();
  ASSERT_EQ(features.size(), 6);
  // Frame 6 is not chained: its ring starts at corner A, the first corner line, in scene Y.
  const QJsonArray ring = features[5].toObject()["geometry"].toObject()["coordinates"].toArray()[0].toArray();
  const QStringList a = FOVForm->Scene().CornerLines()[25].split("  -  ");
  EXPECT_NEAR(ring[0].toArray()[0].toDouble(), a[0].toDouble(), 1e-3);
  EXPECT_NEAR(ring[0].toArray()[1].toDouble(), -a[1].toDouble(), 1e-3);

  const QString csv = dir_.file("outlines.csv");
  watcher.answerFileDialog(csv);
  FOVForm->SaveOutlinesItem->trigger();
  const QList<QByteArray> rows = testing::ReadBytes(csv).split('\n');
  EXPECT_TRUE(rows[0].startsWith("frame,name,a_x,a_y"));
  EXPECT_FALSE(rows[0].contains("relief")) << "without a relief";
  EXPECT_EQ(rows.size(), 8) << "a header, six frames and the empty text after the last line end";
}

TEST_F(FovFormTest, AReliefGivesACoverageViewThatCanBeSaved) {
  const QList<QAction*> items = FOVForm->ScalePopupMenu1->actions();
  EXPECT_EQ(items[9]->text(), "Рельеф модели…");
  EXPECT_EQ(items[10]->text(), "Поверхность: билинейная");
  EXPECT_EQ(items[11]->text(), "Поверхность: блоки");
  EXPECT_EQ(items[12]->text(), "Покрытие без рельефа…");
  EXPECT_EQ(items[13]->text(), "Без рельефа");
  EXPECT_EQ(items[14]->text(), "Сохранить покрытие…");
  EXPECT_FALSE(FOVForm->NoReliefItem->isEnabled());
  EXPECT_FALSE(FOVForm->SaveCoverageItem->isEnabled());
  click("scene.lst");
  ModalWatcher watcher;
  NumberAnswers numbers(watcher);
  numbers.texts = {"", ""};  // the Z scale proposed, for both maps below
  watcher.answerFileDialog(dir_.file("fov/relief.asc"));
  testing::RunAsEvent([&] { FOVForm->ReliefItem->trigger(); });
  ASSERT_TRUE(FOVForm->HasRelief());
  EXPECT_TRUE(FOVForm->Coverage->isVisible());
  // 192 x 128 cells: 3 pixels a cell (512 across at least); the legend apart.
  EXPECT_EQ(FOVForm->Coverage->Picture->naturalSize(), QSize(576, 384));
  const std::vector<std::uint32_t> counts = FOVForm->CoverageCounts();
  ASSERT_EQ(counts.size(), 192u * 128u);
  EXPECT_GT(*std::max_element(counts.begin(), counts.end()), 1u) << "the strip's frames overlap";
  FOVForm->N2001Click();
  EXPECT_EQ(FOVForm->Coverage->Picture->size(), QSize(1152, 768)) << "the drawing's zoom";

  watcher.answerFileDialog(dir_.file("cover.asc"));
  FOVForm->SaveCoverageItem->trigger();
  const HeightMap saved = ReadHeightMap(dir_.file("cover.asc"));
  ASSERT_EQ(saved.z.size(), counts.size());
  for (size_t i = 0; i < counts.size(); ++i) ASSERT_EQ(saved.z[i], counts[i]) << i;

  // A bad height map is reported and changes nothing.
  dir_.write("bad.asc", "not a grid\n");
  watcher.answerFileDialog(dir_.file("bad.asc"));
  testing::RunAsEvent([&] { FOVForm->ReliefItem->trigger(); });
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_TRUE(watcher.boxes[0].text.startsWith("Ошибка чтения карты высот"))
      << watcher.boxes[0].text.toStdString();
  EXPECT_TRUE(FOVForm->HasRelief());
  EXPECT_EQ(FOVForm->CoverageCounts(), counts);

  FOVForm->NoReliefItem->trigger();
  EXPECT_FALSE(FOVForm->HasRelief());
  EXPECT_FALSE(FOVForm->Coverage->isVisible());
  EXPECT_FALSE(FOVForm->SaveCoverageItem->isEnabled());
}

TEST_F(FovFormTest, AListBringsTheModelsReliefKeptBesideItUntilOneIsChosenByHand) {
  EXPECT_EQ(ModelReliefBeside(dir_.file("fov/scene.lst")), dir_.file("fov/relief.asc"));
  click("scene.lst");
  EXPECT_TRUE(FOVForm->HasRelief()) << "the sample folder keeps relief.asc";
  EXPECT_TRUE(FOVForm->Coverage->isVisible());
  EXPECT_FALSE(FOVForm->CoverageCounts().empty());

  // A bad one beside the list: the scene is drawn, the map reported, no relief.
  dir_.write("fov/relief.tif", "not a raster");
  ModalWatcher watcher;
  testing::RunAsEvent([&] { click("scene_blocks.lst"); });
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_TRUE(watcher.boxes[0].text.startsWith("Ошибка чтения карты высот"))
      << watcher.boxes[0].text.toStdString();
  EXPECT_GT(FOVForm->Scene().Footprints().Length(), 0);
  EXPECT_FALSE(FOVForm->HasRelief());
  QFile::remove(dir_.file("fov/relief.tif"));

  // Refused by hand, it stays refused for the next lists.
  click("scene.lst");
  ASSERT_TRUE(FOVForm->HasRelief());
  FOVForm->NoReliefItem->trigger();
  click("scene.lst");
  EXPECT_FALSE(FOVForm->HasRelief());
  EXPECT_FALSE(FOVForm->Coverage->isVisible());
}

TEST_F(FovFormTest, TheWindowWritesTheBytesOfTheCommandLineForTheSameJob) {
  WriteTiltedList(dir_);
  FOVForm->OpenDirectory(dir_.path());
  FOVForm->OpenDirectory(dir_.file("fov"));
  testing::SeparatorScope separator(u',');
  struct Case {
    const char* name;
    QAction* item;    // chosen in the pop-up menu
    QString map;      // the height map chosen with it, if any
    QString number;   // the Z scale or the cell typed
    QStringList cli;  // the same choice on the command line
  };
  const Case cases[] = {
      {"relief scaled",
       FOVForm->ReliefItem,
       dir_.file("fov/relief.asc"),
       "2,5",
       {"--relief", dir_.file("fov/relief.asc"), "--relief-z-scale", "2,5"}},
      {"camera below the relief",
       FOVForm->ReliefItem,
       dir_.file("fov/plateau.asc"),
       "50",
       {"--relief", dir_.file("fov/plateau.asc"), "--relief-z-scale", "50"}},
      {"plane coverage", FOVForm->CoverageCellItem, QString(), "0,05", {"--coverage-cell", "0,05"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString window = dir_.file(QStringLiteral("window_%1").arg(c.name));
    const QString batch = dir_.file(QStringLiteral("batch_%1").arg(c.name));
    QDir().mkpath(window);
    QDir().mkpath(batch);
    ModalWatcher watcher;
    NumberAnswers numbers(watcher);
    numbers.texts = {c.number};
    click("tilted.lst");
    if (!c.map.isEmpty()) watcher.answerFileDialog(c.map);
    testing::RunAsEvent([&] { c.item->trigger(); });
    ASSERT_TRUE(watcher.boxes.empty()) << watcher.boxTexts().join('\n').toStdString();
    ASSERT_TRUE(FOVForm->SaveCoverageItem->isEnabled());
    for (const char* name : {"f.csv", "f.geojson"}) {
      watcher.answerFileDialog(window + "/" + name);
      FOVForm->SaveOutlinesItem->trigger();
    }
    watcher.answerFileDialog(window + "/c.asc");
    FOVForm->SaveCoverageItem->trigger();
    watcher.answerFileDialog(window + "/drawing.bmp");
    testing::DoubleClick(FOVForm->Image1, QPoint(100, 100));
    EXPECT_EQ(watcher.fileDialogs.size(), c.map.isEmpty() ? 4 : 5);

    const auto r =
        testing::RunBatch(QStringList{"fov", "--decimal-separator", ",", dir_.file("fov/tilted.lst"), "--csv",
                                      batch + "/f.csv", "--geojson", batch + "/f.geojson", "--coverage",
                                      batch + "/c.asc", "--output", batch + "/drawing.bmp"} +
                          c.cli);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const char* name : {"f.csv", "f.geojson", "c.asc", "drawing.bmp"}) {
      const QByteArray bytes = testing::ReadBytes(window + "/" + name);
      EXPECT_FALSE(bytes.isEmpty()) << name;
      EXPECT_TRUE(bytes == testing::ReadBytes(batch + "/" + name)) << name;
    }
    // The window shows the warnings the command line prints.
    EXPECT_EQ(FOVForm->WarningsLabel->text() + "\n", r.err);
    EXPECT_TRUE(FOVForm->WarningsLabel->isVisibleTo(FOVForm));
    EXPECT_EQ(FOVForm->Warnings().size(), c.name == QStringLiteral("camera below the relief") ? 5 : 1);
  }
}

TEST_F(FovFormTest, TheMenuOffersOnlyWhatThereIsAndAsksInTheListsFolder) {
  WriteTiltedList(dir_);
  ModalWatcher watcher;
  NumberAnswers numbers(watcher);
  // Nothing to drop or to save: the items are off, and their handlers do nothing.
  FOVForm->NoReliefClick();
  FOVForm->SaveCoverageClick();
  EXPECT_FALSE(FOVForm->NoReliefItem->isEnabled());
  EXPECT_FALSE(FOVForm->SaveCoverageItem->isEnabled());
  EXPECT_TRUE(watcher.fileDialogs.isEmpty());
  click("scene.lst");
  EXPECT_TRUE(FOVForm->SaveCoverageItem->isEnabled()) << "the relief kept beside the list";
  EXPECT_TRUE(FOVForm->WarningsLabel->text().isEmpty());
  EXPECT_FALSE(FOVForm->WarningsLabel->isVisibleTo(FOVForm));
  FOVForm->NoReliefItem->trigger();
  EXPECT_FALSE(FOVForm->NoReliefItem->isEnabled());
  EXPECT_FALSE(FOVForm->SaveCoverageItem->isEnabled());

  // Browsed away from the list, the relief and the coverage are still asked
  // for in the list's folder: bare names land there.
  FOVForm->OpenDirectory(dir_.path());
  testing::SeparatorScope separator(u',');
  numbers.texts = {"2,5"};
  watcher.typeIntoFileDialog("relief.asc");
  testing::RunAsEvent([&] { FOVForm->ReliefItem->trigger(); });
  ASSERT_TRUE(FOVForm->HasRelief()) << watcher.boxTexts().join('\n').toStdString();
  EXPECT_EQ(FOVForm->Relief()->zScale, 2.5);
  EXPECT_EQ(FOVForm->Relief()->fileName, dir_.file("fov/relief.asc"));
  watcher.typeIntoFileDialog("cover.asc");
  FOVForm->SaveCoverageItem->trigger();
  EXPECT_TRUE(QFileInfo::exists(dir_.file("fov/cover.asc")));
  EXPECT_FALSE(QFileInfo::exists(dir_.file("cover.asc")));

  // The scale is remembered with the relief; cancelled, nothing changes.
  watcher.answerFileDialog(dir_.file("fov/plateau.asc"));
  testing::RunAsEvent([&] { FOVForm->ReliefItem->trigger(); });
  EXPECT_EQ(FOVForm->Relief()->fileName, dir_.file("fov/relief.asc"));
  // Cells that make no coverage are reported and leave the relief.
  numbers.texts = {"0", "abc"};
  testing::RunAsEvent([&] { FOVForm->CoverageCellItem->trigger(); });
  testing::RunAsEvent([&] { FOVForm->CoverageCellItem->trigger(); });
  EXPECT_EQ(numbers.dialogs, QStringList({"ReliefZScaleDialog", "ReliefZScaleDialog", "CoverageCellDialog",
                                          "CoverageCellDialog"}));
  EXPECT_EQ(numbers.proposed, QStringList({"1", "2,5", "", ""}));
  ASSERT_EQ(watcher.boxes.size(), 2u) << watcher.boxTexts().join("\n").toStdString();
  EXPECT_EQ(watcher.boxes[0].text, "Размер ячейки карты покрытия должен быть положительным числом.");
  EXPECT_EQ(watcher.boxes[1].text, "'abc' is not a valid floating point value.");
  EXPECT_TRUE(FOVForm->HasRelief());
  EXPECT_FALSE(FOVForm->CoverageCell().has_value());
}

TEST_F(FovFormTest, TheCoverageViewLiesOnTheScreenAndGoesWithTheWindow) {
  FOVForm->show();
  const QRect screen = FOVForm->screen()->availableGeometry();
  // The window near the screen's bottom right corner.
  FOVForm->move(screen.right() - 400, screen.bottom() - 300);
  QApplication::processEvents();
  click("scene.lst");
  ASSERT_TRUE(FOVForm->Coverage->isVisible());
  QTest::qWait(50);
  EXPECT_TRUE(screen.contains(FOVForm->Coverage->frameGeometry()))
      << FOVForm->Coverage->frameGeometry().x() << "," << FOVForm->Coverage->frameGeometry().y() << " "
      << FOVForm->Coverage->frameGeometry().width() << "x" << FOVForm->Coverage->frameGeometry().height();
  FOVForm->close();
  EXPECT_FALSE(FOVForm->Coverage->isVisible());
  FOVForm->show();
  EXPECT_TRUE(FOVForm->Coverage->isVisible()) << "back with the window";
}

}  // namespace
}  // namespace skarvel
