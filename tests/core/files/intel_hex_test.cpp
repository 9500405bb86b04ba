#include "core/files/intel_hex.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kvx {
namespace {

// One record with its correct checksum.
std::string Record(int address, int type, const std::vector<int>& data) {
  char text[16];
  std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<int>(data.size()), address, type);
  std::string line = text;
  int sum = static_cast<int>(data.size()) + (address & 0xFF) + (address >> 8) + type;
  for (int b : data) {
    std::snprintf(text, sizeof text, "%02X", b);
    line += text;
    sum += b;
  }
  std::snprintf(text, sizeof text, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  return line + text + "\r\n";
}

const std::string kEnd = ":00000001FF\r\n";

struct HexRead {
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  std::vector<std::string> messages;
  int length = 0;
};

HexRead Read(std::string_view text, bool startup = false) {
  HexRead r;
  r.ws->files.StartupConfigLoad = startup;
  r.length = HexToObj(*r.ws, text, r.messages);
  return r;
}

TEST(HexToObj, EndRecordFirstLeavesAllBlankAndLengthZero) {
  HexRead r = Read(kEnd + Record(0, 0, {1, 2}));
  EXPECT_EQ(r.length, 0);
  EXPECT_TRUE(r.messages.empty());
  for (std::uint8_t b : r.ws->image.ProgramBuffer) ASSERT_EQ(b, 0xFF);
}

TEST(HexToObj, AddressesAreByteIndexesWhateverTheRecordType) {
  // Word 8 of the device is at bytes 0x10 and 0x11; an extended-address record (type 04) is
  // data like any other.
  HexRead r = Read(Record(0x0010, 0, {0x34, 0x12}) + Record(0x0100, 4, {0xAB, 0xCD}) + kEnd);
  EXPECT_EQ(r.ws->image.ProgramBuffer[0x10], 0x34);
  EXPECT_EQ(r.ws->image.ProgramBuffer[0x11], 0x12);
  EXPECT_EQ(r.ws->image.ProgramBuffer[0x100], 0xAB);
  EXPECT_EQ(r.ws->image.ProgramBuffer[0x101], 0xCD);
  EXPECT_EQ(r.ws->image.ProgramBuffer[0x0F], 0xFF);
  EXPECT_EQ(r.length, 0x101);
  EXPECT_TRUE(r.messages.empty());
}

TEST(HexToObj, BytesPastTheBufferAreDroppedAndLengthIsCapped) {
  HexRead r = Read(Record(0x7FFC, 0, {1, 2, 3, 4}) + Record(0xFFF0, 0, {9}) + kEnd);
  EXPECT_EQ(r.ws->image.ProgramBuffer[32764], 1);
  EXPECT_EQ(r.ws->image.ProgramBuffer[32765], 2);
  EXPECT_EQ(r.length, 32766);
  EXPECT_TRUE(r.messages.empty());
}

TEST(HexToObj, AcceptsLowerCaseAndAnyLineEndAndSkipsTextBeforeTheColon) {
  std::string lower = Record(0, 0, {0xAB, 0xCD});
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  HexRead r = Read("junk " + lower.substr(0, lower.size() - 2) + "\r" +
                   Record(2, 0, {0xEF}).substr(0, 13) + "\n\n  " + ":00000001FF");
  EXPECT_TRUE(r.messages.empty()) << r.messages.front();
  EXPECT_EQ(r.ws->image.ProgramBuffer[0], 0xAB);
  EXPECT_EQ(r.ws->image.ProgramBuffer[1], 0xCD);
  EXPECT_EQ(r.ws->image.ProgramBuffer[2], 0xEF);
}

TEST(HexToObj, FileEndingWithoutEndRecordKeepsItsLastLine) {
  std::string last = Record(4, 0, {0x55});
  HexRead r = Read(Record(0, 0, {1}) + last.substr(0, last.size() - 2));
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(r.ws->image.ProgramBuffer[4], 0x55);
  EXPECT_EQ(r.length, 4);
}

TEST(HexToObj, ReportsEachFaultKindWithItsLineNumber) {
  const std::string good = Record(0, 0, {1, 2});
  struct Case {
    std::string line;
    std::string message;
  } cases[] = {
      {":G2000000010200\r\n", "Byte No. error at line 2 !"},
      {":020X00000102FB\r\n", "Address error at line 2 !"},
      {":020000000Z02FC\r\n", "Data error at line 2 !"},
      {":0200000001020A\r\n", "Checksum error at line 2 !"},
      {":0200000001FB\r\n", "Checksum error at line 2 !"},  // one data byte short
  };
  for (const auto& c : cases) {
    HexRead r = Read(good + c.line + kEnd);
    EXPECT_EQ(r.messages, std::vector<std::string>{c.message}) << c.line;
  }
}

TEST(HexToObj, OnlyTheLastFaultIsReportedAndFaultyDataIsKept) {
  HexRead r = Read(":010000005500\r\n" + Record(2, 0, {7}) + ":0100030066BB\r\n" + kEnd);
  EXPECT_EQ(r.messages, std::vector<std::string>{"Checksum error at line 3 !"});
  EXPECT_EQ(r.ws->image.ProgramBuffer[0], 0x55);
  EXPECT_EQ(r.ws->image.ProgramBuffer[3], 0x66);
}

TEST(HexToObj, StartupLoadSwallowsExactlyOneReport) {
  const std::string faulty = ":010000005500\r\n" + kEnd;
  HexRead quiet = Read(faulty, true);
  EXPECT_TRUE(quiet.messages.empty());
  EXPECT_FALSE(quiet.ws->files.StartupConfigLoad);
  HexToObj(*quiet.ws, faulty, quiet.messages);
  EXPECT_EQ(quiet.messages.size(), 1u);

  HexRead clean = Read(Record(0, 0, {1}) + kEnd, true);
  EXPECT_TRUE(clean.ws->files.StartupConfigLoad) << "a clean file leaves the flag for the next fault";
}

TEST(HexToObj, BinaryGarbageAndEndlessLinesGiveAMessageNotACrash) {
  std::string garbage(70000, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 131 + 7);
  HexRead r = Read(garbage);
  EXPECT_LE(r.length, 32766);
  HexRead endless = Read(":10" + std::string(100000, 'F'));
  EXPECT_EQ(endless.messages, std::vector<std::string>{"Checksum error at line 1 !"});
  HexRead none = Read("no records here\r\n");
  EXPECT_TRUE(none.messages.empty());
  EXPECT_EQ(none.length, 0);
}

}  // namespace
}  // namespace kvx
