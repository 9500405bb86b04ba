// Auto Program: one pass programs one chip from start to end: checks of the workspace, erase of a
// flash part, blank check, ID and checksum, the program memory stream and its verify, the ID
// verify, the OPTION word; then the pass is counted and the next serial number stamped.
#include "core/production/auto_program.h"

#include <array>

#include "core/production/commands.h"

#include "core/device/checksum.h"
#include "core/device/workspace_ops.h"
#include "core/ops/program_steps.h"
#include "core/ops/stream.h"
#include "core/device/pass_count.h"
#include "core/production/serial_number.h"

namespace kvx {

namespace {

constexpr OptionStatusTexts kOptionRefusals{"Some Options are Blank!", "Some Options are error!",
                                            "Some Options are Blank or error!"};

// Before the chip: the serial words hold RTIW, the number is stamped, the program memory is not
// blank and the OPTION word is whole; only the Writer check at the end talks to the Writer.
constexpr std::string_view kBlankProgram = "Data memory are blank or error!";

bool BlankProgram(const Workspace& ws) {
  return AllBlank(ws.image.ProgramBuffer.data(), ws.device.ProgramBytes, ws.device.BlankHigh);
}

bool PreChecks(OpFrame& f) {
  Workspace& ws = f.ws();
  f.Begin(Step::Check);
  if (const std::string_view refused = AutoProgramRefusal(ws); !refused.empty()) {
    f.Fail("Label1", refused, OpOutcome::Refused);
    return false;
  }
  SerialNo2Memory(ws);
  if (!ws.production.QtpSimulate && BlankProgram(ws)) {  // the stamped number is all it holds
    f.Fail("Label1", kBlankProgram, OpOutcome::Refused);
    return false;
  }
  return ws.production.QtpSimulate || f.WriterOk("Label1");
}

bool Erase(OpFrame& f) {
  f.Begin(Step::Erase);
  f.ShowVisible("EraseMsg", "Erase flash memory...");
  f.view().SetColour("EraseMsg", LineColour::Normal);
  if (!f.HeaderStep(AreaProgram, ActionErase, LinkResult::Done, {"EraseMsg"})) return false;
  f.Done("EraseMsg", "Erase End");
  return true;
}

// Reads one area and tests that its first `testBytes` bytes are blank words.
bool AreaBlank(OpFrame& f, int area, int length, int testBytes, std::string_view notBlank) {
  Workspace& ws = f.ws();
  if (!f.ReadStep(area, length, {"Label1"})) return false;
  if (AllBlank(ws.link.LinkBuffer.data(), testBytes, ws.device.BlankHigh)) return true;
  f.Fail("Label1", notBlank, OpOutcome::ChipFailed);
  return false;
}

bool BlankCheck(OpFrame& f) {
  Workspace& ws = f.ws();
  f.Begin(Step::BlankCheck);
  f.Show("Label1", "Blank Check.....");
  if (!f.ReadStep(AreaOption, 2, {"Label1"})) return false;
  if (!OptionBlank(ws, ws.link.LinkBuffer[0], ws.link.LinkBuffer[1])) {
    f.Finish("Label1", "OPTION ....... Not Blank!!", OpOutcome::ChipFailed);
    return false;
  }
  const int n = ws.device.ProgramBytes;
  if (!AreaBlank(f, AreaId, 32, 16, "ID Checksum ....... Not Blank!!")) return false;
  if (!AreaBlank(f, AreaProgram, n, n, "Data .......... not blank!!")) return false;
  f.Done("Label1", "Blank Check ..... OK.");
  return true;
}

bool ProgramData(OpFrame& f, int& offered) {
  Workspace& ws = f.ws();
  f.Begin(Step::Program);
  f.Show("Label2", "Program Data...");
  if (!f.HeaderStep(AreaProgram, ActionProgram, LinkResult::Ready, {"Label2"})) return false;
  GetRomData(ws);
  const SendStreamPlan stream{
      .data = ws.link.LinkBuffer.data(),
      .dataSize = kLinkBufferBytes,
      .count = ws.device.ProgramBytes,
      .label = "Label2",
      .addressLabel = "Label3",
      .okText = "Data program Ok!!",
      .failText = "Data program fail !!",
      .offered = &offered,
  };
  const StreamEnd end = SendProgramStream(f, stream);
  if (end == StreamEnd::Failed || end == StreamEnd::Stopped) return false;
  f.view().SetVisible("Label3", false);
  if (!VerifyProgramMemory(f, "Label2")) return false;
  f.Begin(Step::Program);
  f.Done("Label2", "Data program && verify OK!!");
  return true;
}

// The chip itself: erase and blank check (unless skipped), the ID words, the program memory
// and the OPTION word, each verified. A verify mismatch of the ID or the OPTION word is shown in red
// and the pass still counts.
bool ProgramChip(OpFrame& f, int& offered) {
  Workspace& ws = f.ws();
  if (!ws.command.SkipBlankCheck) {
    if (ws.command.EraseRequested && !Erase(f)) return false;
    if (!BlankCheck(f)) return false;
  }
  f.Begin(Step::Id);
  f.ShowVisible("Label2", "Program ID...");
  if (!ProgramIdWords(f, "Label2", "ID program fail at address ", "Label3")) return false;
  if (!ProgramData(f, offered)) return false;
  f.view().SetVisible("Label3", true);
  if (!VerifyIdWords(f, "Label3")) return false;
  f.view().SetVisible("Label4", true);
  return ProgramOptionWord(f, "Label4");
}

// The end record of a QTP file: serial mode ends and only "Exit" is left.
void EndOfQtpFile(OpFrame& f) {
  Workspace& ws = f.ws();
  ws.production.SerialNoMode = false;
  ws.production.QtpFileLoaded = false;
  ws.production.QtpReadFile.reset();
  ws.production.QtpSimulate = false;
  ws.production.QtpFileText = "Disable";
  f.view().ShowMessage("QTP Program Finished!");
  f.view().SetEnabled("Button1", true);
  f.view().SetEnabled("Button2", false);
}

// After a chip that went through: count it, step to the next number (or read the next QTP
// record) and stamp it.
AutoPassResult CountAndAdvance(OpFrame& f) {
  Workspace& ws = f.ws();
  AutoPassResult result;
  result.counted = true;
  CountPass(ws);
  if (ws.production.SerialNoMode) {
    if (ws.production.QtpFileLoaded) {
      const std::string error = ReadSerialData(ws);
      if (!error.empty()) f.view().ShowMessage(error);
      if (ws.production.QtpEndSeen) {
        EndOfQtpFile(f);
        result.qtpFinished = true;
        return result;
      }
    } else {
      SerialNoNext(ws);
    }
  }
  SerialNo2Memory(ws);
  result.startNextByItself = ws.production.FlashPgmTestOn;
  f.EnableEnd();
  return result;
}

}  // namespace

std::string_view AutoProgramRefusal(const Workspace& ws) {
  if (ws.production.SerialNoMode && !SerialWordsAreRtiw(ws)) return "The program memory is not 'RTIW'";
  if (ws.production.QtpSimulate) return {};
  if (BlankProgram(ws)) return kBlankProgram;
  return OptionStatusText(ws.results.OptionStatus, kOptionRefusals);
}

AutoPassResult AutoProgramPass(OperationContext& ctx) {
  OpFrame f(ctx, {"Button1", "Button2"});
  Workspace& ws = f.ws();
  f.Begin(Step::Operation);
  f.Title(ws.command.SkipBlankCheck ? "Auto-Program without Blank Check" : "Auto-Program");
  f.Show("Label1", "");

  if (!PreChecks(f)) return {f.outcome()};
  int offered = 0;  // program-stream bytes handed to the Writer
  if (ws.production.QtpSimulate) {
    f.Begin(Step::Program);
    f.view().SetVisible("Label2", true);
    f.Done("Label2", "Simulate Programming OK!");
  } else if (!ProgramChip(f, offered)) {
    AutoPassResult failed{f.outcome()};
    // The serial words are stream bytes 2 * SerialStartAddress on: once the first of them was
    // offered, the chip may carry the number.
    failed.serialMayBeOnChip = ws.production.SerialNoMode && offered > 2 * ws.production.SerialStartAddress;
    return failed;
  }
  AutoPassResult counted = CountAndAdvance(f);
  counted.serialMayBeOnChip = true;
  return counted;
}

void PrepareNextPass(OperationView& view) {
  view.SetEnabled("Button1", false);
  view.SetEnabled("Button2", false);
  for (const char* label : {"Label2", "Label3", "Label4"}) view.SetVisible(label, false);
  for (const char* label : {"Label1", "Label2", "Label3", "Label4"})
    view.SetColour(label, LineColour::Normal);
  view.SetText("Label1", "");
  view.SetText("Label2", "Program.....");
  view.SetText("Label3", "Verify.....");
  view.SetText("Label4", "Program OPTION.....");
}

const DialogSpec& AutoProgramDialog() {
  static const DialogSpec dialog{
      "AutoProgramForm", "Auto Program", "Auto Program",
      {{"EraseMsg", "", false},
       {"Label1", "Blank Check....."},
       {"Label2", "Program.....", false},
       {"Label3", "", false},
       {"Label4", "Program OPTION.....", false}},
      false, {{"Button2", "Continue"}, {"Button1", "Exit"}}, false};
  return dialog;
}

// ---- The command table ---------------------------------------------------------------------------

namespace {

// Each "Continue" (and the flash test mode's timer) brings the dialog back to its opening look.
PassResult AutoPass(OperationContext& ctx, long passNumber) {
  if (passNumber > 1) PrepareNextPass(ctx.view);
  const AutoPassResult r = AutoProgramPass(ctx);
  return {.outcome = r.outcome,
          .counted = r.counted,
          .last = r.qtpFinished,
          .startNextByItself = r.startNextByItself,
          .serialMayBeOnChip = r.serialMayBeOnChip};
}

void AutoFlags(Workspace& ws) {
  ws.command.SkipBlankCheck = false;
  ws.command.EraseRequested = ws.device.IsFlash();
}
// EraseRequested stays as it was: the pass does not look at it without the blank check.
void AutoWithoutBlankCheckFlags(Workspace& ws) { ws.command.SkipBlankCheck = true; }

constexpr Command kAutoProgram{CommandId::AutoProgram, "Auto Program", AutoProgramDialog, AutoFlags,
                           AutoPass, true, true, false, AutoProgramRefusal};
constexpr Command kAutoProgramWithoutBlankCheck{CommandId::AutoProgramWithoutBlankCheck,
                                            "Auto Program without Blank Check", AutoProgramDialog,
                                            AutoWithoutBlankCheckFlags, AutoPass, true, true,
                                            false, AutoProgramRefusal};

std::array<const Command*, 12> Table() {
  std::array<const Command*, 12> table{};
  std::size_t i = 0;
  for (const Command& command : OperationCommands()) table[i++] = &command;
  table[i++] = &kAutoProgram;
  table[i++] = &kAutoProgramWithoutBlankCheck;
  return table;
}

}  // namespace

std::span<const Command* const> MainCommands() {
  static const std::array<const Command*, 12> table = Table();
  return table;
}

const Command& MainCommand(CommandId id) { return *MainCommands()[static_cast<std::size_t>(id)]; }

JournalPolicy JournalPolicyOf(CommandId id) {
  switch (id) {
    case CommandId::AutoProgram:
    case CommandId::AutoProgramWithoutBlankCheck:
      return {.journaled = true, .numbered = true};
    case CommandId::ForceWrite:
      return {.journaled = true, .numbered = false};
    default:
      return {};
  }
}

}  // namespace kvx
