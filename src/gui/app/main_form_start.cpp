// TMainForm: start-up, exit, the port and device selectors, the 500 ms timer and the hidden
// engineering controls.
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "core/device/catalogue.h"
#include "core/device/workspace_ops.h"
#include "core/files/config_file.h"
#include "gui/common/gui_queue.h"
#include "gui/app/main_form.h"
#include "gui/app/operation_session.h"
#include "gui/app/port_chooser.h"
#include "gui/common/prompter.h"
#include "gui/app/status_panel.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

namespace {


// Sets a selector without running its change handler, as the program (not the operator) does.
class QuietSelectors {
 public:
  explicit QuietSelectors(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
  ~QuietSelectors() { flag_ = was_; }

 private:
  bool& flag_;
  bool was_;
};

}  // namespace

void TMainForm::FormCreate() {
  setWindowTitle(QString("KVX Writer ") + " V2.63");
  ws_->WriterId.clear();
  if (ws_->StartDir.empty()) ws_->StartDir = QDir::currentPath().toStdString();
  ws_->BufferCaption.clear();
  {
    QuietSelectors quiet(selectorsQuiet_);
    ComboBox1->setCurrentIndex(0);
    ComboBox2->setCurrentIndex(0);
    cbKeepOption->setChecked(false);
  }
  ws_->PortName = ComboBox1->currentText().toStdString();
  ws_->SelectedDevice = ComboBox2->currentText().toStdString();
  ws_->DeviceIndex = kvx::GetICInfo(*ws_, ws_->SelectedDevice);

  // Default.cfg from the start-up folder: its device, port and program data.
  const kvx::LoadReport report = kvx::LoadDefaultConfig(*ws_);
  {
    QuietSelectors quiet(selectorsQuiet_);
    ComboBox2->setCurrentText(Q(ws_->SelectedDevice));
    portChooser_->Show(ws_->PortName);  // a USB port the station settings remember, too
  }
  panel_->RefreshData(*ws_);
  EnableByMemoryKind();
  EnableEditorCommands();

  // The connection check, off the GUI thread; the logo goes before any message.
  StartPortCheck([this](std::stop_token stop) { return ports_->StartupCheck(stop); },
                 [this, loaded = report.messages](const std::vector<std::string>& messages) {
                   if (closeLogo_) closeLogo_();
                   ShowMessages(loaded);
                   ShowMessages(messages);
                   {
                     // On this platform the link runs with the CTS handshake from the next check on.
                     QuietSelectors quiet(selectorsQuiet_);
                     HandShake->setCurrentIndex(1);
                   }
                   ws_->HandShake = HandShake->currentText().toStdString();
                   Timer1->start();
                 });
}

void TMainForm::FormShow() {
  if (ws_->ShownOnce) return;
  ws_->RefreshPending = true;
  ws_->IdChecksumFormOpen = true;
  ws_->BufferViewOpen = true;
  ws_->ShownOnce = true;
  RebuildBufferWindows();
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormShow();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (Busy()) {
    // The worker (or the connection check) is asked to stop and the window closes once it has
    // returned.
    closeAfterWorker_ = true;
    if (session_ != nullptr) session_->Close();
    if (checking_) checks_.RequestStop();
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

void TMainForm::FormClose() {
  if (closed_) return;
  closed_ = true;
  Timer1->stop();
  ports_->CloseAtExit();
  ws_->QtpReadFile.reset();
  const std::string failure = kvx::SaveDefaultConfig(*ws_);
  if (failure.empty()) return;
  exitStatus_ = 1;
  if (closeBySignal_)
    std::fprintf(stderr, "%s\n", failure.c_str());
  else
    prompter_->Message(this, Q(failure));
}

void TMainForm::CloseBySignal() {
  closeBySignal_ = true;
  close();
}

bool TMainForm::Busy() const {
  return checking_ || (session_ != nullptr && session_->WorkerRunning()) || kvx::WorkspaceInUse(*ws_);
}

bool TMainForm::StartPortCheck(PortCheck check, std::function<void(const std::vector<std::string>&)> then) {
  if (Busy()) return false;
  auto messages = std::make_shared<std::vector<std::string>>();
  const bool started = checks_.Start(
      *ws_,
      [check = std::move(check), messages](std::stop_token stop) {
        *messages = check(stop);
        return kvx::OpOutcome::Ok;
      },
      [this, messages, then = std::move(then)](kvx::OpOutcome) {
        checkEnds_->Post([this, messages, then] {
          checks_.Wait();  // it has returned: this only joins its thread
          checking_ = false;
          if (closeAfterWorker_) {
            close();
            return;
          }
          if (then) then(*messages);
        });
      });
  checking_ = started;
  return started;
}

void TMainForm::RefreshPanelNow() {
  if (Busy()) return;
  panel_->RefreshData(*ws_);
}

void TMainForm::ShowMessages(const std::vector<std::string>& messages) {
  for (const std::string& m : messages) {
    QString text = Q(m);
    // A port that did not open: say why on a second line (busy and by whom, no such device,
    // no permission and which group may open it), as kvxw does.
    if (m == kvx::PortErrorMessage(ws_->PortName)) {
      const std::string reason = ports_->OpenReason();
      if (!reason.empty()) text += "\n" + Q(reason);
    }
    prompter_->Message(this, text);
  }
}

bool TMainForm::PortReady() {
  if (Busy()) return false;
  std::string message;
  // The simulated Writer's socket holds a chip of the workspace's device, whatever changed the
  // device (the device list, a configuration): another device means the port afresh.
  if (kvx::IsSimPort(ports_->Device()) && !ws_->PortError && sim_.DeviceIndex() != ws_->DeviceIndex)
    ports_->CheckComPort();
  if (ports_->EnsurePort(message)) return true;
  ShowMessages({message});
  return false;
}

void TMainForm::ComboBox1Change() {
  if (selectorsQuiet_) return;
  if (Busy()) {
    // A worker owns the port: the selector goes back to the port it uses.
    QuietSelectors quiet(selectorsQuiet_);
    ComboBox1->setCurrentText(Q(ws_->PortName));
    HandShake->setCurrentText(Q(ws_->HandShake));
    return;
  }
  ws_->PortName = ComboBox1->currentText().toStdString();
  ws_->HandShake = HandShake->currentText().toStdString();
  StartPortCheck([this](std::stop_token stop) { return ports_->ChangeCheck(stop); },
                 [this](const std::vector<std::string>& messages) { ShowMessages(messages); });
}

void TMainForm::ComboBox2Change() {
  if (selectorsQuiet_) return;
  if (Busy()) {
    QuietSelectors quiet(selectorsQuiet_);
    ComboBox2->setCurrentText(Q(ws_->SelectedDevice));
    return;
  }
  kvx::ChooseDevice(*ws_, ComboBox2->currentText().toStdString());
  panel_->RefreshData(*ws_);
  EnableByMemoryKind();
  // The simulated Writer's socket follows the device chosen.
  if (kvx::IsSimPort(ports_->Device()) && !ws_->PortError) ports_->CheckComPort();
  RebuildBufferWindows();
  if (ws_->NeedsAdaptor != 0) prompter_->Message(this, "Please add the adaptor");
}

void TMainForm::EnableByMemoryKind() {
  const bool flash = ws_->IsFlash();
  for (QAction* a : {EraseAction, WriteEEAction, EEPROM1, ClearEEPROMBuffer1}) a->setEnabled(flash);
  if (!flash) ws_->EepromViewOpen = false;
}

void TMainForm::Timer1Timer() {
  // While a worker owns the workspace the panel waits for its end.
  if (Busy()) return;
  FileSaveAsItem->setEnabled(ws_->DisassemblyOpen);
  if (ws_->RefreshPending) {
    ws_->RefreshPending = false;
    panel_->RefreshData(*ws_);
  } else {
    panel_->ShowTexts(*ws_);
  }
}

void TMainForm::Label3DblClick() {
  const bool show = !ForceWriteAction->isVisible();
  ForceWriteAction->setVisible(show);
  panel2Action_->setVisible(show);
}

namespace {
// The engineering toggles' caption: "Disable" while the mode is on, "Enable" while it is off.
void ToggleCaption(QPushButton* button, bool on) { SetButtonText(button, on ? "Disable" : "Enable"); }
}  // namespace

void TMainForm::QtpSimClick() {
  if (Busy() || !ws_->SerialNoMode) return;
  ws_->QtpSimulate = !ws_->QtpSimulate;
  ToggleCaption(QtpSim, ws_->QtpSimulate);
}

void TMainForm::FlashPgmTestClick() {
  if (Busy()) return;
  ws_->FlashPgmTestOn = !ws_->FlashPgmTestOn;
  ToggleCaption(FlashPgmTest, ws_->FlashPgmTestOn);
}

namespace {
// The width edits show what the core kept of the entry.
void ShowWidth(QLineEdit* edit, const std::string& kept) {
  if (Q(kept) != edit->text()) edit->setText(Q(kept));
}
}  // namespace

void TMainForm::PulseWidthChange() {
  if (!Busy()) ShowWidth(PulseWidth, kvx::EnterPulseWidth(*ws_, PulseWidth->text().toStdString()));
}

void TMainForm::EraseWidthChange() {
  if (!Busy()) ShowWidth(EraseWidth, kvx::EnterEraseWidth(*ws_, EraseWidth->text().toStdString()));
}

}  // namespace kvx::gui
