#include "core/editors/buffer_edit.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/device/catalogue.h"
#include "core/device/checksum.h"

namespace kvx {
namespace {

std::unique_ptr<Workspace> DeviceWorkspace(const char* device) {
  auto ws = std::make_unique<Workspace>();
  ws->image.ProgramBuffer.fill(0x7F);
  ws->image.IdBuffer.fill(0x7F);
  EXPECT_GE(GetICInfo(*ws, device), 0);
  return ws;
}

TEST(ProgramGrid, CoversWholeBlocksUpToTheLastAddressHighByte) {
  auto ws = DeviceWorkspace("KVX-01");  // last address 0x3FF
  EXPECT_EQ(ProgramGridRows(*ws), 128);
  EXPECT_EQ(ProgramColumnText(0), "+0/8");
  EXPECT_EQ(ProgramColumnText(7), "+7/F");
  EXPECT_EQ(ProgramRowText(1), "0x0008");
  EXPECT_EQ(ProgramWordText(*ws, 5), "3FFF");
  ASSERT_GE(GetICInfo(*ws, "KVX-43"), 0);
  EXPECT_EQ(ProgramGridRows(*ws) * kProgramGridColumns, 6144);
}

TEST(EepromGrid, SixteenBytesARow) {
  auto ws = DeviceWorkspace("KVX-01");  // last EEPROM address 0x7F
  EXPECT_EQ(EepromGridRows(*ws), 8);
  EXPECT_EQ(EepromColumnText(10), "+A");
  EXPECT_EQ(EepromRowText(1), "0x10");
  EXPECT_EQ(EepromRowText(16), "0x100");
}

TEST(SingleData, EntriesArePaddedAndCheckedAgainstTheCore) {
  struct Case {
    const char* text;
    int core;
    bool accepted;
    long value;
    const char* padded;
  } cases[] = {
      {"7", 2, true, 0x7, "0007"},       {"3fff", 2, true, 0x3FFF, "3FFF"},
      {"4000", 2, false, 0x4000, "4000"}, {"800", 3, false, 0x800, "0800"},
      {"7FF", 3, true, 0x7FF, "07FF"},    {"", 2, true, 0, "0000"},
  };
  for (const Case& c : cases) {
    const SingleDataCheck check = CheckSingleData(c.text, c.core);
    EXPECT_EQ(check.accepted, c.accepted) << c.text;
    EXPECT_EQ(check.value, c.value) << c.text;
    EXPECT_EQ(check.text, c.padded) << c.text;
    EXPECT_EQ(check.message, c.accepted ? "" : kMsgValueTooLarge) << c.text;
  }
  EXPECT_EQ(SingleDataInitialValue("+0/8"), 0);
  EXPECT_EQ(SingleDataInitialValue("1A2B"), 0x1A2B);
}

TEST(SingleData, WordIsStoredOnlyWhenTheCellStillShowsTheBuffer) {
  auto ws = DeviceWorkspace("KVX-03");
  CalChecksum(*ws);
  const std::string blankSum = ws->panel.ChecksumText;
  EXPECT_FALSE(EditProgramWord(*ws, 3, "1234", 0x0007));  // stale cell text
  EXPECT_FALSE(EditProgramWord(*ws, 3, "3FFF", 0x4000));  // too large
  EXPECT_EQ(ProgramWordText(*ws, 3), "3FFF");
  EXPECT_TRUE(EditProgramWord(*ws, 3, "3FFF", 0x31A5));
  EXPECT_EQ(ws->image.ProgramBuffer[6], 0x25);
  EXPECT_EQ(ws->image.ProgramBuffer[7], 0x63);
  EXPECT_NE(ws->panel.ChecksumText, blankSum);

  EXPECT_TRUE(EditEepromByte(*ws, 2, "00", 0xA5));
  EXPECT_FALSE(EditEepromByte(*ws, 2, "00", 0x11));   // cell no longer matches
  EXPECT_FALSE(EditEepromByte(*ws, 3, "00", 0x100));  // accepted by the dialog, ignored here
  EXPECT_EQ(ws->image.EepromBuffer[2], 0xA5);
  EXPECT_EQ(ws->image.EepromBuffer[3], 0x00);
}

TEST(FillBuffer, RefusalsInOrderAndTheFilledRange) {
  auto ws = DeviceWorkspace("KVX-03");  // last word 0x1FF
  EXPECT_EQ(FillFieldsFor(*ws).end, "1FF");
  struct Case {
    FillFields f;
    const char* message;
  } refused[] = {
      {{"200", "1FF", "0"}, kMsgFillStartInvalid},
      {{"0", "200", "0"}, kMsgFillEndInvalid},
      {{"10", "F", "0"}, kMsgFillStartInvalid},
      {{"0", "1FF", "4000"}, kMsgFillDataInvalid},
  };
  for (const Case& c : refused) EXPECT_EQ(FillBuffer(*ws, c.f), c.message) << c.f.start;
  EXPECT_EQ(ProgramWordText(*ws, 0), "3FFF");

  EXPECT_EQ(FillBuffer(*ws, {"10", "12", "1234"}), "");
  EXPECT_EQ(ProgramWordText(*ws, 0xF), "3FFF");
  EXPECT_EQ(ProgramWordText(*ws, 0x10), "1234");
  EXPECT_EQ(ProgramWordText(*ws, 0x12), "1234");
  EXPECT_EQ(ProgramWordText(*ws, 0x13), "3FFF");
}

TEST(IdEditor, AsciiAndHexEntriesStoreTheDeviceBits) {
  auto ws = DeviceWorkspace("KVX-49");  // 11-bit: BlankHigh 0x0F
  StoreIdAsciiText(*ws, "AB");
  EXPECT_EQ(ws->image.IdBuffer[0], 0x41);
  EXPECT_EQ(ws->image.IdBuffer[1], 0x42 & 0x0F);
  EXPECT_EQ(ws->image.IdBuffer[2], 0x7F);
  EXPECT_EQ(ws->image.IdBuffer[3], 0x0F);

  StoreIdHexText(*ws, "41 42 __ 10 FF 00 00 00 00 00 0");
  EXPECT_EQ(ws->image.IdBuffer[1], 0x42 & 0x0F);
  EXPECT_EQ(ws->image.IdBuffer[2], 0x7F);  // empty group
  EXPECT_EQ(ws->image.IdBuffer[3], 0x10 & 0x0F);
  EXPECT_EQ(ws->image.IdBuffer[10], 0x0F);  // "0" and nothing: 0x0F
  EXPECT_EQ(ws->image.IdBuffer[11], 0x0F);  // beyond the text: 0xFF & 0x0F
  EXPECT_EQ(IdModifyText(*ws, true).substr(0, 8), "41 02 7F");

  // kvxw's --id hex: bytes, kept to the same bits.
  StoreIdBytes(*ws, {0xC1, 0xFF, 0x00, 0x3C, 0, 0, 0, 0, 0, 0, 0x80, 0x12});
  EXPECT_EQ(IdModifyText(*ws, true), "41 0F 00 0C 00 00 00 00 00 00 00 02");
}

TEST(IdWindow, LabelsInBothModesReachThePanelTexts) {
  auto ws = DeviceWorkspace("KVX-03");
  ws->settings.IdDisplayHex = false;
  EXPECT_EQ(IdLabelShow(*ws).checksum, "Blank");
  ws->image.IdBuffer[0] = 'K';
  ws->image.IdBuffer[1] = 'V';
  ws->image.IdBuffer[2] = 0;
  ws->image.IdBuffer[12] = '1';
  ws->image.IdBuffer[13] = 0x05;  // a control character shows as a space
  ws->image.IdBuffer[14] = 'A';
  ws->image.IdBuffer[15] = 'B';
  IdLabelShow(*ws);
  EXPECT_EQ(ws->panel.IdText, "KV");
  EXPECT_EQ(ws->panel.IcChecksumText, "1 AB");
  ws->settings.IdDisplayHex = true;
  IdLabelShow(*ws);
  EXPECT_EQ(ws->panel.IdText, "4B 56 00 7F 7F 7F 7F 7F 7F 7F 7F 7F");
  EXPECT_EQ(ws->panel.IcChecksumText, "31 05 41 42");

  ws->image.IdBuffer[16] = 0x12;
  ws->image.IdBuffer[24] = 0x02;
  EXPECT_EQ(WriterInfoTexts(*ws)[0], "12");
  EXPECT_EQ(WriterInfoTexts(*ws)[1], "02");
  EXPECT_EQ(IdDumpText(*ws).substr(0, 6), "12 7F ");
  EXPECT_EQ(BodyOptionText(*ws, {1, 2, 3, 4}), "7F 7F 01 02 03 04 ");
}

}  // namespace
}  // namespace kvx
