#include "core/production/serial_number.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/production/serial_fixture.h"

namespace kvx {
namespace {

using namespace kvx::testing;

std::unique_ptr<Workspace> NumberWorkspace(int bytes, const std::string& value, int mode = 0,
                                           int increment = 1) {
  auto ws = NumberAt(0, bytes, value);
  ws->production.SerialStepMode = mode;
  ws->production.SerialIncrement = increment;
  return ws;
}

TEST(SerialNoNext, SequentialStepCarriesAndWrapsAsOneUnsignedNumber) {
  struct Case {
    int bytes;
    const char* start;
    int increment;
    const char* next;
  };
  const Case cases[] = {
      {2, "00FF", 1, "0100"},
      {2, "FFFF", 2, "0001"},
      {1, "FF", 255, "FE"},
      {1, "00", 255, "FF"},
      {3, "00FFFF", 1, "010000"},
      {4, "12FFFFF0", 0x20, "13000010"},
      {8, "FFFFFFFFFFFFFFFF", 1, "0000000000000000"},
  };
  for (const Case& c : cases) {
    auto ws = NumberWorkspace(c.bytes, c.start, 0, c.increment);
    SerialNoNext(*ws);
    EXPECT_EQ(SerialHexText(*ws), c.next) << c.start << " + " << c.increment;
  }
}

TEST(SerialNoNext, ShiftRegisterGivesTheOneByteSequenceFromZero) {
  auto ws = NumberWorkspace(1, "00", 1);
  std::vector<std::string> seen;
  for (int i = 0; i < 8; ++i) {
    SerialNoNext(*ws);
    seen.push_back(SerialHexText(*ws));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"01", "03", "06", "0D", "1B", "37", "6F", "DE"}));
}

TEST(SerialNoNext, ShiftRegisterVisitsEveryValueButAllOnesBeforeRepeating) {
  for (int bytes : {1, 2}) {
    auto ws = NumberWorkspace(bytes, std::string(2 * bytes, '0'), 1);
    const std::string start = SerialHexText(*ws);
    std::set<std::string> seen{start};
    long steps = 0;
    do {
      SerialNoNext(*ws);
      ++steps;
      ASSERT_NE(SerialHexText(*ws), std::string(2 * bytes, 'F'));
      seen.insert(SerialHexText(*ws));
    } while (SerialHexText(*ws) != start && steps <= (1L << (8 * bytes)));
    EXPECT_EQ(steps, (1L << (8 * bytes)) - 1) << bytes << " bytes";
    EXPECT_EQ(static_cast<long>(seen.size()), steps) << bytes << " bytes";
  }
}

TEST(SerialNoNext, ShiftRegisterOfEveryWidthKeepsAllOnesAndMovesEverythingElse) {
  for (int bytes = 1; bytes <= 8; ++bytes) {
    const std::string ones(2 * bytes, 'F');
    auto stuck = NumberWorkspace(bytes, ones, 1);
    SerialNoNext(*stuck);
    EXPECT_EQ(SerialHexText(*stuck), ones) << bytes;

    // The register shifts toward the most significant bit: from zero the first steps feed in ones.
    auto ws = NumberWorkspace(bytes, std::string(2 * bytes, '0'), 1);
    SerialNoNext(*ws);
    EXPECT_EQ(SerialHexText(*ws), std::string(2 * bytes - 2, '0') + "01") << bytes;
    if (bytes == 1) continue;  // its whole period is checked above
    std::set<std::string> seen;
    for (int i = 0; i < 5000; ++i) {
      SerialNoNext(*ws);
      seen.insert(SerialHexText(*ws));
      for (int slot = 0; slot < 8; ++slot) ASSERT_LE(ws->production.SerialValue[slot], 0xFF);
    }
    EXPECT_EQ(seen.size(), 5000u) << bytes << " bytes repeats early";
  }
}

TEST(SerialNoNext, ByteCountOutsideTheSlotsNeverReachesPastThem) {
  auto empty = std::make_unique<Workspace>();
  empty->production.SerialByteCount = 0;  // a QTP file that held only its end record
  empty->production.SerialValue[0] = 7;
  SerialNoNext(*empty);
  EXPECT_EQ(empty->production.SerialValue[0], 7);
  EXPECT_EQ(SerialHexText(*empty), "");

  auto wide = std::make_unique<Workspace>();
  wide->production.SerialByteCount = 40;
  wide->production.SerialStepMode = 1;
  SerialNoNext(*wide);
  EXPECT_EQ(SerialHexText(*wide).size(), 16u);
}

TEST(SerialNo2Memory, StampsEachByteIntoItsRtiwWordInTheChosenOrder) {
  struct Case {
    int order;
    int words[3];
  };
  const Case cases[] = {{0, {0x3112, 0x3134, 0x3156}}, {1, {0x3156, 0x3134, 0x3112}}};
  for (const Case& c : cases) {
    auto ws = NumberWorkspace(3, "123456");
    for (int k = 0; k < 3; ++k) PutWord(*ws, 0x100 + k, 0x3100);
    ws->production.SerialNoMode = true;
    ws->production.SerialStartAddress = 0x100;
    ws->production.SerialByteOrder = c.order;
    SerialNo2Memory(*ws);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(WordAt(*ws, 0x100 + k), c.words[k]) << c.order << k;
    EXPECT_EQ(ws->production.SerialText, "123456");
    EXPECT_EQ(WordAt(*ws, 0x103), 0x3FFF);
  }
}

TEST(SerialNo2Memory, HighBitOfTheByteGoesIntoBitZeroOfTheSecondStoredByte) {
  auto ws = NumberWorkspace(1, "A5");
  PutWord(*ws, 0x20, 0x3100);
  ws->production.SerialNoMode = true;
  ws->production.SerialStartAddress = 0x20;
  SerialNo2Memory(*ws);
  EXPECT_EQ(WordAt(*ws, 0x20), 0x31A5);
  ASSERT_TRUE(SetSerialHexText(*ws, "05"));
  SerialNo2Memory(*ws);  // the next number clears the bit again
  EXPECT_EQ(WordAt(*ws, 0x20), 0x3105);
}

TEST(SerialNo2Memory, ModeOffShowsTheNumberAndRecomputesTheChecksumWithoutStamping) {
  auto ws = NumberWorkspace(2, "BEEF");
  PutWord(*ws, 0, 0x3100);
  SerialNo2Memory(*ws);
  EXPECT_EQ(WordAt(*ws, 0), 0x3100);
  EXPECT_EQ(ws->production.SerialText, "BEEF");
  const std::string before = ws->panel.ChecksumText;
  ws->production.SerialNoMode = true;
  SerialNo2Memory(*ws);
  EXPECT_NE(ws->panel.ChecksumText, before);
  EXPECT_EQ(ws->panel.ChecksumText.size(), 4u);
}

TEST(SerialNo2Memory, AddressPastTheBufferIsNotWritten) {
  auto ws = NumberWorkspace(8, "0102030405060708");
  ws->production.SerialNoMode = true;
  ws->production.SerialStartAddress = kProgramWords - 3;
  const auto before = ws->image.ProgramBuffer;
  SerialNo2Memory(*ws);  // only the three words inside the buffer change
  int changedWords = 0;
  for (std::size_t i = 0; i < before.size(); i += 2)
    changedWords += before[i] != ws->image.ProgramBuffer[i] || before[i + 1] != ws->image.ProgramBuffer[i + 1];
  EXPECT_EQ(changedWords, 3);
  ws->production.SerialStartAddress = 0x7FFFFFFF;
  SerialNo2Memory(*ws);
  EXPECT_EQ(ws->production.SerialText, "0102030405060708");
}

TEST(SerialWordsAreRtiw, OnlyRtiwWordsInsideTheDeviceMemoryCarryANumber) {
  auto ws = std::make_unique<Workspace>();
  ASSERT_GE(GetICInfo(*ws, "KVX-04"), 0);  // 1024 words
  for (int a : {0x10, 0x11, 0x3FE, 0x3FF}) PutWord(*ws, a, 0x3100);
  PutWord(*ws, 0x11, 0x31FF);  // a stamped word is still RTIW
  EXPECT_TRUE(SerialWordsAreRtiw(*ws, 0x10, 2));
  EXPECT_FALSE(SerialWordsAreRtiw(*ws, 0x10, 3));
  EXPECT_TRUE(SerialWordsAreRtiw(*ws, 0x3FE, 2));
  PutWord(*ws, 0x400, 0x3100);  // in the buffer, but past the device's last word
  EXPECT_FALSE(SerialWordsAreRtiw(*ws, 0x3FF, 2));
  EXPECT_FALSE(SerialWordsAreRtiw(*ws, -1, 1));
  EXPECT_FALSE(SerialWordsAreRtiw(*ws, 0x10, 9));
  PutWord(*ws, 0x12, 0x3000);  // CALL, not RTIW
  EXPECT_FALSE(SerialWordsAreRtiw(*ws, 0x12, 1));
}

}  // namespace
}  // namespace kvx
