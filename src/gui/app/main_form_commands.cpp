// TMainForm: the device commands. Each checks the port (one retry), runs the reset-address
// check where programming starts from it, sets its flags, opens its progress dialog and does its
// follow-up once the dialog has closed.
#include <QAction>
#include <QPushButton>
#include <QTimer>

#include "core/device/workspace_ops.h"
#include "core/ops/workers.h"
#include "core/production/auto_program.h"
#include "core/production/pass_count.h"
#include "gui/app/about_box.h"
#include "gui/app/counter_setup_form.h"
#include "gui/app/device_form.h"
#include "gui/app/main_form.h"
#include "gui/app/operation_session.h"
#include "gui/app/progress_form.h"
#include "gui/app/prompter.h"
#include "gui/app/status_panel.h"
#include "gui/app/widget_text.h"

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

bool TMainForm::CommandAllowed() const { return session_ == nullptr && !closed_; }

bool TMainForm::ResetAddressAccepted() {
  const kvx::ResetAddrCheck check = kvx::CheckResetAddr(*ws_);
  return !check.blank || prompter_->AbortIgnore(this, Q(check.text));
}

TProgressForm* TMainForm::OpenOperation(const kvx::DialogSpec& spec, std::function<void()> followUp) {
  auto* dialog = new TProgressForm(spec, *prompter_, this);
  auto view = std::make_shared<QueuedView>(*dialog);
  session_ = std::make_unique<OperationSession>(*this, dialog, *view);
  connect(session_.get(), &OperationSession::closed, this, [this, view, followUp] {
    // The dialog has closed and its worker has returned: the workspace is the window's again.
    session_.release()->deleteLater();
    if (auto* writer = sim_.Writer()) writer->SetFreshChipEachPass(false);
    if (followUp) followUp();
    RefreshPanelNow();
    if (closeAfterWorker_) close();
  });
  return dialog;
}

void TMainForm::RunOperation(const kvx::DialogSpec& spec, kvx::OpOutcome (*worker)(kvx::OperationContext&),
                             std::function<void()> followUp) {
  TProgressForm* dialog = OpenOperation(spec, std::move(followUp));
  connect(dialog, &TProgressForm::shown, this, [this, worker] {
    session_->StartPass([worker](kvx::OperationContext& ctx) { worker(ctx); },
                        [this] { RefreshPanelNow(); });
  });
  dialog->open();
}

void TMainForm::BlankCheckActionExecute() {
  if (!CommandAllowed() || !PortReady()) return;
  ws_->EraseRequested = false;
  RunOperation(kvx::BlankCheckDialog(), kvx::BlankCheckWorker);
}

void TMainForm::EraseClick() {
  if (!CommandAllowed() || ws_->MemoryKind != 2 || !PortReady()) return;
  ws_->EraseRequested = true;
  RunOperation(kvx::BlankCheckDialog(), kvx::BlankCheckWorker);
}

void TMainForm::ToolButton7Click() {
  if (!CommandAllowed() || !PortReady()) return;
  ws_->ReadCompleted = false;
  RunOperation(kvx::ReadDialog(), kvx::ReadWorker, [this] {
    if (!ws_->ReadCompleted) return;
    // What was read replaces the buffers: the windows that show them are built afresh.
    ws_->RefreshPending = true;
    ws_->IdChecksumFormOpen = true;
    ws_->EepromViewOpen = ws_->MemoryKind == 2;
    ws_->BufferViewOpen = true;
    ws_->BufferCaption.clear();
    RebuildBufferWindows();
  });
}

void TMainForm::Veryfy1Click() {
  if (!CommandAllowed() || !PortReady()) return;
  ws_->VerifyWithProtect = false;
  RunOperation(kvx::VerifyDialog(), kvx::VerifyWorker);
}

void TMainForm::VerifywithProtect1Click() {
  if (!CommandAllowed() || !PortReady()) return;
  ws_->VerifyWithProtect = true;
  RunOperation(kvx::VerifyDialog(), kvx::VerifyWorker);
}

void TMainForm::OPTION3Click() {
  if (!CommandAllowed() || !PortReady()) return;
  RunOperation(kvx::ProgramOptionDialog(), kvx::ProgramOptionWorker);
}

void TMainForm::ID3Click() {
  if (!CommandAllowed() || !PortReady()) return;
  RunOperation(kvx::ProgramIdDialog(), kvx::ProgramIdWorker);
}

void TMainForm::ProgramMemory2Click() {
  if (!CommandAllowed() || !PortReady() || !ResetAddressAccepted()) return;
  RunOperation(kvx::ProgramMemoryDialog(), kvx::ProgramMemoryWorker);
}

void TMainForm::WriteEEClick() {
  if (!CommandAllowed() || ws_->MemoryKind != 2 || !PortReady()) return;
  RunOperation(kvx::ProgramEepromDialog(), kvx::ProgramEepromWorker);
}

void TMainForm::ForceWriteClick() {
  if (!CommandAllowed() || !PortReady()) return;
  ws_->SerialNoMode = false;
  if (auto* writer = sim_.Writer()) writer->SetFreshChipEachPass(true);
  TProgressForm* dialog = OpenOperation(kvx::ForceWriteDialog(), {});
  auto chip = [this, dialog] {
    dialog->ApplyEnabled("Button1", false);
    dialog->ApplyEnabled("Button2", false);
    session_->StartPass([](kvx::OperationContext& ctx) { kvx::ForceWriteWorker(ctx); },
                        [this] { RefreshPanelNow(); });
  };
  connect(dialog, &TProgressForm::shown, this, chip);
  connect(dialog, &TProgressForm::continueRequested, this, chip);
  dialog->open();
}

void TMainForm::AutoProgram1Click() {
  if (!CommandAllowed() || !PortReady() || !ResetAddressAccepted()) return;
  ws_->SkipBlankCheck = false;
  ws_->EraseRequested = ws_->MemoryKind == 2;
  StartAutoProgram();
}

void TMainForm::AutoProgramwithoutBlankCheck1Click() {
  if (!CommandAllowed() || !PortReady() || !ResetAddressAccepted()) return;
  ws_->SkipBlankCheck = true;
  StartAutoProgram();
}

void TMainForm::StartAutoProgram() {
  if (auto* writer = sim_.Writer()) writer->SetFreshChipEachPass(true);
  TProgressForm* dialog = OpenOperation(kvx::AutoProgramDialog(), [this] {
    // The passes stamped serial numbers into the program memory.
    if (ws_->BufferViewOpen) RebuildBufferWindows();
  });
  auto* timer2 = new QTimer(dialog);
  timer2->setObjectName("Timer2");
  timer2->setInterval(1000);
  timer2->setSingleShot(true);
  auto result = std::make_shared<kvx::AutoPassResult>();
  auto pass = std::make_shared<long>(0);
  auto startPass = [this, dialog, timer2, result, pass] {
    if (session_ == nullptr || session_->WorkerRunning()) return;
    timer2->stop();
    const bool next = ++*pass > 1;
    session_->StartPass(
        [result, next](kvx::OperationContext& ctx) {
          if (next) kvx::PrepareNextPass(ctx.view);
          *result = kvx::AutoProgramPass(ctx);
        },
        [this, timer2, result] {
          RefreshPanelNow();
          if (result->qtpFinished) SetButtonText(QtpSim, "Enable");
          // The flash test mode starts the next pass by itself a second later.
          if (result->startNextByItself) timer2->start();
        });
  };
  connect(dialog, &TProgressForm::shown, this, startPass);
  connect(dialog, &TProgressForm::continueRequested, this, startPass);
  connect(timer2, &QTimer::timeout, this, startPass);
  dialog->open();
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
    session_.release()->deleteLater();
    RefreshPanelNow();
    if (closeAfterWorker_) close();
  });
  connect(dialog, &TDeviceForm::downloadRequested, this, [this, dialog] {
    session_->StartPass([dialog](kvx::OperationContext& ctx) { dialog->Download(ctx); },
                        [dialog] { dialog->DownloadEnded(); });
  });
  dialog->open();
}

void TMainForm::HelpAbout1Execute() {
  if (!CommandAllowed()) return;
  // A fresh look at the Writer's identification, as the box shows it.
  if (!ws_->PortError) {
    ws_->WriterId.clear();
    kvx::WriterLink link(*ws_, ports_->Port(), *clock_);
    link.CheckWriter(true);
  }
  auto* box = new TAboutBox(Q(ws_->WriterId), this);
  connect(box, &QDialog::finished, box, &QObject::deleteLater);
  box->open();
}

void TMainForm::VersionInfo1Click() {
  auto* box = new TVersionInfo(this);
  connect(box, &QDialog::finished, box, &QObject::deleteLater);
  box->open();
}
