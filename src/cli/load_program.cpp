#include "cli/load_program.h"

#include "cli/command.h"
#include "core/device/catalogue.h"
#include "core/device/workspace_ops.h"

namespace kvx::cli {

void SelectDevice(Workspace& ws, const std::string& device) {
  // kvxw has no windows: ResetData and the loads run with the default OpenViews, so a load
  // reports everything (a PIC file that does not fit the device's core) and closes no view.
  ws.device.SelectedDevice = device;
  ResetData(ws);  // loads the device's parameters first
}

bool LoadProgramForDevice(std::string_view command, const std::string& path,
                          const std::string& device, Workspace& ws, LoadReport& report,
                          std::ostream& err) {
  if (FindDevice(device) < 0) {
    UsageError(command, "unknown device " + device, err);
    return false;
  }
  SelectDevice(ws, device);
  report = OpenProgramFile(ws, path);
  return true;
}

std::unique_ptr<Workspace> LoadProgramForDevice(std::string_view command, const std::string& path,
                                                const std::string& device, LoadReport& report,
                                                std::ostream& err) {
  auto ws = std::make_unique<Workspace>();
  if (!LoadProgramForDevice(command, path, device, *ws, report, err)) return nullptr;
  return ws;
}

void PrintLoadMessages(const LoadReport& report, std::ostream& out) {
  for (const auto& m : report.messages) out << "message: " << m << '\n';
}

}  // namespace kvx::cli
