// Opening the Writer's port for a kvxw command. Every command that talks to the Writer takes the
// same options (--port, --sim-fault, --sim-chip) and opens its port here, so `--port Com1`,
// `--port /dev/ttyUSB0` and `--port sim` behave alike everywhere.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command.h"
#include "core/link/clock.h"
#include "core/link/port_select.h"
#include "core/link/serial_port.h"

namespace kvx::sim {
class SimWriter;
}

namespace kvx::cli {

// The option entries every port-taking command lists, in this order: --port PORT,
// --sim-fault F (repeatable), --sim-chip CONTENT.
std::vector<OptionSpec> PortOptions();

// Switches on the simulated Writer's `faults`, the values of `option` (--sim-fault, or `kvxw
// sim`'s --fault). On an unknown one returns false with the error "OPTION: WHY".
bool SwitchOnFaults(sim::SimWriter& writer, const std::vector<std::string>& faults,
                    std::string_view option, std::string& error);

struct PortOpenOptions {
  std::string device = "KVX-01";     // the chip in the simulated Writer's socket (sim only)
  std::vector<std::string> simFaults;  // --sim-fault values (sim only)
  std::string simChip;                 // --sim-chip value, empty for the simulator's default
  std::string handShake{kLinkHandShake};  // "CTS", "None" or "Default" (real ports only)
};

// An open port and what stands behind it.
class CliPort {
 public:
  CliPort();
  CliPort(CliPort&&) noexcept;
  CliPort& operator=(CliPort&&) noexcept;
  ~CliPort();  // closes the port

  bool ok() const;
  SerialPort& port();
  // The clock the link should run on (a steady clock, for real ports and the simulator alike).
  Clock& clock();
  // The simulated Writer behind `--port sim`; null for a real port.
  sim::SimWriter* simWriter();
  // "COM1", "SIM", "/dev/ttyUSB0": the port name as the link's messages show it.
  std::string shownName() const;
  // After a failed open: kExitUsage when a --sim-* value or the device was refused,
  // kExitLink when the port did not open.
  int failureExit() const;
  // After an open: one line when the port will hold the Writer's answers long enough to slow a
  // pass down (see SlowPortWarning); empty otherwise.
  const std::string& warning() const;

  struct Impl;

 private:
  friend bool OpenCliPort(const std::string&, const PortOpenOptions&, CliPort&, std::string&);
  std::unique_ptr<Impl> impl_;
};

// Opens `name` (Com1..Com8, a device path, or `sim`). On failure returns false and sets `error`
// to the text the operator sees: "Open  COM1 Port Error!!" and a second line saying why (busy, and
// by which process; no such device; a link that points nowhere; not a serial device; no
// permission, and which group has it), or the reason a --sim-* value was refused.
bool OpenCliPort(const std::string& name, const PortOpenOptions& options, CliPort& port,
                 std::string& error);

// The usual way in for a command: reads --port (default Com1), --sim-fault and --sim-chip from
// `args`, opens the port for `device` and writes any error to `err`.
bool OpenCliPort(const Args& args, const std::string& device, CliPort& port, std::ostream& err);

}  // namespace kvx::cli
