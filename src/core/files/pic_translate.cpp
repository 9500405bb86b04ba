#include "core/files/pic_translate.h"

#include <algorithm>

#include "core/files/raw_image.h"

namespace kvx {

namespace {

constexpr int kBlankFileWord = 0xFFFF;

// The result of `row` for v, or -1 when the row does not match.
int Apply(const PicRow& row, int v) {
  const int high = row.base & 0xFF00;
  switch (row.rule) {
    case PicRule::Exact: return v == row.pattern ? row.base : -1;
    case PicRule::ClrW14: return (v & 0xFF80) == row.pattern ? row.base : -1;
    case PicRule::Nop14: return (v == 0x00 || v == 0x20 || v == 0x40 || v == 0x60) ? row.base : -1;
    case PicRule::FileReg5:
      return (v & 0xFFE0) == row.pattern ? 0x1100 | (row.base & 0xFF) | (v & 0x1F) : -1;
    case PicRule::FileReg7:
      return (v & 0xFF80) == row.pattern ? 0x1100 | (row.base & 0xFF) | (v & 0x7F) : -1;
    case PicRule::Tris12: return (v >= 5 && v <= 7) ? 0x1000 | (v & 7) : -1;
    case PicRule::Tris14: return (v >= 0x65 && v <= 0x67) ? 0x1000 | (v & 7) : -1;
    case PicRule::ByteOp12:
      return (v & 0xFFC0) == row.pattern ? high | ((v & 0x20) << 2) | (v & 0x1F) : -1;
    case PicRule::BitOp12:
      return (v & 0xFF00) == row.pattern ? row.base | (v & 0x1F) | ((v & 0xE0) << 2) : -1;
    case PicRule::BitOp14: return (v & 0xFC00) == row.pattern ? row.base | (v & 0x3FF) : -1;
    case PicRule::Literal: return (v & 0xFF00) == row.pattern ? high | (v & 0xFF) : -1;
    case PicRule::Literal9: return (v & 0xFE00) == row.pattern ? high | (v & 0xFF) : -1;
    case PicRule::Literal10: return (v & 0xFC00) == row.pattern ? high | (v & 0xFF) : -1;
    case PicRule::Goto12: return (v & 0x0A00) == 0x0A00 ? row.base | (v & 0x1FF) : -1;
    case PicRule::Jump14: return (v & 0xF800) == row.pattern ? row.base | (v & 0x7FF) : -1;
  }
  return -1;
}

// A word that only 14-bit code uses: some of bits 12-13 set, nothing above bit 13.
bool LooksFourteenBit(int v) { return (v & 0x3000) != 0 && v < 0x4000; }

bool AnyFourteenBitWord(const Workspace& ws) {
  const auto end = static_cast<std::size_t>(ws.device.DeviceBytes());
  for (std::size_t i = 0; i < end; i += 2)
    if (LooksFourteenBit(RawWordAt(ws.image.ProgramBuffer, i))) return true;
  return false;
}

void TranslateBuffer(Workspace& ws, int (*word)(int)) {
  const std::size_t end = std::min<std::size_t>(std::max(ws.files.LoadedLength, 0), kProgramBufferBytes);
  for (std::size_t i = 0; i < end; i += 2) {
    const int v = word(RawWordAt(ws.image.ProgramBuffer, i));
    ws.image.ProgramBuffer[i] = static_cast<std::uint8_t>(v & 0xFF);
    ws.image.ProgramBuffer[i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
  }
}

}  // namespace

int TranslateWord(const PicRow* rows, std::size_t count, int v) {
  if (v == kBlankFileWord) return v;
  for (std::size_t r = 0; r < count; ++r)
    if (int result = Apply(rows[r], v); result >= 0) return result;
  return v;
}

int Pic5xWord(int v) {
  if (v == 0x0FFF) v = 0x36FF;
  return TranslateWord(pic::Pic5xTable.data(), pic::Pic5xTable.size(), v);
}

int Pic6x7xWord(int v) {
  return TranslateWord(pic::Pic6x7xTable.data(), pic::Pic6x7xTable.size(), v);
}

void Pic5xToKvx(Workspace& ws, std::vector<std::string>& messages, const OpenViews& views) {
  if (!views.programViewClosed && AnyFourteenBitWord(ws))
    messages.push_back("Warning: File format error !(14 bit)");
  TranslateBuffer(ws, Pic5xWord);
}

void Pic6x7xToKvx(Workspace& ws, std::vector<std::string>& messages, const OpenViews& views) {
  if (!views.programViewClosed && !AnyFourteenBitWord(ws))
    messages.push_back("Warning: File format error !(12 bit)");
  TranslateBuffer(ws, Pic6x7xWord);
}

void TranslatePicCode(Workspace& ws, std::vector<std::string>& messages, const OpenViews& views) {
  switch (ws.device.CoreType) {
    case 1: Pic5xToKvx(ws, messages, views); break;
    case 2: Pic6x7xToKvx(ws, messages, views); break;
    case 3: messages.push_back("Incorrect file type!"); break;
    default: break;
  }
}

}  // namespace kvx
