#pragma once
// The brightness statistics dialog: a list of text lines with "OK",
// "Cancel" and "Save". A caller fills ListBox1, shows the dialog and reads
// Cancelled afterwards; "Save" writes the lines to a text file.

#include <QDialog>
#include <QFileDialog>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>

namespace skarvel {

class TMessForm : public QDialog {
  Q_OBJECT
 public:
  TMessForm();

  // The height of a line of ListBox1 in pixels.
  static constexpr int kLineHeight = 16;

  // The lines, as the caller put them into ListBox1.
  void SetLines(const QStringList& lines);
  QStringList Lines() const;
  // True when "Cancel" closed the dialog the last time, false when "OK" did.
  bool Cancelled() const { return cancelled_; }

  void Button1Click();  // "OK"
  void Button3Click();  // "Cancel"
  void Button2Click();  // "Save"

  QListWidget* ListBox1;
  QPushButton* Button1;
  QPushButton* Button3;
  QPushButton* Button2;
  QFileDialog* TextSaveDialog;

 private:
  // Escape and the close box close the dialog (QDialog::reject) without
  // touching it.
  bool cancelled_ = false;
};

}  // namespace skarvel
