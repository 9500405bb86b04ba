// Every worker against the simulated Writer: the lines the operator sees, in order and colour,
// for the good path and for each failure, and how the operation ended.
#include <gtest/gtest.h>

#include "core/ops/frame.h"
#include "core/ops/op_bench.h"

namespace kvx {
namespace {

using sim::ChipContent;
using testing::Bench;
using testing::kStreamStart;
using testing::Op;
using Lines = std::vector<std::string>;
using Arm = void (*)(Bench&);

constexpr long kOptionReadHeaderEnd = kStreamStart + 2 + 9;  // after the two OPTION bytes
constexpr long kReadStreamHeaderEnd = 40;                     // Writer check and three headers

std::vector<std::uint8_t> ReadStream(int dataBytes, std::vector<std::uint8_t> control = {}) {
  std::vector<std::uint8_t> s(static_cast<std::size_t>(dataBytes), 0x15);
  s.insert(s.begin() + 100, control.begin(), control.end());
  s.push_back(kEndOfData);
  return s;
}

struct Case {
  const char* name;
  Op op;
  const char* device;
  Arm arm;
  OpOutcome outcome;
  Lines tail;  // the last lines written
};

void None(Bench&) {}

const Case kCases[] = {
    // ---- Blank check and erase -------------------------------------------------------------
    {"blank chip", Op::BlankCheck, "KVX-03", None, OpOutcome::Ok,
     {"StaticText1: Blank Check", "Label2: OPTION ....... OK", "Label3: ID Checksum ......... OK.",
      "Label4: Data ......... OK."}},
    {"erase first", Op::BlankCheck, "KVX-01", [](Bench& b) { b.writer.InsertChip(ChipContent::Programmed); b.ws.command.EraseRequested = true; },
     OpOutcome::Ok, {"StaticText1: Erase Flash Memory", "Label1: Erase flash memory...", "Label1: Erase End",
                     "Label2: OPTION ....... OK", "Label3: ID Checksum ......... OK.", "Label4: Data ......... OK."}},
    {"first word not blank", Op::BlankCheck, "KVX-03", [](Bench& b) { b.writer.Chip().Program[0] = 0x0123; },
     OpOutcome::ChipFailed, {"Label4: Data ....... Not Blank!!", "Label5: Error at 0000h = 0x0123"}},
    {"last word not blank", Op::BlankCheck, "KVX-03", [](Bench& b) { b.writer.Chip().Program[0x1FF] = 0x1234; },
     OpOutcome::ChipFailed, {"Label4: Data ....... Not Blank!!", "Label5: Error at 01FFh = 0x1234"}},
    {"second byte 0x0E under BlankHigh 0x0F", Op::BlankCheck, "KVX-49", [](Bench& b) { b.writer.Chip().Program[5] = 0x77F; },
     OpOutcome::ChipFailed, {"Label4: Data ....... Not Blank!!", "Label5: Error at 0005h = 0x077F"}},
    {"OPTION bit outside the mask", Op::BlankCheck, "KVX-03", [](Bench& b) { b.writer.Chip().Option[0] = 0x2FFF; },
     OpOutcome::Ok, {"Label4: Data ......... OK."}},
    {"OPTION not blank", Op::BlankCheck, "KVX-03", [](Bench& b) { b.writer.Chip().Option[0] = 0x3FFE; },
     OpOutcome::ChipFailed, {"Label2: OPTION ....... Not Blank!!"}},
    {"Writer's words are not tested", Op::BlankCheck, "KVX-03", [](Bench& b) { b.writer.Chip().Id[8] = 0; },
     OpOutcome::Ok, {"Label4: Data ......... OK."}},
    {"checksum word not blank", Op::BlankCheck, "KVX-03", [](Bench& b) { b.writer.Chip().Id[7] = 0; },
     OpOutcome::ChipFailed, {"Label3: ID Checksum ....... Not Blank!! (red)"}},
    {"empty socket", Op::BlankCheck, "KVX-03", [](Bench& b) { b.writer.Faults().NoChip = true; },
     OpOutcome::NoChip, {"Label2: Nothing in socket or type error!! (red)"}},
    {"adapter board", Op::BlankCheck, "KVX-03", [](Bench& b) { b.writer.Faults().AdapterError = true; },
     OpOutcome::LinkFailed, {"Label2: IC adapter board error!! (red)"}},
    {"unexpected reply", Op::BlankCheck, "KVX-03", [](Bench& b) { b.writer.Faults().BadReply = true; },
     OpOutcome::LinkFailed, {"Label2: Writer Error!! (red)"}},
    {"no clear-to-send", Op::BlankCheck, "KVX-03", [](Bench& b) { b.writer.Faults().CtsInactive = true; },
     OpOutcome::LinkFailed, {"Label3: Connect Timeout!! (red)"}},
    {"wrong Writer", Op::BlankCheck, "KVX-03", [](Bench& b) { b.writer.Faults().WrongWriter = true; },
     OpOutcome::LinkFailed, {"Label3: Writer type is error! (red)"}},
    {"silent at the ID read", Op::BlankCheck, "KVX-03", [](Bench& b) { b.writer.Faults().SilentAfter = 11; },
     OpOutcome::LinkFailed, {"Label3: Connect Timeout!! (red)"}},
    {"erase refused", Op::BlankCheck, "KVX-01", [](Bench& b) { b.ws.command.EraseRequested = true; b.writer.Faults().NoChip = true; },
     OpOutcome::NoChip, {"Label1: Nothing in socket or type error!! (red)"}},
    {"unknown device", Op::BlankCheck, "KVX-03", [](Bench& b) { b.ws.device.DeviceIndex = -1; },
     OpOutcome::Refused, {"Label2: Unknow IC Type!!"}},

    // ---- Read: each wait has its own numbered time-out ----------------------------------------
    {"flash chip", Op::Read, "KVX-01", None, OpOutcome::Ok,
     {"Label1: Read OPTION OK!", "Label2: Read ID and Checksum OK!", "Label3: Read Data OK", "EEInfo: Read EEPROM OK!"}},
    {"timeout 1", Op::Read, "KVX-03", [](Bench& b) { b.writer.Faults().CtsInactive = true; },
     OpOutcome::LinkFailed, {"Label1: Connect Timeout!! (1) (red)"}},
    {"timeout 2", Op::Read, "KVX-03", [](Bench& b) { b.writer.Faults().SilentAfter = 1; },
     OpOutcome::LinkFailed, {"Label1: Connect Timeout!! (2) (red)"}},
    {"timeout 3", Op::Read, "KVX-03", [](Bench& b) { b.writer.Faults().SilentAfter = 11; },
     OpOutcome::LinkFailed, {"Label1: Connect Timeout!! (3) (red)"}},
    {"timeout 4", Op::Read, "KVX-03", [](Bench& b) { b.writer.Faults().SilentAfter = 21; },
     OpOutcome::LinkFailed, {"Label2: Connect Timeout!! (4) (red)"}},
    {"timeout 5", Op::Read, "KVX-03",
     [](Bench& b) { b.When("Label2", "Read ID and Checksum OK!", [&b] { b.writer.Faults().CtsInactive = true; }); },
     OpOutcome::LinkFailed, {"Label3: Connect Timeout!! (5) (red)"}},
    {"timeout 6", Op::Read, "KVX-03", [](Bench& b) { b.writer.Faults().SilentAfter = 31; },
     OpOutcome::LinkFailed, {"Label3: Connect Timeout!! (6) (red)"}},
    {"timeout 7", Op::Read, "KVX-01", [](Bench& b) { b.writer.Faults().SilentAfter = 41; },
     OpOutcome::LinkFailed, {"Label3: Read Data OK", "EEInfo: Connect Timeout!! (7) (red)"}},
    {"OPTION step Writer error goes on the ID line", Op::Read, "KVX-03", [](Bench& b) { b.writer.Faults().BadReply = true; },
     OpOutcome::LinkFailed, {"Label2: Writer Error!! (red)"}},
    {"OPTION step empty socket", Op::Read, "KVX-03", [](Bench& b) { b.writer.Faults().NoChip = true; },
     OpOutcome::NoChip, {"Label1: Nothing in socket or type error!! (red)"}},
    {"end marker before all bytes", Op::Read, "KVX-03", [](Bench& b) { b.port.ReplaceAnswer(kReadStreamHeaderEnd, ReadStream(1000)); },
     OpOutcome::LinkFailed, {"Label3: Read error!! (red)"}},
    {"extra bytes and control bytes", Op::Read, "KVX-03",
     [](Bench& b) { b.port.ReplaceAnswer(kReadStreamHeaderEnd, ReadStream(1024 + 40, {0x80, 0xB5})); },
     OpOutcome::Ok, {"Label3: Read Data OK"}},
    {"adapter byte in the stream", Op::Read, "KVX-03", [](Bench& b) { b.port.ReplaceAnswer(kReadStreamHeaderEnd, {1, 2, 0xFD}); },
     OpOutcome::LinkFailed, {"Label3: IC adapter board error!! (red)"}},
    {"unknown device", Op::Read, "KVX-03", [](Bench& b) { b.ws.device.DeviceIndex = -1; },
     OpOutcome::Refused, {"Label1: Unknow IC Type!! (red)"}},

    // ---- Program memory -------------------------------------------------------------------------
    {"programs and verifies", Op::ProgramMemory, "KVX-03", None, OpOutcome::Ok,
     {"Label2: 01F0", "Label2: 01FF", "Label1: Program Ok!!", "Label2: Data verify OK!!"}},
    {"blank buffer", Op::ProgramMemory, "KVX-03", [](Bench& b) { b.ws.image.ProgramBuffer.fill(0x7F); },
     OpOutcome::Refused, {"Label1: Data memory are blank or error! (red)"}},
    {"chip refuses byte 101", Op::ProgramMemory, "KVX-03", [](Bench& b) { b.writer.Faults().WriteFailAt = 101; },
     OpOutcome::ChipFailed, {"Label2: 0032", "Label1: Programming fail !! (red)"}},
    {"empty socket in the stream", Op::ProgramMemory, "KVX-03", [](Bench& b) { b.port.ReplaceAnswer(kStreamStart + 3, {0xFE}); },
     OpOutcome::NoChip, {"Label1: Nothing in socket or type error! (red)"}},
    {"adapter byte is unknown in the stream", Op::ProgramMemory, "KVX-03",
     [](Bench& b) { b.port.ReplaceAnswer(kStreamStart + 3, {0xFD}); },
     OpOutcome::LinkFailed, {"Label1: Unknow return value!! (red)"}},
    {"end on the first byte", Op::ProgramMemory, "KVX-03",
     [](Bench& b) {
       b.ws.image.ProgramBuffer.fill(0x7F);
       b.ws.image.ProgramBuffer[0] = 0x12;
       b.port.ReplaceAnswer(kStreamStart, {kWriteFinished});
       b.When("Label1", "Program Ok!!", [&b] { b.Pause(); });
     },
     OpOutcome::Ok, {"Label2: 0000", "Label1: Program Ok!!", "Label2: Data verify OK!!"}},
    {"verify mismatch", Op::ProgramMemory, "KVX-03",
     [](Bench& b) { b.When("Label1", "Program Ok!!", [&b] { b.writer.Chip().Program[7] ^= 1; }); },
     OpOutcome::ChipFailed, {"Label1: Program Ok!!", "Label2: Data verify Fail!! (red)"}},
    {"header refused", Op::ProgramMemory, "KVX-03", [](Bench& b) { b.writer.Faults().AdapterError = true; },
     OpOutcome::LinkFailed, {"Label1: IC adapter board error!! (red)"}},

    // ---- Program OPTION ------------------------------------------------------------------------
    {"OPTION", Op::ProgramOption, "KVX-03", None, OpOutcome::Ok, {"Label1: OPTION program && verify OK!!"}},
    {"blank field", Op::ProgramOption, "KVX-03", [](Bench& b) { b.ws.results.OptionStatus = 1; },
     OpOutcome::Refused, {"Label1: Some Options are Blank !! (red)"}},
    {"invalid field", Op::ProgramOption, "KVX-03", [](Bench& b) { b.ws.results.OptionStatus = 2; },
     OpOutcome::Refused, {"Label1: Some Options are Error !! (red)"}},
    {"both", Op::ProgramOption, "KVX-03", [](Bench& b) { b.ws.results.OptionStatus = 3; },
     OpOutcome::Refused, {"Label1: Some Options are Blank or Error!! (red)"}},
    {"read-back differs outside the mask", Op::ProgramOption, "KVX-03",
     [](Bench& b) { b.port.ReplaceAnswer(kOptionReadHeaderEnd, {b.ws.image.OptionLow, static_cast<std::uint8_t>(b.ws.image.OptionHigh ^ 0x20), 0xB8}); },
     OpOutcome::Ok, {"Label1: OPTION program && verify OK!!"}},
    {"read-back differs", Op::ProgramOption, "KVX-03",
     [](Bench& b) { b.port.ReplaceAnswer(kOptionReadHeaderEnd, {static_cast<std::uint8_t>(b.ws.image.OptionLow ^ 1), b.ws.image.OptionHigh, 0xB8}); },
     OpOutcome::ChipFailed, {"Label1: OPTION verify Fail!! (red)"}},
    {"write fails", Op::ProgramOption, "KVX-03", [](Bench& b) { b.writer.Faults().WriteFailAt = 1; },
     OpOutcome::ChipFailed, {"Label1: OPTION program fail !! (red)"}},
    {"finished after one byte", Op::ProgramOption, "KVX-03", [](Bench& b) { b.port.ReplaceAnswer(kStreamStart, {0xB0}); },
     OpOutcome::LinkFailed, {"Label1: Writer Error!! (red)"}},

    // ---- Program ID ----------------------------------------------------------------------------
    {"ID", Op::ProgramId, "KVX-03", None, OpOutcome::Ok, {"Label1: Program Ok!!", "Label2: ID && Checksum verify OK!!"}},
    {"ID word 0 fails", Op::ProgramId, "KVX-03", [](Bench& b) { b.writer.Faults().WriteFailAt = 0; },
     OpOutcome::ChipFailed, {"Label1: Program ID fail at address 0000 !! (red)"}},
    {"ID word 4 fails", Op::ProgramId, "KVX-03", [](Bench& b) { b.writer.Faults().WriteFailAt = 9; },
     OpOutcome::ChipFailed, {"Label1: Program ID fail at address 0004 !! (red)"}},
    {"word 5 counts as the checksum", Op::ProgramId, "KVX-03", [](Bench& b) { b.writer.Faults().WriteFailAt = 10; },
     OpOutcome::ChipFailed, {"Label1: Checksum program fail !! (red)"}},
    {"ID differs", Op::ProgramId, "KVX-03", [](Bench& b) { b.When("Label1", "Program Ok!!", [&b] { b.writer.Chip().Id[2] ^= 1; }); },
     OpOutcome::ChipFailed, {"Label2: ID verify fail!! (red)"}},
    {"checksum differs", Op::ProgramId, "KVX-03", [](Bench& b) { b.When("Label1", "Program Ok!!", [&b] { b.writer.Chip().Id[7] ^= 1; }); },
     OpOutcome::ChipFailed, {"Label2: Checksum verify fail!! (red)"}},
    {"both differ", Op::ProgramId, "KVX-03",
     [](Bench& b) { b.When("Label1", "Program Ok!!", [&b] { b.writer.Chip().Id[0] ^= 1; b.writer.Chip().Id[6] ^= 1; }); },
     OpOutcome::ChipFailed, {"Label2: ID && Checksum verify fail!! (red)"}},

    // ---- Program EEPROM ------------------------------------------------------------------------
    {"EEPROM", Op::ProgramEeprom, "KVX-01", None, OpOutcome::Ok, {"Label1: EEPROM Program Ok!!", "Label3: EEPROM Data Verify OK!!"}},
    {"EEPROM pair 3 fails", Op::ProgramEeprom, "KVX-01", [](Bench& b) { b.writer.Faults().WriteFailAt = 7; },
     OpOutcome::ChipFailed, {"Label1: EEPROM program fail at 0003H (red)"}},
    {"EEPROM differs at 0", Op::ProgramEeprom, "KVX-01",
     [](Bench& b) { b.When("Label1", "EEPROM Program Ok!!", [&b] { b.writer.Chip().Eeprom[0] = 0x5A; }); },
     OpOutcome::ChipFailed, {"Label3: Data Verify error at 0000H", "Label2: IC=5AH, Buffer=03H"}},
    {"EEPROM read-back silent", Op::ProgramEeprom, "KVX-01", [](Bench& b) { b.writer.Faults().SilentAfter = kStreamStart + 256; },
     OpOutcome::LinkFailed, {"Label3: Connect Timeout!! (red)"}},

    // ---- Verify ----------------------------------------------------------------------------------
    {"matching OTP chip", Op::Verify, "KVX-03", [](Bench& b) { b.ChipFromBuffer(); }, OpOutcome::Ok,
     {"StaticText1: Verify", "Label2: OPTION verify OK!!", "Label4: ID && Checksum verify OK!!", "Label5: Data verify OK!!"}},
    {"matching flash chip", Op::Verify, "KVX-01", [](Bench& b) { b.ChipFromBuffer(); }, OpOutcome::Ok,
     {"Label5: Data verify OK!!", "EEInfo: EEPROM Data Verify OK!!"}},
    {"OPTION and checksum differ, the verify goes on", Op::Verify, "KVX-03",
     [](Bench& b) { b.ChipFromBuffer(); b.writer.Chip().Option[0] ^= 1; b.writer.Chip().Id[6] ^= 1; },
     OpOutcome::ChipFailed, {"Label2: OPTION verify Fail!! (red)", "Label4: Checksum verify fail!! (red)", "Label5: Data verify OK!!"}},
    {"last word differs", Op::Verify, "KVX-03",
     [](Bench& b) { b.ChipFromBuffer(); b.writer.Chip().Program[0x1FF] = 0x0ABC; b.ws.image.ProgramBuffer[0x3FE] = 0x11; b.ws.image.ProgramBuffer[0x3FF] = 0x22; },
     OpOutcome::ChipFailed, {"Label5: Data Verify error at 01FFH", "Label3: IC=0ABCH, Buffer=1111H"}},
    {"EEPROM differs", Op::Verify, "KVX-01", [](Bench& b) { b.ChipFromBuffer(); b.writer.Chip().Eeprom[5] = 0x12; },
     OpOutcome::ChipFailed, {"EEInfo: EEPROM Data Verify error at 0005H", "Label3: IC=12H, Buffer=26H"}},
    {"protected chip differs only where it hides bits", Op::Verify, "KVX-03",
     [](Bench& b) { b.ChipFromBuffer(); b.writer.Chip().Protected = true; b.writer.Chip().Program[3] ^= 0x0F9F; b.ws.command.VerifyWithProtect = true; },
     OpOutcome::Ok, {"Label5: Data verify OK!!"}},
    {"protected chip differs in bit 12", Op::Verify, "KVX-03",
     [](Bench& b) {
       b.ws.image.ProgramBuffer[6] = 0x00; b.ws.image.ProgramBuffer[7] = 0x00;
       b.ChipFromBuffer(); b.writer.Chip().Protected = true; b.writer.Chip().Program[3] = 0x1000; b.ws.command.VerifyWithProtect = true;
     },
     OpOutcome::ChipFailed, {"Label5: Data Verify error at 0003H", "Label3: IC=1F9FH, Buffer=0F9FH"}},
    {"unprotected chip", Op::Verify, "KVX-03",
     [](Bench& b) { b.ws.image.OptionHigh |= 0x40; b.ChipFromBuffer(); b.ws.command.VerifyWithProtect = true; },
     OpOutcome::ChipFailed, {"StaticText1: Verify with Protect", "Label2: OPTION verify OK!!", "Label4: IC no protected!! (red)"}},
    {"silent at the OPTION read", Op::Verify, "KVX-03", [](Bench& b) { b.writer.Faults().SilentAfter = 1; },
     OpOutcome::LinkFailed, {"Label2: Connect Timeout!! (red)"}},
    {"silent at the ID read", Op::Verify, "KVX-03", [](Bench& b) { b.ChipFromBuffer(); b.writer.Faults().SilentAfter = 11; },
     OpOutcome::LinkFailed, {"Label4: Connect Timeout!! (red)"}},
    {"silent at the memory read", Op::Verify, "KVX-03", [](Bench& b) { b.ChipFromBuffer(); b.writer.Faults().SilentAfter = 21; },
     OpOutcome::LinkFailed, {"Label5: Connect Timeout!! (red)"}},
    {"silent at the EEPROM read", Op::Verify, "KVX-01", [](Bench& b) { b.ChipFromBuffer(); b.writer.Faults().SilentAfter = 31; },
     OpOutcome::LinkFailed, {"EEInfo: Connect Timeout!! (red)"}},
    {"unknown device", Op::Verify, "KVX-03", [](Bench& b) { b.ws.device.DeviceIndex = -1; },
     OpOutcome::Refused, {"StaticText1: Verify", "Label2: Unknow IC Type!! (red)"}},

    // ---- Force write ----------------------------------------------------------------------------
    {"force write", Op::ForceWrite, "KVX-03", None, OpOutcome::Ok,
     {"Label2: ", "Label3: ", "Label1: Program Memory...", "Label1: Program memory Ok!!", "Label2: Data verify OK!!"}},
    {"simulated", Op::ForceWrite, "KVX-03", [](Bench& b) { b.ws.production.QtpSimulate = true; },
     OpOutcome::Ok, {"Label2: ", "Label3: ", "Label1: Simulate Programming OK!"}},
    {"differs only outside bits 5 and 6", Op::ForceWrite, "KVX-03",
     [](Bench& b) { b.When("Label1", "Program memory Ok!!", [&b] { b.writer.Chip().Program[3] ^= 0x0F9F; }); },
     OpOutcome::Ok, {"Label2: Data verify OK!!"}},
    {"second byte of word 3 differs", Op::ForceWrite, "KVX-03",
     [](Bench& b) {
       b.ws.image.ProgramBuffer[6] = 0x01; b.ws.image.ProgramBuffer[7] = 0x02;
       b.When("Label1", "Program memory Ok!!", [&b] { b.writer.Chip().Program[3] = 0x1101; });
     },
     OpOutcome::ChipFailed, {"Label2: Data Verify error at 0003H", "Label3: IC=1101H, Buffer=0101H"}},
    {"programming fails", Op::ForceWrite, "KVX-03", [](Bench& b) { b.port.ReplaceAnswer(kStreamStart + 20, {0xB1}); },
     OpOutcome::ChipFailed, {"Label1: Programming memory fail!! (red)"}},
    {"empty socket", Op::ForceWrite, "KVX-03", [](Bench& b) { b.port.ReplaceAnswer(kStreamStart + 20, {0xFE}); },
     OpOutcome::NoChip, {"Label1: Nothing in socket or type error! (red)"}},
    {"adapter board", Op::ForceWrite, "KVX-03", [](Bench& b) { b.port.ReplaceAnswer(kStreamStart + 20, {0xFD}); },
     OpOutcome::LinkFailed, {"Label1: IC adapter board error! (red)"}},
    {"unknown reply", Op::ForceWrite, "KVX-03", [](Bench& b) { b.port.ReplaceAnswer(kStreamStart + 20, {0x42}); },
     OpOutcome::LinkFailed, {"Label1: Unknow return value!! (red)"}},
    {"read-back silent", Op::ForceWrite, "KVX-03", [](Bench& b) { b.writer.Faults().SilentAfter = kStreamStart + 1024; },
     OpOutcome::LinkFailed, {"Label2: Connect Timeout!! (red)"}},
};

TEST(Workers, ShowEachOutcomeOnItsLines) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Bench b(c.device);
    b.LoadProgram();
    c.arm(b);
    EXPECT_EQ(b.Run(c.op), c.outcome);
    EXPECT_EQ(b.view.Tail(c.tail.size()), c.tail);
    EXPECT_TRUE(b.view.Enabled(testing::Entry(c.op).endButton));
  }
}

// The hidden values line is written before it appears, so its design text never shows.
TEST(Workers, MismatchValuesAreWrittenBeforeTheirLineAppears) {
  int checked = 0;
  for (const Case& c : kCases) {
    const std::string& last = c.tail.back();
    const auto colon = last.find(": IC=");
    if (colon == std::string::npos) continue;
    SCOPED_TRACE(c.name);
    Bench b(c.device);
    b.LoadProgram();
    c.arm(b);
    b.Run(c.op);
    const std::string control = last.substr(0, colon);
    const auto& calls = b.view.Calls();
    const auto text = std::find_if(calls.begin(), calls.end(), [&](const testing::ViewCall& call) {
      return call.kind == testing::ViewCall::Text && call.control == control && call.text == last.substr(colon + 2);
    });
    const auto shown = std::find_if(calls.begin(), calls.end(), [&](const testing::ViewCall& call) {
      return call.kind == testing::ViewCall::Visible && call.control == control && call.value == 1;
    });
    ASSERT_NE(text, calls.end());
    ASSERT_NE(shown, calls.end());
    EXPECT_LT(text - calls.begin(), shown - calls.begin());
    EXPECT_TRUE(b.view.Visible(control));
    ++checked;
  }
  EXPECT_EQ(checked, 5);  // Verify (memory, protected memory, EEPROM), Program EEPROM, Force Write
}

TEST(Workers, RefusalsSendNothing) {
  for (const Case& c : kCases) {
    if (c.outcome != OpOutcome::Refused) continue;
    SCOPED_TRACE(c.name);
    Bench b(c.device);
    b.LoadProgram();
    c.arm(b);
    b.Run(c.op);
    EXPECT_EQ(b.port.BytesWritten(), 0);
  }
}

// Programming then verifying the same chip proves what went into it.
TEST(Workers, ProgrammedChipVerifies) {
  for (const char* device : {"KVX-03", "KVX-49", "KVX-01"}) {
    SCOPED_TRACE(device);
    Bench b(device);
    b.LoadProgram();
    for (Op op : {Op::ProgramMemory, Op::ProgramId, Op::ProgramOption, Op::ProgramEeprom, Op::Verify}) {
      if (op == Op::ProgramEeprom && b.ws.device.MemoryKind != 2) continue;
      EXPECT_EQ(b.Run(op), OpOutcome::Ok) << static_cast<int>(op);
    }
    EXPECT_FALSE(b.view.Lines().empty());
  }
}

TEST(Workers, ElevenBitWordsGoOutWithBits4To6Set) {
  Bench b("KVX-49");
  b.LoadProgram();
  b.Run(Op::ProgramOption);
  EXPECT_EQ(b.sim.Sent()[kStreamStart + 1], b.ws.image.OptionHigh | 0x70);
}

TEST(Workers, ReadFillsTheWorkspaceAndTheGauge) {
  Bench b("KVX-01", ChipContent::Programmed);
  b.writer.Chip().Option = {0x1A34, 0x0567, 0x3FFF};  // fixed OPTION bits already set
  b.writer.Chip().Option2 = {0x0001, 0x0AB2, 0x1C3D};
  b.writer.Chip().Eeprom[5] = 0x99;
  EXPECT_EQ(b.Run(Op::Read), OpOutcome::Ok);
  EXPECT_TRUE(b.ws.results.ReadCompleted);
  for (int k = 0; k < b.ws.device.ProgramWords(); ++k) ASSERT_EQ(b.BufferWord(k), b.writer.ReadBackWord(k)) << k;
  EXPECT_EQ(JoinWord(b.ws.image.OptionLow, b.ws.image.OptionHigh), 0x1A34);
  EXPECT_EQ(JoinWord(b.ws.image.OptionExtra[0], b.ws.image.OptionExtra[1]), 0x0567);
  EXPECT_EQ(JoinWord(b.ws.image.OptionExtra2[2], b.ws.image.OptionExtra2[3]), 0x1C3D);
  EXPECT_EQ(b.ws.image.EepromBuffer[5], 0x99);
  const auto& g = b.view.GaugeValues();
  EXPECT_EQ(g.front(), 0);
  EXPECT_EQ(g.back(), 100);
  EXPECT_LE(g.size(), 102u);
  EXPECT_TRUE(std::is_sorted(g.begin(), g.end()));

  Bench shortStream;  // nothing is stored from a stream that ended early
  shortStream.port.ReplaceAnswer(kReadStreamHeaderEnd, ReadStream(1000));
  const auto kept = shortStream.ws.image.ProgramBuffer;
  shortStream.Run(Op::Read);
  EXPECT_EQ(shortStream.ws.image.ProgramBuffer, kept);
  EXPECT_FALSE(shortStream.ws.results.ReadCompleted);
  EXPECT_FALSE(shortStream.view.Visible("EEInfo"));
}

TEST(Workers, StreamTimeoutsLastThreeTicksOrTwoInForceWrite) {
  for (Op op : {Op::ProgramMemory, Op::ForceWrite}) {
    Bench b;
    b.LoadProgram();
    b.writer.Faults().SilentAfter = kStreamStart + 64;
    const TimePoint start = b.clock.Now();
    EXPECT_EQ(b.Run(op), OpOutcome::LinkFailed);
    EXPECT_EQ(b.view.Lines().back(), "Label1: Connect Timeout!! (red)");
    const auto ticks = std::chrono::duration_cast<std::chrono::seconds>(b.clock.Now() - start).count();
    EXPECT_EQ(ticks, op == Op::ForceWrite ? 2 : 3);
  }
}

TEST(Workers, ForceWriteCountsEveryChipThatReachedTheVerify) {
  Bench b;
  b.LoadProgram();
  b.ws.production.PassCount = 41;
  b.Run(Op::ForceWrite);
  EXPECT_EQ(b.ws.production.PassCount, 42);
  b.writer.InsertChip(ChipContent::Blank);
  b.port.ReplaceAnswer(b.port.BytesWritten() + kStreamStart + 5, {kWriteFailed});
  b.Run(Op::ForceWrite);  // "Continue" with the next chip, which fails
  EXPECT_EQ(b.ws.production.PassCount, 42);
  EXPECT_TRUE(b.view.Enabled("Button2"));

  Bench silent;
  silent.LoadProgram();
  silent.writer.Faults().SilentAfter = kStreamStart + 1024;
  silent.Run(Op::ForceWrite);
  EXPECT_FALSE(silent.view.Enabled("Button2"));  // a failed read-back leaves only "Exit"
  EXPECT_EQ(silent.ws.production.PassCount, 0);
}

}  // namespace
}  // namespace kvx
