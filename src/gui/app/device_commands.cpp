#include <QAction>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "core/device/workspace_ops.h"
#include "core/production/commands.h"
#include "core/production/journal_settings.h"
#include "core/production/pass_time.h"
#include "gui/app/download_dialog.h"
#include "gui/app/device_commands.h"
#include "gui/app/desktop_journal.h"
#include "gui/app/main_window.h"
#include "gui/app/port_controls.h"
#include "gui/app/production_window.h"
#include "gui/app/startup_exit.h"
#include "gui/app/operation_session.h"
#include "gui/app/progress_dialog.h"
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

// The blank reset word's warning: Ignore goes on.
bool ResetAddressAccepted(MainWindow& window) {
  const kvx::ResetAddrCheck check = kvx::CheckResetAddr(window.workspace());
  return !check.blank || window.prompter().AbortIgnore(&window, Q(check.text));
}

// The operation's worker did not start (StartPass/StartWork refused): nothing runs, the dialog
// says why and may be closed (its closing buttons, not "Continue").
void ShowStartRefused(Prompter& prompter, ProgressDialog* dialog) {
  for (QPushButton* button : dialog->findChildren<QPushButton*>())
    if (button->objectName() != "Button2") button->setEnabled(true);
  prompter.Open(dialog, kStartRefused, {});
}

// The main window's port, lent to the production window's tiles. The production window may
// outlive the port's controls while the main window is torn down: then there is nothing to give
// back to.
class MainPortLender final : public PortLender {
 public:
  explicit MainPortLender(PortControls& port) : port_(&port) {}
  bool Lend(const std::string& device, std::string& reason) override {
    return port_.isNull() || port_->LendPort(device, reason);
  }
  void GiveBack(const std::string& device) override {
    if (!port_.isNull()) port_->PortGivenBack(device);
  }

 private:
  QPointer<PortControls> port_;
};
}  // namespace

DeviceCommands::DeviceCommands(MainWindow& window)
    : QObject(&window), window_(window), opener_(std::make_unique<JournalOpener>()) {}

DeviceCommands::~DeviceCommands() = default;

bool DeviceCommands::OpeningJournal() const { return opener_->Busy(); }

bool DeviceCommands::WorkerRunning() const { return session_ != nullptr && session_->WorkerRunning(); }

void DeviceCommands::CloseSession() {
  if (session_ != nullptr) session_->Close();
}

void DeviceCommands::SessionEnded() {
  DeleteOutsideBoxes(session_.release());
  window_.RefreshPanelNow();
  window_.startupExit().CloseIfAsked();
}

namespace {
// Auto Program's dialog: how long a pass will take, once a Writer check on this port has been
// timed. Read between passes, while no worker holds the workspace.
void ShowPassPrediction(ProgressDialog* dialog, const kvx::Workspace& ws) {
  const auto predicted = kvx::PredictedPassTime(ws);
  if (predicted.count() >= 0) dialog->ShowPassPrediction(Q(kvx::DurationText(predicted)));
}
}  // namespace

ProgressDialog* DeviceCommands::OpenOperation(const kvx::Command& command, std::function<void()> followUp) {
  auto* dialog = new ProgressDialog(command.dialog(), window_.prompter(), &window_);
  auto view = std::make_shared<QueuedView>(*dialog);
  session_ = std::make_unique<OperationSession>(window_, dialog, *view, view.get());
  connect(session_.get(), &OperationSession::closed, this, [this, view, followUp] {
    if (auto* writer = window_.simBench().Writer()) writer->SetFreshChipEachPass(false);
    if (followUp) followUp();
    SessionEnded();
  });
  return dialog;
}

void DeviceCommands::RunCommand(kvx::CommandId id, std::function<void()> followUp) {
  const kvx::Command& command = kvx::MainCommand(id);
  if (!window_.CommandAllowed()) return;
  if (command.flashOnly && !window_.workspace().device.IsFlash()) return;
  // Production commands record every chip in the journal: none starts without it. Which journal
  // (a file, or a floor's shared one) KvxWriter.ini says; which commands, the core's policy.
  const bool journaled = kvx::JournalPolicyOf(id).journaled;
  if (journaled && !journal_) {
    const std::string& startDir = window_.workspace().files.StartDir;
    std::chrono::milliseconds timeout{};
    std::string error;
    if (!kvx::DesktopJournalTimeout(startDir, timeout, error)) {
      window_.prompter().Message(&window_, Q(error));
      return;
    }
    journal_ = std::make_unique<DesktopJournal>(kvx::DesktopJournalName(startDir), timeout);
  }
  // A shared journal's server may take its time-out to answer: the journal opens on a worker,
  // and the command starts again once it is open.
  if (journaled && !journal_->IsOpen()) {
    journal_->OpenThen(*opener_, window_.workspace(), window_.prompter(), &window_,
                       [this, id, followUp](bool open) {
                         if (!window_.startupExit().CloseIfAsked() && open) RunCommand(id, followUp);
                       });
    return;
  }
  // The start verdict reads the journal on a worker too; the command goes on once it is known.
  if (journaled) {
    journal_->BeginThen(*opener_, command, window_.workspace(), window_.prompter(), &window_,
                        [this, &command, followUp](bool start) {
                          if (!window_.startupExit().CloseIfAsked() && start)
                            StartOperation(command, followUp);
                        });
    return;
  }
  StartOperation(command, std::move(followUp));
}

void DeviceCommands::StartOperation(const kvx::Command& command, std::function<void()> followUp) {
  if (!window_.port().PortReady()) return;
  if (command.resetCheck && !ResetAddressAccepted(window_)) return;
  // The boxes above wait for the operator; a close (a signal) may have come meanwhile.
  if (!window_.CommandAllowed()) return;
  // Production commands: in the simulated socket a fresh chip follows each programmed one.
  if (auto* writer = window_.simBench().Writer()) kvx::sim::FreshChipsFor(*writer, command);
  ProgressDialog* dialog = OpenOperation(command, std::move(followUp));
  auto passes = std::make_shared<long>(0);
  QTimer* timer2 = nullptr;
  if (command.repeats) {
    timer2 = new QTimer(dialog);
    timer2->setObjectName("Timer2");
    timer2->setInterval(1000);
    timer2->setSingleShot(true);
  }
  const bool journaled = kvx::JournalPolicyOf(command.id).journaled;
  auto startPass = [this, &command, dialog, timer2, passes, journaled] {
    if (session_ == nullptr || session_->WorkerRunning()) return;
    if (timer2 != nullptr) timer2->stop();
    if (journaled && journal_->Stopped()) return;
    // "Continue" (or Timer2): both buttons off until the pass has ended.
    dialog->ApplyEnabled("Button1", false);
    dialog->ApplyEnabled("Button2", false);
    if (command.repeats) ShowPassPrediction(dialog, window_.workspace());
    auto ended = [this, &command, dialog, timer2, journaled](const kvx::PassResult& result) {
      window_.RefreshPanelNow();
      if (command.repeats) ShowPassPrediction(dialog, window_.workspace());
      if (journaled && !journal_->PassEnded(window_.prompter(), dialog)) {
        dialog->ApplyEnabled("Button1", true);  // only Exit: the journal took no more chips
        dialog->ApplyEnabled("Button2", false);
        return;
      }
      // The end of a QTP file switched the QTP simulation off.
      if (result.last) Q_EMIT qtpSimulationEnded();
      // The flash test mode starts the next pass by itself a second later.
      if (result.startNextByItself && timer2 != nullptr) timer2->start();
    };
    bool started = false;
    if (!journaled) {
      started = session_->StartPass(command, ++*passes, ended);
    } else {
      auto result = std::make_shared<kvx::PassResult>();
      started = session_->StartWork(
          journal_->PassWork(command, {window_.workspace(), window_.ports().Port(), window_.clock(), session_->View()}, ++*passes, result),
          [ended, result] { ended(*result); });
    }
    if (!started) ShowStartRefused(window_.prompter(), dialog);
  };
  connect(dialog, &ProgressDialog::shown, this, startPass);
  if (command.repeats) {
    connect(dialog, &ProgressDialog::continueRequested, this, startPass);
    connect(timer2, &QTimer::timeout, this, startPass);
  }
  dialog->open();
}

void DeviceCommands::onBlankCheck() { RunCommand(kvx::CommandId::BlankCheck); }
void DeviceCommands::onErase() { RunCommand(kvx::CommandId::Erase); }

void DeviceCommands::onRead() {
  RunCommand(kvx::CommandId::Read, [this] {
    // What was read replaces the buffers: the windows that show them are built afresh.
    if (window_.workspace().results.ReadCompleted) window_.editors().Windows().AfterRead();
  });
}

void DeviceCommands::onVerify() { RunCommand(kvx::CommandId::Verify); }
void DeviceCommands::onVerifyWithProtect() { RunCommand(kvx::CommandId::VerifyWithProtect); }
void DeviceCommands::onProgramOption() { RunCommand(kvx::CommandId::ProgramOption); }
void DeviceCommands::onProgramId() { RunCommand(kvx::CommandId::ProgramId); }
void DeviceCommands::onProgramMemory() { RunCommand(kvx::CommandId::ProgramMemory); }
void DeviceCommands::onWriteEeprom() { RunCommand(kvx::CommandId::WriteEeprom); }
void DeviceCommands::onForceWrite() { RunCommand(kvx::CommandId::ForceWrite); }

namespace {
// After Auto Program: the passes stamped serial numbers into the program memory.
std::function<void()> RebuildWithStamps(MainWindow& window) {
  return [&window] {
    if (window.editors().Windows().Flags().BufferViewOpen) window.RebuildBufferWindows();
  };
}
}  // namespace

void DeviceCommands::onAutoProgram() { RunCommand(kvx::CommandId::AutoProgram, RebuildWithStamps(window_)); }

void DeviceCommands::onAutoProgramWithoutBlankCheck() {
  RunCommand(kvx::CommandId::AutoProgramWithoutBlankCheck, RebuildWithStamps(window_));
}

void DeviceCommands::onDownload() {
  if (!window_.CommandAllowed() || !window_.port().PortReady()) return;
  auto* dialog = new DownloadDialog(window_.prompter(), &window_);
  session_ = std::make_unique<OperationSession>(window_, dialog, dialog->NullView());
  connect(session_.get(), &OperationSession::closed, this, [this] {
    SessionEnded();
  });
  connect(dialog, &DownloadDialog::downloadRequested, this, [this, dialog] {
    if (!session_->StartWork([this, dialog](std::stop_token stop) { return dialog->Download(window_.workspace(), window_.ports().Port(), window_.clock(), stop); },
                             [dialog] { dialog->DownloadEnded(); })) {
      dialog->DownloadEnded();
      window_.prompter().Open(dialog, kStartRefused, {});
    }
  });
  dialog->open();
}

void DeviceCommands::onShowProduction() {
  if (!window_.CommandAllowed()) return;
  auto journal = std::make_shared<kvx::Journal>();
  std::chrono::milliseconds timeout{};
  std::string badTimeout;
  if (!kvx::DesktopJournalTimeout(window_.workspace().files.StartDir, timeout, badTimeout)) {
    window_.prompter().Message(&window_, Q(badTimeout));
    return;
  }
  journal->SetTimeout(timeout);
  opener_->Start(*journal, kvx::DesktopJournalName(window_.workspace().files.StartDir),
                 window_.workspace(), [this, journal](bool ok, const std::string& error) {
                   if (window_.startupExit().CloseIfAsked()) return;  // closed meanwhile
                   if (!ok) {
                     window_.prompter().Message(&window_, Q(error));
                     return;
                   }
                   // The series' start reads the journal: on the worker too.
                   auto start = std::make_shared<kvx::RunStart>();
                   kvx::Workspace& ws = window_.workspace();
                   opener_->Run(
                       ws, [journal, start, &ws] { *start = kvx::DecideRunStartFor(*journal, ws); },
                       [this, journal, start] { ShowProduction(journal, *start); });
                 });
}

void DeviceCommands::ShowProduction(std::shared_ptr<kvx::Journal> journal, const kvx::RunStart& start) {
  if (window_.startupExit().CloseIfAsked() || !window_.CommandAllowed()) return;
  ProductionOptions options;
  options.journal = std::move(journal);
  options.start = start;
  options.env = window_.options().env;
  options.clock = &window_.clock();
  options.lender = std::make_shared<MainPortLender>(window_.port());
  options.settingsPath =
      (std::filesystem::path(window_.workspace().files.StartDir) / kvx::kSettingsFileName).string();
  auto* production = new ProductionWindow(window_.workspace(), options, window_.prompter(), &window_);
  if (!production->Ready()) {
    delete production;
    return;
  }
  production->setAttribute(Qt::WA_DeleteOnClose);
  production->show();
}

}  // namespace kvx::gui
