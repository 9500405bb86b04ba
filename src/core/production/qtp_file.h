// QTP files: text files of pre-made serial numbers, one Intel-HEX-like record per chip.
//
//   :LLAAAA00 (VV31)*n CC CR LF      one record, the bytes in stamping order
//   :00000001FF                       the end record, without a line end
//
// LL is 2n, AAAA the word address of the first serial word, each VV31 the RTIW word that carries
// one byte, CC makes the sum of 2n, the address, the type and every (VV + 0x31) zero in its low
// byte.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "core/device/workspace.h"

namespace kvx {

inline constexpr char kQtpEndRecord[] = ":00000001FF";

inline constexpr char kMsgQtpInformation[] = "File Information Error!";
inline constexpr char kMsgQtpData[] = "File data error!";
inline constexpr char kMsgQtpChecksum[] = "File Checksum Error!";
inline constexpr char kMsgQtpNotRtiw[] = "The program memory is not 'RTIW'";
inline constexpr char kMsgCantSave[] = "File can't be saved!";

// Append the record of the current number to out, then advance the number (SerialNoNext).
void QTP_File(Workspace& ws, std::ostream& out);

// Write parts consecutive numbers and the end record to path, through a temporary file renamed
// into place. Returns the message to show, or an empty text. On failure the target file and the
// workspace's number are left as they were.
std::string WriteQtpFile(Workspace& ws, const std::string& path, long parts);

// Load QTP File once the operator chose a file: open it as ws.production.QtpReadFile, read its first record,
// check the serial words and switch serial-number mode on or off.
struct QtpLoadResult {
  bool loaded = false;                // QtpFileLoaded: the number was stamped
  std::vector<std::string> messages;  // message boxes, in order
};
QtpLoadResult LoadQtpFile(Workspace& ws, const std::string& path);

// The open dialog offers "Config files (*.cfg)" and "Text files (*.txt)"; only a file chosen
// under the second (1-based index 2) is loaded.
constexpr bool QtpOpenFilterAccepted(int filterIndex) { return filterIndex == 2; }

// The "QTP file :" panel text: the file's name without its folders.
std::string QtpFileDisplayName(const std::string& path);

}  // namespace kvx
