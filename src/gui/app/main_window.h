// MainWindow: the program's one top-level window. It owns the workspace, the Writer's port (and
// the simulated Writer behind `sim`), the status panel, the menus and toolbars, and the parts
// that do the window's jobs: the device commands, the port, start-up and exit, the engineering
// controls, and the buffer windows with their commands (EditorCommands).
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

#include "core/device/workspace.h"
#include "core/link/clock.h"
#include "core/link/port_select.h"
#include "gui/app/sim_bench.h"

class QComboBox;
class QMdiArea;
class QTimer;

namespace kvx::gui {

class DeviceCommands;
class EditorCommands;
class EngineeringControls;
class MainActions;
class PortControls;
class Prompter;
class StartupExit;
class StatusPanel;

// What the window is started with; the program leaves everything at its default, the tests
// inject simulated time, a folder and a prompter that answers the message boxes.
struct MainWindowOptions {
  kvx::Clock* clock = nullptr;         // time of the link and the operations; null: steady
  kvx::FakeClock* simClock = nullptr;  // the simulated Writer's time; null: it answers at once
  kvx::EnvLookup env;                  // KVXW_COMn lookups; null: the process environment
  QString startDir;                    // where Default.cfg lives; empty: the current directory
  Prompter* prompter = nullptr;        // null: real message boxes
  std::function<void()> closeLogo;     // hides the start-up logo (the creation's last step)
};

// While one lives, the device and port selectors are being set by the program, not the
// operator: their change handlers do nothing.
class QuietSelectors {
 public:
  explicit QuietSelectors(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
  ~QuietSelectors() { flag_ = was_; }
  QuietSelectors(const QuietSelectors&) = delete;
  QuietSelectors& operator=(const QuietSelectors&) = delete;

 private:
  bool& flag_;
  bool was_;
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(const MainWindowOptions& options = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  // ---- What the window's parts, the buffer views and the editors share ------------------------
  kvx::Workspace& workspace() { return *ws_; }
  QMdiArea* mdiArea() const { return mdiArea_; }
  StatusPanel* statusPanel() const { return panel_; }
  Prompter& prompter() { return *prompter_; }
  kvx::PortSelector& ports() { return *ports_; }
  SimBench& simBench() { return sim_; }
  kvx::Clock& clock() { return *clock_; }
  const MainWindowOptions& options() const { return options_; }
  DeviceCommands& device() { return *device_; }
  PortControls& port() { return *port_; }
  StartupExit& startupExit() { return *startupExit_; }
  MainActions& actions() { return *actions_; }
  EditorCommands& editors();  // made on first use; a child of the window
  bool& selectorsQuiet() { return selectorsQuiet_; }

  // A worker (an operation or a connection check) owns the workspace and the port: nothing may
  // read or change them.
  bool Busy() const;
  // A command may start: no operation dialog is up, no journal is being opened, no check runs,
  // the window is not closing.
  bool CommandAllowed() const;
  // RefreshData at once (never while a worker owns the workspace).
  void RefreshPanelNow();
  // Re-creates the windows that show the buffers after a wholesale change (a read, a device
  // change, serial numbers stamped, a configuration loaded).
  void RebuildBufferWindows();
  // The device list shows the workspace's device, without running its change handler.
  void ShowSelectedDevice();
  // A termination signal asked for the close: as File > Exit, but nothing waits for the
  // operator; a failure goes to the standard error and the exit status.
  void CloseBySignal();
  // What the program exits with: 1 when writing Default.cfg failed at the close.
  int ExitStatus() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void onDeviceChosen();
  void onTimer();

  MainWindowOptions options_;
  std::unique_ptr<kvx::Workspace> ws_;
  std::unique_ptr<kvx::SteadyClock> steady_;
  kvx::Clock* clock_;
  SimBench sim_;
  std::unique_ptr<kvx::PortSelector> ports_;
  Prompter* prompter_;
  QMdiArea* mdiArea_ = nullptr;
  StatusPanel* panel_ = nullptr;
  QComboBox* deviceList_ = nullptr;  // "ComboBox2", on the status panel
  QTimer* refreshTimer_ = nullptr;   // "Timer1": the panel follows the workspace every 500 ms
  EditorCommands* editors_ = nullptr;
  bool selectorsQuiet_ = false;

  // Last: they use what is above, and go before it.
  std::unique_ptr<MainActions> actions_;
  std::unique_ptr<EngineeringControls> engineering_;
  std::unique_ptr<DeviceCommands> device_;
  std::unique_ptr<StartupExit> startupExit_;
  std::unique_ptr<PortControls> port_;  // last: a running check is stopped and joined first
};

}  // namespace kvx::gui
