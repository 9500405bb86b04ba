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
#include <QMainWindow>
#include "core/device/workspace.h"
#include "gui/app/sim_bench.h"
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
bool ResetAddressAccepted(const WindowParts& parts) {
  const kvx::ResetAddrCheck check = kvx::CheckResetAddr(parts.ws);
  return !check.blank || parts.prompter.AbortIgnore(&parts.window, Q(check.text));
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

DeviceCommands::DeviceCommands(const WindowParts& parts)
    : QObject(&parts.window), parts_(parts), opener_(std::make_unique<JournalOpener>()) {}

DeviceCommands::~DeviceCommands() = default;

bool DeviceCommands::OpeningJournal() const { return opener_->Busy(); }

bool DeviceCommands::WorkerRunning() const { return session_ != nullptr && session_->WorkerRunning(); }

void DeviceCommands::CloseSession() {
  if (session_ != nullptr) session_->Close();
}

void DeviceCommands::SessionEnded() {
  DeleteOutsideBoxes(session_.release());
  parts_.host.RefreshPanelNow();
  parts_.host.startupExit().CloseIfAsked();
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
  auto* dialog = new ProgressDialog(command.dialog(), parts_.prompter, &parts_.window);
  auto view = std::make_shared<QueuedView>(*dialog);
  session_ = std::make_unique<OperationSession>(parts_.ws, parts_.ports, parts_.clock, dialog, *view, view.get());
  connect(session_.get(), &OperationSession::closed, this, [this, view, followUp] {
    if (auto* writer = parts_.sim.Writer()) writer->SetFreshChipEachPass(false);
    if (followUp) followUp();
    SessionEnded();
  });
  return dialog;
}

void DeviceCommands::RunCommand(kvx::CommandId id, std::function<void()> followUp) {
  const kvx::Command& command = kvx::MainCommand(id);
  if (!parts_.host.CommandAllowed()) return;
  if (command.flashOnly && !parts_.ws.device.IsFlash()) return;
  // Production commands record every chip in the journal: none starts without it. Which journal
  // (a file, or a floor's shared one) KvxWriter.ini says; which commands, the core's policy.
  const bool journaled = kvx::JournalPolicyOf(id).journaled;
  if (journaled && !journal_) {
    const std::string& startDir = parts_.ws.files.StartDir;
    std::chrono::milliseconds timeout{};
    std::string error;
    if (!kvx::DesktopJournalTimeout(startDir, timeout, error)) {
      parts_.prompter.Message(&parts_.window, Q(error));
      return;
    }
    journal_ = std::make_unique<DesktopJournal>(kvx::DesktopJournalName(startDir), timeout);
  }
  // A shared journal's server may take its time-out to answer: the journal opens on a worker,
  // and the command starts again once it is open.
  if (journaled && !journal_->IsOpen()) {
    journal_->OpenThen(*opener_, parts_.ws, parts_.prompter, &parts_.window,
                       [this, id, followUp](bool open) {
                         if (!parts_.host.startupExit().CloseIfAsked() && open) RunCommand(id, followUp);
                       });
    return;
  }
  // The start verdict reads the journal on a worker too; the command goes on once it is known.
  if (journaled) {
    journal_->BeginThen(*opener_, command, parts_.ws, parts_.prompter, &parts_.window,
                        [this, &command, followUp](bool start) {
                          if (!parts_.host.startupExit().CloseIfAsked() && start)
                            StartOperation(command, followUp);
                        });
    return;
  }
  StartOperation(command, std::move(followUp));
}

void DeviceCommands::StartOperation(const kvx::Command& command, std::function<void()> followUp) {
  if (!parts_.host.port().PortReady()) return;
  if (command.resetCheck && !ResetAddressAccepted(parts_)) return;
  // The boxes above wait for the operator; a close (a signal) may have come meanwhile.
  if (!parts_.host.CommandAllowed()) return;
  // Production commands: in the simulated socket a fresh chip follows each programmed one.
  if (auto* writer = parts_.sim.Writer()) kvx::sim::FreshChipsFor(*writer, command);
  ProgressDialog* dialog = OpenOperation(command, std::move(followUp));
  auto passes = std::make_shared<long>(0);
  QTimer* nextPassTimer = nullptr;
  if (command.repeats) {
    nextPassTimer = new QTimer(dialog);
    nextPassTimer->setObjectName("Timer2");
    nextPassTimer->setInterval(1000);
    nextPassTimer->setSingleShot(true);
  }
  const bool journaled = kvx::JournalPolicyOf(command.id).journaled;
  auto startPass = [this, &command, dialog, nextPassTimer, passes, journaled] {
    if (session_ == nullptr || session_->WorkerRunning()) return;
    if (nextPassTimer != nullptr) nextPassTimer->stop();
    if (journaled && journal_->Stopped()) return;
    // "Continue" (or Timer2): both buttons off until the pass has ended.
    dialog->ApplyEnabled("Button1", false);
    dialog->ApplyEnabled("Button2", false);
    if (command.repeats) ShowPassPrediction(dialog, parts_.ws);
    auto ended = [this, &command, dialog, nextPassTimer, journaled](const kvx::PassResult& result) {
      parts_.host.RefreshPanelNow();
      if (command.repeats) ShowPassPrediction(dialog, parts_.ws);
      if (journaled && !journal_->PassEnded(parts_.prompter, dialog)) {
        dialog->ApplyEnabled("Button1", true);  // only Exit: the journal took no more chips
        dialog->ApplyEnabled("Button2", false);
        return;
      }
      // The end of a QTP file switched the QTP simulation off.
      if (result.last) Q_EMIT qtpSimulationEnded();
      // The flash test mode starts the next pass by itself a second later.
      if (result.startNextByItself && nextPassTimer != nullptr) nextPassTimer->start();
    };
    bool started = false;
    if (!journaled) {
      started = session_->StartPass(command, ++*passes, ended);
    } else {
      auto result = std::make_shared<kvx::PassResult>();
      started = session_->StartWork(
          journal_->PassWork(command, {parts_.ws, parts_.ports.Port(), parts_.clock, session_->View()}, ++*passes, result),
          [ended, result] { ended(*result); });
    }
    if (!started) ShowStartRefused(parts_.prompter, dialog);
  };
  connect(dialog, &ProgressDialog::shown, this, startPass);
  if (command.repeats) {
    connect(dialog, &ProgressDialog::continueRequested, this, startPass);
    connect(nextPassTimer, &QTimer::timeout, this, startPass);
  }
  dialog->open();
}

void DeviceCommands::onBlankCheck() { RunCommand(kvx::CommandId::BlankCheck); }
void DeviceCommands::onErase() { RunCommand(kvx::CommandId::Erase); }

void DeviceCommands::onRead() {
  RunCommand(kvx::CommandId::Read, [this] {
    // What was read replaces the buffers: the windows that show them are built afresh.
    if (parts_.ws.results.ReadCompleted) parts_.host.editors().Windows().AfterRead();
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
std::function<void()> RebuildWithStamps(const WindowParts& parts) {
  return [&host = parts.host] {
    if (host.editors().Windows().Flags().BufferViewOpen) host.RebuildBufferWindows();
  };
}
}  // namespace

void DeviceCommands::onAutoProgram() { RunCommand(kvx::CommandId::AutoProgram, RebuildWithStamps(parts_)); }

void DeviceCommands::onAutoProgramWithoutBlankCheck() {
  RunCommand(kvx::CommandId::AutoProgramWithoutBlankCheck, RebuildWithStamps(parts_));
}

void DeviceCommands::onDownload() {
  if (!parts_.host.CommandAllowed() || !parts_.host.port().PortReady()) return;
  auto* dialog = new DownloadDialog(parts_.prompter, &parts_.window);
  session_ = std::make_unique<OperationSession>(parts_.ws, parts_.ports, parts_.clock, dialog, dialog->NullView());
  connect(session_.get(), &OperationSession::closed, this, [this] {
    SessionEnded();
  });
  connect(dialog, &DownloadDialog::downloadRequested, this, [this, dialog] {
    if (!session_->StartWork([this, dialog](std::stop_token stop) { return dialog->Download(parts_.ws, parts_.ports.Port(), parts_.clock, stop); },
                             [dialog] { dialog->DownloadEnded(); })) {
      dialog->DownloadEnded();
      parts_.prompter.Open(dialog, kStartRefused, {});
    }
  });
  dialog->open();
}

void DeviceCommands::onShowProduction() {
  if (!parts_.host.CommandAllowed()) return;
  auto journal = std::make_shared<kvx::Journal>();
  std::chrono::milliseconds timeout{};
  std::string badTimeout;
  if (!kvx::DesktopJournalTimeout(parts_.ws.files.StartDir, timeout, badTimeout)) {
    parts_.prompter.Message(&parts_.window, Q(badTimeout));
    return;
  }
  journal->SetTimeout(timeout);
  opener_->Start(*journal, kvx::DesktopJournalName(parts_.ws.files.StartDir),
                 parts_.ws, [this, journal](bool ok, const std::string& error) {
                   if (parts_.host.startupExit().CloseIfAsked()) return;  // closed meanwhile
                   if (!ok) {
                     parts_.prompter.Message(&parts_.window, Q(error));
                     return;
                   }
                   // The series' start reads the journal: on the worker too.
                   auto start = std::make_shared<kvx::RunStart>();
                   kvx::Workspace& ws = parts_.ws;
                   opener_->Run(
                       ws, [journal, start, &ws] { *start = kvx::DecideRunStartFor(*journal, ws); },
                       [this, journal, start] { ShowProduction(journal, *start); });
                 });
}

void DeviceCommands::ShowProduction(std::shared_ptr<kvx::Journal> journal, const kvx::RunStart& start) {
  if (parts_.host.startupExit().CloseIfAsked() || !parts_.host.CommandAllowed()) return;
  ProductionOptions options;
  options.journal = std::move(journal);
  options.start = start;
  options.env = parts_.options.env;
  options.clock = &parts_.clock;
  options.lender = std::make_shared<MainPortLender>(parts_.host.port());
  options.settingsPath =
      (std::filesystem::path(parts_.ws.files.StartDir) / kvx::kSettingsFileName).string();
  auto* production = new ProductionWindow(parts_.ws, options, parts_.prompter, &parts_.window);
  if (!production->Ready()) {
    delete production;
    return;
  }
  production->setAttribute(Qt::WA_DeleteOnClose);
  production->show();
}

}  // namespace kvx::gui
