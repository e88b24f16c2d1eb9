// The colour composition window driven as a person drives it, with "," as
// the user's decimal separator.

#include "colour/rgb_form.h"
#include "../cli/cli_test_support.h"
#include "app/main_form.h"
#include "platform/bitmap_file.h"
#include "platform/numbers.h"
#include "platform/picture_statistics.h"
#include "shell/mess_form.h"
#include "shell/windows.h"
#include "support/widget_test_support.h"

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
    // Pixel bytes (30, 60, 90) everywhere but the first, (0, 0, 1).
    Bitmap picture = Bitmap::Colour(8, 6);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) {
        std::uint8_t* p = picture.row(y) + 3 * x;
        p[0] = 30, p[1] = 60, p[2] = 90;
      }
    picture.row(0)[0] = 0, picture.row(0)[1] = 0, picture.row(0)[2] = 1;
    testing::WritePicture(path(), "a.1.bmp", picture);
    testing::WritePicture(path(), "b.bmp", testing::GradientPicture(50, 40));
  }
};

class RgbFormTest : public ::testing::Test {
 protected:
  RgbFormTest() : windows_(dir_.path()) {
    MainForm->show();
    MainForm->N8Click();
    RGBForm->activateWindow();
    // Focus, and so the typing rules, need the window active.
    EXPECT_TRUE(QTest::qWaitForWindowActive(RGBForm));
  }
  void click(const QString& entry) { testing::ClickEntry(RGBForm, entry); }
  // Pastes a whole text over the edit's (one change of its text), then
  // leaves the edit, which ends its editing.
  static void paste(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    edit->insert(text);
    RGBForm->FileListBox1->setFocus();
  }
  static QList<int> positions() {
    return {RGBForm->RTrackBar->value(), RGBForm->GTrackBar->value(), RGBForm->BTrackBar->value(),
            RGBForm->CTrackBar->value()};
  }
  testing::SeparatorScope comma_{u','};
  PictureFolder dir_;
  ProgramWindows windows_;
};

TEST_F(RgbFormTest, SlidersAndEditsStartAsTheLayoutDefinesThem) {
  EXPECT_EQ(RGBForm->windowTitle(), "Изменение цветового состава изображения");
  for (QSlider* s : {RGBForm->RTrackBar, RGBForm->GTrackBar, RGBForm->BTrackBar}) {
    EXPECT_EQ(s->minimum(), -100);
    EXPECT_EQ(s->maximum(), 200);
    EXPECT_EQ(s->value(), 0);
    EXPECT_EQ(s->singleStep(), 5);
    EXPECT_EQ(s->pageStep(), 5);
    EXPECT_EQ(s->tickInterval(), 10);
  }
  EXPECT_EQ(RGBForm->CTrackBar->maximum(), 500);
  EXPECT_EQ(RGBForm->CTrackBar->value(), 50);
  EXPECT_EQ(RGBForm->CTrackBar->singleStep(), 50);
  EXPECT_EQ(RGBForm->CTrackBar->pageStep(), 5);
  EXPECT_EQ(RGBForm->CTrackBar->tickInterval(), 20);
  EXPECT_EQ(RGBForm->REdit->text(), "0 %");
  EXPECT_EQ(RGBForm->CEdit->text(), "1");
  // Sliders move before any picture is loaded: the composition of nothing is nothing.
  RGBForm->RTrackBar->setValue(-100);
  EXPECT_EQ(RGBForm->REdit->text(), "-100 %");
  EXPECT_EQ(RGBForm->CEdit->text(), "1,00") << "the first change writes the contrast format";
  EXPECT_TRUE(RGBForm->GreyImage()->empty());
}

TEST_F(RgbFormTest, TheContrastSliderSettlesWhereItsTextPutsIt) {
  const std::tuple<int, const char*, int> moves[] = {{61, "1,20", 60}, {7, "0,14", 7},
                                                     {63, "1,30", 65}, {498, "10,00", 500},
                                                     {7, "0,14", 7},   {499, "10,00", 500}};
  for (const auto& [moved, text, settled] : moves) {
    RGBForm->CTrackBar->setValue(moved);
    EXPECT_EQ(RGBForm->CEdit->text(), QString::fromUtf8(text)) << moved;
    EXPECT_EQ(RGBForm->CTrackBar->value(), settled) << moved;
  }
  paste(RGBForm->CEdit, "2,10");
  EXPECT_EQ(RGBForm->CTrackBar->value(), 104) << "truncation, not rounding";
  EXPECT_EQ(RGBForm->CEdit->text(), "2,10");
}

TEST_F(RgbFormTest, ChannelTextsMoveTheirSlidersClampedAndTruncated) {
  paste(RGBForm->REdit, "250");
  EXPECT_EQ(RGBForm->RTrackBar->value(), 200);
  EXPECT_EQ(RGBForm->REdit->text(), "200 %") << "rewritten to the clamped value";
  paste(RGBForm->REdit, "260");
  EXPECT_EQ(RGBForm->REdit->text(), "260") << "the slider already stood at its end";
  paste(RGBForm->GEdit, "12,7 %");
  EXPECT_EQ(RGBForm->GTrackBar->value(), 12);
  EXPECT_EQ(RGBForm->GEdit->text(), "12 %");
  // Letters change no slider and show no message.
  ModalWatcher watcher;
  const QList<int> before = positions();
  paste(RGBForm->GEdit, "abc");
  EXPECT_EQ(positions(), before);
  EXPECT_TRUE(watcher.boxes.empty());
}

TEST_F(RgbFormTest, EmptyingTheContrastEditSetsTheChannelsFromTheirEditsOnly) {
  RGBForm->CTrackBar->setValue(80);
  const int contrast = RGBForm->CTrackBar->value();
  // The channel edits say what their sliders do not.
  {
    const QSignalBlocker blocker(RGBForm->REdit);
    RGBForm->REdit->setText("30 %");
  }
  RGBForm->CEdit->setFocus();
  RGBForm->CEdit->selectAll();
  QTest::keyClick(RGBForm->CEdit, Qt::Key_Delete);
  EXPECT_EQ(RGBForm->RTrackBar->value(), 30);
  EXPECT_EQ(RGBForm->CTrackBar->value(), contrast);
  EXPECT_EQ(RGBForm->CEdit->text(), "") << "not rewritten while it has the focus";
  // The moved R slider wrote the edits again, the contrast edit included,
  // once its editing ended.
  RGBForm->RTrackBar->setFocus();
  EXPECT_EQ(RGBForm->CEdit->text(), "1,60");
  RGBForm->CEdit->setFocus();
  // With nothing to move, the emptied edit stays empty.
  QTest::keyClick(RGBForm->CEdit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(RGBForm->CEdit, Qt::Key_Delete);
  EXPECT_EQ(RGBForm->CEdit->text(), "");
  EXPECT_EQ(RGBForm->CTrackBar->value(), contrast);
}

TEST_F(RgbFormTest, ArrowKeysStepTheContrastByOnePageKeysByATenth) {
  RGBForm->CTrackBar->setFocus();
  QTest::keyClick(RGBForm->CTrackBar, Qt::Key_Right);
  EXPECT_EQ(RGBForm->CTrackBar->value(), 100);
  EXPECT_EQ(RGBForm->CEdit->text(), "2,00");
  // 0.1 more shows 2,10, which holds the slider at 104 (2.1 is just below its decimal value).
  QTest::keyClick(RGBForm->CTrackBar, Qt::Key_PageUp);
  EXPECT_EQ(RGBForm->CEdit->text(), "2,10");
  EXPECT_EQ(RGBForm->CTrackBar->value(), 104);
}

TEST_F(RgbFormTest, TheViewShowsOnlyTheGreyResultOfTheClickedPicture) {
  RGBForm->N2001Click();
  click("a.1.bmp");
  EXPECT_EQ(RGBForm->CheckedZoom(), 100);
  EXPECT_EQ(RGBForm->CrossImage1->size(), QSize(8, 6));
  const auto& grey = RGBForm->GreyImage();
  ASSERT_TRUE(grey->indexed);
  EXPECT_EQ(grey->palette, GreyPalette());
  EXPECT_EQ(grey->row(0)[0], 0) << "(0, 0, 1) at the defaults";
  EXPECT_EQ(grey->row(3)[4], 60) << "(30, 60, 90) at the defaults";
  EXPECT_EQ(qRed(RGBForm->CrossImage1->render(QRect(4, 3, 1, 1)).pixel(0, 0)), 60);
  // R = 100 weighs byte 0 (blue 30) double: (60 + 60 + 90) / 3 = 70.
  RGBForm->RTrackBar->setValue(100);
  EXPECT_EQ(RGBForm->GreyImage()->row(3)[4], 70);
  EXPECT_EQ(qRed(RGBForm->CrossImage1->render(QRect(4, 3, 1, 1)).pixel(0, 0)), 70);
}

TEST_F(RgbFormTest, ConversionWritesWhatTheCommandLineWrites) {
  RGBForm->RTrackBar->setValue(37);
  RGBForm->GTrackBar->setValue(-12);
  RGBForm->BTrackBar->setValue(150);
  RGBForm->CTrackBar->setValue(73);
  const QList<int> settings = positions();
  for (int i = 0; i < 2; ++i) RGBForm->FileListBox1->item(i)->setSelected(true);
  RGBForm->RTrackBar->setFocus();
  QTest::keyClick(RGBForm->RTrackBar, Qt::Key_Return);
  EXPECT_EQ(positions(), settings) << "Enter on a slider converts and moves nothing";
  EXPECT_EQ(RGBForm->CrossImage1->size(), QSize(50, 40)) << "sized to the last converted picture";
  TempDir other;
  QStringList args = {"grey",
                      "--r",
                      QString::number(settings[0]),
                      "--g",
                      QString::number(settings[1]),
                      "--b",
                      QString::number(settings[2]),
                      "--contrast",
                      QString::number(settings[3])};
  for (const char* name : {"a.1.bmp", "b.bmp"}) {
    QFile::copy(dir_.file(name), other.file(name));
    args.append(other.file(name));
  }
  const auto result = testing::RunBatch(args);
  ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
  for (const char* name : {"a_mod.bmp", "b_mod.bmp"}) {
    EXPECT_FALSE(ReadBytes(dir_.file(name)).isEmpty()) << name;
    EXPECT_EQ(ReadBytes(dir_.file(name)), ReadBytes(other.file(name))) << name;
  }
}

TEST_F(RgbFormTest, AnInvalidBitmapClickKeepsTheViewAndTheZoom) {
  click("b.bmp");
  RGBForm->N3001Click();
  dir_.write("bad.bmp", "BM");
  RGBForm->RereadFileList();
  ModalWatcher watcher;
  click("bad.bmp");
  EXPECT_EQ(watcher.boxTexts(), QStringList({"Skarvel: Bitmap image is not valid."}));
  EXPECT_EQ(RGBForm->CheckedZoom(), 300);
  EXPECT_EQ(RGBForm->GreyImage()->width, 50);
}

TEST_F(RgbFormTest, AKeyReleasedOnAChannelSliderComposesAgain) {
  click("a.1.bmp");
  // The grey picture is changed behind the window's back; a key released on
  // a channel slider makes it again from the source, on the contrast slider not.
  RGBForm->GreyImage()->row(3)[4] = 1;
  RGBForm->CTrackBar->setFocus();
  QTest::keyRelease(RGBForm->CTrackBar, Qt::Key_Left);
  EXPECT_EQ(RGBForm->GreyImage()->row(3)[4], 1);
  RGBForm->RTrackBar->setFocus();
  QTest::keyRelease(RGBForm->RTrackBar, Qt::Key_Left);
  EXPECT_EQ(RGBForm->GreyImage()->row(3)[4], 60);
}

// The grey levels the view shows in its visible part, against a whole
// composition: every control pixel shows the natural pixel it maps to.
void ExpectViewShows(const Bitmap& whole) {
  PictureView* view = RGBForm->CrossImage1;
  const QRect visible = view->visibleRegion().boundingRect();
  ASSERT_FALSE(visible.isEmpty());
  const QImage shown = view->grab(visible).toImage();
  const ZoomMapping map = view->mapping();
  int wrong = 0;
  for (int y = 0; y < visible.height(); ++y)
    for (int x = 0; x < visible.width(); ++x) {
      const int expected = whole.row(map.naturalRow(visible.y() + y))[map.naturalColumn(visible.x() + x)];
      if (qRed(shown.pixel(x, y)) != expected && wrong++ == 0)
        ADD_FAILURE() << "first at " << x << ", " << y << ": " << qRed(shown.pixel(x, y)) << " not "
                      << expected << " image " << shown.width() << " x " << shown.height();
    }
  EXPECT_EQ(wrong, 0) << "of " << visible.width() << " x " << visible.height() << " at " << visible.x()
                      << ", " << visible.y();
}

TEST_F(RgbFormTest, WhatTheViewShowsAndEveryReaderOfTheResultIsTheWholeComposition) {
  RGBForm->resize(802, 667);
  testing::WritePicture(dir_.path(), "big.bmp", testing::GradientPicture(1500, 1000));
  RGBForm->RereadFileList();
  const ChannelSettings settings{37, -12, 150, 75};  // a contrast its text does not pull
  RGBForm->RTrackBar->setValue(settings.r);
  RGBForm->GTrackBar->setValue(settings.g);
  RGBForm->BTrackBar->setValue(settings.b);
  RGBForm->CTrackBar->setValue(settings.contrast);
  ASSERT_EQ(RGBForm->Settings(), settings);
  click("big.bmp");
  const Bitmap& source = *RGBForm->SourceImage();
  const Bitmap whole = ComposeGrey(source, settings);
  QScrollBar* horizontal = RGBForm->ScrollBox1->horizontalScrollBar();
  QScrollBar* vertical = RGBForm->ScrollBox1->verticalScrollBar();
  RGBForm->ScrollBox1->viewport()->repaint();
  EXPECT_TRUE(RGBForm->ResultPending()) << "the first paint did not wait for the whole picture";
  ExpectViewShows(whole);
  // Scrolled into view, then zoomed: the parts not composed before.
  horizontal->setValue(700);
  vertical->setValue(500);
  ExpectViewShows(whole);
  RGBForm->N2001Click();
  horizontal->setValue(horizontal->maximum());
  ExpectViewShows(whole);
  RGBForm->N501Click();
  ExpectViewShows(whole);
  EXPECT_EQ(RGBForm->GreyImage()->pixels, whole.pixels) << "all of it, once read";

  // After a slider change, with most of the result not yet composed.
  RGBForm->N1001Click();
  RGBForm->RTrackBar->setValue(-60);
  const ChannelSettings moved{-60, settings.g, settings.b, settings.contrast};
  ASSERT_EQ(RGBForm->Settings(), moved);
  const Bitmap current = ComposeGrey(source, moved);
  RGBForm->ScrollBox1->viewport()->repaint();
  ASSERT_TRUE(RGBForm->ResultPending());
  // The statistics describe the current result.
  ModalWatcher watcher;
  QStringList shown;
  testing::ReadStatisticsWhenShown(watcher, &shown);
  RGBForm->ShowStatistics();
  const auto [low, high] = std::minmax_element(current.pixels.begin(), current.pixels.end());
  double sum = 0;
  for (std::uint8_t level : current.pixels) sum += level;
  EXPECT_TRUE(shown.contains(QStringLiteral("Результат: минимум %1").arg(*low)))
      << shown.join("\n").toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("Результат: максимум %1").arg(*high)));
  EXPECT_TRUE(shown.contains(QStringLiteral("Результат: среднее %1")
                                 .arg(FormatFigure(sum / static_cast<double>(current.pixels.size())))));
  // The conversion writes it, and the window holds it whole afterwards.
  RGBForm->FileListBox1->selectEntry("big.bmp");
  RGBForm->Button1Click();
  EXPECT_EQ(LoadBitmap(dir_.file("big_mod.bmp")).pixels, current.pixels);
  EXPECT_FALSE(RGBForm->ResultPending());
  EXPECT_EQ(RGBForm->GreyImage()->pixels, current.pixels);
}

TEST_F(RgbFormTest, PhotographsAreViewedAndCountedAsTheBitmapsOfTheirPixels) {
  RGBForm->RTrackBar->setValue(41);
  RGBForm->GTrackBar->setValue(-30);
  RGBForm->CTrackBar->setValue(64);
  for (const auto& [photo, bits] : testing::kSamplePhotos) {
    const QString bitmap = testing::CopyPhotoWithItsBitmap(dir_.path(), photo);
    RGBForm->RereadFileList();
    ModalWatcher watcher;
    QStringList shown[2];
    Bitmap grey[2];
    for (int i = 0; i < 2; ++i) {
      click(i == 0 ? photo : bitmap);
      ASSERT_TRUE(watcher.boxes.empty())
          << photo.toStdString() << ": " << watcher.boxTexts().join("\n").toStdString();
      const Bitmap whole = ComposeGrey(*RGBForm->SourceImage(), RGBForm->Settings());
      ExpectViewShows(whole);
      testing::ReadStatisticsWhenShown(watcher, &shown[i]);
      RGBForm->ShowStatistics();
      grey[i] = *RGBForm->GreyImage();
    }
    EXPECT_EQ(grey[0].pixels, grey[1].pixels) << photo.toStdString();
    EXPECT_EQ(grey[0].width, grey[1].width) << photo.toStdString();
    ASSERT_FALSE(shown[0].isEmpty()) << photo.toStdString();
    EXPECT_EQ(shown[0][1], testing::BitCountLine(bits)) << photo.toStdString();
    shown[0].removeAt(1), shown[1].removeAt(1);
    EXPECT_EQ(shown[0], shown[1]) << photo.toStdString();
  }
}

// Typing as a person types, with the separator of the locale the test runs
// under (ctest runs it under C.UTF-8 and under ru_RU.UTF-8).
class RgbTypingTest : public RgbFormTest {
 protected:
  RgbTypingTest() { SetDecimalSeparatorOverride(std::nullopt); }
};

TEST_F(RgbTypingTest, TypedTextStaysUnderTheCaretAndTakesItsFormatWhenEditingEnds) {
  const QChar sep = DecimalSeparator();
  if (qEnvironmentVariable("LC_ALL").startsWith(QLatin1String("ru_RU"))) {
    ASSERT_EQ(sep, u',');
  }
  // '#' stands for the locale's decimal separator; positions are R, G, B, contrast.
  struct Row {
    const char* edit;
    const char* typed;
    Qt::Key ends;  // Enter, or Tab to the next control
    QList<int> whileTyping;
    QList<int> after;
    const char* shown;  // the edit's text after editing ends
    const char* why;
  };
  const Row rows[] = {
      {"REdit", "50", Qt::Key_Tab, {50, 0, 0, 50}, {50, 0, 0, 50}, "50 %", "the issue's 5 %0"},
      {"CEdit", "2#5", Qt::Key_Return, {0, 0, 0, 125}, {0, 0, 0, 125}, "2#50", "the issue's 3.00.5"},
      {"REdit", "250", Qt::Key_Return, {200, 0, 0, 50}, {200, 0, 0, 50}, "200 %", "clamped, then rewritten"},
      {"GEdit", "12#7", Qt::Key_Tab, {0, 12, 0, 50}, {0, 12, 0, 50}, "12 %", "truncated, then rewritten"},
      {"CEdit", "1#23", Qt::Key_Tab, {0, 0, 0, 61}, {0, 0, 0, 60}, "1#20", "the shown factor pulls 61 to 60"},
      {"CEdit", "2#1", Qt::Key_Return, {0, 0, 0, 104}, {0, 0, 0, 104}, "2#10", "2.1 is held below 2.1: 104"},
      {"BEdit", "-100", Qt::Key_Tab, {0, 0, -100, 50}, {0, 0, -100, 50}, "-100 %", "a sign typed first"},
      {"GEdit", "abc", Qt::Key_Tab, {0, 0, 0, 50}, {0, 0, 0, 50}, "abc", "letters move nothing"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    for (QSlider* s : {RGBForm->RTrackBar, RGBForm->GTrackBar, RGBForm->BTrackBar}) s->setValue(0);
    RGBForm->CTrackBar->setValue(50);
    auto* edit = testing::Find<QLineEdit>(RGBForm, QLatin1String(row.edit));
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    ASSERT_TRUE(edit->hasFocus());
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    const QString typed = QString::fromUtf8(row.typed).replace(u'#', sep);
    QTest::keyClicks(edit, typed);
    EXPECT_EQ(edit->text(), typed) << "nothing rewritten under the caret";
    EXPECT_EQ(positions(), row.whileTyping) << "the sliders follow the keystrokes";
    QTest::keyClick(edit, row.ends);
    EXPECT_EQ(edit->text(), QString::fromUtf8(row.shown).replace(u'#', sep));
    EXPECT_EQ(positions(), row.after);
    RGBForm->FileListBox1->setFocus();
  }
}

// Either decimal point converts, whatever the desktop's setting: the first
// keystroke of "0.5" must not leave the contrast at 0 when the rest does
// not convert. The edit is left as a person leaves it: Tab, or a click into
// the empty part of the file list.
TEST_F(RgbTypingTest, EitherDecimalPointConvertsAndTheTextSettlesWhenTheFocusLeaves) {
  const QChar sep = DecimalSeparator();
  struct Row {
    const char* edit;
    const char* typed;
    bool byClick;       // else Tab
    QList<int> after;   // R, G, B, contrast
    const char* shown;  // '#' stands for the locale's separator
  };
  const Row rows[] = {
      {"CEdit", "0.5", false, {0, 0, 0, 25}, "0#50"},
      {"CEdit", "0,5", true, {0, 0, 0, 25}, "0#50"},
      {"CEdit", "1.22", true, {0, 0, 0, 60}, "1#20"},  // 61 shows 1,20, which gives 60
      {"CEdit", "1,22", false, {0, 0, 0, 60}, "1#20"},
      {"CEdit", "2.10", false, {0, 0, 0, 104}, "2#10"},
      {"CEdit", ".5", true, {0, 0, 0, 25}, "0#50"},
      {"CEdit", "1.2,3", false, {0, 0, 0, 60}, "1#20"},  // two points: the last text that converted
      {"CEdit", "x", true, {0, 0, 0, 50}, "x"},          // nothing converted, nothing moved
      {"GEdit", "12.7 %", false, {0, 12, 0, 50}, "12 %"},
      {"BEdit", "-3,9", true, {0, 0, -3, 50}, "-3 %"},
  };
  FileListBox* list = RGBForm->FileListBox1;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.typed);
    for (QSlider* s : {RGBForm->RTrackBar, RGBForm->GTrackBar, RGBForm->BTrackBar}) s->setValue(0);
    RGBForm->CTrackBar->setValue(50);
    auto* edit = testing::Find<QLineEdit>(RGBForm, QLatin1String(row.edit));
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    ASSERT_TRUE(edit->hasFocus());
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, QString::fromUtf8(row.typed));
    if (row.byClick) {
      const QRect below =
          list->viewport()->rect().adjusted(0, list->visualItemRect(list->item(1)).bottom() + 4, 0, 0);
      ASSERT_FALSE(below.isEmpty());
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, below.center());
      ASSERT_TRUE(list->hasFocus());
    } else {
      QTest::keyClick(edit, Qt::Key_Tab);
      ASSERT_FALSE(edit->hasFocus());
    }
    EXPECT_EQ(edit->text(), QString::fromUtf8(row.shown).replace(u'#', sep));
    EXPECT_EQ(positions(), row.after);
  }
}

}  // namespace
}  // namespace skarvel
