#pragma once
// The scaling window: carries bench image geometry files over to the real
// distances. A click on a file shows its lines; "Обработать" writes every
// selected file again at real scale as <base name>_real.ort beside it.

#include "geometry/records.h"
#include "shell/browser_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace skarvel {

class TScaleForm : public TBrowserForm {
  Q_OBJECT
 public:
  TScaleForm();

  void FileListBox1Click() override;
  void Button1Click() override;

  QListWidget* ListBox1;
  QLabel* Label1;
  QLineEdit* Edit1;  // bench distance
  QLabel* Label2;
  QLineEdit* Edit2;  // real distance
  QPushButton* Button1;

 private:
  TImageGeometry geometry_;  // the reader's record, kept between files and runs
};

}  // namespace skarvel
