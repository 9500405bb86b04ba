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
  for (std::size_t i = 0; i < c.size() && i < ws.panel.ChecksumText.size(); ++i)
    c[i] = static_cast<std::uint8_t>(ws.panel.ChecksumText[i]);
  return c;
}

// The value of one hexadecimal digit; anything else counts as 0.
std::uint8_t DigitValue(std::uint8_t c) {
  return static_cast<std::uint8_t>(std::max(HexDigitValue(static_cast<char>(c)), 0));
}

// An 11-bit word's second byte holds only four bits, so its checksum characters go in as digit
// values; everywhere else they go in as character codes.
std::uint8_t SecondByteChar(const Workspace& ws, std::uint8_t c) {
  return ws.device.IsElevenBit() ? static_cast<std::uint8_t>(DigitValue(c) | 0x70) : c;
}

}  // namespace

void ForceOptionBits(Workspace& ws) {
  // A workspace whose device is unknown has no fixed bits to force.
  const DeviceRow* row = DeviceAt(ws.device.DeviceIndex);
  if (row == nullptr) return;
  ws.image.OptionLow = static_cast<std::uint8_t>((ws.image.OptionLow & row->OptionLowMask) | row->OptionLowSet);
  ws.image.OptionHigh =
      static_cast<std::uint8_t>((ws.image.OptionHigh & row->OptionHighMask) | row->OptionHighSet);
}

void CalChecksum(Workspace& ws) {
  const int protectMask = ws.device.IsElevenBit() ? 0x0F : 0x1F;
  const int bytes = ws.device.DeviceBytes();
  int data = 0;
  int protect = 0;
  for (int i = 0; i < bytes; i += 2) {
    const int a = ws.image.ProgramBuffer[i];
    const int b = ws.image.ProgramBuffer[i + 1];
    data += a + (b & 1) * 128 + (b >> 1);
    // What a code-protected chip returns: bits 0-4 and 7-11 (7-10 on 11-bit words) read as ones.
    protect += (a | 0x1F) + 128 + ((b | protectMask) >> 1);
  }
  ws.results.DataChecksum = data & 0xFFFF;
  ws.panel.ChecksumText = Hex4(ws.results.DataChecksum);
  ws.panel.ProtectSumText = Hex4(protect);

  ForceOptionBits(ws);
  const int option = ws.results.DataChecksum + (ws.image.OptionLow & 0x7F) + (ws.image.OptionHigh & 1) * 128 +
                     (ws.image.OptionHigh >> 1);
  ws.panel.OptChecksumText = Hex4(option);
}

void GetIdChecksum(Workspace& ws) {
  for (int k = 0; k < 16; ++k) {
    ws.link.LinkBuffer[2 * k] = ws.image.IdBuffer[2 * k];
    ws.link.LinkBuffer[2 * k + 1] = ws.image.IdBuffer[2 * k + 1];
    if (ws.device.IsElevenBit()) ws.link.LinkBuffer[2 * k + 1] |= 0x70;
  }
  const auto c = ChecksumChars(ws);
  ws.link.LinkBuffer[12] = c[0];
  ws.link.LinkBuffer[13] = SecondByteChar(ws, c[1]);
  ws.link.LinkBuffer[14] = c[2];
  ws.link.LinkBuffer[15] = SecondByteChar(ws, c[3]);
}

int VerifyIdChecksum(const Workspace& ws) {
  int result = 0;
  // The chip keeps only the BlankHigh bits of a second byte; compare just those on both sides,
  // so an ID cleared to 0x7F on an 11-bit device still matches what the chip returns.
  for (int k = 0; k < 6; ++k) {
    if (ws.link.LinkBuffer[2 * k] != ws.image.IdBuffer[2 * k] ||
        (ws.link.LinkBuffer[2 * k + 1] & ws.device.BlankHigh) != (ws.image.IdBuffer[2 * k + 1] & ws.device.BlankHigh))
      result |= 1;
  }
  const auto c = ChecksumChars(ws);
  bool differs = ws.link.LinkBuffer[12] != c[0] || ws.link.LinkBuffer[14] != c[2];
  if (ws.device.IsElevenBit()) {
    differs = differs || (ws.link.LinkBuffer[13] & ws.device.BlankHigh) != DigitValue(c[1]) ||
              (ws.link.LinkBuffer[15] & ws.device.BlankHigh) != DigitValue(c[3]);
  } else {
    differs = differs || ws.link.LinkBuffer[13] != c[1] || ws.link.LinkBuffer[15] != c[3];
  }
  if (differs) result |= 2;
  return result;
}

std::string IdChecksumText(const Workspace& ws, const std::array<std::uint8_t, 4>& words) {
  std::string text;
  if (ws.settings.IdDisplayHex) {
    for (std::uint8_t byte : words) text += (text.empty() ? "" : " ") + HexDigits(byte, 2);
    return text;
  }
  if (words[0] == 0x7F && words[1] == ws.device.BlankHigh && words[2] == 0x7F && words[3] == ws.device.BlankHigh)
    return "Blank";
  const auto printable = [](std::uint8_t byte) { return byte < 32 ? ' ' : static_cast<char>(byte); };
  for (int i = 0; i < 4; i += 2) {
    text += printable(words[i]);
    // An 11-bit device keeps only four bits in the second byte: shown as one hex digit.
    text += ws.device.CoreType == 3 ? HexDigits(words[i + 1], 1) : std::string(1, printable(words[i + 1]));
  }
  return text;
}

}  // namespace kvx
