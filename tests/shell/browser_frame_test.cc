// The image browser frame the task windows share: the file list, the shared
// current directory, the zoom, the keys and the picture control.

#include "app/main_form.h"
#include "colour/rgb_form.h"
#include "cut/cut_form.h"
#include "fov/fov_form.h"
#include "platform/picture_file.h"
#include "resampling/interpol_form.h"
#include "scaling/scale_form.h"
#include "shell/application.h"
#include "shell/browser_controls.h"
#include "shell/browser_form.h"
#include "shell/picture_view.h"
#include "shell/windows.h"
#include "support/widget_test_support.h"

#include <QAbstractScrollArea>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>

#include <tuple>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::Find;
using testing::ModalWatcher;
using testing::ProgramWindows;
using testing::TempDir;

QStringList Items(const QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items.append(list->item(i)->text());
  return items;
}

TEST(FileListTest, ShowsPlainFilesMatchingTheMaskWithoutRegardToCaseSortedByName) {
  TempDir dir;
  for (const char* name : {"b.bmp", "A.BMP", "c.Bmp", ".hidden.bmp", "notes.txt", "a.bmp.txt"})
    dir.write(name, "x");
  QDir(dir.path()).mkdir("folder.bmp");
  EXPECT_EQ(ListFolderFiles(dir.path(), "*.bmp"), QStringList({"A.BMP", "b.bmp", "c.Bmp"}));
  EXPECT_TRUE(MatchesMask("SCENE.LST", "*.lst"));
  EXPECT_FALSE(MatchesMask("scene.lst.bak", "*.lst"));
}

TEST(FileListTest, PictureMaskListsEveryReadableKindInAnyCase) {
  TempDir dir;
  for (const char* name : {"IMG_0042.JPG", "a.bmp", "b.jpeg", "c.Png", "d.TIF", "e.tiff", "f.gif",
                           "g.jpg.txt", "h.tif~", "notes.txt"})
    dir.write(name, "x");
  EXPECT_EQ(ListFolderFiles(dir.path(), kPictureFileMask),
            QStringList({"a.bmp", "b.jpeg", "c.Png", "d.TIF", "e.tiff", "IMG_0042.JPG"}));
  EXPECT_TRUE(MatchesMask("X.TIFF", kPictureFileMask));
  EXPECT_FALSE(MatchesMask("x.gif", kPictureFileMask));
  EXPECT_FALSE(MatchesMask("a.jpg", "*.bmp")) << "a mask of one pattern stays as it was";
}

TEST(FileListTest, FileNameIsTheCurrentItemOnlyWhenSelected) {
  TempDir dir;
  dir.write("a.ort", "1");
  dir.write("b.ort", "2");
  FileListBox list;
  list.setMask("*.ort");
  list.setMultiSelect(true);
  list.setDirectory(dir.path());
  EXPECT_EQ(list.fileName(), "") << "nothing picked after a read";
  ASSERT_TRUE(list.selectEntry("b.ort"));
  EXPECT_EQ(list.fileName(), QDir(dir.path()).absolutePath() + "/b.ort");
  list.item(0)->setSelected(true);
  EXPECT_EQ(list.selectedEntries(), QStringList({"a.ort", "b.ort"}));
  // A Ctrl+click on the selected current item leaves it unselected: no FileName.
  list.show();
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier,
                    list.visualItemRect(list.item(1)).center());
  EXPECT_EQ(list.fileName(), "");
  list.reread();
  EXPECT_TRUE(list.selectedEntries().isEmpty()) << "a re-read drops the selection";
}

TEST(ZoomTest, ThirtyTwoBitArithmeticTruncates) {
  EXPECT_EQ(ZoomedLength(333, 75), 249);
  EXPECT_EQ(ZoomedLength(101, 75), 75);
  EXPECT_EQ(ZoomedLength(1024, 50), 512);
  EXPECT_EQ(ZoomedLength(0, 400), 0);
  EXPECT_EQ(ZoomedLength(-7, 50), -3) << "toward zero";
}

class FrameTest : public ::testing::Test {
 protected:
  FrameTest() : windows_(dir_.path()) { MainForm->show(); }
  QString folder(const QString& name) const { return QDir(dir_.file(name)).absolutePath(); }
  testing::SampleWorkspace dir_;
  ProgramWindows windows_;
};

TEST_F(FrameTest, FieldOfViewDrawingZoomsFrom512To4096) {
  MainForm->N10Click();
  const std::tuple<const char*, int, int> items[] = {{"N501", 50, 512},    {"N751", 75, 768},
                                                     {"N1001", 100, 1024}, {"N2001", 200, 2048},
                                                     {"N3001", 300, 3072}, {"N4001", 400, 4096}};
  for (const auto& [name, percent, side] : items) {
    QAction* item = Find<QAction>(FOVForm, QLatin1String(name));
    if (item == nullptr) continue;
    item->trigger();
    EXPECT_EQ(FOVForm->Image1->size(), QSize(side, side)) << percent;
    EXPECT_EQ(FOVForm->CheckedZoom(), percent);
    int checked = 0;
    for (QAction* zoom : FOVForm->zoomItems) checked += zoom->isChecked();
    EXPECT_EQ(checked, 1);
    EXPECT_EQ(FOVForm->ScrollBox1->canvas()->size(), QSize(side, side)) << "the scroll range follows";
  }
  FOVForm->SetZoom(33);
  EXPECT_EQ(FOVForm->CheckedZoom(), 0) << "a value of no item leaves all six unchecked";
  EXPECT_EQ(FOVForm->Image1->size(), QSize(337, 337));
}

TEST_F(FrameTest, AtTheSmallestSizeNoControlOfABottomPanelIsCut) {
  // Every shown control of the bottom panel lies inside it, and every label
  // and button is wide enough for its text.
  auto check = [](TBrowserForm* form, const char* state) {
    form->resize(1, 1);  // as small as the window lets itself be made
    testing::Settle();
    const QRect panel = form->Panel1->rect();
    ASSERT_TRUE(form->rect().contains(QRect(form->Panel1->mapTo(form, QPoint(0, 0)), panel.size()))) << state;
    for (QWidget* control : form->Panel1->findChildren<QWidget*>()) {
      if (!control->isVisibleTo(form)) continue;
      // What a scrolling area holds may be larger than the area.
      bool scrolled = false;
      for (QWidget* p = control->parentWidget(); p != form->Panel1; p = p->parentWidget())
        scrolled = scrolled || qobject_cast<QAbstractScrollArea*>(p) != nullptr;
      if (scrolled) continue;
      const QString name = form->objectName() + "." + control->objectName() + " " + state;
      EXPECT_TRUE(panel.contains(QRect(control->mapTo(form->Panel1, QPoint(0, 0)), control->size())))
          << name.toStdString();
      if (qobject_cast<QLabel*>(control) != nullptr || qobject_cast<QPushButton*>(control) != nullptr) {
        EXPECT_GE(control->width(), control->sizeHint().width()) << name.toStdString();
      }
    }
  };
  MainForm->N10Click();
  MainForm->N11Click();
  MainForm->N42Click();
  MainForm->N6Click();
  MainForm->N8Click();
  for (TBrowserForm* form : {static_cast<TBrowserForm*>(FOVForm), static_cast<TBrowserForm*>(ScaleForm),
                             static_cast<TBrowserForm*>(InterpolForm), static_cast<TBrowserForm*>(CutForm),
                             static_cast<TBrowserForm*>(RGBForm)})
    check(form, "");
  EXPECT_EQ(InterpolForm->size(), QSize(600, 400)) << "the smallest size stays while the methods are hidden";
  // Ctrl+J shows the methods and moves the edits and the button to the right.
  QWidget* focus = InterpolForm->focusWidget() != nullptr ? InterpolForm->focusWidget() : InterpolForm;
  QTest::keyClick(focus, Qt::Key_J, Qt::ControlModifier);
  ASSERT_TRUE(InterpolForm->RadioGroup1->isVisible());
  check(InterpolForm, "with the methods shown");
}

TEST_F(FrameTest, TheWindowsShareTheProcessCurrentDirectory) {
  MainForm->N11Click();
  ScaleForm->OpenDirectory(folder("bench"));
  EXPECT_EQ(QDir::currentPath(), folder("bench"));
  // A window shown the first time reads its folder (the start-up folder) and moves it there.
  MainForm->N10Click();
  EXPECT_EQ(QDir::currentPath(), QDir(dir_.path()).absolutePath());
  FOVForm->OpenDirectory(folder("fov"));
  EXPECT_EQ(QDir::currentPath(), folder("fov"));
  EXPECT_EQ(Items(FOVForm->FileListBox1), QStringList({"scene.lst", "scene_blocks.lst"}));
  // A file list read again after a task moves it back.
  ScaleForm->RereadFileList();
  EXPECT_EQ(QDir::currentPath(), folder("bench"));
  // So the help file, named without a folder, is looked for where the last list was read.
  QDir(folder("bench")).mkdir("SkarvelHelp");
  QFile help(folder("bench") + "/SkarvelHelp/Skarvel_01.html");
  ASSERT_TRUE(help.open(QIODevice::WriteOnly));
  help.write("<p>bench manual</p>");
  help.close();
  DesktopServices services;
  MainForm->N4Click();
  ASSERT_NE(services.helpViewer().window(), nullptr);
  EXPECT_EQ(QFileInfo(services.helpViewer().window()->shownFile()).canonicalFilePath(),
            QFileInfo(help.fileName()).canonicalFilePath());
}

TEST_F(FrameTest, DirectoryListShowsThePathAndSubFoldersAndOpensOnActivation) {
  MainForm->N11Click();
  DirectoryListBox* tree = ScaleForm->DirectoryListBox1;
  QTreeWidgetItem* current = tree->currentItem();
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->data(0, Qt::UserRole).toString(), QDir(dir_.path()).absolutePath());
  QStringList children;
  for (int i = 0; i < current->childCount(); ++i) children.append(current->child(i)->text(0));
  EXPECT_EQ(children, QStringList({"bench", "bitmaps", "fov", "photos"}));
  // Double click on "fov" opens it; the file list follows with its mask.
  QTreeWidgetItem* fov = current->child(2);
  const QRect rect = tree->visualItemRect(fov);
  ASSERT_EQ(tree->itemAt(rect.center()), fov);
  testing::DoubleClick(tree->viewport(), rect.center());
  EXPECT_EQ(ScaleForm->Directory(), folder("fov"));
  EXPECT_EQ(Items(ScaleForm->FileListBox1), QStringList({"frame1.ort", "frame2.ort", "frame3.ort",
                                                         "frame4.ort", "frame5.ort", "frame6.ort"}));
  // The root item goes to the volume's root.
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "/");
  EXPECT_EQ(ScaleForm->DriveComboBox1->currentText(), VolumeRootOf(folder("fov"), MountedVolumeRoots()));
}

TEST_F(FrameTest, ArrowKeysLoadEveryFilePassedOver) {
  MainForm->N11Click();
  ScaleForm->OpenDirectory(folder("bench"));
  FileListBox* list = ScaleForm->FileListBox1;
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(ScaleForm->ListBox1->item(0)->text().left(6), "0.2017");
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(ScaleForm->ListBox1->item(0)->text().left(7), "-0.5133");
}

TEST(PictureViewTest, ShowsNaturalPixelsAsBlocksAndOnlyWhatIsAsked) {
  auto bitmap = std::make_shared<Bitmap>(Bitmap::Colour(3, 2));
  // Pixel (x, y) has blue x, green y.
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      std::uint8_t* p = bitmap->row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = 9;
    }
  PictureView view;
  view.setBitmap(bitmap);
  view.resize(9, 4);  // 300 %, 200 %
  const QImage all = view.render(view.rect());
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(all.pixel(x, y), qRgb(9, y / 2, x / 3)) << x << "," << y;
  // A part far inside renders the same pixels as that part of the whole.
  const QImage part = view.render(QRect(4, 1, 3, 2));
  EXPECT_EQ(part.size(), QSize(3, 2));
  EXPECT_EQ(part.pixel(0, 0), all.pixel(4, 1));
  EXPECT_EQ(part.pixel(2, 1), all.pixel(6, 2));
}

TEST(PictureViewTest, MappingBackAndForthAgrees) {
  const ZoomMapping map(QSize(333, 101), QSize(249, 75));
  for (int x = 0; x < 249; ++x) {
    const int c = map.naturalColumn(x);
    EXPECT_LE(map.controlColumn(c), x);
    EXPECT_GT(map.controlColumn(c + 1), x);
  }
  // The control pixels of one natural pixel at 400 % are a 4 x 4 block.
  const ZoomMapping zoomed(QSize(6000, 4000), QSize(24000, 16000));
  EXPECT_EQ(zoomed.controlRect(QRect(5999, 3999, 1, 1)), QRect(23996, 15996, 4, 4));
  EXPECT_EQ(zoomed.controlRect(QRect(-10, -10, 11, 11)), QRect(0, 0, 4, 4)) << "clipped";
}

TEST(PictureViewTest, AHugeZoomRendersOnlyTheVisiblePart) {
  auto bitmap = std::make_shared<Bitmap>(Bitmap::Colour(6000, 4000));
  bitmap->row(3999)[3 * 5999] = 7;
  PictureView view;
  view.setBitmap(bitmap);
  view.resize(24000, 16000);
  const QImage corner = view.render(QRect(23990, 15990, 10, 10));
  EXPECT_EQ(corner.size(), QSize(10, 10));
  EXPECT_EQ(qBlue(corner.pixel(9, 9)), 7);
  EXPECT_EQ(qBlue(corner.pixel(5, 5)), 255);
}

}  // namespace
}  // namespace skarvel
