// Choosing and opening the Writer's port: the port names the operator picks from, where each
// one leads on this machine, CheckComPort with the link's fixed line settings, the connection
// checks after start-up and after every change, the retry of a device command and the closing
// at exit. Messages come back as texts; the caller shows them.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/device/workspace.h"
#include "core/link/clock.h"
#include "core/link/port_facts.h"
#include "core/link/serial_port.h"
#include "core/link/tcomm.h"

namespace kvx {

// The port chooser's items, in the chooser's order; item 0 is selected at start-up.
inline constexpr std::array<std::string_view, 8> kPortNames = {"Com1", "Com2", "Com3", "Com4",
                                                              "Com5", "Com6", "Com7", "Com8"};
// The handshake chooser's items.
inline constexpr std::array<std::string_view, 3> kHandShakeNames = {"Default", "CTS", "None"};
// The port name (and the KVXW_COMn value) that selects the built-in simulated Writer.
inline constexpr std::string_view kSimPortName = "sim";

inline constexpr std::string_view kConnectOk = "Connect OK!";
inline constexpr std::string_view kConnectFail = "Connect Fail!";

// Looks up an environment variable; null when unset. std::getenv by default.
using EnvLookup = std::function<const char*(const char*)>;
// Makes the port of the built-in simulated Writer (the core knows nothing of the simulator).
using SimPortFactory = std::function<std::unique_ptr<SerialPort>()>;

// Where a port name leads: "Com1".."Com8" go to /dev/ttyS0../dev/ttyS7 unless KVXW_COM1..
// KVXW_COM8 names another device (or `sim`); any other name is taken as a device path.
// Names are matched without regard to case ("COM3" is Com3).
std::string ResolvePortDevice(std::string_view name, const EnvLookup& env = {});
bool IsSimPort(std::string_view device);

// The port name as the messages show it: "Com3" -> "COM3". A device path is shown as it is.
std::string PortNameUpper(std::string_view name);
std::string PortErrorMessage(std::string_view name);      // "Open  COM1 Port Error!!"
std::string ConnectTimeoutMessage(std::string_view name);  // "Connect COM1 Timeout!!"

// The handshake the link runs with unless the operator chose another: the Writer gates every
// byte with CTS, and the desktop selects it once its start-up check has run. (A workspace starts
// at "Default", the chooser's first item, which the start-up check uses.)
inline constexpr std::string_view kLinkHandShake = "CTS";

// The handshake chooser's text as a flow control: "CTS" -> fcCTS, "None" -> fcNone, anything
// else (including "Default" and no selection) -> fcDefault.
TFlowControl FlowControlFor(std::string_view handShake);

// The main window's side of the port: owns Comm1 (and the simulated Writer's port while `sim`
// is selected) and runs the checks against the workspace's PortName and HandShake.
class PortSelector {
 public:
  PortSelector(Workspace& ws, Clock& clock, SimPortFactory simFactory = {}, EnvLookup env = {});

  // Closes the port, remembers its settings in ws.link.SavedPort, opens ws.settings.PortName at 115200 8N1
  // with the handshake of ws.settings.HandShake. Sets ws.results.PortError; returns the port error message, or
  // an empty text when the port opened.
  std::string CheckComPort();
  // The two connection checks wait up to the link's time-out for the Writer, so a desktop runs
  // them off its GUI thread (one at a time, while nothing else uses the port or the workspace)
  // and may stop them: a stopped check sends nothing more and returns no message.
  //
  // CheckComPort, then (when the port opened) CheckWriter with the identification. Returns the
  // messages to show, in order: none when all is well.
  std::vector<std::string> StartupCheck(std::stop_token stop = {});
  // After the port or handshake chooser changed: CheckComPort, then CheckWriter without the
  // identification. Returns the messages to show; "Connect OK!" when the Writer answered.
  std::vector<std::string> ChangeCheck(std::stop_token stop = {});
  // A device command's precondition: when the last open failed (or the port has hung up since),
  // tries once more. False when the port is still not open; `message` then holds the port error.
  bool EnsurePort(std::string& message);
  // One port opening for every front end: opens `name` with `handShake` (again only when either
  // changed, or the last open failed or hung up) and returns the port, or null with the reason
  // the operator reads: the port error ("Open  COM1 Port Error!!") and a line saying why.
  SerialPort* Open(const std::string& name, std::string_view handShake, std::string& reason);
  // At exit: closes the port and gives Comm1 back the settings saved by the last CheckComPort.
  void CloseAtExit();

  // The port the link talks through: Comm1, or the simulated Writer's port.
  SerialPort& Port();
  TComm& Comm1() { return comm_; }
  // The device the last CheckComPort tried ("/dev/ttyS0", "sim") and its errno (0 when open).
  const std::string& Device() const { return device_; }
  int OpenError() const { return openError_; }
  // Why the last CheckComPort did not open its port, in one line (see PortOpenReason); empty when
  // it opened, and for the simulated Writer.
  std::string OpenReason() const;
  // What the port the last CheckComPort opened is, and how long it will hold the Writer's
  // answers (found in sysfs, with whether the low-latency request took). Default facts for the
  // simulated Writer and after a failed open.
  const PortFacts& Facts() const { return facts_; }
  // Where sysfs is ("/sys" unless a test gives a tree of its own).
  void SetSysRoot(std::string root) { sysRoot_ = std::move(root); }

 private:
  void ClosePorts();
  bool OpenDevice();
  // CheckComPort, then CheckWriter: the port error, the time-out or "Connect Fail!", or
  // `whenAccepted` when the Writer answered.
  std::vector<std::string> ConnectionCheck(bool readId, std::vector<std::string> whenAccepted,
                                           std::stop_token stop);

  Workspace& ws_;
  Clock& clock_;
  SimPortFactory simFactory_;
  EnvLookup env_;
  TComm comm_;
  std::unique_ptr<SerialPort> simPort_;
  std::string device_;
  std::string opened_;  // "NAME HANDSHAKE" of the last Open
  int openError_ = 0;
  std::string sysRoot_ = "/sys";
  PortFacts facts_;
};

}  // namespace kvx
