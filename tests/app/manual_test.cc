// The manual says what the program does: its zoom menu, the outline's pen
// widths, the edits' texts at start in the user's locale and the command
// line's options. Run under C.UTF-8 and ru_RU.UTF-8.

#include "../cli/cli_test_support.h"
#include "app/main_form.h"
#include "colour/rgb_form.h"
#include "cut/cut_form.h"
#include "cut/fragment.h"
#include "resampling/interpol_form.h"
#include "scaling/scale_form.h"
#include "shell/windows.h"
#include "support/widget_test_support.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextDocumentFragment>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::ProgramWindows;
using testing::TempDir;

// The manual as plain text, its lines joined by blanks (a sentence may run
// over a line break of the source).
QString ManualText() {
  QFile file(testing::SourceDir() + QStringLiteral("/doc/SkarvelHelp/Skarvel_01.html"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QString text = QTextDocumentFragment::fromHtml(QString::fromUtf8(file.readAll())).toPlainText();
  return text.simplified();
}

class ManualTest : public ::testing::Test {
 protected:
  ManualTest() : windows_(dir_.path()), manual_(ManualText()) {}
  TempDir dir_;
  ProgramWindows windows_;
  QString manual_;
};

TEST_F(ManualTest, TheZoomMenuIsListedAsEveryZoomingWindowHasIt) {
  ASSERT_FALSE(manual_.isEmpty());
  for (TBrowserForm* form : std::initializer_list<TBrowserForm*>{CutForm, RGBForm, InterpolForm}) {
    SCOPED_TRACE(form->objectName().toStdString());
    QStringList zooms;
    QString firstOther;
    for (const QAction* item : form->ScalePopupMenu1->actions()) {
      if (item->isCheckable()) {
        zooms.append(item->text());
        if (item->isChecked()) {
          EXPECT_TRUE(manual_.contains("отмечен «" + item->text() + "»"));
        }
      } else if (!item->isSeparator() && firstOther.isEmpty()) {
        firstOther = item->text();
      }
    }
    EXPECT_TRUE(manual_.contains("открывает меню " + zooms.join(", ") + "."))
        << zooms.join(", ").toStdString();
    EXPECT_TRUE(manual_.contains("пункт «" + firstOther + "»")) << firstOther.toStdString();
  }
}

TEST_F(ManualTest, TheOutlinesPenWidthsAreTheWindows) {
  // The manual names three widths: at 50 %, at 100 % and at every other zoom.
  const int other = CutPenWidth(75);
  for (int zoom : {200, 300, 400}) EXPECT_EQ(CutPenWidth(zoom), other) << zoom;
  EXPECT_TRUE(manual_.contains(QStringLiteral("Толщина линии зависит от масштаба в момент перерисовки: "
                                              "%1 при 50 %, %2 при 100 %, иначе %3")
                                   .arg(CutPenWidth(50))
                                   .arg(CutPenWidth(100))
                                   .arg(other)));
  // After a click and after a run: the 100 % pen.
  EXPECT_TRUE(
      manual_.contains(QStringLiteral("рисует рамку заново линией толщины %1").arg(CutPenWidth(100))));
}

TEST_F(ManualTest, TheEditsTextsAtStartAreTheOnesTheUserSees) {
  // What each edit holds at start, as the manual quotes it after its caption.
  struct Row {
    QLineEdit* edit;
    QString said;  // the manual's words with the edit's text in place of %1
  };
  const Row rows[] = {
      {ScaleForm->Edit1, QStringLiteral("в русской локали «%1»")},
      {ScaleForm->Edit2, QStringLiteral("«Реальное расстояние (м):» (по умолчанию %1)")},
      {InterpolForm->Edit1, QStringLiteral("(по умолчанию %1 × ")},
      {InterpolForm->Edit3, QStringLiteral(" × %1);")},
      {CutForm->Edit1, QStringLiteral("(по умолчанию %1, ")},
      {CutForm->Edit4, QStringLiteral(", %1, то есть")},
      {RGBForm->REdit, QStringLiteral("«число %» (сначала «%1»)")},
      {RGBForm->CEdit, QStringLiteral("в нём стоит «%1»")},
  };
  const bool comma = DecimalSeparator() == u',';
  for (const Row& row : rows) {
    SCOPED_TRACE(row.edit->objectName().toStdString());
    QString said = row.said;
    // The bench distance is quoted for both separators; the user's is the one shown.
    if (row.edit == ScaleForm->Edit1 && !comma) said = QStringLiteral("при разделителе «.» — «%1»");
    EXPECT_TRUE(manual_.contains(said.arg(row.edit->text()))) << said.arg(row.edit->text()).toStdString();
  }
  // The contrast as the slider's first change writes it, in the user's separator.
  RGBForm->RTrackBar->setValue(5);
  const QString contrast = RGBForm->CEdit->text();
  EXPECT_TRUE(manual_.contains(comma ? "в русской локали — запятая: «" + contrast + "»"
                                     : "при разделителе «.» — «" + contrast + "»"))
      << contrast.toStdString();
}

TEST_F(ManualTest, EveryOptionOfTheCommandLineIsInTheManual) {
  const auto help = testing::RunBatch({"--help"});
  ASSERT_EQ(help.exitCode, 0) << help.err.toStdString();
  const QString section = manual_.section(QStringLiteral("Командная строка: skarvel-batch"), -1);
  ASSERT_FALSE(section.isEmpty());
  // Each command with its options, as its usage line has them.
  const QRegularExpression usage(QStringLiteral("^skarvel-batch (\\w+) (.*)$"),
                                 QRegularExpression::MultilineOption);
  const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
  int commands = 0;
  for (const auto& line : usage.globalMatch(help.out)) {
    ++commands;
    const QString command = line.captured(1);
    ASSERT_TRUE(section.contains("skarvel-batch " + command)) << command.toStdString();
    for (const auto& name : option.globalMatch(line.captured(2)))
      EXPECT_TRUE(section.contains(name.captured(0)))
          << command.toStdString() << " " << name.captured(0).toStdString();
  }
  EXPECT_EQ(commands, 5);
  // The relief's surface model, with its choices and its default.
  EXPECT_TRUE(section.contains("[--relief-surface bilinear|blocks]"));
  EXPECT_TRUE(section.contains("bilinear (по умолчанию)"));
}

}  // namespace
}  // namespace skarvel
