#include "core/production/serial_number.h"

#include <algorithm>
#include <array>

#include "core/device/checksum.h"
#include "core/device/text_convert.h"
#include "core/files/hex_text.h"

namespace kvx {

namespace {

// Feedback taps of the shift register, one row per byte count. Each polynomial is primitive, so
// with the complemented feedback every value but all-ones runs through all 2^(8n) - 1 others.
struct TapRow {
  int bytes;
  int count;
  std::array<int, 6> bits;
};

inline constexpr std::array<TapRow, kSerialSlots> kTapTable{{
    // n  taps  tap bits                 polynomial
    {1, 4, {7, 3, 2, 1}},              // x^8  + x^4 + x^3 + x^2 + 1
    {2, 4, {15, 4, 2, 1}},             // x^16 + x^5 + x^3 + x^2 + 1
    {3, 4, {23, 3, 2, 0}},             // x^24 + x^4 + x^3 + x + 1
    {4, 6, {31, 6, 4, 2, 1, 0}},       // x^32 + x^7 + x^5 + x^3 + x^2 + x + 1
    {5, 4, {39, 4, 3, 2}},             // x^40 + x^5 + x^4 + x^3 + 1
    {6, 6, {47, 6, 4, 3, 1, 0}},       // x^48 + x^7 + x^5 + x^4 + x^2 + x + 1
    {7, 4, {55, 6, 3, 1}},             // x^56 + x^7 + x^4 + x^2 + 1
    {8, 4, {63, 3, 2, 0}},             // x^64 + x^4 + x^3 + x + 1
}};

int RegisterBit(const Workspace& ws, int bit) { return (ws.production.SerialValue[bit / 8] >> (bit % 8)) & 1; }

void StepSequential(Workspace& ws, int n) {
  auto& s = ws.production.SerialValue;
  s[0] += ws.production.SerialIncrement;
  for (int i = 0; i + 1 < n; ++i) {
    if (s[i] >= 256) {
      s[i] &= 0xFF;
      s[i + 1] += 1;
    }
  }
  s[n - 1] &= 0xFF;
}

void StepShiftRegister(Workspace& ws, int n) {
  const TapRow& row = kTapTable[n - 1];
  int parity = 0;
  for (int t = 0; t < row.count; ++t) parity ^= RegisterBit(ws, row.bits[t]);
  const int feedback = parity ^ 1;
  auto& s = ws.production.SerialValue;
  for (int i = n - 1; i >= 1; --i) s[i] = ((s[i] * 2) & 0xFF) | ((s[i - 1] >> 7) & 1);
  s[0] = ((s[0] * 2) & 0xFF) | feedback;
}

}  // namespace

int SerialBytes(const Workspace& ws) { return std::clamp(ws.production.SerialByteCount, 0, kSerialSlots); }

void SerialNoNext(Workspace& ws) {
  const int n = SerialBytes(ws);
  if (n == 0) return;  // an empty number (a QTP file that held only its end record)
  if (ws.production.SerialStepMode == 0)
    StepSequential(ws, n);
  else
    StepShiftRegister(ws, n);
}

std::string SerialHexText(const Workspace& ws) {
  std::string text;
  for (int i = SerialBytes(ws) - 1; i >= 0; --i) text += HexDigits(ws.production.SerialValue[i] & 0xFF, 2);
  return text;
}

bool SetSerialHexText(Workspace& ws, const std::string& text) {
  const auto width = static_cast<std::size_t>(2 * SerialBytes(ws));
  if (text.size() > width || !HexToInt(text).valid) return false;
  const std::string digits = std::string(width - text.size(), '0') + text;
  const int n = SerialBytes(ws);
  for (int j = 0; j < n; ++j)
    ws.production.SerialValue[j] = static_cast<int>(HexToInt(digits.substr(2 * (n - 1 - j), 2)).value);
  return true;
}

void StampSerialByte(Workspace& ws, int address, int value) {
  if (address < 0 || address >= kProgramWords) return;
  std::uint8_t& first = ws.image.ProgramBuffer[2 * address];
  std::uint8_t& second = ws.image.ProgramBuffer[2 * address + 1];
  first = static_cast<std::uint8_t>(value & 0x7F);
  second = static_cast<std::uint8_t>((second & 0xFE) | ((value >> 7) & 1));
}

void SerialNo2Memory(Workspace& ws) {
  const int n = SerialBytes(ws);
  if (ws.production.SerialNoMode) {
    for (int k = 0; k < n; ++k) {
      const int slot = SerialSlotForWord(ws.production.SerialByteOrder, k, n);
      const long long address = static_cast<long long>(ws.production.SerialStartAddress) + k;
      if (address < kProgramWords) StampSerialByte(ws, static_cast<int>(address), ws.production.SerialValue[slot]);
    }
  }
  ws.production.SerialText = SerialHexText(ws);
  CalChecksum(ws);
}

bool SerialWordsInMemory(const Workspace& ws, int start, int count) {
  const int words = std::min(ws.device.ProgramWords(), kProgramWords);
  return start >= 0 && count >= 0 && count <= kSerialSlots && start <= words - count;
}

bool SerialWordsAreRtiw(const Workspace& ws, int start, int count) {
  if (!SerialWordsInMemory(ws, start, count)) return false;
  for (int k = 0; k < count; ++k)
    if (!IsRtiwWord(ws.image.ProgramBuffer[2 * (start + k) + 1])) return false;
  return true;
}

bool SerialWordsAreRtiw(const Workspace& ws) {
  return SerialWordsAreRtiw(ws, ws.production.SerialStartAddress, ws.production.SerialByteCount);
}

}  // namespace kvx
