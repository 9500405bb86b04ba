// The commands around configuration files: the default file read at start-up and written at
// exit, Save Config and Load Config.
#include <fstream>

#include "core/device/status_panel.h"
#include "core/device/workspace_ops.h"
#include "core/files/config_file.h"
#include "core/files/file_io.h"
#include "core/files/station_settings.h"

namespace kvx {

namespace {

constexpr int kConfigFilterItem = 1;

// Opens and applies `path` (already in ws.files.ConfigPath); ResetData when it cannot be applied.
void ApplyConfigFile(Workspace& ws, const std::string& path, LoadReport& report,
                     const OpenViews& views) {
  std::ifstream in;
  bool ok = false;
  if (OpenForReading(path, in) == OpenResult::Ok)
    ok = LoadCfg(ws, in, true, report, views);
  else
    report.messages.push_back("File can't open!");
  if (!ok) {
    ResetData(ws, views);  // the listing goes with CloseDisassembly, the EEPROM view with the device
    report.stopped = true;
  }
}

std::string WriteConfig(const Workspace& ws, const std::string& path) {
  if (WriteFileReplacing(path, SaveCfg(ws))) return {};
  return "'" + path + "' file can't be written!";
}

}  // namespace

std::string DefaultConfigPath(const Workspace& ws) { return JoinPath(ws.files.StartDir, "Default.cfg"); }
std::string StationSettingsPath(const Workspace& ws) {
  return JoinPath(ws.files.StartDir, kSettingsFileName);
}

LoadReport LoadDefaultConfig(Workspace& ws) {
  LoadReport report;
  ws.files.ConfigPath = DefaultConfigPath(ws);
  if (FileExists(ws.files.ConfigPath)) {
    ws.files.StartupConfigLoad = true;  // the first Intel HEX fault after start-up is not reported
    // Nothing is shown yet: no program view to warn in, no windows to rebuild.
    ApplyConfigFile(ws, ws.files.ConfigPath, report, OpenViews{.programViewClosed = true});
  } else {
    RefreshData(ws);
  }
  const std::string port = ReadSetting(StationSettingsPath(ws), "port");
  if (!port.empty() && !IsComPortName(port)) ws.settings.PortName = port;
  return report;
}

std::string SaveDefaultConfig(Workspace& ws) {
  ws.files.ConfigPath = DefaultConfigPath(ws);
  EndProductionModes(ws);
  std::string message = WriteConfig(ws, ws.files.ConfigPath);
  // Only the port line changes: the journal a floor's station shares, and whatever else an
  // administrator put there, must outlive the program's exit.
  const std::string settings = UpdateSettings(StationSettingsPath(ws), {{"port", ws.settings.PortName}});
  return message.empty() ? settings : message;
}

std::string SaveConfig(const Workspace& ws, const std::string& path, int filterIndex) {
  if (filterIndex != kConfigFilterItem || path.empty()) return "File can't be saved!";
  return WriteConfig(ws, path);
}

LoadReport LoadConfig(Workspace& ws, const std::string& path, int filterIndex,
                      const OpenViews& views) {
  LoadReport report;
  if (filterIndex != kConfigFilterItem || path.empty()) {
    report.messages.push_back("Can't load file!");
    report.stopped = true;
    return report;
  }
  ws.files.ConfigPath = path;
  ApplyConfigFile(ws, path, report, views);
  CloseDisassembly(report, views);
  return report;
}

}  // namespace kvx
