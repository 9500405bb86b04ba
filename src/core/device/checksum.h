// The three 16-bit sums that summarise the workspace, and the ID block that carries the data
// checksum into the chip.
#pragma once

#include "core/device/workspace.h"

namespace kvx {

// Recompute the data, protect and OPTION sums (ws.DataChecksum, ws.ChecksumText,
// ws.ProtectSumText, ws.OptChecksumText) and force the OPTION word's fixed bits.
void CalChecksum(Workspace& ws);
// Fill LinkBuffer 0-31 with the ID block: ID words 0-5 and the checksum text in words 6-7.
void GetIdChecksum(Workspace& ws);
// Compare the ID words read back into LinkBuffer 0-15: bit 0 = ID differs, bit 1 = checksum.
int VerifyIdChecksum(const Workspace& ws);

}  // namespace kvx
