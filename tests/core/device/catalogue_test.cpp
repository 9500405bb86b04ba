#include <gtest/gtest.h>

#include <memory>

#include "core/device/catalogue.h"
#include "core/device/workspace.h"

namespace kvx {
namespace {

TEST(Catalogue, LookupByExactNameLoadsRowAndDerivedValues) {
  auto ws = std::make_unique<Workspace>();
  EXPECT_EQ(GetICInfo(*ws, "KVX-01"), 0);
  EXPECT_EQ(GetICInfo(*ws, "KVX-50"), 49);
  EXPECT_EQ(ws->device.CoreType, 3);
  EXPECT_EQ(ws->device.BlankHigh, 0x0F);
  EXPECT_EQ(GetICInfo(*ws, "KVX-43"), 42);
  EXPECT_EQ(ws->device.LastWordAddress(), 0x17FF);
  EXPECT_EQ(ws->device.ProgramBytes, 12288);
  EXPECT_EQ(ws->device.BlankHigh, 0x7F);
  EXPECT_EQ(ws->device.OptionLayout, 14);
  EXPECT_EQ(ws->device.OptionFieldSelect, (std::array<std::uint8_t, 6>{6, 0, 0, 0, 0, 2}));
}

TEST(Catalogue, UnknownNameChangesNothing) {
  auto ws = std::make_unique<Workspace>();
  ASSERT_EQ(GetICInfo(*ws, "KVX-17"), 16);
  EXPECT_EQ(GetICInfo(*ws, "kvx-17"), -1);
  EXPECT_EQ(GetICInfo(*ws, "KVX-17 "), -1);
  EXPECT_EQ(GetICInfo(*ws, ""), -1);
  EXPECT_EQ(ws->device.DeviceName, "KVX-17");
  EXPECT_EQ(ws->device.AlgorithmCode, 0x22);
}

TEST(Catalogue, OnlyTheFirstTwoDevicesHaveEeprom) {
  for (int i = 0; i < kDeviceCount; ++i) {
    const bool flash = i < 2;
    EXPECT_EQ(Catalogue[i].MemoryKind, flash ? 2 : 1) << Catalogue[i].Name;
    EXPECT_EQ(Catalogue[i].EepromBytes(), flash ? 128 : 0) << Catalogue[i].Name;
  }
}

TEST(Catalogue, ElevenBitDevicesAreTheLastTwo) {
  for (int i = 0; i < kDeviceCount; ++i)
    EXPECT_EQ(Catalogue[i].CoreType == 3, i >= 48) << Catalogue[i].Name;
}

TEST(Catalogue, NamesRunInOrderAndEndWithAnEmptyRow) {
  for (int i = 0; i < kDeviceCount; ++i) {
    char expected[8];
    std::snprintf(expected, sizeof expected, "KVX-%02d", i + 1);
    EXPECT_EQ(GetIcName(i), expected);
  }
  EXPECT_EQ(GetIcName(50), "");
  EXPECT_EQ(Catalogue[50].Name, nullptr);
}

TEST(Catalogue, SpotRows) {
  const DeviceRow& r12 = Catalogue[11];
  EXPECT_EQ(r12.OptionLowMask, 0x4F);
  EXPECT_EQ(r12.OptionLowSet, 0x10);
  EXPECT_EQ(r12.RcReadVariant, 2);
  const DeviceRow& r42 = Catalogue[41];
  EXPECT_EQ(r42.Words(), 2560);
  EXPECT_EQ(r42.ModeCode, 0x90);
  EXPECT_EQ(r42.OptionHighMask, 0x4A);
  EXPECT_EQ(r42.NeedsAdaptor, 1);
  EXPECT_EQ(r42.DownloadPreset, 1);
  EXPECT_EQ(Catalogue[48].WriterParam, 0x1F);
  EXPECT_EQ(Catalogue[8].WriterType, 2);
  EXPECT_EQ(Catalogue[9].WriterParam, 0x00);
  EXPECT_EQ(GetDownload(2), 1);
  EXPECT_EQ(GetDownload(0), 0);
}

TEST(Workspace, StartValues) {
  auto ws = std::make_unique<Workspace>();
  for (auto b : ws->image.ProgramBuffer) ASSERT_EQ(b, 0x7F);
  for (auto b : ws->image.IdBuffer) ASSERT_EQ(b, 0x7F);
  for (auto b : ws->image.EepromBuffer) ASSERT_EQ(b, 0x00);
  EXPECT_EQ(ws->image.OptionLow, 0x7F);
  EXPECT_EQ(ws->image.OptionHigh, 0x7F);
  EXPECT_EQ(ws->device.DeviceIndex, 0);
  EXPECT_EQ(ws->production.SerialByteCount, 1);
  EXPECT_EQ(ws->production.SerialIncrement, 1);
  EXPECT_EQ(ws->production.PassCount, 0);
  EXPECT_TRUE(ws->results.WriterId.empty());
}

TEST(StoredWord, SplitJoinAndBlank) {
  auto w = SplitWord(0x3FFF);
  EXPECT_EQ(w.first, 0x7F);
  EXPECT_EQ(w.second, 0x7F);
  EXPECT_EQ(JoinWord(0x12, 0x62), 0x3112);
  EXPECT_EQ(WordLowByte(0x25, 0x63), 0xA5);
  EXPECT_EQ(WordHighByte(0x63), 0x31);
  EXPECT_TRUE(IsBlankWord(0x7F, 0x0F, 0x0F));
  EXPECT_TRUE(IsBlankWord(0x7F, 0x7F, 0x0F));
  EXPECT_FALSE(IsBlankWord(0x7F, 0x0E, 0x0F));
  EXPECT_TRUE(IsRtiwWord(0x62));
  EXPECT_TRUE(IsRtiwWord(0x63));
  EXPECT_FALSE(IsRtiwWord(0x64));
}

}  // namespace
}  // namespace kvx
