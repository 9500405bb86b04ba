#include <gtest/gtest.h>

#include "sim/chip_model.h"
#include "sim/sim_bench.h"

namespace kvx::sim {
namespace {

using namespace test;

// ---- Writer check and identification --------------------------------------------------------------

TEST(SimWriterCheck, AnswersItsTypeAndIdentification) {
  struct Case {
    const char* device;
    std::uint8_t typeByte;
    bool wrongWriterFault;
    LinkResult result;
  };
  const Case cases[] = {
      {"KVX-03", 0xB2, false, LinkResult::WriterType1}, {"KVX-19", 0xB3, false, LinkResult::WriterType2},
      {"KVX-19", 0xB2, false, LinkResult::WrongWriter}, {"KVX-03", 0xB4, true, LinkResult::WrongWriter},
      {"KVX-19", 0xB4, true, LinkResult::WrongWriter},  {"KVX-19", 0xB4, false, LinkResult::WriterAny},
  };
  for (const Case& c : cases) {
    Bench b(c.device, c.typeByte);
    b.writer.Faults().WrongWriter = c.wrongWriterFault;
    EXPECT_EQ(b.link.CheckWriter(true), c.result) << c.device << " " << int(c.typeByte);
  }
  Bench b("KVX-19");
  ASSERT_EQ(b.link.CheckWriter(true), LinkResult::WriterAny);
  EXPECT_EQ(b.ws.results.WriterId, " ZQR640B V3.10");
  EXPECT_EQ(b.ws.results.WriterVersion, "V3.10");
}

// ---- Reads of a blank chip --------------------------------------------------------------------------

TEST(SimWriterRead, BlankChipReadsAllOnesInEveryArea) {
  Bench b("KVX-01");
  EXPECT_EQ(b.Read(AreaOption, 6), LinkResult::Done);
  EXPECT_EQ(b.Received(6), Bytes(6, 0x7F));
  EXPECT_EQ(b.Read(AreaOption2, 6), LinkResult::Done);
  EXPECT_EQ(b.Received(6), Bytes(6, 0x7F));
  EXPECT_EQ(b.Read(AreaId, 32), LinkResult::Done);
  EXPECT_EQ(b.Received(32), Bytes(32, 0x7F));
  EXPECT_EQ(b.Read(AreaProgram, b.ws.device.ProgramBytes), LinkResult::Done);
  EXPECT_EQ(b.Received(b.ws.device.ProgramBytes), Bytes(b.ws.device.ProgramBytes, 0x7F));
}

TEST(SimWriterRead, EepromReadIsRawBytesWithoutEndMarker) {
  Bench b("KVX-01");
  const int m = b.ws.device.EepromBytes();
  b.writer.Chip().Eeprom[0] = 0xB8;  // a data byte that looks like the end marker
  b.writer.Chip().Eeprom[m - 1] = 0x00;
  b.link.GetHeader(AreaEeprom, ActionRead);
  EXPECT_EQ(b.link.Read8BitData(m), LinkResult::Done);
  EXPECT_EQ(b.ws.link.LinkBuffer[0], 0xB8);
  EXPECT_EQ(b.ws.link.LinkBuffer[1], 0xFF);
  EXPECT_EQ(b.ws.link.LinkBuffer[m - 1], 0x00);
  EXPECT_EQ(b.port.InQueCount(), 0);  // nothing after the last byte
}

// ---- Programming --------------------------------------------------------------------------------------

TEST(SimWriterProgram, ProgramStreamEndsWithFinishedAtTheAreasLastByte) {
  Bench b("KVX-03");
  Bytes image = StoredWords({0x0123, 0x0456});
  image.resize(b.ws.device.ProgramBytes, 0x7F);
  EXPECT_EQ(b.Program(AreaProgram, ActionProgram, image), LinkResult::WriteOk);
  EXPECT_EQ(b.writer.ReadBackWord(0), 0x0123);
  EXPECT_EQ(b.writer.ReadBackWord(1), 0x0456);
  EXPECT_EQ(b.writer.ReadBackWord(2), 0x3FFF);
  // header, the stream, and nothing after the Writer's 0xB0
  EXPECT_EQ(b.port.Sent().size(), 10u + b.ws.device.ProgramBytes);
  ASSERT_EQ(b.Read(AreaProgram, b.ws.device.ProgramBytes), LinkResult::Done);
  EXPECT_EQ(b.Received(4), StoredWords({0x0123, 0x0456}));
}

TEST(SimWriterProgram, OtpCellsOnlyGoFromOneToZero) {
  struct Case {
    int before, after;
    LinkResult result;
    int failIndex;
  };
  const Case cases[] = {
      {0x1234, 0x1230, LinkResult::WriteOk, -1},    // clears bits only
      {0x1234, 0x1235, LinkResult::WriteFail, 0},   // bit 0 back to 1: first byte
      {0x1234, 0x1A34, LinkResult::WriteFail, 1},   // bit 11 back to 1: second byte
  };
  for (const Case& c : cases) {
    Bench b("KVX-03");
    b.writer.Chip().Option[0] = static_cast<std::uint16_t>(c.before);
    b.ws.results.FailIndex = -1;
    EXPECT_EQ(b.Program(AreaOption, ActionProgram, StoredWords({c.after})), c.result) << c.after;
    EXPECT_EQ(b.ws.results.FailIndex, c.failIndex) << c.after;
  }
}

TEST(SimWriterProgram, FlashIsErasedToBlankAndRewritten) {
  Bench b("KVX-01");
  b.writer.InsertChip(ChipContent::Protected);
  b.link.GetHeader(AreaProgram, ActionErase);
  EXPECT_EQ(b.link.SendHeader(10), LinkResult::Done);
  EXPECT_EQ(b.writer.ReadBackWord(5), 0x3FFF);
  EXPECT_FALSE(b.writer.Chip().Protected);
  EXPECT_EQ(b.writer.Chip().Eeprom[3], 0xFF);
  b.writer.Chip().Option[0] = 0x0000;
  EXPECT_EQ(b.Program(AreaOption, ActionProgram, StoredWords({0x3FF5})), LinkResult::WriteOk);  // no 1->0 rule
  EXPECT_EQ(b.writer.Chip().Option[0], 0x3FF5);
}

TEST(SimWriterProgram, EepromStreamIsDataAndAddressPairs) {
  Bench b("KVX-01");
  const int m = b.ws.device.EepromBytes();
  Bytes pairs;
  for (int i = 0; i < m; ++i) {
    pairs.push_back(static_cast<std::uint8_t>(0xC0 + i));
    pairs.push_back(static_cast<std::uint8_t>(i & 0xFF));
  }
  EXPECT_EQ(b.Program(AreaEeprom, ActionProgramPulse, pairs), LinkResult::WriteOk);
  EXPECT_EQ(b.writer.Chip().Eeprom[0], 0xC0);
  EXPECT_EQ(b.writer.Chip().Eeprom[m - 1], static_cast<std::uint8_t>(0xC0 + m - 1));

  pairs[5] = 0x09;  // pair 2 names address 9
  b.ws.results.FailIndex = -1;
  EXPECT_EQ(b.Program(AreaEeprom, ActionProgramPulse, pairs), LinkResult::WriteFail);
  EXPECT_EQ(b.ws.results.FailIndex, 5);
}

// ---- Chips in the socket ------------------------------------------------------------------------------

TEST(SimWriterChip, ProgrammedChipFailsABlankCheck) {
  Bench b("KVX-03");
  b.writer.InsertChip(ChipContent::Programmed);
  ASSERT_EQ(b.Read(AreaProgram, b.ws.device.ProgramBytes), LinkResult::Done);
  bool anyProgrammed = false;
  for (int j = 0; j < b.ws.device.ProgramBytes; j += 2)
    anyProgrammed |= !IsBlankWord(b.ws.link.LinkBuffer[j], b.ws.link.LinkBuffer[j + 1], b.ws.device.BlankHigh);
  EXPECT_TRUE(anyProgrammed);
  EXPECT_EQ(b.Read(AreaOption, 2), LinkResult::Done);
  EXPECT_EQ(b.ws.link.LinkBuffer[1] & 0x40, 0x40);  // not protected
}

TEST(SimWriterChip, ProtectedChipHidesProgramBitsAndShowsSecurityOn) {
  struct Case {
    const char* device;
    std::uint16_t forced;
  };
  for (const Case& c : {Case{"KVX-03", 0x0F9F}, Case{"KVX-49", 0x079F}}) {
    Bench b(c.device);
    b.writer.InsertChip(ChipContent::Protected);
    const std::uint16_t stored = b.writer.Chip().Program[7];
    EXPECT_EQ(b.writer.ReadBackWord(7), stored | c.forced) << c.device;
    ASSERT_EQ(b.Read(AreaProgram, b.ws.device.ProgramBytes), LinkResult::Done);
    EXPECT_EQ(JoinWord(b.ws.link.LinkBuffer[14], b.ws.link.LinkBuffer[15]), stored | c.forced) << c.device;
    ASSERT_EQ(b.Read(AreaOption, 2), LinkResult::Done);
    EXPECT_EQ(b.ws.link.LinkBuffer[1] & 0x40, 0) << c.device;
  }
}

TEST(SimWriterChip, EmptySocketRefusesEveryHeader) {
  Bench b("KVX-01");
  b.writer.InsertChip(ChipContent::Empty);
  EXPECT_EQ(b.link.CheckWriter(false), LinkResult::WriterAny);  // the Writer itself still answers
  EXPECT_EQ(b.Read(AreaOption, 2), LinkResult::NoDevice);
  EXPECT_EQ(b.Program(AreaProgram, ActionProgram, Bytes(4, 0)), LinkResult::NoDevice);
  b.link.GetHeader(AreaProgram, ActionErase);
  EXPECT_EQ(b.link.SendHeader(10), LinkResult::NoDevice);
}

TEST(SimWriterChip, FreshChipEachPassSwapsOnlyAfterProgramming) {
  Bench b("KVX-03");
  b.writer.SetFreshChipEachPass(true);
  EXPECT_EQ(b.link.CheckWriter(false), LinkResult::WriterAny);
  EXPECT_EQ(b.writer.ChipsInserted(), 1);
  ASSERT_EQ(b.Program(AreaOption, ActionProgram, StoredWords({0x0000})), LinkResult::WriteOk);
  EXPECT_EQ(b.writer.Chip().Option[0], 0x0000);
  EXPECT_EQ(b.link.CheckWriter(false), LinkResult::WriterAny);
  EXPECT_EQ(b.writer.ChipsInserted(), 2);
  EXPECT_EQ(b.writer.Chip().Option[0], 0x3FFF);
  EXPECT_EQ(b.link.CheckWriter(false), LinkResult::WriterAny);
  EXPECT_EQ(b.writer.ChipsInserted(), 2);
}

TEST(SimWriterChip, ChipLogGetsEachChipThatTookAWriteOnceAsItLeaves) {
  Bench b("KVX-03");
  std::vector<std::string> log;
  b.writer.SetChipLog([&log](int number, const ChipModel& chip) { log.push_back(ChipLogLine(number, chip)); });
  b.writer.SetFreshChipEachPass(true);
  b.writer.InsertChip(ChipContent::Blank);  // chip 2 takes the place of an untouched chip 1
  EXPECT_TRUE(log.empty());
  Bytes image = StoredWords({0x0123, 0x3100 + 0xA5});
  image.resize(b.ws.device.ProgramBytes, 0x7F);
  ASSERT_EQ(b.Program(AreaProgram, ActionProgram, image), LinkResult::WriteOk);
  EXPECT_EQ(b.link.CheckWriter(false), LinkResult::WriterAny);  // chip 3 goes in
  ASSERT_EQ(b.Program(AreaOption, ActionProgram, StoredWords({0x0FF0})), LinkResult::WriteOk);
  b.writer.LogChipInSocket();
  b.writer.LogChipInSocket();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(log[0].starts_with("chip 2 program=012331A53FFF")) << log[0].substr(0, 40);
  EXPECT_NE(log[0].find(" option=3FFF"), std::string::npos);
  EXPECT_TRUE(log[1].starts_with("chip 3 program=3FFF3FFF")) << log[1].substr(0, 40);
  EXPECT_NE(log[1].find(" option=0FF0"), std::string::npos);
  EXPECT_NE(log[1].find(" id=3FFF"), std::string::npos);
}

// ---- Device download records ------------------------------------------------------------------------

TEST(SimWriterDownload, KeepsRecordsWhoseSumIsRight) {
  Bench b("KVX-03");
  b.ws.link.HeaderBytes.fill(0);
  b.ws.link.HeaderBytes[0] = 0xA9;
  b.ws.link.HeaderBytes[1] = 0x01;
  b.ws.link.HeaderBytes[2] = 'K';
  b.ws.link.HeaderBytes[31] = static_cast<std::uint8_t>(0x01 + 'K');
  EXPECT_EQ(b.link.SendHeader(32), LinkResult::Done);
  b.ws.link.HeaderBytes[31] ^= 0x01;
  EXPECT_EQ(b.link.SendHeader(32), LinkResult::BadReply);  // a wrong sum is refused
  const auto records = b.writer.DownloadRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0][2], 'K');
}

}  // namespace
}  // namespace kvx::sim
