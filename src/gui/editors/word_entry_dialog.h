// "Enter new value": the one-value dialog of the program-memory and EEPROM views.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace kvx {
struct Workspace;
}

namespace kvx::gui {

class Prompter;
class WordEntryDialog : public QDialog {
  Q_OBJECT

 public:
  // `coreType` decides the largest word the dialog lets through.
  WordEntryDialog(const QString& initialText, int coreType, Prompter& prompter, QWidget* parent = nullptr);

  const QString InitialText;
  long EnteredValue = 0;  // what the dialog hands back, whichever way it closed

  QLineEdit* valueEdit = nullptr;

  void onOk();      // "OKBtn": the value checked, then taken
  void onCancel();  // "CancelBtn": the initial value handed back

 private:
  int coreType_;
  Prompter& prompter_;
};

}  // namespace kvx::gui
