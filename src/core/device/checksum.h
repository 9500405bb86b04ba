// The three 16-bit sums that summarise the workspace, and the ID block that carries the data
// checksum into the chip.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/device/workspace.h"

namespace kvx {

// Recompute the data, protect and OPTION sums (ws.results.DataChecksum, ws.panel.ChecksumText,
// ws.panel.ProtectSumText, ws.panel.OptChecksumText; four upper-case hex digits) and force the OPTION
// word's fixed bits. The OPTION sum is taken over the forced word.
void CalChecksum(Workspace& ws);
// Force the OPTION word's fixed bits from the selected device's catalogue row:
// OptionLow = (OptionLow & OptionLowMask) | OptionLowSet, OptionHigh likewise.
void ForceOptionBits(Workspace& ws);
// Fill LinkBuffer 0-31 with the ID block: ID words 0-5 and the checksum text in words 6-7.
void GetIdChecksum(Workspace& ws);
// Compare the ID words read back into LinkBuffer 0-15 with IdBuffer and the checksum text:
// bit 0 = ID words 0-5 differ, bit 1 = the checksum words 6-7 differ; 0 = both match.
int VerifyIdChecksum(const Workspace& ws);
// The checksum words of an ID block (its bytes 12-15, second bytes within BlankHigh) as the ID
// window and the panel's "IC Checksum" show them: in HEX mode (IdDisplayHex) the four bytes in
// hexadecimal, otherwise "Blank" for blank words, else the characters (control characters as
// spaces; an 11-bit device's second bytes as one hexadecimal digit).
std::string IdChecksumText(const Workspace& ws, const std::array<std::uint8_t, 4>& words);

}  // namespace kvx
