#include "core/files/pic_translate.h"

#include <gtest/gtest.h>

#include "core/files/file_fixture.h"
#include "core/files/raw_image.h"

namespace kvx {
namespace {

struct WordCase {
  const char* what;
  int pic;
  int kvx;
};

TEST(Pic5xToKvx, TranslatesTwelveBitInstructions) {
  const WordCase cases[] = {
      {"NOP", 0x000, 0x1000},
      {"CLRW", 0x040, 0x1080},
      {"OPTION", 0x002, 0x1003},
      {"TRIS 6", 0x006, 0x1006},
      {"CLRF 0x1F", 0x07F, 0x111F},
      {"MOVWF 0x07", 0x027, 0x1187},
      {"ADDWF 0x10,F", 0x1F0, 0x1B90},
      {"MOVF 0x08,W", 0x208, 0x1808},
      {"BSF 0x1F,7", 0x5FF, 0x0B9F},
      {"BTFSS 0x03,2", 0x743, 0x0D03},
      {"RETLW 0x41", 0x841, 0x3141},
      {"CALL 0x55", 0x955, 0x3055},
      {"MOVLW 0x12", 0xC12, 0x3A12},
      {"GOTO 0x1FF", 0xBFF, 0x33FF},
      {"GOTO 0x000", 0xA00, 0x3200},
      {"XORLW 0xFF", 0xFFF, 0x36FF},
      {"blank", 0xFFFF, 0xFFFF},
      {"no such instruction", 0x001, 0x001},
  };
  for (const auto& c : cases) EXPECT_EQ(Pic5xWord(c.pic), c.kvx) << c.what;
}

TEST(Pic6x7xToKvx, TranslatesFourteenBitInstructions) {
  const WordCase cases[] = {
      {"NOP", 0x0000, 0x1000},
      {"NOP (0x20)", 0x0020, 0x1000},
      {"CLRW", 0x0103, 0x1080},
      {"RETURN", 0x0008, 0x1004},
      {"RETFIE", 0x0009, 0x1009},
      {"TRIS 6", 0x0066, 0x1006},
      {"CLRF 0x7F", 0x01FF, 0x117F},
      {"MOVWF 0x20", 0x00A0, 0x11A0},
      {"DECFSZ 0x21,F", 0x0BA1, 0x1EA1},
      {"BSF 0x03,5", 0x1683, 0x0A83},
      {"BTFSC 0x03,2", 0x1903, 0x0503},
      {"IORLW 0x0F", 0x380F, 0x350F},
      {"ADDLW 0xFF", 0x3FFF, 0x37FF},
      {"SUBLW 0x01", 0x3D01, 0x3801},
      {"MOVLW 0x55", 0x3155, 0x3A55},
      {"RETLW 0x41", 0x3741, 0x3141},
      {"CALL 0x7FF", 0x27FF, 0x27FF},
      {"GOTO 0x123", 0x2923, 0x2923},
      {"blank", 0xFFFF, 0xFFFF},
      {"no such instruction", 0x0001, 0x0001},
  };
  for (const auto& c : cases) EXPECT_EQ(Pic6x7xWord(c.pic), c.kvx) << c.what;
}

TEST(PicTranslation, RewritesOnlyTheLoadedBytes) {
  auto ws = test::WorkspaceFor("KVX-17");
  const auto bytes = test::FileWords({0x3055, 0x3055, 0x3055});
  std::copy(bytes.begin(), bytes.end(), ws->image.ProgramBuffer.begin());
  ws->files.LoadedLength = 3;  // the highest byte index an Intel HEX load wrote
  std::vector<std::string> messages;
  Pic6x7xToKvx(*ws, messages);
  EXPECT_EQ(ws->image.ProgramBuffer[0] + 256 * ws->image.ProgramBuffer[1], 0x3A55);
  EXPECT_EQ(ws->image.ProgramBuffer[2] + 256 * ws->image.ProgramBuffer[3], 0x3A55);
  EXPECT_EQ(ws->image.ProgramBuffer[4] + 256 * ws->image.ProgramBuffer[5], 0x3055);
}

TEST(PicTranslation, WarnsOfTheOtherWidthOnlyWhileTheMemoryViewIsOpen) {
  struct Case {
    const char* device;
    int word;
    bool viewOpen;
    std::vector<std::string> messages;
  } cases[] = {
      {"KVX-03", 0x3055, true, {"Warning: File format error !(14 bit)"}},
      {"KVX-03", 0x3055, false, {}},
      {"KVX-03", 0x0C55, true, {}},
      {"KVX-17", 0x0C55, true, {"Warning: File format error !(12 bit)"}},
      {"KVX-17", 0x0C55, false, {}},
      {"KVX-17", 0x3055, true, {}},
      {"KVX-49", 0x3055, true, {"Incorrect file type!"}},
  };
  for (const auto& c : cases) {
    auto ws = test::WorkspaceFor(c.device);
    ws->image.ProgramBuffer.fill(0xFF);
    ws->image.ProgramBuffer[0] = static_cast<std::uint8_t>(c.word & 0xFF);
    ws->image.ProgramBuffer[1] = static_cast<std::uint8_t>(c.word >> 8);
    ws->files.LoadedLength = ws->device.ProgramBytes;
    std::vector<std::string> messages;
    TranslatePicCode(*ws, messages, OpenViews{.programViewClosed = !c.viewOpen});
    EXPECT_EQ(messages, c.messages) << c.device << " " << std::hex << c.word;
  }
}

TEST(PicTranslation, TwelveBitTableTranslatesAFourteenBitImageAnyway) {
  auto ws = test::WorkspaceFor("KVX-03");
  ws->image.ProgramBuffer.fill(0xFF);
  const auto bytes = test::FileWords({0x3055, 0x0000});
  std::copy(bytes.begin(), bytes.end(), ws->image.ProgramBuffer.begin());
  ws->files.LoadedLength = ws->device.ProgramBytes;
  std::vector<std::string> messages;
  Pic5xToKvx(*ws, messages, OpenViews{.programViewClosed = false});
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(ws->image.ProgramBuffer[0] + 256 * ws->image.ProgramBuffer[1], 0x3055);  // no 12-bit row
  EXPECT_EQ(ws->image.ProgramBuffer[2] + 256 * ws->image.ProgramBuffer[3], 0x1000);
  SplitWords(ws->image.ProgramBuffer);
  EXPECT_EQ(test::StoredAt(*ws, 2), 0x3FFF) << "blank words stay blank";
}

}  // namespace
}  // namespace kvx
