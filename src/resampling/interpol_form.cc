#include "resampling/interpol_form.h"

#include "platform/bitmap_file.h"
#include "platform/picture_file.h"
#include "platform/picture_statistics.h"
#include "resampling/resample.h"
#include "shell/batch_progress.h"

#include <QRadioButton>
#include <QVBoxLayout>

namespace skarvel {
namespace {

BrowserFrameLayout InterpolLayout() {
  BrowserFrameLayout layout;
  layout.mask = kPictureFileMask;
  layout.multiSelect = true;
  layout.zoomMenu = BrowserFrameLayout::ZoomMenu::kScrollBox;
  layout.keys = BrowserFrameLayout::Keys::kPreview;
  layout.size = QSize(875, 618);
  layout.minimumSize = QSize(600, 400);
  layout.bottomHeight = 92;
  return layout;
}

}  // namespace

TInterpolForm::TInterpolForm()
    : TBrowserForm(QStringLiteral("InterpolForm"), QStringLiteral("Моделирование углового разрешения"),
                   InterpolLayout()) {
  Image1 = new PictureView(ScrollBox1->canvas());
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(0, 0, 0, 0);
  setZoomedControls({Image1});
  addStatisticsItem([this] {
    return picture_ ? PictureStatisticsLines(ComputePictureStatistics(*picture_)) : QStringList();
  });

  RadioGroup1 = new QGroupBox(QStringLiteral("Вид интерполяции"), Panel1);
  RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
  RadioGroup1->setGeometry(8, 4, 270, 80);
  auto* items = new QVBoxLayout(RadioGroup1);
  methods_ = new QButtonGroup(this);
  const QString captions[] = {QStringLiteral("По ближайшему соседу"), QStringLiteral("Билинейная")};
  for (int i = 0; i < 2; ++i) {
    auto* item = new QRadioButton(captions[i], RadioGroup1);
    item->setObjectName(QStringLiteral("RadioGroup1Item%1").arg(i));
    methods_->addButton(item, i);
    items->addWidget(item);
  }
  methods_->button(1)->setChecked(true);
  RadioGroup1->hide();

  Label1 = new QLabel(QStringLiteral("Новая ширина изображения(пикс.):"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->resize(245, 22);
  Edit1 = new QLineEdit(QStringLiteral("512"), Panel1);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->resize(100, 24);
  Label3 = new QLabel(QStringLiteral("Новая высота изображения(пикс.):"), Panel1);
  Label3->setObjectName(QStringLiteral("Label3"));
  Label3->resize(245, 22);
  Edit3 = new QLineEdit(QStringLiteral("512"), Panel1);
  Edit3->setObjectName(QStringLiteral("Edit3"));
  Edit3->resize(100, 24);
  Button1 = new QPushButton(QStringLiteral("Преобразовать"), Panel1);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->resize(130, 30);
  connect(Button1, &QPushButton::clicked, this, &TInterpolForm::Button1Click);
  layOutPanel();
}

void TInterpolForm::layOutPanel() {
  const bool visible = !RadioGroup1->isHidden();
  const int labels = visible ? 300 : 100;
  const int edits = visible ? 550 : 350;
  Label1->move(labels, 18);
  Label3->move(labels, 52);
  Edit1->move(edits, 16);
  Edit3->move(edits, 50);
  Button1->move(edits + 110, 32);
  // Shown, the group moves the edits and the button right, beyond the
  // smallest width of the hidden layout.
  fitMinimumToPanel();
}

void TInterpolForm::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  TBrowserForm::FormKeyDown(key, modifiers);
  if ((modifiers & Qt::ControlModifier) && key == Qt::Key_J) RadioGroup1->setVisible(RadioGroup1->isHidden());
  layOutPanel();
}

void TInterpolForm::showPicture(std::shared_ptr<const Bitmap> picture) {
  picture_ = std::move(picture);
  Image1->setBitmap(picture_);
  Image1->resize(picture_->width, picture_->height);
  ImageWidth = picture_->width;
  ImageHeight = picture_->height;
}

void TInterpolForm::FileListBox1Click() {
  N1001Click();
  showPicture(std::make_shared<const Bitmap>(LoadPicture(FileName())));
}

void TInterpolForm::Button1Click() {
  const QStringList entries = SelectedEntries();
  const QString directory = Directory();
  const QString width = Edit1->text(), height = Edit3->text();
  const auto method = static_cast<ResampleMethod>(Method());
  BatchObserver observer;
  // Each picture is shown as it is loaded.
  observer.loaded = [this](const QString&, const std::shared_ptr<const Bitmap>& picture) {
    showPicture(picture);
    Image1->repaint();
  };
  // Nothing here needs the result picture: it goes straight into its file.
  observer.saved = [](const QString&) {};
  BatchProgress progress(this, entries.size());
  progress.run(observer, [&](const BatchObserver& relay) {
    RunResampling(directory, entries, width, height, method, relay);
  });
  RereadFileListKeepingSelection();
  N1001Click();
}

}  // namespace skarvel
