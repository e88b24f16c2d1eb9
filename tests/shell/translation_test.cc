// Under a Russian locale Qt's own dialogs speak Russian, as the program's
// windows do: the application loads Qt's translation at start. This test
// runs with LANG=ru_RU.UTF-8 (offscreen, and on Xvfb where it is installed).

#include "app/main_form.h"
#include "shell/mess_form.h"
#include "shell/windows.h"
#include "support/widget_test_support.h"

#include <QDialogButtonBox>
#include <QLocale>
#include <QPushButton>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

TEST(TranslationTest, TheOpenDialogOfTheTablesHasRussianButtons) {
  ASSERT_EQ(QLocale().language(), QLocale::Russian) << "the test runs under a Russian locale";
  testing::TempDir dir;
  testing::ProgramWindows windows(dir.path());
  QFileDialog* dialog = MainForm->XlsOpenDialog;
  auto* buttons = dialog->findChild<QDialogButtonBox*>();
  ASSERT_NE(buttons, nullptr);
  QStringList texts;
  for (QAbstractButton* button : buttons->buttons()) texts.append(button->text().remove(u'&'));
  EXPECT_TRUE(texts.contains("Отмена")) << texts.join(", ").toStdString();
  EXPECT_TRUE(texts.contains("Открыть")) << texts.join(", ").toStdString();
  // The program's own English captions stay as they are.
  EXPECT_EQ(testing::Find<QPushButton>(MessForm, "Button3")->text(), "Cancel");
}

}  // namespace
}  // namespace skarvel
