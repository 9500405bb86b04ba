// Serial numbers stamped into RTIW words by Auto Program: counted up, stepped through a shift
// register, or read record by record from a QTP file.
#pragma once

#include <string>

#include "core/device/workspace.h"

namespace kvx {

inline constexpr int kSerialSlots = 8;  // at most 8 bytes per number
inline constexpr int kRtiwValue = 0x3100;  // RTIW with a zero literal

void SerialNoNext(Workspace& ws);     // advance SerialValue one step
void SerialNo2Memory(Workspace& ws);  // stamp (when the mode is on), show, recompute the checksum
// Read the next record of ws.production.QtpReadFile. Returns the message to show on a record error, or an
// empty text.
std::string ReadSerialData(Workspace& ws);

// The byte count the stepping and stamping use: SerialByteCount kept within 0..8, so a count
// taken from a file can never reach past the eight slots.
int SerialBytes(const Workspace& ws);

// The current number as the panel shows it ("Serial No. (HEX) :"): most significant byte first,
// two upper-case hexadecimal digits each.
std::string SerialHexText(const Workspace& ws);
// The other way round: 2n hexadecimal digits (fewer are filled with leading zeros) into the
// slots of the current byte count, the last pair into slot 0. False, with the slots unchanged,
// when the text is longer than 2n or holds anything but hexadecimal digits.
bool SetSerialHexText(Workspace& ws, const std::string& text);

// Stamping order: the slot whose byte goes into the k-th serial word of an n-byte number
// (most significant first for "MSB->LSB", least significant first for "LSB->MSB").
constexpr int SerialSlotForWord(int byteOrder, int k, int n) { return byteOrder == 1 ? k : n - 1 - k; }

// Write byte value v into the RTIW word at address: the word becomes 0x3100 + v.
void StampSerialByte(Workspace& ws, int address, int value);

// Do the words start .. start+count-1 lie inside the selected device's program memory?
bool SerialWordsInMemory(const Workspace& ws, int start, int count);
// Are they all RTIW words? Words outside the program memory never are: a number stamped there
// would not reach the chip.
bool SerialWordsAreRtiw(const Workspace& ws, int start, int count);
bool SerialWordsAreRtiw(const Workspace& ws);  // the current SerialStartAddress and byte count

}  // namespace kvx
