#include "scaling/scale_form.h"

#include "platform/files.h"
#include "scaling/scaling.h"

namespace skarvel {
namespace {

BrowserFrameLayout ScaleLayout() {
  BrowserFrameLayout layout;
  layout.mask = QStringLiteral("*.ort");
  layout.multiSelect = true;
  layout.pictureArea = false;
  layout.zoomMenu = BrowserFrameLayout::ZoomMenu::kNone;
  layout.keys = BrowserFrameLayout::Keys::kWindowOnly;
  layout.size = QSize(833, 679);
  layout.minimumSize = QSize(600, 400);
  layout.bottomHeight = 84;
  return layout;
}

}  // namespace

TScaleForm::TScaleForm()
    : TBrowserForm(QStringLiteral("ScaleForm"), QStringLiteral("Масштабирование"), ScaleLayout()) {
  ListBox1 = new QListWidget;
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  placeCentralControl(ListBox1);

  Label1 = new QLabel(QStringLiteral("Расстояние на стенде (м):"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(24, 14, 190, 22);
  Edit1 = new QLineEdit(DefaultBenchText(), Panel1);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(216, 12, 140, 24);
  Label2 = new QLabel(QStringLiteral("Реальное расстояние (м):"), Panel1);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(24, 48, 190, 22);
  Edit2 = new QLineEdit(kDefaultRealText, Panel1);
  Edit2->setObjectName(QStringLiteral("Edit2"));
  Edit2->setGeometry(216, 46, 140, 24);
  Button1 = new QPushButton(QStringLiteral("Обработать"), Panel1);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(392, 26, 130, 30);
  connect(Button1, &QPushButton::clicked, this, &TScaleForm::Button1Click);
}

void TScaleForm::FileListBox1Click() {
  ListBox1->clear();
  // The lines as the readers decode them (UTF-8 when valid, else Windows-1251).
  ListBox1->addItems(ReadTextLines(FileName()));
}

void TScaleForm::Button1Click() {
  // A file the reader rejects has been reported by the reader and is
  // skipped; any other error ends the run with the list not re-read.
  RunScaling(Directory(), SelectedEntries(), Edit1->text(), Edit2->text(), geometry_);
  RereadFileList();
}

}  // namespace skarvel
