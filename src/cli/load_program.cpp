#include "cli/load_program.h"

#include "cli/command.h"
#include "core/device/catalogue.h"
#include "core/device/workspace_ops.h"

namespace kvx::cli {

bool LoadProgramForDevice(std::string_view command, const std::string& path,
                          const std::string& device, Workspace& ws, LoadReport& report,
                          std::ostream& err) {
  if (FindDevice(device) < 0) {
    UsageError(command, "unknown device " + device, err);
    return false;
  }
  // Choosing the device in the list: its parameters, then a fresh workspace for it.
  ws.SelectedDevice = device;
  ws.DeviceIndex = GetICInfo(ws, device);
  ResetData(ws);
  report = OpenProgramFile(ws, path);
  return true;
}

void PrintLoadMessages(const LoadReport& report, std::ostream& out) {
  for (const auto& m : report.messages) out << "message: " << m << '\n';
}

}  // namespace kvx::cli
