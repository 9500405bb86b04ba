#include <gtest/gtest.h>

#include <array>
#include <string>

#include "core/device/checksum.h"
#include "core/device/device_test_support.h"

namespace kvx {
namespace {

using test::WorkspaceFor;

int Hex(const std::string& text) { return std::stoi(text, nullptr, 16); }

TEST(CalChecksum, BlankMemorySums) {
  struct Case {
    const char* device;
    const char* data;
    const char* protect;
    const char* option;
  };
  const Case cases[] = {
      // 1024 words of 0x3FFF: 1024 x 0x13E; the OPTION sum adds the forced word 0x2FFF.
      {"KVX-04", "F800", "F800", "F92E"},
      {"KVX-03", "7C00", "7C00", "7D2E"},
      // 512 eleven-bit words 0x07FF: 512 x 0x106; the OPTION word forced to 0x01BF.
      {"KVX-49", "0C00", "0C00", "0CC0"},
  };
  for (const Case& c : cases) {
    auto ws = WorkspaceFor(c.device);
    CalChecksum(*ws);
    EXPECT_EQ(ws->panel.ChecksumText, c.data) << c.device;
    EXPECT_EQ(ws->results.DataChecksum, Hex(c.data)) << c.device;
    EXPECT_EQ(ws->panel.ProtectSumText, c.protect) << c.device;
    EXPECT_EQ(ws->panel.OptChecksumText, c.option) << c.device;
  }
}

TEST(CalChecksum, CountsOnlyTheDeviceWordsAndReadsProtectedBitsAsOnes) {
  auto ws = WorkspaceFor("KVX-03");  // 512 words
  ws->image.ProgramBuffer[1024] = ws->image.ProgramBuffer[1025] = 0x00;  // word 512: not the device's
  ws->image.ProgramBuffer[0] = 0x23;  // word 0 = 0x0123: bytes 0x23 + 0x01
  ws->image.ProgramBuffer[1] = 0x02;
  CalChecksum(*ws);
  EXPECT_EQ(ws->results.DataChecksum, (511 * 0x13E + 0x24) & 0xFFFF);
  // Protected, the word reads 0x0123 | 0x0F9F = 0x0FBF: bytes 0xBF + 0x0F.
  EXPECT_EQ(Hex(ws->panel.ProtectSumText), (511 * 0x13E + 0xCE) & 0xFFFF);
}

TEST(CalChecksum, StoresTheForcedOptionBitsOfAKnownDeviceOnly) {
  for (int high : {0x00, 0x08, 0x7F}) {
    auto ws = WorkspaceFor("KVX-01", 0x55, static_cast<std::uint8_t>(high));
    CalChecksum(*ws);
    EXPECT_EQ(ws->image.OptionHigh, (high & 0x67) | 0x10) << high;
    EXPECT_EQ(ws->image.OptionLow, 0x55);
  }
  auto ws = WorkspaceFor("KVX-11", 0x25);  // OptionLow = (L & 0x40) | 0x1A
  CalChecksum(*ws);
  EXPECT_EQ(ws->image.OptionLow, 0x1A);
  ws->device.DeviceIndex = -1;  // no device: nothing to force, and no crash
  ws->image.OptionLow = 0x25;
  CalChecksum(*ws);
  EXPECT_EQ(ws->image.OptionLow, 0x25);
}

TEST(GetIdChecksum, PutsTheChecksumTextIntoWordsSixAndSeven) {
  struct Case {
    const char* device;
    const char* label;
    std::uint8_t bytes[4];  // LinkBuffer 12..15
  };
  const Case cases[] = {
      {"KVX-17", "1A2B", {0x31, 0x41, 0x32, 0x42}},
      {"KVX-49", "1A2B", {0x31, 0x7A, 0x32, 0x7B}},
      {"KVX-17", "", {0x00, 0x00, 0x00, 0x00}},  // before the first sum: NUL characters
      {"KVX-49", "", {0x00, 0x70, 0x00, 0x70}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.device << " '" << c.label << "'");
    auto ws = WorkspaceFor(c.device);
    for (int i = 0; i < kIdBytes; ++i) ws->image.IdBuffer[i] = static_cast<std::uint8_t>(i);
    ws->panel.ChecksumText = c.label;
    GetIdChecksum(*ws);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ws->link.LinkBuffer[12 + i], c.bytes[i]) << i;
    const int highOr = ws->device.CoreType == 3 ? 0x70 : 0x00;
    for (int i : {0, 11, 16, 31}) EXPECT_EQ(ws->link.LinkBuffer[i], i % 2 ? i | highOr : i) << i;
  }
}

TEST(VerifyIdChecksum, ReportsIdAndChecksumMismatchSeparately) {
  struct Case {
    const char* what;
    int byte;  // LinkBuffer byte changed after the chip's echo; -1 for none
    int expected;
  };
  const Case cases[] = {{"echo", -1, 0},       {"ID word 0", 0, 1},     {"ID word 5", 11, 1},
                        {"checksum c0", 12, 2}, {"checksum c3", 15, 2}, {"word 8", 16, 0}};
  for (const char* device : {"KVX-17", "KVX-49"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << device << ' ' << c.what);
      auto ws = WorkspaceFor(device);
      ws->image.IdBuffer.fill(0x7F);  // "Clear ID": an 11-bit chip gives back only four high bits
      ws->image.IdBuffer[0] = 0x10;
      ws->image.IdBuffer[11] = 0x05;
      CalChecksum(*ws);
      GetIdChecksum(*ws);
      for (int i = 1; i < 16; i += 2) ws->link.LinkBuffer[i] &= ws->device.BlankHigh;  // the chip's echo
      if (c.byte >= 0) ws->link.LinkBuffer[c.byte] ^= 0x01;
      EXPECT_EQ(VerifyIdChecksum(*ws), c.expected);
      ws->link.LinkBuffer[0] ^= 0x02;
      ws->link.LinkBuffer[14] ^= 0x02;
      EXPECT_EQ(VerifyIdChecksum(*ws), 3);
    }
  }
}

TEST(VerifyIdChecksum, ChecksumIsComparedWithTheCurrentLabel) {
  auto ws = WorkspaceFor("KVX-17");
  CalChecksum(*ws);
  GetIdChecksum(*ws);
  ws->image.ProgramBuffer[0] = 0x00;  // the buffer changed after the ID was written
  CalChecksum(*ws);
  EXPECT_EQ(VerifyIdChecksum(*ws), 2);
}

// The "IC Checksum" text of four checksum bytes, as the ID window and the panel show it.
TEST(IdChecksumText, ShowsTheCharactersTheHexBytesOrBlank) {
  const struct {
    const char* device;  // KVX-49 has 11-bit words
    bool hex;
    std::array<std::uint8_t, 4> words;
    const char* text;
  } cases[] = {
      {"KVX-03", false, {'1', 'A', '2', 'B'}, "1A2B"},
      {"KVX-03", false, {0x7F, 0x7F, 0x7F, 0x7F}, "Blank"},
      {"KVX-03", false, {0x7F, 0x7F, 0x7F, 0x7E}, "\x7F\x7F\x7F~"},
      {"KVX-03", false, {0x09, 'A', '2', 0x1F}, " A2 "},  // control characters as spaces
      {"KVX-03", true, {'1', 'A', '2', 'B'}, "31 41 32 42"},
      {"KVX-49", false, {'1', 0x0A, '2', 0x0B}, "1A2B"},  // second bytes as one digit
      {"KVX-49", false, {0x7F, 0x0F, 0x7F, 0x0F}, "Blank"},
  };
  for (const auto& c : cases) {
    auto ws = WorkspaceFor(c.device);
    ws->settings.IdDisplayHex = c.hex;
    EXPECT_EQ(IdChecksumText(*ws, c.words), c.text) << c.device << " " << c.text;
  }
}

}  // namespace
}  // namespace kvx
