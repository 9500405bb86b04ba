// kvxw ports: the ports the Writer can be reached on, as the desktop's port chooser lists them.
#include <cstdlib>

#include "cli/command.h"
#include "core/link/port_facts.h"
#include "core/link/port_list.h"

namespace kvx::cli {
namespace {

std::string FromEnv(const char* name, const char* otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : otherwise;
}

int RunPorts(const Args&, std::ostream& out, std::ostream&) {
  // KVXW_DEV_ROOT and KVXW_SYS_ROOT stand in for /dev and /sys, for trying the listing without
  // the devices.
  const std::string sysRoot = FromEnv("KVXW_SYS_ROOT", "/sys");
  for (const PortChoice& port : ListPorts(FromEnv("KVXW_DEV_ROOT", "/dev")))
    out << port.name << '\t' << port.device << '\t' << DescribePortDevice(port.device, sysRoot)
        << '\n';
  return kExitOk;
}

const bool registered = RegisterCommand({
    .name = "ports",
    .summary = "List the ports a Writer can be reached on.",
    .run = RunPorts,
    .details = "One port a line, three fields separated by tabs: its name (what --port takes and\n"
               "the desktop's port chooser shows), the device it leads to, and what the device\n"
               "is: its driver and how long it holds each of the Writer's answers (an FTDI\n"
               "adapter its latency_timer, a 16550 UART with rx_trig_bytes above 1 about four\n"
               "characters; see the README, \"USB adapters\"). Com1..Com8 lead to\n"
               "/dev/ttyS0..7 unless KVXW_COMn names another device; then every USB serial\n"
               "device present (/dev/ttyUSB*, /dev/ttyACM*), by its /dev/serial/by-id name where\n"
               "it has one. A script that wants the first two fields: cut -f1,2.",
});

}  // namespace
}  // namespace kvx::cli
