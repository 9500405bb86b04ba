// kvxw ports: the ports the Writer can be reached on, as the desktop's port chooser lists them.
#include <cstdlib>

#include "cli/command.h"
#include "core/link/port_list.h"

namespace kvx::cli {
namespace {

int RunPorts(const Args&, std::ostream& out, std::ostream&) {
  // KVXW_DEV_ROOT stands in for /dev, for trying the listing without the devices.
  const char* root = std::getenv("KVXW_DEV_ROOT");
  for (const PortChoice& port : ListPorts(root != nullptr && *root != '\0' ? root : "/dev"))
    out << port.name << '\t' << port.device << '\n';
  return kExitOk;
}

const bool registered = RegisterCommand({
    .name = "ports",
    .summary = "List the ports a Writer can be reached on.",
    .run = RunPorts,
    .details = "One port a line: its name (what --port takes and the desktop's port chooser\n"
               "shows), a tab, and the device it leads to. Com1..Com8 lead to /dev/ttyS0..7\n"
               "unless KVXW_COMn names another device; then every USB serial device present\n"
               "(/dev/ttyUSB*, /dev/ttyACM*), by its /dev/serial/by-id name where it has one.",
});

}  // namespace
}  // namespace kvx::cli
