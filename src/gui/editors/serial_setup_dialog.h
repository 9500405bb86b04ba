// The serial-number setup dialog (SerialSetupDialog, "Serial No."): start address, byte count,
// start value, increment, mode and byte order; OK switches the mode on and stamps the number,
// "Disable Serial Mode" switches it off, "QTP File" writes a file of numbers.
#pragma once

#include <QDialog>

#include "core/production/serial_setup.h"
#include "gui/editors/editor_hooks.h"

class QLineEdit;
class QRadioButton;

namespace kvx {
struct Workspace;
}

namespace kvx::gui {

class Prompter;
class SerialSetupDialog : public QDialog {
  Q_OBJECT

 public:
  // The dialog's result after "Disable Serial Mode" (OK is Accepted, Abort is Rejected).
  static constexpr int DisabledResult = 2;

  SerialSetupDialog(Workspace& ws, EditorHooks hooks, Prompter& prompter, QWidget* parent = nullptr);

  QLineEdit* startAddressEdit = nullptr;
  QLineEdit* byteCountEdit = nullptr;
  QLineEdit* startValueEdit = nullptr;
  QLineEdit* incrementEdit = nullptr;
  QLineEdit* partCountEdit = nullptr;
  QRadioButton* sequentialButton = nullptr;  // RadioGroup1
  QRadioButton* pseudoRandomButton = nullptr;
  QRadioButton* msbFirstButton = nullptr;    // RadioGroup2
  QRadioButton* lsbFirstButton = nullptr;

  // Focus leaving a field: the field is checked and put right, with a message where it was not
  // accepted.
  void onStartAddressLeft();
  void onByteCountLeft();
  void onStartValueLeft();
  void onIncrementLeft();
  void onPartCountLeft();
  void onModeChanged();  // RadioGroup1: the increment counts in the sequential mode only

  void onOk();
  void onDisableSerialMode();  // "Disable Serial Mode"
  void onSaveQtpFile();        // "QTP File": the series as a QTP file

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  SerialSetupFields Fields() const;
  void Show(const SerialSetupFields& f);
  void Report(const SetupOutcome& outcome);
  // One field's check through the core's rule for it.
  void CheckLeftField(std::string (*exit)(SerialSetupFields&));

  Workspace& ws_;
  EditorHooks hooks_;
  Prompter& prompter_;
};

}  // namespace kvx::gui
