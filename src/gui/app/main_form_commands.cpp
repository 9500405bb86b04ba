// TMainForm: the device commands. Each checks the port (one retry), runs the reset-address
// check where programming starts from it, sets its flags, opens its progress dialog and does its
// follow-up once the dialog has closed.
#include <QAction>
#include <QPushButton>
#include <QTimer>

#include "core/device/workspace_ops.h"
#include "core/production/commands.h"
#include "core/production/journal_settings.h"
#include "core/device/pass_count.h"
#include "gui/app/about_box.h"
#include "gui/app/counter_setup_form.h"
#include "gui/app/device_form.h"
#include "gui/app/main_form.h"
#include "gui/app/operation_session.h"
#include "gui/app/progress_form.h"
#include "gui/common/prompter.h"
#include "gui/app/status_panel.h"
#include "gui/common/widgets.h"
#include "gui/editors/buffer_windows.h"
#include "gui/editors/editor_commands.h"

namespace kvx::gui {

namespace {

// Why a worker did not start: the runner refuses while another task holds the workspace.
const QString kStartRefused =
    "The operation could not start: the Writer's port and the buffers are in use by another task.";
}  // namespace

bool TMainForm::CommandAllowed() const { return session_ == nullptr && !checking_ && !closed_; }

bool TMainForm::ResetAddressAccepted() {
  const kvx::ResetAddrCheck check = kvx::CheckResetAddr(*ws_);
  return !check.blank || prompter_->AbortIgnore(this, Q(check.text));
}

TProgressForm* TMainForm::OpenOperation(const kvx::Command& command, std::function<void()> followUp) {
  auto* dialog = new TProgressForm(command.dialog(), *prompter_, this);
  auto view = std::make_shared<QueuedView>(*dialog);
  session_ = std::make_unique<OperationSession>(*this, dialog, *view, view.get());
  connect(session_.get(), &OperationSession::closed, this, [this, view, followUp] {
    // The dialog has closed and its worker has returned: the workspace is the window's again.
    DeleteOutsideBoxes(session_.release());
    if (auto* writer = sim_.Writer()) writer->SetFreshChipEachPass(false);
    if (followUp) followUp();
    RefreshPanelNow();
    if (closeAfterWorker_) close();
  });
  return dialog;
}

void TMainForm::RunCommand(kvx::CommandId id, std::function<void()> followUp) {
  const kvx::Command& command = kvx::MainCommand(id);
  if (!CommandAllowed()) return;
  if (command.flashOnly && !ws_->IsFlash()) return;
  // Production commands record every chip in the journal: none starts without it. Which journal
  // (a file, or a floor's shared one) KvxWriter.ini says.
  if (command.repeats && !journal_)
    journal_ = std::make_unique<DesktopJournal>(kvx::DesktopJournalName(ws_->StartDir));
  if (command.repeats && !journal_->Begin(command, *ws_, *prompter_, this)) return;
  if (!PortReady()) return;
  if (command.resetCheck && !ResetAddressAccepted()) return;
  // The boxes above wait for the operator; a close (a signal) may have come meanwhile.
  if (!CommandAllowed()) return;
  // Production commands: in the simulated socket a fresh chip follows each programmed one.
  if (command.repeats)
    if (auto* writer = sim_.Writer()) writer->SetFreshChipEachPass(true);
  TProgressForm* dialog = OpenOperation(command, std::move(followUp));
  auto passes = std::make_shared<long>(0);
  QTimer* timer2 = nullptr;
  if (command.repeats) {
    timer2 = new QTimer(dialog);
    timer2->setObjectName("Timer2");
    timer2->setInterval(1000);
    timer2->setSingleShot(true);
  }
  auto startPass = [this, &command, dialog, timer2, passes] {
    if (session_ == nullptr || session_->WorkerRunning()) return;
    if (timer2 != nullptr) timer2->stop();
    if (command.repeats && journal_->Stopped()) return;
    // "Continue" (or Timer2): both buttons off until the pass has ended.
    dialog->ApplyEnabled("Button1", false);
    dialog->ApplyEnabled("Button2", false);
    auto ended = [this, &command, dialog, timer2](const kvx::PassResult& result) {
      RefreshPanelNow();
      if (command.repeats && !journal_->PassEnded(*prompter_, dialog)) {
        dialog->ApplyEnabled("Button1", true);  // only Exit: the journal took no more chips
        dialog->ApplyEnabled("Button2", false);
        return;
      }
      // The end of a QTP file switched the QTP simulation off.
      if (result.last) SetButtonText(QtpSim, "Enable");
      // The flash test mode starts the next pass by itself a second later.
      if (result.startNextByItself && timer2 != nullptr) timer2->start();
    };
    bool started = false;
    if (!command.repeats) {
      started = session_->StartPass(command, ++*passes, ended);
    } else {
      auto result = std::make_shared<kvx::PassResult>();
      started = session_->StartWork(
          journal_->PassWork(command, {*ws_, ports_->Port(), *clock_, session_->View()}, ++*passes, result),
          [ended, result] { ended(*result); });
    }
    if (!started) StartRefused(dialog);
  };
  connect(dialog, &TProgressForm::shown, this, startPass);
  if (command.repeats) {
    connect(dialog, &TProgressForm::continueRequested, this, startPass);
    connect(timer2, &QTimer::timeout, this, startPass);
  }
  dialog->open();
}

void TMainForm::StartRefused(TProgressForm* dialog) {
  // Nothing runs: the dialog says why and may be closed (its closing buttons, not "Continue").
  for (QPushButton* button : dialog->findChildren<QPushButton*>())
    if (button->objectName() != "Button2") button->setEnabled(true);
  prompter_->Open(dialog, kStartRefused, {});
}

void TMainForm::BlankCheckActionExecute() { RunCommand(kvx::CommandId::BlankCheck); }
void TMainForm::EraseClick() { RunCommand(kvx::CommandId::Erase); }

void TMainForm::ToolButton7Click() {
  RunCommand(kvx::CommandId::Read, [this] {
    // What was read replaces the buffers: the windows that show them are built afresh.
    if (ws_->ReadCompleted) Editors().Windows().AfterRead();
  });
}

void TMainForm::Veryfy1Click() { RunCommand(kvx::CommandId::Verify); }
void TMainForm::VerifywithProtect1Click() { RunCommand(kvx::CommandId::VerifyWithProtect); }
void TMainForm::OPTION3Click() { RunCommand(kvx::CommandId::ProgramOption); }
void TMainForm::ID3Click() { RunCommand(kvx::CommandId::ProgramId); }
void TMainForm::ProgramMemory2Click() { RunCommand(kvx::CommandId::ProgramMemory); }
void TMainForm::WriteEEClick() { RunCommand(kvx::CommandId::WriteEeprom); }
void TMainForm::ForceWriteClick() { RunCommand(kvx::CommandId::ForceWrite); }

void TMainForm::AutoProgram1Click() { RunCommand(kvx::CommandId::AutoProgram, [this] { AfterAutoProgram(); }); }

void TMainForm::AutoProgramwithoutBlankCheck1Click() {
  RunCommand(kvx::CommandId::AutoProgramWithoutBlankCheck, [this] { AfterAutoProgram(); });
}

void TMainForm::AfterAutoProgram() {
  // The passes stamped serial numbers into the program memory.
  if (ws_->BufferViewOpen) RebuildBufferWindows();
}

void TMainForm::CounterMode1Click() {
  if (!CommandAllowed()) return;
  auto* dialog = new TCounterSetupForm(Q(ws_->PassCountText), this);
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    if (!Busy()) kvx::SetPassCount(*ws_, dialog->Text().toStdString());
    RefreshPanelNow();
  });
  connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
  dialog->open();
}

void TMainForm::DownLoad1Click() {
  if (!CommandAllowed() || !PortReady()) return;
  auto* dialog = new TDeviceForm(*prompter_, this);
  session_ = std::make_unique<OperationSession>(*this, dialog, dialog->NullView());
  connect(session_.get(), &OperationSession::closed, this, [this] {
    DeleteOutsideBoxes(session_.release());
    RefreshPanelNow();
    if (closeAfterWorker_) close();
  });
  connect(dialog, &TDeviceForm::downloadRequested, this, [this, dialog] {
    if (!session_->StartWork([this, dialog](std::stop_token stop) { return dialog->Download(*ws_, ports_->Port(), *clock_, stop); },
                             [dialog] { dialog->DownloadEnded(); })) {
      dialog->DownloadEnded();
      prompter_->Open(dialog, kStartRefused, {});
    }
  });
  dialog->open();
}

void TMainForm::HelpAbout1Execute() {
  if (!CommandAllowed()) return;
  auto openBox = [this](const std::vector<std::string>&) {
    auto* box = new TAboutBox(Q(ws_->WriterId), this);
    connect(box, &QDialog::finished, box, &QObject::deleteLater);
    box->open();
  };
  if (ws_->PortError) {
    openBox({});
    return;
  }
  // A fresh look at the Writer's identification, as the box shows it; the Writer may take up to
  // the link's time-out, so off the GUI thread, and a close of the window cuts the wait short.
  StartPortCheck(
      [this](std::stop_token stop) {
        ws_->WriterId.clear();
        kvx::WriterLink link(*ws_, ports_->Port(), *clock_, stop);
        link.CheckWriter(true);
        return std::vector<std::string>{};
      },
      openBox);
}

void TMainForm::VersionInfo1Click() {
  auto* box = new TVersionInfo(this);
  connect(box, &QDialog::finished, box, &QObject::deleteLater);
  box->open();
}

}  // namespace kvx::gui
