// Auto Program passes against the simulated Writer: the whole sequence, serial numbers over
// several chips, what counts and what does not.
#include "core/production/auto_program.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "core/ops/frame.h"
#include "core/production/commands.h"
#include "core/ops/op_bench.h"

namespace kvx {
namespace {

using sim::ChipContent;
using testing::Bench;
using testing::RecordingView;
using testing::ViewCall;
using Lines = std::vector<std::string>;

constexpr int kSerialAddress = 0x10;

AutoPassResult Pass(Bench& b) {
  OperationContext ctx{b.ws, b.port, b.clock, b.view, b.stop.get_token()};
  return AutoProgramPass(ctx);
}
AutoPassResult FirstPass(Bench& b) {
  b.view.Open(AutoProgramDialog());
  return Pass(b);
}
// "Continue": the dialog is reset, then the next pass runs.
AutoPassResult NextPass(Bench& b) {
  PrepareNextPass(b.view);
  b.view.ClearRecord();
  return Pass(b);
}

// A program with RTIW words where the serial number goes, and serial mode on.
void SerialSetup(Bench& b, int bytes, std::array<int, 8> start, int stepMode = 0) {
  b.LoadProgram();
  for (int k = 0; k < bytes; ++k) {
    b.ws.image.ProgramBuffer[2 * (kSerialAddress + k)] = 0x00;
    b.ws.image.ProgramBuffer[2 * (kSerialAddress + k) + 1] = 0x62;
  }
  b.ws.production.SerialNoMode = true;
  b.ws.production.SerialStartAddress = kSerialAddress;
  b.ws.production.SerialByteCount = bytes;
  b.ws.production.SerialValue = start;
  b.ws.production.SerialStepMode = stepMode;
  b.writer.SetFreshChipEachPass(true);
}

int ChipWord(Bench& b, int address) { return b.writer.ReadBackWord(address); }

TEST(AutoProgram, OnePassProgramsTheWholeChip) {
  Bench b;
  b.LoadProgram();
  const AutoPassResult r = FirstPass(b);
  EXPECT_EQ(r.outcome, OpOutcome::Ok);
  EXPECT_TRUE(r.counted);
  EXPECT_FALSE(r.startNextByItself);

  Lines expected{"StaticText1: Auto-Program", "Label1: ", "Label1: Blank Check.....",
                 "Label1: Blank Check ..... OK.", "Label2: Program ID...", "Label2: Program Data..."};
  for (int i = 0; i < 1024; i += 32) expected.push_back("Label3: " + Hex(i / 2));
  expected.insert(expected.end(), {"Label2: Data program Ok!!", "Label2: Data program && verify OK!!",
                                   "Label3: ID && Checksum verify OK!!", "Label4: OPTION program && verify OK!!"});
  EXPECT_EQ(b.view.Lines(), expected);
  EXPECT_EQ(b.ws.production.PassCount, 1);
  EXPECT_TRUE(b.view.Enabled("Button1"));
  EXPECT_TRUE(b.view.Enabled("Button2"));
  EXPECT_TRUE(b.view.Visible("Label4"));
  for (int k = 0; k < b.ws.device.ProgramWords(); ++k) ASSERT_EQ(ChipWord(b, k), b.BufferWord(k)) << k;
  EXPECT_EQ(b.writer.Chip().Option[0], JoinWord(b.ws.image.OptionLow, b.ws.image.OptionHigh));
}

TEST(AutoProgram, FlashPartIsErasedFirstUnlessTheBlankCheckIsSkipped) {
  Bench b("KVX-01", ChipContent::Programmed);
  b.LoadProgram();
  b.ws.command.EraseRequested = true;
  EXPECT_EQ(FirstPass(b).outcome, OpOutcome::Ok);
  EXPECT_EQ(b.view.LinesOf("EraseMsg"), (Lines{"Erase flash memory...", "Erase End"}));
  EXPECT_TRUE(b.view.Visible("EraseMsg"));

  Bench skip("KVX-01");
  skip.LoadProgram();
  skip.ws.command.EraseRequested = true;  // left over from an earlier command
  skip.ws.command.SkipBlankCheck = true;
  EXPECT_EQ(FirstPass(skip).outcome, OpOutcome::Ok);
  EXPECT_EQ(skip.view.Lines().front(), "StaticText1: Auto-Program without Blank Check");
  EXPECT_TRUE(skip.view.LinesOf("EraseMsg").empty());
  EXPECT_EQ(skip.view.LinesOf("Label1"), Lines{""});
}

TEST(AutoProgram, SequentialSerialNumbersOverSeveralChips) {
  Bench b;
  SerialSetup(b, 2, {0xFF, 0x00});
  ASSERT_TRUE(FirstPass(b).counted);
  EXPECT_EQ(ChipWord(b, kSerialAddress), 0x3100);  // most significant byte first
  EXPECT_EQ(ChipWord(b, kSerialAddress + 1), 0x31FF);
  ASSERT_TRUE(NextPass(b).counted);
  EXPECT_EQ(ChipWord(b, kSerialAddress), 0x3101);
  EXPECT_EQ(ChipWord(b, kSerialAddress + 1), 0x3100);
  EXPECT_EQ(b.ws.production.PassCount, 2);
  EXPECT_EQ(b.ws.production.SerialText, "0101");  // already stamped for the third chip
  EXPECT_EQ(b.writer.ChipsInserted(), 3);
}

TEST(AutoProgram, ShiftRegisterSerialNumbers) {
  Bench b;
  SerialSetup(b, 1, {0x00}, 1);
  std::vector<int> stamped;
  FirstPass(b);
  stamped.push_back(ChipWord(b, kSerialAddress));
  for (int pass = 0; pass < 3; ++pass) {
    NextPass(b);
    stamped.push_back(ChipWord(b, kSerialAddress));
  }
  EXPECT_EQ(stamped, (std::vector<int>{0x3100, 0x3101, 0x3103, 0x3106}));
}

std::string QtpRecord(int value) {
  const int sum = 2 + kSerialAddress + value + 0x31;
  return ":020010" + std::string("00") + Hex(value, 2) + "31" + Hex(-sum & 0xFF, 2) + "\r\n";
}

TEST(AutoProgram, QtpFileNumbersUntilItsEndRecord) {
  Bench b;
  SerialSetup(b, 1, {0x41});  // the first record was read when the file was loaded
  b.ws.production.QtpFileLoaded = true;
  b.ws.production.QtpFileText = "parts.txt";
  b.ws.production.QtpReadFile = std::make_unique<std::istringstream>(QtpRecord(0x42) + ":00000001FF");

  AutoPassResult r = FirstPass(b);
  EXPECT_FALSE(r.qtpFinished);
  EXPECT_EQ(ChipWord(b, kSerialAddress), 0x3141);
  r = NextPass(b);
  EXPECT_EQ(ChipWord(b, kSerialAddress), 0x3142);
  EXPECT_TRUE(r.counted);
  EXPECT_TRUE(r.qtpFinished);
  EXPECT_EQ(b.ws.production.PassCount, 2);
  EXPECT_EQ(b.view.Messages(), Lines{"QTP Program Finished!"});
  EXPECT_TRUE(b.view.Enabled("Button1"));
  EXPECT_FALSE(b.view.Enabled("Button2"));
  EXPECT_FALSE(b.ws.production.SerialNoMode);
  EXPECT_FALSE(b.ws.production.QtpFileLoaded);
  EXPECT_EQ(b.ws.production.QtpReadFile, nullptr);
  EXPECT_EQ(b.ws.production.QtpFileText, "Disable");
}

TEST(AutoProgram, QtpRecordErrorIsShownAndThePassStillEnds) {
  Bench b;
  SerialSetup(b, 1, {0x41});
  b.ws.production.QtpFileLoaded = true;
  b.ws.production.QtpReadFile = std::make_unique<std::istringstream>("#bad record\r\n");
  const AutoPassResult r = FirstPass(b);
  EXPECT_TRUE(r.counted);
  EXPECT_FALSE(r.qtpFinished);
  ASSERT_EQ(b.view.Messages().size(), 1u);
  EXPECT_TRUE(b.view.Enabled("Button2"));
}

TEST(AutoProgram, VerifyMismatchIsRedButTheChipStillCounts) {
  const struct {
    const char* name;
    const char* line;
    void (*arm)(Bench&);
  } cases[] = {
      {"ID", "Label3: ID verify fail!! (red)",
       [](Bench& b) { b.When("Label2", "Data program && verify OK!!", [&b] { b.writer.Chip().Id[0] ^= 1; }); }},
      {"OPTION", "Label4: OPTION verify Fail!! (red)",
       [](Bench& b) {
         b.view.onCall = [&b](const ViewCall& call) {
           if (call.kind != ViewCall::Visible || call.control != "Label4" || !call.value) return;
           // Header, two OPTION bytes, then the read-back header: its answer is replaced.
           b.port.ReplaceAnswer(b.port.BytesWritten() + 21,
                                {static_cast<std::uint8_t>(b.ws.image.OptionLow ^ 1), b.ws.image.OptionHigh, kEndOfData});
         };
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b;
    SerialSetup(b, 1, {0x07});
    b.ws.production.FlashPgmTestOn = true;
    c.arm(b);
    const AutoPassResult r = FirstPass(b);
    EXPECT_EQ(r.outcome, OpOutcome::Ok);
    EXPECT_TRUE(r.counted);
    EXPECT_TRUE(r.startNextByItself);
    EXPECT_EQ(b.ws.production.PassCount, 1);
    EXPECT_EQ(b.ws.production.SerialValue[0], 0x08);
    const Lines& lines = b.view.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end());
    EXPECT_EQ(lines.back(), c.name == std::string("ID") ? "Label4: OPTION program && verify OK!!" : c.line);
  }
}

TEST(AutoProgram, FailedPassIsNotCountedAndContinueStampsTheSameNumber) {
  Bench b;
  SerialSetup(b, 1, {0x07});
  b.ws.production.FlashPgmTestOn = true;
  b.When("Label2", "Program Data...", [&] { b.writer.Faults().WriteFailAt = 70; });
  const AutoPassResult r = FirstPass(b);
  EXPECT_EQ(r.outcome, OpOutcome::ChipFailed);
  EXPECT_FALSE(r.counted);
  EXPECT_FALSE(r.startNextByItself);
  EXPECT_EQ(b.view.LinesOf("Label3").back(), "0023");
  EXPECT_EQ(b.view.Lines().back(), "Label2: Data program fail !! (red)");
  EXPECT_EQ(b.ws.production.PassCount, 0);
  EXPECT_EQ(b.ws.production.SerialValue[0], 0x07);
  EXPECT_TRUE(b.view.Enabled("Button1"));
  EXPECT_TRUE(b.view.Enabled("Button2"));

  b.Pause();
  b.view.onCall = nullptr;
  b.writer.InsertChip(ChipContent::Blank);
  EXPECT_EQ(NextPass(b).outcome, OpOutcome::Ok);
  EXPECT_EQ(ChipWord(b, kSerialAddress), 0x3107);
  EXPECT_EQ(b.ws.production.PassCount, 1);
}

TEST(AutoProgram, ChecksBeforeTheWriterSendNothing) {
  const struct {
    const char* name;
    void (*setup)(Bench&);
    const char* line;
  } cases[] = {
      {"not RTIW", [](Bench& b) { b.ws.image.ProgramBuffer[2 * kSerialAddress + 1] = 0x20; },
       "Label1: The program memory is not 'RTIW' (red)"},
      {"serial words past the memory", [](Bench& b) { b.ws.production.SerialStartAddress = 0x1FF; },
       "Label1: The program memory is not 'RTIW' (red)"},
      {"blank buffer", [](Bench& b) { b.ws.production.SerialNoMode = false; b.ws.image.ProgramBuffer.fill(0x7F); },
       "Label1: Data memory are blank or error! (red)"},
      {"blank buffer without blank check",
       [](Bench& b) { b.ws.production.SerialNoMode = false; b.ws.command.SkipBlankCheck = true; b.ws.image.ProgramBuffer.fill(0x7F); },
       "Label1: Data memory are blank or error! (red)"},
      {"blank option field", [](Bench& b) { b.ws.results.OptionStatus = 1; }, "Label1: Some Options are Blank! (red)"},
      {"invalid option field", [](Bench& b) { b.ws.results.OptionStatus = 2; }, "Label1: Some Options are error! (red)"},
      {"both", [](Bench& b) { b.ws.results.OptionStatus = 3; }, "Label1: Some Options are Blank or error! (red)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b;
    SerialSetup(b, 2, {0x01, 0x02});
    c.setup(b);
    const AutoPassResult r = FirstPass(b);
    EXPECT_EQ(r.outcome, OpOutcome::Refused);
    EXPECT_FALSE(r.counted);
    EXPECT_EQ(b.view.Lines().back(), c.line);
    EXPECT_EQ(b.port.BytesWritten(), 0);
    EXPECT_TRUE(b.view.Enabled("Button2"));
  }
}

TEST(AutoProgram, ChipThatIsNotBlankStopsThePass) {
  const struct {
    const char* name;
    void (*chip)(sim::ChipModel&);
    const char* line;
  } cases[] = {
      {"OPTION", [](sim::ChipModel& c) { c.Option[0] = 0x0000; }, "Label1: OPTION ....... Not Blank!!"},
      {"ID", [](sim::ChipModel& c) { c.Id[2] = 0x0000; }, "Label1: ID Checksum ....... Not Blank!! (red)"},
      {"data", [](sim::ChipModel& c) { c.Program[0x100] = 0x0000; }, "Label1: Data .......... not blank!! (red)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b;
    b.LoadProgram();
    c.chip(b.writer.Chip());
    b.view.Open(AutoProgramDialog());
    OperationContext ctx{b.ws, b.port, b.clock, b.view, b.stop.get_token()};
    const PassResult r = RunPass(MainCommand(CommandId::AutoProgram), ctx, 1);
    EXPECT_EQ(r.outcome, OpOutcome::ChipFailed);
    EXPECT_EQ(b.view.Lines().back(), c.line);
    // The reason is the line that ended the pass, red or not.
    std::string reason = std::string(c.line).substr(std::string("Label1: ").size());
    if (reason.ends_with(" (red)")) reason.resize(reason.size() - 6);
    EXPECT_EQ(r.reason, reason);
    EXPECT_EQ(b.ws.production.PassCount, 0);
  }
}

TEST(AutoProgram, LinkFailuresEndOnTheStepsLine) {
  const struct {
    const char* name;
    bool skipBlankCheck;
    void (*fault)(sim::FaultSet&);
    const char* line;
  } cases[] = {
      {"wrong Writer", false, [](sim::FaultSet& f) { f.WrongWriter = true; }, "Label1: Writer type is error! (red)"},
      {"no CTS", false, [](sim::FaultSet& f) { f.CtsInactive = true; }, "Label1: Connect Timeout!! (red)"},
      {"empty socket", false, [](sim::FaultSet& f) { f.NoChip = true; },
       "Label1: Nothing in socket or type error!! (red)"},
      {"adapter", true, [](sim::FaultSet& f) { f.AdapterError = true; }, "Label2: IC adapter board error!! (red)"},
      {"ID write fails", true, [](sim::FaultSet& f) { f.WriteFailAt = 9; },
       "Label2: ID program fail at address 0004 !! (red)"},
      {"checksum write fails", true, [](sim::FaultSet& f) { f.WriteFailAt = 10; },
       "Label2: Checksum program fail !! (red)"},
      {"silent in the stream", true, [](sim::FaultSet& f) { f.SilentAfter = 1 + 10 + 16 + 10 + 40; },
       "Label2: Connect Timeout!! (red)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b;
    b.LoadProgram();
    b.ws.command.SkipBlankCheck = c.skipBlankCheck;
    c.fault(b.writer.Faults());
    const AutoPassResult r = FirstPass(b);
    EXPECT_NE(r.outcome, OpOutcome::Ok);
    EXPECT_FALSE(r.counted);
    EXPECT_EQ(b.view.Lines().back(), c.line);
    EXPECT_TRUE(b.view.Enabled("Button2"));
  }
}

TEST(AutoProgram, SimulatedPassTouchesNoChipButCountsAndAdvances) {
  Bench b;
  SerialSetup(b, 1, {0x10});
  b.ws.production.QtpSimulate = true;
  const AutoPassResult r = FirstPass(b);
  EXPECT_TRUE(r.counted);
  EXPECT_EQ(b.view.Lines(), (Lines{"StaticText1: Auto-Program", "Label1: ", "Label2: Simulate Programming OK!"}));
  EXPECT_EQ(b.port.BytesWritten(), 0);
  EXPECT_EQ(b.ws.production.SerialValue[0], 0x11);
  EXPECT_EQ(b.ws.image.ProgramBuffer[2 * kSerialAddress], 0x11);  // the next number is stamped
}

TEST(AutoProgram, ContinueResetsTheDialogLines) {
  RecordingView view;
  view.Open(AutoProgramDialog());
  view.SetColour("Label2", LineColour::Red);
  view.SetVisible("Label3", true);
  view.SetEnabled("Button2", true);
  PrepareNextPass(view);
  EXPECT_FALSE(view.Enabled("Button1"));
  EXPECT_FALSE(view.Enabled("Button2"));
  EXPECT_FALSE(view.Visible("Label2"));
  EXPECT_FALSE(view.Visible("Label3"));
  EXPECT_FALSE(view.Red("Label2"));
  EXPECT_EQ(view.Text("Label1"), "");
  EXPECT_EQ(view.Text("Label2"), "Program.....");
  EXPECT_EQ(view.Text("Label3"), "Verify.....");
  EXPECT_EQ(view.Text("Label4"), "Program OPTION.....");
}

TEST(AutoProgram, StopInTheStreamEndsThePassAndTheNextOneWorks) {
  Bench b;
  SerialSetup(b, 1, {0x07});
  long sentAtStop = -1;
  b.When("Label3", "0040", [&] {
    b.stop.request_stop();
    sentAtStop = b.port.BytesWritten();
  });
  const AutoPassResult r = FirstPass(b);
  EXPECT_EQ(r.outcome, OpOutcome::Stopped);
  EXPECT_FALSE(r.counted);
  EXPECT_EQ(b.port.BytesWritten(), sentAtStop);
  EXPECT_FALSE(b.view.Enabled("Button2"));

  b.Pause();
  b.stop = std::stop_source();
  b.view.onCall = nullptr;
  b.writer.InsertChip(ChipContent::Blank);
  EXPECT_EQ(NextPass(b).outcome, OpOutcome::Ok);
  EXPECT_EQ(ChipWord(b, kSerialAddress), 0x3107);
}

}  // namespace
}  // namespace kvx
