#include "core/files/program_file.h"

#include <fstream>

#include "core/device/checksum.h"
#include "core/device/status_panel.h"
#include "core/device/text_convert.h"
#include "core/device/workspace_ops.h"
#include "core/files/config_file.h"
#include "core/files/file_io.h"
#include "core/files/intel_hex.h"
#include "core/files/pic_translate.h"
#include "core/files/raw_image.h"

namespace kvx {

namespace {

LoadReport Stop(LoadReport report, const char* message) {
  report.messages.emplace_back(message);
  report.stopped = true;
  return report;
}

// Settings of a configuration file with the program file's base name, when there is one.
void ApplyCompanionConfig(Workspace& ws, LoadReport& report, const OpenViews& views) {
  const std::size_t dot = ws.files.ProgramPath.rfind('.');
  ws.files.ConfigPath = ws.files.ProgramPath.substr(0, dot) + ".cfg";
  std::ifstream in;
  if (OpenForReading(ws.files.ConfigPath, in) == OpenResult::Ok)
    LoadCfg(ws, in, false, report, views);  // a failure has shown its message; the load goes on
}

}  // namespace

std::string DialogFileName(const std::string& lastProgramPath) {
  return UpToFirstDot(lastProgramPath);
}

std::string FileExtension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos) return {};
  return UpperCase(path.substr(dot + 1));
}

LoadReport OpenProgramFile(Workspace& ws, const std::string& path, const OpenViews& views) {
  LoadReport report;
  ClearOptionUnlessKept(ws);
  RefreshData(ws);
  std::ifstream in;
  switch (OpenForReading(path, in)) {
    case OpenResult::Missing: return Stop(std::move(report), "File don't exist!");
    case OpenResult::CannotOpen: return Stop(std::move(report), "File can't open!");
    case OpenResult::Ok: break;
  }
  // The workspace names its program file only once a load has succeeded: a refused file must not
  // reach the configuration saved at exit, or the next start would load it instead of the
  // program the buffers still hold.
  ws.files.ProgramPath = path;
  const std::string ext = FileExtension(path);
  if (ext == "CFG") {
    ws.files.LastProgramPath = path;  // the configuration names the program file it comes from
    ws.files.ConfigPath = path;
    if (!LoadCfg(ws, in, true, report, views)) {
      // The settings it applied before failing go; what the operator has is a blank workspace,
      // and the load counts as stopped (nothing may be saved or programmed from it).
      ResetData(ws, views);  // the listing goes with FinishOpen, the EEPROM view with the device
      report.stopped = true;
    }
  } else if (ext == "BIN" || ext == "OBJ") {
    // Read aside, so that a file of the wrong size leaves the program memory as it was.
    ProgramBytesArray image;
    ws.files.LoadedLength = ReadRawImage(in, image);
    if (ws.files.LoadedLength != ws.device.ProgramBytes) return Stop(std::move(report), "File size unmatch!");
    ws.image.ProgramBuffer = image;
    if (ext == "OBJ") TranslatePicCode(ws, report.messages, views);
  } else if (ext == "HEX" || ext == "KVH") {
    // Text without a single record line is not a program: say so rather than load a blank one.
    if (!HoldsHexRecord(in)) return Stop(std::move(report), kNoHexRecord);
    ws.files.LoadedLength = HexToObj(ws, in, report.messages);
    if (ext == "HEX") TranslatePicCode(ws, report.messages, views);
  } else {
    return Stop(std::move(report), "File type incorrect!");
  }
  if (ext != "CFG") ws.files.LastProgramPath = path;
  ws.production.SerialNoMode = false;
  if (ext != "CFG") {
    SplitWords(ws.image.ProgramBuffer);
    ApplyCompanionConfig(ws, report, views);
  }
  if (ws.device.IsElevenBit()) MaskElevenBit(ws.image.ProgramBuffer);
  ws.files.BufferCaption = ws.files.LastProgramPath;
  report.rebuildBufferView = true;
  FinishOpen(ws, report, views);
  return report;
}

void FinishOpen(Workspace& ws, LoadReport& report, const OpenViews& views) {
  CloseDisassembly(report, views);
  EndProductionModes(ws);
  CalChecksum(ws);
}

void CloseDisassembly(LoadReport& report, const OpenViews& views) {
  if (views.disassemblyOpen) report.closeDisassembly = true;
}

}  // namespace kvx
