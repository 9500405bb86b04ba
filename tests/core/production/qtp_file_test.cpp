#include "core/production/qtp_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

#include "core/production/serial_fixture.h"
#include "core/production/serial_number.h"

namespace kvx {
namespace {

using namespace kvx::testing;

namespace fs = std::filesystem;

std::string Record(Workspace& ws) {
  std::ostringstream out;
  QTP_File(ws, out);
  return out.str();
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kvx_qtp_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  fs::path dir_;
};

TEST(QtpRecord, HoldsLengthAddressBytesWithRtiwAndALowByteChecksum) {
  struct Case {
    int address;
    int bytes;
    const char* value;
    int order;
    const char* record;
  };
  const Case cases[] = {
      {0x0010, 2, "1234", 0, ":040010001231343144\r\n"},
      {0x0110, 2, "1234", 0, ":040110001231343144\r\n"},  // the high address byte is not summed
      {0x0010, 2, "1234", 1, ":040010003431123144\r\n"},
      {0x0000, 1, "00", 0, ":020000000031CD\r\n"},
  };
  for (const Case& c : cases) {
    auto ws = NumberAt(c.address, c.bytes, c.value, c.order);
    EXPECT_EQ(Record(*ws), c.record) << c.value << " at " << c.address;
    EXPECT_NE(SerialHexText(*ws), c.value) << "the number moves on after its record";
  }
}

// One record per line fed to ReadSerialData: the message it gives and what the fields become.
struct ReadCase {
  const char* name;
  std::string text;
  std::string message;
  int byteCount;  // SerialByteCount afterwards
  int address;    // SerialStartAddress afterwards
};

TEST(ReadSerialData, MalformedRecordsGiveTheirMessageAndKeepWhatWasReadBefore) {
  const ReadCase cases[] = {
      {"empty file", "", kMsgQtpInformation, 5, 0x77},
      {"no colon", "040010001231343144\r\n", kMsgQtpInformation, 5, 0x77},
      {"length not hex", ":G40010001231343144\r\n", kMsgQtpInformation, 5, 0x77},
      {"more than 8 bytes", ":120010001231343144\r\n", kMsgQtpInformation, 5, 0x77},
      {"address not hex", ":04001X001231343144\r\n", kMsgQtpData, 2, 0x77},
      {"type not hex", ":0400100Z1231343144\r\n", kMsgQtpData, 2, 0x10},
      {"data without bytes", ":000010000031\r\n", kMsgQtpInformation, 0, 0x10},
      {"byte not hex", ":04001000XX31343144\r\n", kMsgQtpData, 2, 0x10},
      {"second byte not 31", ":040010001231343244\r\n", kMsgQtpData, 2, 0x10},
      {"first marker not 31", ":040010001230343144\r\n", kMsgQtpData, 2, 0x10},
      {"bad checksum", ":040010001231343145\r\n", kMsgQtpChecksum, 2, 0x10},
      {"cut short", ":0400100012313", kMsgQtpData, 2, 0x10},
      {"no checksum", ":0400100012313431", kMsgQtpData, 2, 0x10},
  };
  for (const ReadCase& c : cases) {
    auto ws = NumberAt(0x77, 5, "0000000000");
    ws->production.QtpFileLoaded = true;  // a record error leaves the flag as it was
    ws->production.QtpReadFile = std::make_unique<std::istringstream>(c.text);
    EXPECT_EQ(ReadSerialData(*ws), c.message) << c.name;
    EXPECT_EQ(ws->production.SerialByteCount, c.byteCount) << c.name;
    EXPECT_EQ(ws->production.SerialStartAddress, c.address) << c.name;
    EXPECT_TRUE(ws->production.QtpFileLoaded) << c.name;
  }
}

TEST(ReadSerialData, ReadsEightByteRecordsInEitherOrder) {
  const std::string record = ":10002000" "0131023103310431" "0531063107310831" "24\r\n";
  for (int order : {0, 1}) {
    auto ws = NumberAt(0, 1, "00", order);
    ws->production.QtpReadFile = std::make_unique<std::istringstream>(record);
    ASSERT_EQ(ReadSerialData(*ws), "") << order;
    EXPECT_EQ(ws->production.SerialByteCount, 8);
    EXPECT_EQ(ws->production.SerialStartAddress, 0x20);
    EXPECT_EQ(SerialHexText(*ws), order == 0 ? "0102030405060708" : "0807060504030201");
    EXPECT_TRUE(ws->production.QtpFileLoaded);
    EXPECT_FALSE(ws->production.QtpEndSeen);
  }
}

TEST(ReadSerialData, EndRecordReadsAsAnEmptyNumberAndMarksTheEnd) {
  auto ws = NumberAt(0x55, 2, "1234");
  ws->production.QtpReadFile = std::make_unique<std::istringstream>(kQtpEndRecord);
  EXPECT_EQ(ReadSerialData(*ws), "");
  EXPECT_TRUE(ws->production.QtpEndSeen);
  EXPECT_TRUE(ws->production.QtpFileLoaded);
  EXPECT_EQ(ws->production.SerialByteCount, 0);
  EXPECT_EQ(ws->production.SerialStartAddress, 0);
}

TEST(ReadSerialData, NextRecordStartsAfterCrLfOrALoneLf) {
  for (const char* eol : {"\r\n", "\n"}) {
    auto ws = NumberAt(0, 1, "00");
    ws->production.QtpReadFile = std::make_unique<std::istringstream>(
        std::string(":040010001231343144") + eol + ":040010001231353143" + eol + kQtpEndRecord);
    EXPECT_EQ(ReadSerialData(*ws), "");
    EXPECT_EQ(ReadSerialData(*ws), "");
    EXPECT_EQ(SerialHexText(*ws), "1235");
    EXPECT_EQ(ReadSerialData(*ws), "");
    EXPECT_TRUE(ws->production.QtpEndSeen);
  }
}

using QtpFileOnDisk = TempDir;

TEST_F(QtpFileOnDisk, WrittenFileReadsBackRecordByRecordUpToTheEnd) {
  auto ws = NumberAt(0x100, 3, "0000FE", 1);
  for (int k = 0; k < 3; ++k) PutWord(*ws, 0x100 + k, 0x3100);
  ws->production.SerialIncrement = 1;
  const std::string path = Path("parts.txt");
  ASSERT_EQ(WriteQtpFile(*ws, path, 3), "");
  const std::string text = Read(path);
  EXPECT_EQ(text.substr(text.size() - 11), kQtpEndRecord);
  EXPECT_EQ(SerialHexText(*ws), "000101");  // moved on by three numbers

  auto reader = NumberAt(0, 1, "00", 1);
  for (int k = 0; k < 3; ++k) PutWord(*reader, 0x100 + k, 0x3100);
  const QtpLoadResult loaded = LoadQtpFile(*reader, path);
  EXPECT_TRUE(loaded.loaded);
  EXPECT_TRUE(loaded.messages.empty());
  EXPECT_TRUE(reader->production.SerialNoMode);
  EXPECT_EQ(reader->production.QtpFileText, "parts.txt");
  EXPECT_EQ(SerialHexText(*reader), "0000FE");
  EXPECT_EQ(WordAt(*reader, 0x100), 0x31FE);  // LSB->MSB: the least significant byte first
  EXPECT_EQ(WordAt(*reader, 0x102), 0x3100);
  for (const char* next : {"0000FF", "000100"}) {
    ASSERT_EQ(ReadSerialData(*reader), "");
    EXPECT_EQ(SerialHexText(*reader), next);
  }
  ASSERT_EQ(ReadSerialData(*reader), "");
  EXPECT_TRUE(reader->production.QtpEndSeen);
}

TEST_F(QtpFileOnDisk, FailedWriteKeepsTheNumberAndLeavesNoFile) {
  auto ws = NumberAt(0x10, 1, "41");
  const std::string path = Path("missing/dir/parts.txt");
  EXPECT_EQ(WriteQtpFile(*ws, path, 5), kMsgCantSave);
  EXPECT_EQ(SerialHexText(*ws), "41");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 0);
}

TEST_F(QtpFileOnDisk, LoadRefusesUnreadableRecordsAndNonRtiwWords) {
  struct Case {
    const char* name;
    std::string text;
    bool rtiw;
    std::string message;
  };
  const Case cases[] = {
      {"checksum", ":040010001231343145\r\n", true, kMsgQtpChecksum},
      {"words not RTIW", ":040010001231343144\r\n", false, kMsgQtpNotRtiw},
      {"past the memory", ":0403FF001231343155\r\n", true, kMsgQtpNotRtiw},
  };
  for (const Case& c : cases) {
    auto ws = NumberAt(0, 1, "00");
    if (c.rtiw)
      for (int a : {0x10, 0x11, 0x3FF}) PutWord(*ws, a, 0x3100);
    ws->production.SerialNoMode = true;
    ws->production.QtpFileText = "old.txt";
    const std::string path = Path("load.txt");
    Write(path, c.text);
    const QtpLoadResult r = LoadQtpFile(*ws, path);
    EXPECT_FALSE(r.loaded) << c.name;
    EXPECT_EQ(r.messages, std::vector<std::string>{c.message}) << c.name;
    EXPECT_FALSE(ws->production.SerialNoMode) << c.name;
    EXPECT_FALSE(ws->production.QtpFileLoaded) << c.name;
    EXPECT_EQ(ws->production.QtpReadFile, nullptr) << c.name;
    EXPECT_EQ(ws->production.QtpFileText, "Disable") << c.name;
    EXPECT_EQ(WordAt(*ws, 0x10), c.rtiw ? 0x3100 : 0x3FFF) << c.name;
  }
}

TEST_F(QtpFileOnDisk, MissingFileIsPassedOverWithoutAMessage) {
  auto ws = NumberAt(0, 1, "00");
  ws->production.QtpRecordCount = 9;
  const QtpLoadResult r = LoadQtpFile(*ws, Path("nowhere.txt"));
  EXPECT_FALSE(r.loaded);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(ws->production.QtpRecordCount, 0);
  EXPECT_FALSE(LoadQtpFile(*ws, dir_.string()).loaded);  // a folder is no QTP file
}

TEST_F(QtpFileOnDisk, FileWithOnlyTheEndRecordSwitchesTheModeOnWithAnEmptyNumber) {
  auto ws = NumberAt(0, 2, "1234");
  const std::string path = Path("end.txt");
  Write(path, kQtpEndRecord);
  const QtpLoadResult r = LoadQtpFile(*ws, path);
  EXPECT_TRUE(r.loaded);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_TRUE(ws->production.SerialNoMode);
  EXPECT_EQ(ws->production.SerialByteCount, 0);
  EXPECT_EQ(ws->production.SerialText, "");
  SerialNoNext(*ws);  // nothing to advance, nothing breaks
}

}  // namespace
}  // namespace kvx

namespace kvx {
namespace {

// A copy of the workspace (each Writer of a production run works on one) reads the QTP file from
// where the original stands, on a stream of its own: neither moves the other.
TEST(ReadSerialData, ACopiedWorkspaceReadsOnFromTheSameRecordOnItsOwn) {
  const std::string record1 = ":02001000" "0131" "BC\r\n";
  const std::string record2 = ":02001000" "0231" "BB\r\n";
  const std::string record3 = ":02001000" "0331" "BA\r\n";
  auto ws = NumberAt(0, 1, "00");
  ws->production.QtpReadFile = std::make_unique<std::istringstream>(record1 + record2 + record3);
  ASSERT_EQ(ReadSerialData(*ws), "");
  ASSERT_EQ(SerialHexText(*ws), "01");

  Workspace copy(*ws);
  ASSERT_TRUE(copy.production.QtpReadFile);
  ASSERT_EQ(ReadSerialData(copy), "");
  EXPECT_EQ(SerialHexText(copy), "02");
  ASSERT_EQ(ReadSerialData(copy), "");
  EXPECT_EQ(SerialHexText(copy), "03");
  ASSERT_EQ(ReadSerialData(*ws), "");
  EXPECT_EQ(SerialHexText(*ws), "02") << "the copy's reads leave the original where it was";

  Workspace none;
  Workspace copied(none);
  EXPECT_FALSE(copied.production.QtpReadFile);
}

}  // namespace
}  // namespace kvx
