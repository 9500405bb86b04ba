// The commands around configuration files: the default file read at start-up and written at
// exit, Save Config and Load Config.
#include <fstream>

#include "core/device/status_panel.h"
#include "core/device/workspace_ops.h"
#include "core/files/config_file.h"
#include "core/files/file_io.h"

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

// The value of `key` in a file of "key=value" lines; empty when the file or the key is missing.
std::string StationSetting(const std::string& path, std::string_view key) {
  std::ifstream in;
  if (OpenForReading(path, in) != OpenResult::Ok) return {};
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto equals = line.find('=');
    if (equals != std::string::npos && std::string_view(line).substr(0, equals) == key)
      return line.substr(equals + 1);
  }
  return {};
}

}  // namespace

std::string DefaultConfigPath(const Workspace& ws) { return JoinPath(ws.files.StartDir, "Default.cfg"); }
std::string StationSettingsPath(const Workspace& ws) {
  return JoinPath(ws.files.StartDir, "KvxWriter.ini");
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
  const std::string port = StationSetting(StationSettingsPath(ws), "port");
  if (!port.empty() && !IsComPortName(port)) ws.settings.PortName = port;
  return report;
}

std::string SaveDefaultConfig(Workspace& ws) {
  ws.files.ConfigPath = DefaultConfigPath(ws);
  EndProductionModes(ws);
  std::string message = WriteConfig(ws, ws.files.ConfigPath);
  const std::string settings = StationSettingsPath(ws);
  if (!WriteFileReplacing(settings, "port=" + ws.settings.PortName + "\n") && message.empty())
    message = "'" + settings + "' file can't be written!";
  return message;
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
