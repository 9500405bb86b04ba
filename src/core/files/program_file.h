// Loading a program image (File > Open once a file was chosen): bin/obj raw images, kvh/hex
// Intel HEX text, or a whole configuration file. Nothing here opens a window: what the load
// decided and the messages it would show come back to the caller.
#pragma once

#include <string>
#include <vector>

#include "core/device/workspace.h"

namespace kvx {

struct LoadReport {
  std::vector<std::string> messages;  // message boxes, in order
  bool stopped = false;  // the load stopped early ("File don't exist!", "File size unmatch!", ...)
};

LoadReport OpenProgramFile(Workspace& ws, const std::string& path);

}  // namespace kvx
