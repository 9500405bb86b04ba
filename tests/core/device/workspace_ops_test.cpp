#include <gtest/gtest.h>

#include "core/device/workspace_ops.h"
#include "core/device/device_test_support.h"

#include <cctype>
#include <cstring>

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
    ws->image.ProgramBuffer.fill(0x12);
    ws->image.IdBuffer.fill(0x34);
    ws->image.EepromBuffer.fill(0x56);
    ws->production.SerialNoMode = ws->production.QtpFileLoaded = true;
    ws->production.QtpFileText = "lot7.qtp";
    ws->production.PassCount = 41;
    ws->device.SelectedDevice = c.device;
    ResetData(*ws);
    EXPECT_EQ(ws->device.DeviceIndex, FindDevice(c.device));
    EXPECT_TRUE(AllWordsAre(ws->image.ProgramBuffer.data(), kProgramBufferBytes, 0x7F, c.blankHigh));
    EXPECT_TRUE(AllWordsAre(ws->image.IdBuffer.data(), kIdBytes, 0x7F, c.blankHigh));
    for (auto b : ws->image.EepromBuffer) ASSERT_EQ(b, 0x00);
    EXPECT_EQ(ws->image.OptionLow, c.optionLow);
    EXPECT_EQ(ws->image.OptionHigh, c.optionHigh);
    EXPECT_FALSE(ws->production.SerialNoMode || ws->production.QtpFileLoaded);
    EXPECT_EQ(ws->production.QtpFileText, "Disable");
    EXPECT_EQ(ws->production.PassCount, 0);
    EXPECT_EQ(ws->results.OptionStatus & 1, 1);  // the panel was redrawn: blank fields
  }
}

TEST(ResetData, OptionWordIsKeptOnlyWhenKeepOptionIsVisibleAndTicked) {
  for (int bits = 0; bits < 4; ++bits) {
    auto ws = WorkspaceFor("KVX-04", 0x25, 0x02);  // HF, 20mS
    ws->settings.KeepOptionVisible = bits & 1;
    ws->settings.KeepOptionChecked = bits & 2;
    ResetData(*ws);
    EXPECT_EQ(ws->image.OptionLow, bits == 3 ? 0x25 : 0x7F) << bits;
    EXPECT_EQ(ws->image.OptionHigh, bits == 3 ? 0x02 : 0x5F) << bits;
  }
}

// The device chooser blanks the OPTION word even with "Keep Option" ticked: the box keeps it
// only for new code.
TEST(ChooseDevice, TheNewDeviceStartsWithABlankOptionWord) {
  auto ws = WorkspaceFor("KVX-04", 0x25, 0x02);
  ws->settings.KeepOptionVisible = ws->settings.KeepOptionChecked = true;
  ChooseDevice(*ws, "KVX-03");
  EXPECT_EQ(ws->device.SelectedDevice, "KVX-03");
  EXPECT_EQ(ws->device.DeviceName, "KVX-03");
  EXPECT_EQ(ws->image.OptionLow, 0x7F);
  EXPECT_EQ(ws->image.OptionHigh, 0x5F);  // the device's fixed bits
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
    const auto number = [](const char* shown) {
      return std::isdigit(static_cast<unsigned char>(shown[std::strlen(shown) - 1])) ? std::optional<int>(std::atoi(shown))
                                                                                     : std::nullopt;
    };
    EXPECT_EQ(EnterPulseWidth(*ws, c.typed), c.pulse);
    EXPECT_EQ(ws->settings.PulseWidth, number(c.pulse));  // what reaches the header
    EXPECT_EQ(EnterEraseWidth(*ws, c.typed), c.erase);
    EXPECT_EQ(ws->settings.EraseWidth, number(c.erase));
  }
}

TEST(ResetData, WindowsThatCannotStayAreMarkedGone) {
  auto ws = WorkspaceFor("KVX-01");
  const OpenViews allOpen{.programViewClosed = false, .disassemblyOpen = true};
  ws->files.BufferCaption = "old.kvh";
  ViewChanges changes = ResetData(*ws, allOpen);  // a flash part keeps its EEPROM view
  EXPECT_FALSE(changes.closeEepromView);
  EXPECT_TRUE(changes.closeDisassembly);
  EXPECT_EQ(ws->files.BufferCaption, "");
  ws->device.SelectedDevice = "KVX-03";  // an OTP part has none
  changes = ResetData(*ws, allOpen);
  EXPECT_TRUE(changes.closeEepromView);
  ws->device.SelectedDevice = "KVX-99";  // a name from an old configuration file: no crash
  ResetData(*ws);
  EXPECT_EQ(ws->device.DeviceIndex, -1);
  EXPECT_EQ(ws->image.OptionLow, 0x7F);
}

TEST(ClearBuffer, TheCaptionGoesOnlyWithAnOpenProgramViewAndAListingAlways) {
  const struct {
    OpenViews views;
    const char* caption;
  } cases[] = {
      {{.programViewClosed = false}, ""},  // kvxw's defaults, and a desktop with the view open
      {{.programViewClosed = true}, "a.kvh"},
      {{.programViewClosed = false, .disassemblyOpen = true}, ""},
      {{.programViewClosed = true, .disassemblyOpen = true}, "a.kvh"},
  };
  for (const auto& c : cases) {
    auto ws = WorkspaceFor("KVX-03");
    ws->files.BufferCaption = "a.kvh";
    const ViewChanges changes = ClearBuffer(*ws, c.views);
    EXPECT_EQ(ws->files.BufferCaption, c.caption) << c.views.programViewClosed;
    EXPECT_TRUE(changes.closeDisassembly);
    EXPECT_FALSE(changes.closeEepromView);
  }
  auto ws = WorkspaceFor("KVX-03");
  ws->files.BufferCaption = "a.kvh";
  ClearBuffer(*ws);
  EXPECT_EQ(ws->files.BufferCaption, "") << "without windows the caption goes, as with the view open";
}

TEST(ClearCommands, EachBlanksItsOwnAreaOnly) {
  auto ws = WorkspaceFor("KVX-49", 0x01, 0x02);
  ws->image.ProgramBuffer.fill(0x12);
  ws->image.IdBuffer.fill(0x34);
  ws->image.EepromBuffer.fill(0x56);
  ws->files.BufferCaption = "a.kvh";
  ClearId(*ws);  // 0x7F everywhere, even where an 11-bit word only has four bits
  for (auto b : ws->image.IdBuffer) ASSERT_EQ(b, 0x7F);
  ClearEeprom(*ws);
  for (auto b : ws->image.EepromBuffer) ASSERT_EQ(b, 0x00);
  EXPECT_EQ(ws->image.ProgramBuffer[0], 0x12);

  // The whole buffer, past the device's 512 words.
  const ViewChanges changes =
      ClearBuffer(*ws, OpenViews{.programViewClosed = true, .disassemblyOpen = true});
  EXPECT_TRUE(AllWordsAre(ws->image.ProgramBuffer.data(), kProgramBufferBytes, 0x7F, 0x0F));
  EXPECT_EQ(ws->panel.ChecksumText, "0C00");
  EXPECT_EQ(ws->image.OptionLow, 0x01);
  EXPECT_TRUE(changes.closeDisassembly);
  EXPECT_EQ(ws->files.BufferCaption, "a.kvh");  // no program view open: kept for the next one

  ClearOption(*ws);
  EXPECT_EQ(ws->image.OptionLow, 0x3F);
  EXPECT_EQ(ws->image.OptionHigh, 0x03);
  EXPECT_EQ(ws->panel.OptionLabelText[0], "Blank");
}

TEST(GetRomData, StagesTheDeviceWordsAndSetsTheTopBitsOfElevenBitWords) {
  for (const char* device : {"KVX-49", "KVX-17"}) {
    auto ws = WorkspaceFor(device);
    ws->image.ProgramBuffer[0] = 0x12;
    ws->image.ProgramBuffer[1] = 0x05;
    ws->link.LinkBuffer.fill(0xAA);
    GetRomData(*ws);
    EXPECT_EQ(ws->link.LinkBuffer[0], 0x12);
    EXPECT_EQ(ws->link.LinkBuffer[1], ws->device.CoreType == 3 ? 0x75 : 0x05);
    EXPECT_EQ(ws->link.LinkBuffer[ws->device.ProgramBytes - 1], 0x7F);
    EXPECT_EQ(ws->link.LinkBuffer[ws->device.ProgramBytes], 0xAA);  // past the device: not touched
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
    ws->image.ProgramBuffer.fill(0x00);
    ws->image.ProgramBuffer[2 * c.address] = c.first;
    ws->image.ProgramBuffer[2 * c.address + 1] = c.second;
    const ResetAddrCheck check = CheckResetAddr(*ws);
    EXPECT_EQ(check.address, c.address);
    EXPECT_EQ(check.blank, *c.text != '\0');
    EXPECT_EQ(check.text, c.text);
  }
}

}  // namespace
}  // namespace kvx
