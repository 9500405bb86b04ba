#include "cli/load_program.h"

#include "cli/command.h"
#include "core/device/catalogue.h"
#include "core/device/workspace_ops.h"

namespace kvx::cli {

void SelectDevice(Workspace& ws, const std::string& device) {
  // As in the window after start-up, the program-memory view exists: loads report what it
  // would show (a PIC file that does not fit the device's core).
  ws.BufferViewOpen = true;
  ws.SelectedDevice = device;
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
