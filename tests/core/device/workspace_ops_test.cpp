#include <gtest/gtest.h>

#include "core/device/workspace_ops.h"
#include "core/device/device_test_support.h"

namespace kvx {
namespace {

using test::WorkspaceFor;

bool AllWordsAre(const std::uint8_t* bytes, int count, std::uint8_t first, std::uint8_t second) {
  for (int i = 0; i < count; i += 2)
    if (bytes[i] != first || bytes[i + 1] != second) return false;
  return true;
}

TEST(ResetData, NewDeviceGetsBlankBuffersForcedOptionAndProductionModesOff) {
  struct Case {
    const char* device;
    std::uint8_t blankHigh, optionLow, optionHigh;  // OPTION after the device's fixed bits
  };
  for (const Case c : {Case{"KVX-03", 0x7F, 0x7F, 0x5F}, Case{"KVX-01", 0x7F, 0x7F, 0x77},
                       Case{"KVX-50", 0x0F, 0x3F, 0x03}}) {
    SCOPED_TRACE(c.device);
    auto ws = WorkspaceFor("KVX-17", 0x01, 0x02);
    ws->ProgramBuffer.fill(0x12);
    ws->IdBuffer.fill(0x34);
    ws->EepromBuffer.fill(0x56);
    ws->SerialNoMode = ws->QtpFileLoaded = true;
    ws->QtpFileText = "lot7.qtp";
    ws->PassCountText = "41";
    ws->SelectedDevice = c.device;
    ResetData(*ws);
    EXPECT_EQ(ws->DeviceIndex, FindDevice(c.device));
    EXPECT_TRUE(AllWordsAre(ws->ProgramBuffer.data(), kProgramBufferBytes, 0x7F, c.blankHigh));
    EXPECT_TRUE(AllWordsAre(ws->IdBuffer.data(), kIdBytes, 0x7F, c.blankHigh));
    for (auto b : ws->EepromBuffer) ASSERT_EQ(b, 0x00);
    EXPECT_EQ(ws->OptionLow, c.optionLow);
    EXPECT_EQ(ws->OptionHigh, c.optionHigh);
    EXPECT_FALSE(ws->SerialNoMode || ws->QtpFileLoaded);
    EXPECT_EQ(ws->QtpFileText, "Disable");
    EXPECT_EQ(ws->PassCountText, "0");
    EXPECT_EQ(ws->OptionStatus & 1, 1);  // the panel was redrawn: blank fields
  }
}

TEST(ResetData, OptionWordIsKeptOnlyWhenKeepOptionIsVisibleAndTicked) {
  for (int bits = 0; bits < 4; ++bits) {
    auto ws = WorkspaceFor("KVX-04", 0x25, 0x02);  // HF, 20mS
    ws->KeepOptionVisible = bits & 1;
    ws->KeepOptionChecked = bits & 2;
    ResetData(*ws);
    EXPECT_EQ(ws->OptionLow, bits == 3 ? 0x25 : 0x7F) << bits;
    EXPECT_EQ(ws->OptionHigh, bits == 3 ? 0x02 : 0x5F) << bits;
  }
}

// The device chooser blanks the OPTION word even with "Keep Option" ticked: the box keeps it
// only for new code.
TEST(ChooseDevice, TheNewDeviceStartsWithABlankOptionWord) {
  auto ws = WorkspaceFor("KVX-04", 0x25, 0x02);
  ws->KeepOptionVisible = ws->KeepOptionChecked = true;
  ChooseDevice(*ws, "KVX-03");
  EXPECT_EQ(ws->SelectedDevice, "KVX-03");
  EXPECT_EQ(ws->DeviceName, "KVX-03");
  EXPECT_EQ(ws->OptionLow, 0x7F);
  EXPECT_EQ(ws->OptionHigh, 0x5F);  // the device's fixed bits
}

TEST(WidthEntries, StayWithinWhatTheHeaderByteCarries) {
  struct Case {
    const char* typed;
    const char* pulse;
    const char* erase;
  };
  for (const Case c : {Case{"", "5", "120"}, Case{"0", "1", "1"}, Case{"000", "1", "1"},
                       Case{"60", "60", "60"}, Case{"127", "127", "127"}, Case{"128", "127", "128"},
                       Case{"999", "127", "255"}, Case{"12x", "12x", "12x"}}) {
    SCOPED_TRACE(c.typed);
    auto ws = WorkspaceFor("KVX-04", 0x25, 0x02);
    EXPECT_EQ(EnterPulseWidth(*ws, c.typed), c.pulse);
    EXPECT_EQ(ws->PulseWidthText, c.pulse);
    EXPECT_EQ(EnterEraseWidth(*ws, c.typed), c.erase);
    EXPECT_EQ(ws->EraseWidthText, c.erase);
  }
}

TEST(ResetData, WindowsThatCannotStayAreMarkedGone) {
  auto ws = WorkspaceFor("KVX-01");
  ws->EepromViewOpen = ws->DisassemblyOpen = ws->BufferViewOpen = true;
  ws->BufferCaption = "old.kvh";
  ResetData(*ws);  // a flash part keeps its EEPROM view
  EXPECT_TRUE(ws->EepromViewOpen);
  EXPECT_FALSE(ws->DisassemblyOpen);
  EXPECT_EQ(ws->BufferCaption, "");
  ws->SelectedDevice = "KVX-03";  // an OTP part has none
  ResetData(*ws);
  EXPECT_FALSE(ws->EepromViewOpen);
  ws->SelectedDevice = "KVX-99";  // a name from an old configuration file: no crash
  ResetData(*ws);
  EXPECT_EQ(ws->DeviceIndex, -1);
  EXPECT_EQ(ws->OptionLow, 0x7F);
}

TEST(ClearCommands, EachBlanksItsOwnAreaOnly) {
  auto ws = WorkspaceFor("KVX-49", 0x01, 0x02);
  ws->ProgramBuffer.fill(0x12);
  ws->IdBuffer.fill(0x34);
  ws->EepromBuffer.fill(0x56);
  ws->DisassemblyOpen = true;
  ws->BufferCaption = "a.kvh";
  ClearId(*ws);  // 0x7F everywhere, even where an 11-bit word only has four bits
  for (auto b : ws->IdBuffer) ASSERT_EQ(b, 0x7F);
  ClearEeprom(*ws);
  for (auto b : ws->EepromBuffer) ASSERT_EQ(b, 0x00);
  EXPECT_EQ(ws->ProgramBuffer[0], 0x12);

  ClearBuffer(*ws);  // the whole buffer, past the device's 512 words
  EXPECT_TRUE(AllWordsAre(ws->ProgramBuffer.data(), kProgramBufferBytes, 0x7F, 0x0F));
  EXPECT_EQ(ws->ChecksumText, "0C00");
  EXPECT_EQ(ws->OptionLow, 0x01);
  EXPECT_FALSE(ws->DisassemblyOpen);
  EXPECT_EQ(ws->BufferCaption, "a.kvh");  // no program view open: kept for the next one

  ClearOption(*ws);
  EXPECT_EQ(ws->OptionLow, 0x3F);
  EXPECT_EQ(ws->OptionHigh, 0x03);
  EXPECT_EQ(ws->OptionLabelText[0], "Blank");
}

TEST(GetRomData, StagesTheDeviceWordsAndSetsTheTopBitsOfElevenBitWords) {
  for (const char* device : {"KVX-49", "KVX-17"}) {
    auto ws = WorkspaceFor(device);
    ws->ProgramBuffer[0] = 0x12;
    ws->ProgramBuffer[1] = 0x05;
    ws->LinkBuffer.fill(0xAA);
    GetRomData(*ws);
    EXPECT_EQ(ws->LinkBuffer[0], 0x12);
    EXPECT_EQ(ws->LinkBuffer[1], ws->CoreType == 3 ? 0x75 : 0x05);
    EXPECT_EQ(ws->LinkBuffer[ws->ProgramBytes - 1], 0x7F);
    EXPECT_EQ(ws->LinkBuffer[ws->ProgramBytes], 0xAA);  // past the device: not touched
  }
}

TEST(CheckResetAddr, LooksAtTheWordTheAlgorithmStartsFrom) {
  struct Case {
    const char* device;
    int address;
    std::uint8_t first, second;
    const char* text;  // empty: not blank
  };
  const Case cases[] = {
      {"KVX-03", 0x01FF, 0x7F, 0x7F, "Reset address (01FFh) is blank!!"},
      {"KVX-05", 0x07FF, 0x7F, 0x7F, "Reset address (07FFh) is blank!!"},
      {"KVX-17", 0x0000, 0x7F, 0x7F, "Reset address (0000h) is blank!!"},
      {"KVX-17", 0x0000, 0x7F, 0x3F, ""},
      // 11-bit words: only the low four bits of the second byte count.
      {"KVX-49", 0x0000, 0x7F, 0x7F, "Reset address (0000h) is blank!!"},
      {"KVX-49", 0x0000, 0x7F, 0x07, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    auto ws = WorkspaceFor(c.device);
    ws->ProgramBuffer.fill(0x00);
    ws->ProgramBuffer[2 * c.address] = c.first;
    ws->ProgramBuffer[2 * c.address + 1] = c.second;
    const ResetAddrCheck check = CheckResetAddr(*ws);
    EXPECT_EQ(check.address, c.address);
    EXPECT_EQ(check.blank, *c.text != '\0');
    EXPECT_EQ(check.text, c.text);
  }
}

}  // namespace
}  // namespace kvx
