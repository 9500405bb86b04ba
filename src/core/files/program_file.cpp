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
void ApplyCompanionConfig(Workspace& ws, LoadReport& report) {
  const std::size_t dot = ws.ProgramPath.rfind('.');
  ws.ConfigPath = ws.ProgramPath.substr(0, dot) + ".cfg";
  std::ifstream in;
  if (OpenForReading(ws.ConfigPath, in) == OpenResult::Ok)
    LoadCfg(ws, in, false, report);  // a failure has shown its message; the load goes on
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

LoadReport OpenProgramFile(Workspace& ws, const std::string& path) {
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
  ws.ProgramPath = path;
  const std::string ext = FileExtension(path);
  if (ext == "CFG") {
    ws.LastProgramPath = path;  // the configuration names the program file it comes from
    ws.ConfigPath = path;
    if (!LoadCfg(ws, in, true, report)) {
      // The settings it applied before failing go; what the operator has is a blank workspace,
      // and the load counts as stopped (nothing may be saved or programmed from it).
      ResetData(ws);
      report.stopped = true;
    }
  } else if (ext == "BIN" || ext == "OBJ") {
    // Read aside, so that a file of the wrong size leaves the program memory as it was.
    ProgramBytesArray image;
    ws.LoadedLength = ReadRawImage(in, image);
    if (ws.LoadedLength != ws.ProgramBytes) return Stop(std::move(report), "File size unmatch!");
    ws.ProgramBuffer = image;
    if (ext == "OBJ") TranslatePicCode(ws, report.messages);
  } else if (ext == "HEX" || ext == "KVH") {
    // Text without a single record line is not a program: say so rather than load a blank one.
    if (!HoldsHexRecord(in)) return Stop(std::move(report), kNoHexRecord);
    ws.LoadedLength = HexToObj(ws, in, report.messages);
    if (ext == "HEX") TranslatePicCode(ws, report.messages);
  } else {
    return Stop(std::move(report), "File type incorrect!");
  }
  if (ext != "CFG") ws.LastProgramPath = path;
  ws.SerialNoMode = false;
  if (ext != "CFG") {
    SplitWords(ws.ProgramBuffer);
    ApplyCompanionConfig(ws, report);
  }
  if (ws.IsElevenBit()) MaskElevenBit(ws.ProgramBuffer);
  ws.BufferViewOpen = true;
  ws.BufferCaption = ws.LastProgramPath;
  report.rebuildBufferView = true;
  FinishOpen(ws, report);
  return report;
}

void FinishOpen(Workspace& ws, LoadReport& report) {
  CloseDisassembly(ws, report);
  EndProductionModes(ws);
  CalChecksum(ws);
}

void CloseDisassembly(Workspace& ws, LoadReport& report) {
  if (!ws.DisassemblyOpen) return;
  ws.DisassemblyOpen = false;
  report.closeDisassembly = true;
}

}  // namespace kvx
