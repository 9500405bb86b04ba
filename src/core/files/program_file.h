// Loading a program image (File > Open once a file was chosen): bin/obj raw images, kvh/hex
// Intel HEX text, or a whole configuration file. Nothing here opens a window: what the load
// decided and the messages it would show come back to the caller.
#pragma once

#include <string>
#include <vector>

#include "core/device/open_views.h"
#include "core/device/workspace.h"

namespace kvx {

struct LoadReport {
  std::vector<std::string> messages;  // message boxes, in order
  bool stopped = false;  // the load stopped early ("File don't exist!", "File size unmatch!", ...)
  // What the windows have to follow:
  bool rebuildBufferView = false;  // re-create the program-memory view, captioned ws.files.BufferCaption
  bool rebuildIdWindow = false;    // re-create the ID checksum window
  bool closeDisassembly = false;   // destroy the disassembly window
};

// The Open command from the point where the operator confirmed `path`.
LoadReport OpenProgramFile(Workspace& ws, const std::string& path, const OpenViews& views = {});
// The Open command's last step, run after a load and after a cancelled dialog alike: close the
// disassembly, switch serial-number and QTP mode off, show pass count "0", recompute the sums.
void FinishOpen(Workspace& ws, LoadReport& report, const OpenViews& views = {});
// A load replaced the program memory: an open disassembly window goes (report.closeDisassembly).
void CloseDisassembly(LoadReport& report, const OpenViews& views);

// The file name a file dialog starts from: `lastProgramPath` up to its first "."; empty when
// it has none.
std::string DialogFileName(const std::string& lastProgramPath);
// The text after the last "." of `path`, upper-cased (empty when there is no ".").
std::string FileExtension(const std::string& path);

}  // namespace kvx
