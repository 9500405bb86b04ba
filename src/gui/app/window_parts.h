// What the main window hands each part that does one of its jobs (the device commands, the port,
// start-up and exit, the menus, the engineering controls, the About box and counter): the objects
// they share, and a small interface for what a part asks of the window or of another part. A part
// never sees the window's class.
#pragma once

#include <QString>
#include <functional>

#include "core/link/clock.h"
#include "core/link/port_select.h"

class QMainWindow;
class QMdiArea;

namespace kvx {
struct Workspace;
}  // namespace kvx

namespace kvx::gui {

class DeviceCommands;
class EditorCommands;
class MainActions;
class PortControls;
class Prompter;
class SimBench;
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

// What a part asks of the window, and the other parts it calls on.
class WindowHost {
 public:
  // A worker (an operation or a connection check) owns the workspace and the port: nothing may
  // read or change them.
  virtual bool Busy() const = 0;
  // A command may start: no operation dialog is up, no journal is being opened, no check runs,
  // the window is not closing.
  virtual bool CommandAllowed() const = 0;
  // RefreshData at once (never while a worker owns the workspace).
  virtual void RefreshPanelNow() = 0;
  // Re-creates the windows that show the buffers after a wholesale change.
  virtual void RebuildBufferWindows() = 0;
  // The device list shows the workspace's device, without running its change handler.
  virtual void ShowSelectedDevice() = 0;

  virtual EditorCommands& editors() = 0;  // made on first use
  virtual DeviceCommands& device() = 0;
  virtual PortControls& port() = 0;
  virtual StartupExit& startupExit() = 0;
  virtual MainActions& actions() = 0;

 protected:
  ~WindowHost() = default;
};

// Everything here outlives the parts.
struct WindowParts {
  kvx::Workspace& ws;
  kvx::Clock& clock;
  kvx::PortSelector& ports;
  SimBench& sim;
  Prompter& prompter;
  const MainWindowOptions& options;
  bool& selectorsQuiet;  // see QuietSelectors
  StatusPanel& panel;
  QMdiArea& mdiArea;
  QMainWindow& window;  // the dialogs' parent; its menu bar, toolbars, title and close
  WindowHost& host;
};

}  // namespace kvx::gui
