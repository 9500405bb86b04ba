// Serial numbers stamped into RTIW words by Auto Program: counted up, stepped through a shift
// register, or read record by record from a QTP file.
#pragma once

#include <string>

#include "core/device/workspace.h"

namespace kvx {

void SerialNoNext(Workspace& ws);     // advance SerialValue one step
void SerialNo2Memory(Workspace& ws);  // stamp (when the mode is on), show, recompute the checksum
// Read the next record of ws.QtpReadFile. Returns the message to show on a record error, or an
// empty text.
std::string ReadSerialData(Workspace& ws);

}  // namespace kvx
