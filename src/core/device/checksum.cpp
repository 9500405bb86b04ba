#include "core/device/checksum.h"

#include <algorithm>
#include <string>

#include "core/device/catalogue.h"
#include "core/device/text_convert.h"

namespace kvx {
namespace {

std::string Hex4(int value) { return HexDigits(value & 0xFFFF, 4); }

// The four characters of the checksum label as they go into the chip; a shorter text (the label
// is empty before the first sum) counts as NUL characters.
std::array<std::uint8_t, 4> ChecksumChars(const Workspace& ws) {
  std::array<std::uint8_t, 4> c{};
  for (std::size_t i = 0; i < c.size() && i < ws.ChecksumText.size(); ++i)
    c[i] = static_cast<std::uint8_t>(ws.ChecksumText[i]);
  return c;
}

// The value of one hexadecimal digit; anything else counts as 0.
std::uint8_t DigitValue(std::uint8_t c) {
  return static_cast<std::uint8_t>(std::max(HexDigitValue(static_cast<char>(c)), 0));
}

// An 11-bit word's second byte holds only four bits, so its checksum characters go in as digit
// values; everywhere else they go in as character codes.
std::uint8_t SecondByteChar(const Workspace& ws, std::uint8_t c) {
  return ws.IsElevenBit() ? static_cast<std::uint8_t>(DigitValue(c) | 0x70) : c;
}

}  // namespace

void ForceOptionBits(Workspace& ws) {
  // A workspace whose device is unknown has no fixed bits to force.
  const DeviceRow* row = DeviceAt(ws.DeviceIndex);
  if (row == nullptr) return;
  ws.OptionLow = static_cast<std::uint8_t>((ws.OptionLow & row->OptionLowMask) | row->OptionLowSet);
  ws.OptionHigh =
      static_cast<std::uint8_t>((ws.OptionHigh & row->OptionHighMask) | row->OptionHighSet);
}

void CalChecksum(Workspace& ws) {
  const int protectMask = ws.IsElevenBit() ? 0x0F : 0x1F;
  const int bytes = ws.DeviceBytes();
  int data = 0;
  int protect = 0;
  for (int i = 0; i < bytes; i += 2) {
    const int a = ws.ProgramBuffer[i];
    const int b = ws.ProgramBuffer[i + 1];
    data += a + (b & 1) * 128 + (b >> 1);
    // What a code-protected chip returns: bits 0-4 and 7-11 (7-10 on 11-bit words) read as ones.
    protect += (a | 0x1F) + 128 + ((b | protectMask) >> 1);
  }
  ws.DataChecksum = data & 0xFFFF;
  ws.ChecksumText = Hex4(ws.DataChecksum);
  ws.ProtectSumText = Hex4(protect);

  ForceOptionBits(ws);
  const int option = ws.DataChecksum + (ws.OptionLow & 0x7F) + (ws.OptionHigh & 1) * 128 +
                     (ws.OptionHigh >> 1);
  ws.OptChecksumText = Hex4(option);
}

void GetIdChecksum(Workspace& ws) {
  for (int k = 0; k < 16; ++k) {
    ws.LinkBuffer[2 * k] = ws.IdBuffer[2 * k];
    ws.LinkBuffer[2 * k + 1] = ws.IdBuffer[2 * k + 1];
    if (ws.IsElevenBit()) ws.LinkBuffer[2 * k + 1] |= 0x70;
  }
  const auto c = ChecksumChars(ws);
  ws.LinkBuffer[12] = c[0];
  ws.LinkBuffer[13] = SecondByteChar(ws, c[1]);
  ws.LinkBuffer[14] = c[2];
  ws.LinkBuffer[15] = SecondByteChar(ws, c[3]);
}

int VerifyIdChecksum(const Workspace& ws) {
  int result = 0;
  // The chip keeps only the BlankHigh bits of a second byte; compare just those on both sides,
  // so an ID cleared to 0x7F on an 11-bit device still matches what the chip returns.
  for (int k = 0; k < 6; ++k) {
    if (ws.LinkBuffer[2 * k] != ws.IdBuffer[2 * k] ||
        (ws.LinkBuffer[2 * k + 1] & ws.BlankHigh) != (ws.IdBuffer[2 * k + 1] & ws.BlankHigh))
      result |= 1;
  }
  const auto c = ChecksumChars(ws);
  bool differs = ws.LinkBuffer[12] != c[0] || ws.LinkBuffer[14] != c[2];
  if (ws.IsElevenBit()) {
    differs = differs || (ws.LinkBuffer[13] & ws.BlankHigh) != DigitValue(c[1]) ||
              (ws.LinkBuffer[15] & ws.BlankHigh) != DigitValue(c[3]);
  } else {
    differs = differs || ws.LinkBuffer[13] != c[1] || ws.LinkBuffer[15] != c[3];
  }
  if (differs) result |= 2;
  return result;
}

std::string IdChecksumText(const Workspace& ws, const std::array<std::uint8_t, 4>& words) {
  std::string text;
  if (ws.IdDisplayHex) {
    for (std::uint8_t byte : words) text += (text.empty() ? "" : " ") + HexDigits(byte, 2);
    return text;
  }
  if (words[0] == 0x7F && words[1] == ws.BlankHigh && words[2] == 0x7F && words[3] == ws.BlankHigh)
    return "Blank";
  const auto printable = [](std::uint8_t byte) { return byte < 32 ? ' ' : static_cast<char>(byte); };
  for (int i = 0; i < 4; i += 2) {
    text += printable(words[i]);
    // An 11-bit device keeps only four bits in the second byte: shown as one hex digit.
    text += ws.CoreType == 3 ? HexDigits(words[i + 1], 1) : std::string(1, printable(words[i + 1]));
  }
  return text;
}

}  // namespace kvx
