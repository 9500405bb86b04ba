// The main window's port: the "Serial Port :" and "HandShake :" selectors on the second
// toolbar (their objectNames "ComboBox1" and "HandShake"), the USB port chooser that keeps the
// list up to date, and the connection checks, which wait for the Writer on a worker thread.
#pragma once

#include <QObject>
#include <functional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "core/ops/runner.h"
#include "gui/app/window_parts.h"

class QComboBox;
class QLabel;
class QToolBar;

namespace kvx::gui {

class GuiQueue;
class PortChooser;

class PortControls : public QObject {
  Q_OBJECT
 public:
  PortControls(const WindowParts& parts, QToolBar* bar);
  ~PortControls() override;

  QLabel* Label() const { return portLabel_; }  // "Serial Port :"
  // The port list shows the workspace's port, without running its handler.
  void ShowSelectedPort();
  // From start-up on, the link runs with the CTS handshake.
  void UseCtsHandshake();

  // A connection check waits up to the link's time-out for the Writer: it runs on a worker
  // thread holding the workspace, and `then` gets its messages on the GUI thread once it has
  // returned. The window is Busy() until then. False (nothing started) while busy.
  using Check = std::function<std::vector<std::string>(std::stop_token)>;
  bool StartCheck(Check check, std::function<void(const std::vector<std::string>&)> then);
  // A check runs or its end is not handled yet.
  bool Checking() const { return checking_; }
  void RequestStop() { checks_.RequestStop(); }
  // Port precondition of a device command: true when the port is open (after one retry).
  bool PortReady();
  // A production tile takes `device`: the window's port is let go of when it leads there, and
  // opened again by PortGivenBack once no tile holds it. False, with the reason, while a
  // command or a check uses it.
  bool LendPort(const std::string& device, std::string& reason);
  void PortGivenBack(const std::string& device);
  // The port's messages, a port that did not open with the reason on a second line.
  void ShowMessages(const std::vector<std::string>& messages);
  // `messages` and, when the port opened and will hold the Writer's answers long enough to
  // slow a pass down, the warning that says so (see kvx::SlowPortWarning).
  std::vector<std::string> WithPortWarning(std::vector<std::string> messages) const;

 private:
  void onPortChosen();

  WindowParts parts_;
  QLabel* portLabel_ = nullptr;
  QComboBox* portList_ = nullptr;     // "ComboBox1"
  QComboBox* handshake_ = nullptr;    // "HandShake"
  PortChooser* portChooser_ = nullptr;  // fills the port list and keeps it up to date
  bool checking_ = false;
  std::multiset<std::string> lent_;  // the devices production tiles hold
  bool released_ = false;            // the window's port was let go of for a tile
  GuiQueue* checkEnds_ = nullptr;  // the check's end, on its way to the GUI thread
  kvx::OperationRunner checks_;  // last: a running check is stopped and joined before the rest goes
};

}  // namespace kvx::gui
