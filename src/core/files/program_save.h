// Save Program Memory: the program memory as a raw bin image that File > Open reads back.
#pragma once

#include <string>

#include "core/device/workspace.h"

namespace kvx {

// Once the save dialog was confirmed; `filterIndex` is its chosen filter item (2 = "KVX Bin").
// The file is written beside its final name and renamed over it, so a failed write never
// replaces a good file. Returns the message to show, or an empty text when the file was saved.
std::string SaveProgramMemory(const Workspace& ws, const std::string& path, int filterIndex = 2);

}  // namespace kvx
