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

// Opens and applies `path` (already in ws.ConfigPath); ResetData when it cannot be applied.
void ApplyConfigFile(Workspace& ws, const std::string& path, LoadReport& report) {
  std::ifstream in;
  bool ok = false;
  if (OpenForReading(path, in) == OpenResult::Ok)
    ok = LoadCfg(ws, in, true, report);
  else
    report.messages.push_back("File can't open!");
  if (!ok) {
    ResetData(ws);
    report.stopped = true;
  }
}

std::string WriteConfig(const Workspace& ws, const std::string& path) {
  if (WriteFileReplacing(path, SaveCfg(ws))) return {};
  return "'" + path + "' file can't be written!";
}

}  // namespace

std::string DefaultConfigPath(const Workspace& ws) { return JoinPath(ws.StartDir, "Default.cfg"); }

LoadReport LoadDefaultConfig(Workspace& ws) {
  LoadReport report;
  ws.ConfigPath = DefaultConfigPath(ws);
  if (FileExists(ws.ConfigPath)) {
    ws.StartupConfigLoad = true;  // the first Intel HEX fault after start-up is not reported
    ApplyConfigFile(ws, ws.ConfigPath, report);
  } else {
    RefreshData(ws);
  }
  return report;
}

std::string SaveDefaultConfig(Workspace& ws) {
  ws.ConfigPath = DefaultConfigPath(ws);
  EndProductionModes(ws);
  return WriteConfig(ws, ws.ConfigPath);
}

std::string SaveConfig(const Workspace& ws, const std::string& path, int filterIndex) {
  if (filterIndex != kConfigFilterItem || path.empty()) return "File can't be saved!";
  return WriteConfig(ws, path);
}

LoadReport LoadConfig(Workspace& ws, const std::string& path, int filterIndex) {
  LoadReport report;
  if (filterIndex != kConfigFilterItem || path.empty()) {
    report.messages.push_back("Can't load file!");
    report.stopped = true;
    return report;
  }
  ws.ConfigPath = path;
  ApplyConfigFile(ws, path, report);
  CloseDisassembly(ws, report);
  return report;
}

}  // namespace kvx
