#include "core/editors/buffer_edit.h"

#include <algorithm>

#include "core/device/checksum.h"
#include "core/device/text_convert.h"
#include "core/files/hex_text.h"

namespace kvx {

namespace {

constexpr int kIdTextBytes = 12;

// Hexadecimal value of an entry; a text that is not hexadecimal counts as 0.
long HexOrZero(const std::string& text) {
  const HexText hex = HexToInt(text);
  return hex.valid ? hex.value : 0;
}

std::string SpacedHex(const std::uint8_t* bytes, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    text += HexDigits(bytes[i], 2);
  }
  return text;
}

std::uint8_t IdByteMask(const Workspace& ws, int k) { return k % 2 == 0 ? 0x7F : ws.device.BlankHigh; }

}  // namespace

int ProgramGridRows(const Workspace& ws) { return 32 * (ws.device.LastAddrHigh + 1); }

std::string ProgramColumnText(int column) {
  return "+" + HexDigits(column, 1) + "/" + HexDigits(column + 8, 1);
}

std::string ProgramRowText(int row) { return "0x" + HexDigits(8 * row, 4); }

std::string ProgramWordText(const Workspace& ws, int address) {
  const std::uint8_t first = ws.image.ProgramBuffer[2 * address];
  const std::uint8_t second = ws.image.ProgramBuffer[2 * address + 1];
  return HexDigits(second * 128 + (first & 0x7F), 4);
}

int EepromGridRows(const Workspace& ws) { return ws.device.EepromBytes() / kEepromGridColumns; }

std::string EepromColumnText(int column) { return "+" + HexDigits(column, 1); }

std::string EepromRowText(int row) { return "0x" + HexDigits(16 * row, 2); }

std::string EepromByteText(const Workspace& ws, int index) {
  return HexDigits(ws.image.EepromBuffer[index], 2);
}

long SingleDataInitialValue(const std::string& initialText) { return HexOrZero(initialText); }

SingleDataCheck CheckSingleData(const std::string& text, int coreType) {
  SingleDataCheck check;
  check.text = UpperCase(text);
  if (check.text.size() < 4) check.text.insert(0, 4 - check.text.size(), '0');
  check.value = HexToInt(check.text).value;
  if (check.value > 0x3FFF || (coreType == 3 && check.value >= 0x800)) {
    check.message = kMsgValueTooLarge;
    return check;
  }
  check.accepted = true;
  return check;
}

bool EditProgramWord(Workspace& ws, int address, const std::string& cellText, long value) {
  if (value > 0x3FFF) return false;
  bool stored = false;
  if (address >= 0 && address < kProgramWords && ProgramWordText(ws, address) == cellText) {
    const StoredWord word = SplitWord(static_cast<int>(value));
    ws.image.ProgramBuffer[2 * address] = word.first;
    ws.image.ProgramBuffer[2 * address + 1] = word.second;
    stored = true;
  }
  CalChecksum(ws);
  return stored;
}

bool EditEepromByte(Workspace& ws, int index, const std::string& cellText, long value) {
  if (value < 0 || value >= 256 || index < 0 || index >= kEepromBufferBytes) return false;
  if (EepromByteText(ws, index) != cellText) return false;
  ws.image.EepromBuffer[index] = static_cast<std::uint8_t>(value);
  return true;
}

FillFields FillFieldsFor(const Workspace& ws) {
  FillFields f;
  f.end = HexDigits(ws.device.LastWordAddress(), 1);
  return f;
}

std::string FillBuffer(Workspace& ws, const FillFields& fields) {
  const long last = ws.device.LastWordAddress();
  const long start = HexOrZero(fields.start);
  const long end = HexOrZero(fields.end);
  const long data = HexOrZero(fields.data);
  if (start > last) return kMsgFillStartInvalid;
  if (end > last) return kMsgFillEndInvalid;
  if (end < start) return kMsgFillStartInvalid;
  if (data >= 0x4000) return kMsgFillDataInvalid;
  // A value above 11 bits on an 11-bit device is stored as entered.
  const StoredWord word = SplitWord(static_cast<int>(data));
  for (long a = start; a <= end; ++a) {
    ws.image.ProgramBuffer[2 * a] = word.first;
    ws.image.ProgramBuffer[2 * a + 1] = word.second;
  }
  CalChecksum(ws);
  return {};
}

std::string IdModifyText(const Workspace& ws, bool hex) {
  if (hex) return SpacedHex(ws.image.IdBuffer.data(), kIdTextBytes);
  std::string text;
  for (int k = 0; k < kIdTextBytes && ws.image.IdBuffer[k] != 0; ++k) text += static_cast<char>(ws.image.IdBuffer[k]);
  return text;
}

void StoreIdHexText(Workspace& ws, const std::string& maskText) {
  // Only "0"-"9" and "A"-"F" are digits here; anything else, or nothing, reads as F.
  auto digit = [&](std::size_t pos) {
    if (pos >= maskText.size()) return 15;
    const char c = maskText[pos];
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') ? HexDigitValue(c) : 15;
  };
  std::array<std::uint8_t, kIdTextBytes> bytes{};
  for (int k = 0; k < kIdTextBytes; ++k)
    bytes[k] = static_cast<std::uint8_t>(16 * digit(3 * k) + digit(3 * k + 1));
  StoreIdBytes(ws, bytes);
}

void StoreIdBytes(Workspace& ws, const std::array<std::uint8_t, 12>& bytes) {
  for (int k = 0; k < kIdTextBytes; ++k)
    ws.image.IdBuffer[k] = static_cast<std::uint8_t>(bytes[k] & IdByteMask(ws, k));
}

void StoreIdAsciiText(Workspace& ws, const std::string& text) {
  const int n = static_cast<int>(std::min<std::size_t>(text.size(), kIdTextBytes));
  for (int k = 0; k < kIdTextBytes; ++k) {
    if (k < n) {
      const auto code = static_cast<std::uint8_t>(text[k]);
      ws.image.IdBuffer[k] = k % 2 == 0 ? code : static_cast<std::uint8_t>(code & ws.device.BlankHigh);
    } else {
      ws.image.IdBuffer[k] = k % 2 == 0 ? 0x7F : ws.device.BlankHigh;
    }
  }
}

std::string ShownIdText(std::string text) {
  for (char& c : text)
    if (c < 0x20 || c >= 0x7F) c = '.';
  return text;
}

IdLabels IdLabelTexts(const Workspace& ws) {
  const auto& id = ws.image.IdBuffer;
  return {ws.settings.IdDisplayHex ? SpacedHex(id.data(), kIdTextBytes) : IdModifyText(ws, false),
          IdChecksumText(ws, {id[12], id[13], id[14], id[15]})};
}

IdLabels IdLabelShow(Workspace& ws) {
  IdLabels labels = IdLabelTexts(ws);
  ws.panel.IdText = labels.id;
  ws.panel.IcChecksumText = labels.checksum;
  return labels;
}

std::array<std::string, 6> WriterInfoTexts(const Workspace& ws) {
  constexpr int kBytes[6] = {16, 24, 25, 22, 20, 21};
  std::array<std::string, 6> texts;
  for (int i = 0; i < 6; ++i) texts[i] = HexDigits(ws.image.IdBuffer[kBytes[i]], 2);
  return texts;
}

std::string IdDumpText(const Workspace& ws) { return SpacedHex(ws.image.IdBuffer.data() + 16, 16); }

std::string BodyOptionText(const Workspace& ws, const std::array<std::uint8_t, 4>& extra) {
  std::string text = HexDigits(ws.image.OptionLow, 2) + " " + HexDigits(ws.image.OptionHigh, 2) + " ";
  for (std::uint8_t byte : extra) text += HexDigits(byte, 2) + " ";
  return text;
}

}  // namespace kvx
