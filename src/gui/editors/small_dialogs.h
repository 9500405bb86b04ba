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

  QLineEdit* Edit1 = nullptr;  // start address
  QLineEdit* Edit2 = nullptr;  // end address
  QLineEdit* Edit3 = nullptr;  // data

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

  QLineEdit* MaskEdit2 = nullptr;  // HEX mode
  QLineEdit* Edit1 = nullptr;      // ASCII mode

  // OK ("BitBtn1"): stores the ID bytes (the caller redraws the ID lines).
  void onStoreId();

 private:
  Workspace& ws_;
};

}  // namespace kvx::gui
