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
#include "gui/app/window_parts.h"

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

class MainWindow : public QMainWindow, public WindowHost {
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
  DeviceCommands& device() override { return *device_; }
  PortControls& port() override { return *port_; }
  StartupExit& startupExit() override { return *startupExit_; }
  MainActions& actions() override { return *actions_; }
  EditorCommands& editors() override;  // made on first use; a child of the window
  bool& selectorsQuiet() { return selectorsQuiet_; }

  // What the parts ask of the window (see WindowHost).
  bool Busy() const override;
  bool CommandAllowed() const override;
  void RefreshPanelNow() override;
  // After a wholesale change: a read, a device change, serial numbers stamped, a configuration
  // loaded.
  void RebuildBufferWindows() override;
  void ShowSelectedDevice() override;
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
  WindowParts Parts();

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
