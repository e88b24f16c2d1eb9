#include "shell/mess_form.h"

#include "platform/files.h"

#include <QScrollArea>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace skarvel {

namespace {

// Every line of the list 16 pixels high, whatever the font.
class LineHeightDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), TMessForm::kLineHeight};
  }
};

}  // namespace

TMessForm::TMessForm()
    // A fixed border: a title, a system menu and a close box, nothing to
    // minimise or maximise.
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("MessForm"));
  setWindowTitle(QStringLiteral("Статистика по яркости"));
  setFixedSize(464, 208);
  move(408, 307);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* panel1 = new QWidget(this);
  panel1->setObjectName(QStringLiteral("Panel1"));
  auto* panelLayout = new QVBoxLayout(panel1);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  auto* scrollBox = new QScrollArea(panel1);
  scrollBox->setObjectName(QStringLiteral("ScrollBox1"));
  scrollBox->setWidgetResizable(true);
  panelLayout->addWidget(scrollBox);
  ListBox1 = new QListWidget;
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setFocusPolicy(Qt::ClickFocus);  // skipped by the Tab key
  ListBox1->setUniformItemSizes(true);
  ListBox1->setItemDelegate(new LineHeightDelegate(ListBox1));
  scrollBox->setWidget(ListBox1);
  layout->addWidget(panel1, 1);

  auto* panel2 = new QWidget(this);
  panel2->setObjectName(QStringLiteral("Panel2"));
  panel2->setFixedHeight(52);
  layout->addWidget(panel2);
  auto makeButton = [panel2](const char* name, const QString& caption, int left) {
    auto* button = new QPushButton(caption, panel2);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(left, 16, 80, 25);
    button->setAutoDefault(false);
    return button;
  };
  Button1 = makeButton("Button1", QStringLiteral("OK"), 78);
  Button3 = makeButton("Button3", QStringLiteral("Cancel"), 198);
  Button2 = makeButton("Button2", QStringLiteral("Save"), 318);
  setTabOrder(Button1, Button3);
  setTabOrder(Button3, Button2);
  connect(Button1, &QPushButton::clicked, this, &TMessForm::Button1Click);
  connect(Button3, &QPushButton::clicked, this, &TMessForm::Button3Click);
  connect(Button2, &QPushButton::clicked, this, &TMessForm::Button2Click);

  TextSaveDialog = new QFileDialog(this);
  TextSaveDialog->setObjectName(QStringLiteral("TextSaveDialog"));
  TextSaveDialog->setAcceptMode(QFileDialog::AcceptSave);
  TextSaveDialog->setFileMode(QFileDialog::AnyFile);
  TextSaveDialog->setDefaultSuffix(QStringLiteral("txt"));
  TextSaveDialog->setNameFilter(QStringLiteral("Text files (*.txt)"));
  TextSaveDialog->setOption(QFileDialog::DontConfirmOverwrite);
  TextSaveDialog->setOption(QFileDialog::DontUseNativeDialog);
}

void TMessForm::SetLines(const QStringList& lines) {
  ListBox1->clear();
  ListBox1->addItems(lines);
}

QStringList TMessForm::Lines() const {
  QStringList lines;
  for (int i = 0; i < ListBox1->count(); ++i) lines.append(ListBox1->item(i)->text());
  return lines;
}

void TMessForm::Button1Click() {
  cancelled_ = false;
  done(QDialog::Accepted);
}

void TMessForm::Button3Click() {
  cancelled_ = true;
  done(QDialog::Rejected);
}

void TMessForm::Button2Click() {
  if (TextSaveDialog->exec() != QDialog::Accepted) return;
  const QStringList chosen = TextSaveDialog->selectedFiles();
  // The lines in Windows-1251, each ended by CR LF; an empty list gives an
  // empty file. A file that cannot be written reaches the error report.
  WriteTextLines(chosen.value(0), Lines());
}

}  // namespace skarvel
