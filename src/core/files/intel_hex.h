// Intel HEX text as the program reads it: the maker's own hex files and PIC hex files alike.
#pragma once

#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "core/device/workspace.h"

namespace kvx {

// Reads `in` from its current position as Intel HEX into ws.image.ProgramBuffer (first filled with
// 0xFF). Every record with a non-zero byte count is data, stored at its address field taken as
// a byte index; bytes at 32766 and above are dropped. A record with count 0 ends the file.
// Faulty lines are stored anyway and reading goes on; only the last fault is reported (appended
// to `messages`), unless ws.files.StartupConfigLoad is set, which swallows that one report.
// Returns the highest byte index seen, capped at 32766, or 0 when nothing was written.
// What a loader says about a text with no record line in it (no ':' anywhere).
inline constexpr const char* kNoHexRecord = "File holds no Intel HEX record!";
// True when `in` holds at least one ':' from its current position; `in` is back at that
// position afterwards. A file whose first record is the end record holds one.
bool HoldsHexRecord(std::istream& in);

int HexToObj(Workspace& ws, std::istream& in, std::vector<std::string>& messages);
int HexToObj(Workspace& ws, std::string_view text, std::vector<std::string>& messages);

}  // namespace kvx
