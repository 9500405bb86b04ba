// MainWindow: the menus and toolbars, the multi-document area and the status panel, the parts
// that do the window's jobs, and which action runs which command.
#include "gui/app/main_window.h"

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "core/device/workspace_ops.h"
#include "gui/app/device_commands.h"
#include "gui/app/engineering_controls.h"
#include "gui/app/main_actions.h"
#include "gui/app/port_controls.h"
#include "gui/app/startup_exit.h"
#include "gui/common/prompter.h"
#include "gui/app/status_panel.h"
#include "gui/common/widgets.h"
#include "gui/editors/buffer_windows.h"
#include "gui/editors/editor_commands.h"

namespace kvx::gui {
MainWindow::MainWindow(const MainWindowOptions& options, QWidget* parent)
    : QMainWindow(parent),
      options_(options),
      ws_(std::make_unique<kvx::Workspace>()),
      steady_(std::make_unique<kvx::SteadyClock>()),
      clock_(options.clock != nullptr ? options.clock : steady_.get()),
      sim_(options.simClock),
      prompter_(options.prompter != nullptr ? options.prompter : &DefaultPrompter()) {
  setObjectName("MainForm");
  ws_->files.StartDir = options.startDir.toStdString();
  ports_ = std::make_unique<kvx::PortSelector>(
      *ws_, *clock_, [this] { return sim_.OpenPort(ws_->device.DeviceIndex); }, options.env);

  mdiArea_ = new QMdiArea(this);
  mdiArea_->setObjectName("MdiArea");
  mdiArea_->setAccessibleName("Windows");
  panel_ = new StatusPanel(this);
  deviceList_ = panel_->DeviceList();
  auto* central = new QWidget(this);
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(mdiArea_, 1);
  row->addWidget(panel_);
  setCentralWidget(central);
  statusBar()->setObjectName("StatusBar");

  device_ = std::make_unique<DeviceCommands>(Parts());
  actions_ = std::make_unique<MainActions>(Parts());
  addToolBarBreak();
  QToolBar* port = addToolBar("Port");
  port->setObjectName("ToolBar2");
  port->setMovable(false);
  port_ = std::make_unique<PortControls>(Parts(), port);
  engineering_ = std::make_unique<EngineeringControls>(Parts(), port, port_->Label(), actions_->forceWriteAction());
  connect(device_.get(), &DeviceCommands::qtpSimulationEnded, engineering_.get(),
          &EngineeringControls::QtpSimulationEnded);
  refreshTimer_ = new QTimer(this);
  refreshTimer_->setObjectName("Timer1");
  refreshTimer_->setInterval(500);
  startupExit_ = std::make_unique<StartupExit>(Parts(), refreshTimer_);
  actions_->Connect();
  connect(deviceList_, &QComboBox::currentIndexChanged, this, [this] { onDeviceChosen(); });
  connect(refreshTimer_, &QTimer::timeout, this, &MainWindow::onTimer);
  startupExit_->Create();
}

MainWindow::~MainWindow() = default;

WindowParts MainWindow::Parts() {
  return {*ws_, *clock_, *ports_, sim_, *prompter_, options_, selectorsQuiet_, *panel_, *mdiArea_, *this, *this};
}

bool MainWindow::Busy() const {
  return port_->Checking() || device_->WorkerRunning() || kvx::WorkspaceInUse(*ws_);
}

bool MainWindow::CommandAllowed() const {
  return !device_->SessionOpen() && !device_->OpeningJournal() && !port_->Checking() &&
         !startupExit_->Closed();
}

void MainWindow::RefreshPanelNow() {
  if (Busy()) return;
  panel_->RefreshData(*ws_);
}

void MainWindow::RebuildBufferWindows() { editors().Windows().RebuildBufferWindows(); }

int MainWindow::ExitStatus() const { return startupExit_->ExitStatus(); }

void MainWindow::CloseBySignal() { startupExit_->CloseBySignal(); }

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  startupExit_->FirstShow();
}

void MainWindow::closeEvent(QCloseEvent* event) { startupExit_->CloseRequested(event); }

EditorCommands& MainWindow::editors() {
  if (editors_ != nullptr) return *editors_;
  EditorHooks hooks;
  hooks.panelChanged = [this] {
    // A configuration may have brought another device and port: the selectors follow quietly.
    ShowSelectedDevice();
    port_->ShowSelectedPort();
    RefreshPanelNow();
  };
  hooks.commandsChanged = [this] {
    actions_->UpdateCommandStates();
    actions_->LockSingleStepCommands(ws_->settings.SerialCommandsLocked);
  };
  editors_ = new EditorCommands(*ws_, this, mdiArea_, hooks, *prompter_);
  return *editors_;
}

void MainWindow::ShowSelectedDevice() {
  QuietSelectors quiet(selectorsQuiet_);
  deviceList_->setCurrentText(Q(ws_->device.SelectedDevice));
}

void MainWindow::onDeviceChosen() {
  if (selectorsQuiet_) return;
  if (Busy()) {
    ShowSelectedDevice();
    return;
  }
  BufferWindows& windows = editors().Windows();
  windows.Flags().Follow(kvx::ChooseDevice(*ws_, deviceList_->currentText().toStdString(), windows.Views()));
  panel_->RefreshData(*ws_);
  actions_->UpdateCommandStates();
  // The simulated Writer's socket follows the device chosen.
  if (kvx::IsSimPort(ports_->Device()) && !ws_->results.PortError) ports_->CheckComPort();
  RebuildBufferWindows();
  if (ws_->device.NeedsAdaptor != 0) prompter_->Message(this, "Please add the adaptor");
}

void MainWindow::onTimer() {
  // While a worker owns the workspace the panel waits for its end.
  if (Busy()) return;
  actions_->FollowListing();
  if (ws_->panel.RefreshPending) {
    ws_->panel.RefreshPending = false;
    panel_->RefreshData(*ws_);
  } else {
    panel_->ShowTexts(*ws_);
  }
}

}  // namespace kvx::gui
