// The fragment extraction window driven as a person drives it.

#include "cut/cut_form.h"
#include "../cli/cli_test_support.h"
#include "app/main_form.h"
#include "platform/bitmap_file.h"
#include "shell/windows.h"
#include "support/widget_test_support.h"

#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::ModalWatcher;
using testing::ProgramWindows;
using testing::ReadBytes;
using testing::TempDir;

class PictureFolder : public TempDir {
 public:
  PictureFolder() {
    testing::WritePicture(path(), "scene.old.bmp", testing::GradientPicture(64, 48));
    testing::WritePicture(path(), "small.bmp", testing::GradientPicture(30, 20));
  }
};

class CutFormTest : public ::testing::Test {
 protected:
  CutFormTest() : windows_(dir_.path()) {
    MainForm->show();
    MainForm->N6Click();
    CutForm->activateWindow();
  }
  void click(const QString& entry) { testing::ClickEntry(CutForm, entry); }
  void type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }
  PictureFolder dir_;
  ProgramWindows windows_;
};

// The overlay as a white picture of the natural size with the outline
// painted on it, stretched over the control by the picture's own mapping; a
// control pixel that covers several natural pixels (below 100 %) is red when
// one of them is.
QImage StretchedReference(const CutFrame& frame, int pen, QSize natural, QSize control) {
  QImage overlay(natural, QImage::Format_RGB32);
  overlay.fill(Qt::white);
  {
    QPainter painter(&overlay);
    painter.setPen(CutOutlinePen(pen));
    const auto outline = CutOutline(frame);
    painter.drawPolyline(outline.data(), static_cast<int>(outline.size()));
  }
  const ZoomMapping map(natural, control);
  QImage out(control, QImage::Format_RGB32);
  out.fill(Qt::white);
  for (int y = 0; y < control.height(); ++y)
    for (int x = 0; x < control.width(); ++x)
      for (int r = map.naturalRow(y); r == map.naturalRow(y) || r < map.naturalRow(y + 1); ++r)
        for (int c = map.naturalColumn(x); c == map.naturalColumn(x) || c < map.naturalColumn(x + 1); ++c)
          if (overlay.pixel(c, r) == qRgb(255, 0, 0)) out.setPixel(x, y, qRgb(255, 0, 0));
  return out;
}

bool SameOverlay(const QImage& rendered, const QImage& reference) {
  for (int y = 0; y < reference.height(); ++y)
    for (int x = 0; x < reference.width(); ++x) {
      const bool red = qAlpha(rendered.pixel(x, y)) == 255 && rendered.pixel(x, y) == qRgb(255, 0, 0);
      if (red != (reference.pixel(x, y) == qRgb(255, 0, 0))) {
        ADD_FAILURE() << "first difference at " << x << "," << y;
        return false;
      }
    }
  return true;
}

TEST_F(CutFormTest, StartsWithItsDefaultsCaptionAndSizeLabels) {
  EXPECT_EQ(CutForm->windowTitle(), "Извлечение и соханение части изображения");
  EXPECT_EQ(CutForm->Edit1->text(), "0");
  EXPECT_EQ(CutForm->Edit2->text(), "0");
  EXPECT_EQ(CutForm->Edit3->text(), "100");
  EXPECT_EQ(CutForm->Edit4->text(), "100");
  EXPECT_EQ(CutForm->Label8->text(), "Ширина = 100");
  EXPECT_EQ(CutForm->Label9->text(), "Высота = 100");
  EXPECT_EQ(CutForm->minimumSize(), QSize(830, 400));
  EXPECT_EQ(CutForm->CrossImage1->naturalSize(), QSize(0, 0)) << "the overlay is empty before a picture";
}

TEST_F(CutFormTest, TheLabelsFollowTheEditsAndIgnoreTextsThatAreNoIntegers) {
  type(CutForm->Edit1, "100");
  type(CutForm->Edit3, "0");
  EXPECT_EQ(CutForm->Label8->text(), "Ширина = 100") << "the absolute span of reversed corners";
  type(CutForm->Edit4, "-");
  EXPECT_EQ(CutForm->Label9->text(), "Высота = 100") << "a minus alone redraws nothing";
  QTest::keyClicks(CutForm->Edit4, "5");
  EXPECT_EQ(CutForm->Label9->text(), "Высота = 5");
  type(CutForm->Edit2, "$10");
  EXPECT_EQ(CutForm->Label9->text(), "Высота = 21") << "hexadecimal after a dollar sign";
}

TEST_F(CutFormTest, ThePenWidthIsTheZoomsAtTheMomentOfTheRedraw) {
  click("scene.old.bmp");
  EXPECT_EQ(CutForm->CheckedZoom(), 100);
  EXPECT_EQ(CutForm->CrossImage1->penWidth(), 2);
  CutForm->N501Click();
  EXPECT_EQ(CutForm->CrossImage1->penWidth(), 2) << "a zoom change alone redraws nothing";
  EXPECT_EQ(CutForm->CrossImage1->size(), QSize(32, 24));
  type(CutForm->Edit3, "50");
  EXPECT_EQ(CutForm->CrossImage1->penWidth(), 3);
  CutForm->N751Click();
  type(CutForm->Edit3, "51");
  EXPECT_EQ(CutForm->CrossImage1->penWidth(), 1);
  CutForm->N4001Click();
  type(CutForm->Edit3, "52");
  EXPECT_EQ(CutForm->CrossImage1->penWidth(), 1);
}

TEST_F(CutFormTest, TheOverlayLooksLikeTheNaturalOutlineStretchedOverThePicture) {
  click("scene.old.bmp");
  type(CutForm->Edit1, "-3");
  type(CutForm->Edit2, "5");
  type(CutForm->Edit3, "40");
  type(CutForm->Edit4, "30");
  const CutFrame frame{-3, 5, 40, 30};
  for (const int zoom : {100, 200, 300, 75, 50}) {
    CutForm->SetZoom(zoom);
    CutForm->DrawCutFrame();
    const int pen = CutForm->CrossImage1->penWidth();
    const QSize control = CutForm->CrossImage1->size();
    EXPECT_EQ(control, CutForm->Image1->size());
    EXPECT_TRUE(SameOverlay(CutForm->CrossImage1->render(QRect(QPoint(0, 0), control)),
                            StretchedReference(frame, pen, QSize(64, 48), control)))
        << zoom;
  }
  // A part of it renders as that part of the whole.
  CutForm->N3001Click();
  CutForm->DrawCutFrame();  // with the thin pen
  const QImage whole = CutForm->CrossImage1->render(CutForm->CrossImage1->rect());
  // Parts whose edges cut the sides; the second holds the corner (W2, H2) at (120, 90).
  for (const QRect part : {QRect(17, 11, 40, 30), QRect(0, 64, 192, 64)})
    EXPECT_EQ(CutForm->CrossImage1->render(part), whole.copy(part)) << part.x() << "," << part.y();
}

TEST_F(CutFormTest, TheOutlineStaysVisibleOnAllFourSidesBelow100Percent) {
  Bitmap grey = Bitmap::Colour(640, 480);
  std::fill(grey.row(0), grey.row(0) + 3 * 640 * 480, std::uint8_t{128});
  testing::WritePicture(dir_.path(), "grey.bmp", grey);
  CutForm->RereadFileList();
  click("grey.bmp");
  for (auto [edit, text] : {std::pair{CutForm->Edit1, "3"},
                            {CutForm->Edit2, "7"},
                            {CutForm->Edit3, "103"},
                            {CutForm->Edit4, "107"}})
    type(edit, text);
  // The corners' control columns and rows, floor(natural * percent / 100):
  // at 75 % columns 2 and 77, rows 5 and 80; at 50 % columns 1 and 51, rows 3 and 53.
  struct Step {
    int zoom;
    bool redraw;  // an edit changed after the zoom (the pen then follows it)
    int pen;
    int left, right, top, bottom;
  };
  const Step steps[] = {{75, true, 1, 2, 77, 5, 80},
                        {50, false, 1, 1, 51, 3, 53},  // drawn at 75 %, then zoomed out
                        {50, true, 3, 1, 51, 3, 53}};
  for (const Step& step : steps) {
    CutForm->SetZoom(step.zoom);
    if (step.redraw) type(CutForm->Edit4, "107");
    ASSERT_EQ(CutForm->CrossImage1->penWidth(), step.pen);
    const QImage shown =
        CutForm->ScrollBox1->canvas()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto redNear = [&](int x, int y, bool alongColumn) {
      for (int d = -step.pen; d <= step.pen; ++d)
        if (shown.pixel(alongColumn ? x + d : x, alongColumn ? y : y + d) == qRgb(255, 0, 0)) return true;
      return false;
    };
    int missing = 0;
    for (int y = step.top + 2; y <= step.bottom - 2; ++y)
      missing += !redNear(step.left, y, true) + !redNear(step.right, y, true);
    for (int x = step.left + 2; x <= step.right - 2; ++x)
      missing += !redNear(x, step.top, false) + !redNear(x, step.bottom, false);
    EXPECT_EQ(missing, 0) << step.zoom << " % with pen " << step.pen << ": every side is red all along";
    EXPECT_EQ(shown.pixel((step.left + step.right) / 2, (step.top + step.bottom) / 2), qRgb(128, 128, 128))
        << "the inside shows the picture";
  }
}

TEST_F(CutFormTest, ExtractionWritesWhatTheCommandLineWrites) {
  type(CutForm->Edit1, "-10");
  type(CutForm->Edit2, "4");
  type(CutForm->Edit3, "90");
  type(CutForm->Edit4, "44");
  for (int i = 0; i < 2; ++i) CutForm->FileListBox1->item(i)->setSelected(true);
  CutForm->N2001Click();
  CutForm->Edit4->setFocus();
  QTest::keyClick(CutForm->Edit4, Qt::Key_Enter);
  EXPECT_EQ(CutForm->CheckedZoom(), 100) << "the zoom goes to 100 % after the run";
  TempDir other;
  QStringList args = {"cut", "--w1", "-10", "--h1", "4", "--w2", "90", "--h2", "44"};
  for (const char* name : {"scene.old.bmp", "small.bmp"}) {
    QFile::copy(dir_.file(name), other.file(name));
    args.append(other.file(name));
  }
  const auto result = testing::RunBatch(args);
  ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
  for (const char* name : {"scene_cut.bmp", "small_cut.bmp"}) {
    EXPECT_FALSE(ReadBytes(dir_.file(name)).isEmpty()) << name;
    EXPECT_EQ(ReadBytes(dir_.file(name)), ReadBytes(other.file(name))) << name;
  }
  EXPECT_TRUE(CutForm->FileListBox1->selectEntry("scene_cut.bmp")) << "the list is read again";
}

// After a run at another zoom the picture shown last, its outline, the
// scroll range and the menu all stand at 100 %, the outline drawn with the
// 100 % pen over the whole picture.
TEST_F(CutFormTest, AfterARunPictureOutlineScrollRangeAndMenuAreAt100Percent) {
  testing::WritePicture(dir_.path(), "big.bmp", testing::GradientPicture(900, 700));
  CutForm->RereadFileList();
  struct Row {
    int zoom;
    const char* zoomItem;
    QSize last;  // the natural size of the picture the run shows last
  };
  const Row rows[] = {
      {400, "N4001", QSize(30, 20)}, {50, "N501", QSize(30, 20)}, {400, "N4001", QSize(900, 700)}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.zoom);
    click("big.bmp");
    type(CutForm->Edit1, "5");
    type(CutForm->Edit3, "25");
    QMetaObject::invokeMethod(testing::Find<QAction>(CutForm, QLatin1String(row.zoomItem)),
                              &QAction::trigger);
    ASSERT_EQ(CutForm->CheckedZoom(), row.zoom);
    ASSERT_EQ(CutForm->CrossImage1->size(), QSize(900, 700) * row.zoom / 100);
    // Entries in list order: big.bmp, scene.old.bmp, small.bmp.
    FileListBox* list = CutForm->FileListBox1;
    list->clearSelection();
    for (const char* name : {"big.bmp", row.last.width() == 30 ? "small.bmp" : "big.bmp"})
      list->findItems(QLatin1String(name), Qt::MatchExactly).front()->setSelected(true);
    CutForm->Edit4->setFocus();
    QTest::keyClick(CutForm->Edit4, Qt::Key_Return);
    testing::Settle();
    for (const char* item : {"N501", "N751", "N1001", "N2001", "N3001", "N4001"})
      EXPECT_EQ(testing::Find<QAction>(CutForm, QLatin1String(item))->isChecked(),
                QLatin1String(item) == "N1001")
          << item;
    EXPECT_EQ(CutForm->Image1->naturalSize(), row.last);
    EXPECT_EQ(CutForm->Image1->size(), row.last);
    EXPECT_EQ(CutForm->CrossImage1->size(), row.last);
    EXPECT_EQ(CutForm->CrossImage1->naturalSize(), row.last);
    EXPECT_EQ(QSize(CutForm->ImageWidth, CutForm->ImageHeight), row.last);
    EXPECT_EQ(CutForm->ScrollBox1->canvas()->size(), row.last) << "the scroll range is the picture's";
    const QSize view = CutForm->ScrollBox1->viewport()->size();
    EXPECT_EQ(CutForm->ScrollBox1->horizontalScrollBar()->maximum(),
              std::max(0, row.last.width() - view.width()));
    EXPECT_EQ(CutForm->ScrollBox1->verticalScrollBar()->maximum(),
              std::max(0, row.last.height() - view.height()));
    EXPECT_EQ(CutForm->CrossImage1->penWidth(), 2);
    const CutFrame frame{5, 0, 25, 100};
    EXPECT_TRUE(SameOverlay(CutForm->CrossImage1->render(CutForm->CrossImage1->rect()),
                            StretchedReference(frame, 2, row.last, row.last)));
  }
}

TEST_F(CutFormTest, AnEmptyRectangleOrATextThatIsNoIntegerEndsTheBatchWithAMessage) {
  CutForm->FileListBox1->item(0)->setSelected(true);
  type(CutForm->Edit1, "50");
  type(CutForm->Edit3, "50");
  ModalWatcher watcher;
  QTest::mouseClick(CutForm->Button1, Qt::LeftButton);
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, "Skarvel");
  EXPECT_FALSE(QFileInfo::exists(dir_.file("scene_cut.bmp"))) << "no zero-byte file";
  type(CutForm->Edit3, "abc");
  EXPECT_EQ(CutForm->Label8->text(), "Ширина = 0");
  QTest::mouseClick(CutForm->Button1, Qt::LeftButton);
  ASSERT_EQ(watcher.boxes.size(), 2u);
  EXPECT_EQ(watcher.boxes[1].text, "'abc' is not a valid integer value.");
}

}  // namespace
}  // namespace skarvel
