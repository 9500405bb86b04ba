// Fill Buffer (FillBufferDialog) and ID Modify (IdEditDialog): two small modal dialogs that change a
// buffer directly.
#pragma once

#include <QDialog>

class QLineEdit;

namespace kvx {
struct Workspace;
}

namespace kvx::gui {

class Prompter;
class FillBufferDialog : public QDialog {
  Q_OBJECT

 public:
  FillBufferDialog(Workspace& ws, Prompter& prompter, QWidget* parent = nullptr);

  QLineEdit* startEdit = nullptr;  // start address
  QLineEdit* endEdit = nullptr;  // end address
  QLineEdit* dataEdit = nullptr;  // data

  // OK ("BitBtn1"): fills, or shows why not; the dialog closes either way.
  void onFill();

 private:
  Workspace& ws_;
  Prompter& prompter_;
};

class IdEditDialog : public QDialog {
  Q_OBJECT

 public:
  explicit IdEditDialog(Workspace& ws, QWidget* parent = nullptr);

  QLineEdit* hexEdit = nullptr;  // HEX mode
  QLineEdit* asciiEdit = nullptr;      // ASCII mode

  // OK ("BitBtn1"): stores the ID bytes (the caller redraws the ID lines).
  void onStoreId();

 private:
  Workspace& ws_;
};

}  // namespace kvx::gui
