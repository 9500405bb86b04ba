// The main window's command table: each command sets its own workspace flags, so whatever ran
// before it, it sends the same bytes and shows the same lines; and every control a worker
// writes is one of its dialog's.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "core/ops/frame.h"
#include "core/ops/op_bench.h"
#include "core/production/commands.h"
#include "core/production/pass_report.h"

namespace kvx {
namespace {

using sim::ChipContent;
using testing::Bench;
using testing::ViewCall;

struct Seen {
  std::vector<std::string> lines;
  std::vector<std::uint8_t> sent;
};

PassResult RunFirstPass(Bench& b, const Command& command) {
  b.view.Open(command.dialog());
  OperationContext ctx{b.ws, b.port, b.clock, b.view, b.stop.get_token()};
  return RunPass(command, ctx, 1);
}

// `second` on a chip whose program words are all 0, after `first` (nullptr: on a fresh
// workspace). The buffers are loaded again in between, so only the flags `first` left behind
// could make a difference.
Seen SecondCommand(const char* device, const Command* first, const Command& second) {
  Bench b(device);
  b.ws.device.DeviceIndex = FindDevice(device);  // as the first Writer exchange leaves it
  b.LoadProgram();
  if (first != nullptr) {
    RunFirstPass(b, *first);
    b.Pause();
    b.LoadProgram();
  }
  b.writer.InsertChip(ChipContent::Programmed);
  std::fill(b.writer.Chip().Program.begin(), b.writer.Chip().Program.end(), 0);
  const std::size_t before = b.sim.Sent().size();
  b.view.ClearRecord();
  RunFirstPass(b, second);
  return {b.view.Lines(), {b.sim.Sent().begin() + static_cast<long>(before), b.sim.Sent().end()}};
}

TEST(CommandTable, HasEveryCommandOnceInItsOrder) {
  const auto table = MainCommands();
  ASSERT_EQ(table.size(), 12u);
  std::set<std::string_view> captions;
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(table[i]->id), i);
    EXPECT_EQ(&MainCommand(table[i]->id), table[i]);
    captions.insert(table[i]->caption);
  }
  EXPECT_EQ(captions.size(), table.size());
  const auto flags = [](CommandId id) {
    const Command& c = MainCommand(id);
    return std::string(c.repeats ? "R" : "") + (c.resetCheck ? "C" : "") + (c.flashOnly ? "F" : "");
  };
  EXPECT_EQ(flags(CommandId::Erase), "F");
  EXPECT_EQ(flags(CommandId::WriteEeprom), "F");
  EXPECT_EQ(flags(CommandId::ProgramMemory), "C");
  EXPECT_EQ(flags(CommandId::ForceWrite), "R");
  EXPECT_EQ(flags(CommandId::AutoProgram), "RC");
  EXPECT_EQ(flags(CommandId::AutoProgramWithoutBlankCheck), "RC");
  EXPECT_EQ(flags(CommandId::Verify), "");
}

// Every (earlier, next) pair of the table: what the next command sends and shows does not depend
// on the earlier one, e.g. Erase then Blank Check sends no erase header, Verify with Protect then
// Force Write shows the buffer value unmasked.
TEST(CommandTable, NoCommandInheritsAFlagFromTheOneBefore) {
  for (const char* device : {"KVX-01", "KVX-03"}) {
    const bool flash = std::string_view(device) == "KVX-01";
    for (const Command* second : MainCommands()) {
      if (second->flashOnly && !flash) continue;
      const Seen alone = SecondCommand(device, nullptr, *second);
      for (const Command* first : MainCommands()) {
        if (first->flashOnly && !flash) continue;
        SCOPED_TRACE(std::string(device) + ": " + std::string(first->caption) + " then " +
                     std::string(second->caption));
        const Seen after = SecondCommand(device, first, *second);
        EXPECT_EQ(after.lines, alone.lines);
        EXPECT_EQ(after.sent, alone.sent);
      }
    }
  }
}

// Force Write after Verify with Protect: a word that reads back wrong is shown as the buffer
// holds it, not with the protected view's mask.
TEST(CommandTable, ForceWriteAfterVerifyWithProtectShowsTheUnmaskedBuffer) {
  Bench b;
  b.ws.device.DeviceIndex = FindDevice("KVX-03");
  b.LoadProgram();
  RunFirstPass(b, MainCommand(CommandId::VerifyWithProtect));
  b.Pause();
  b.When("Label1", "Program memory Ok!!", [&] { b.writer.Chip().Program[3] = 0; });
  RunFirstPass(b, MainCommand(CommandId::ForceWrite));
  EXPECT_EQ(b.view.Tail(2), (std::vector<std::string>{"Label2: Data Verify error at 0003H",
                                                       "Label3: IC=0000H, Buffer=0" +
                                                           Hex(b.BufferWord(3), 3) + "H"}));
}

// A worker writes only the controls its dialog has: the title, its labels and its buttons.
TEST(CommandTable, WorkersWriteOnlyTheirDialogsControls) {
  using Arm = void (*)(Bench&);
  const Arm arms[] = {
      [](Bench&) {},
      [](Bench& b) { b.writer.InsertChip(ChipContent::Programmed); },
      [](Bench& b) { b.writer.InsertChip(ChipContent::Protected); },
      [](Bench& b) { b.writer.Faults().NoChip = true; },
      [](Bench& b) { b.writer.Faults().WrongWriter = true; },
      [](Bench& b) { b.writer.Faults().SilentAfter = 30; },
      [](Bench& b) { b.writer.Faults().WriteFailAt = 40; },
      [](Bench& b) { b.ws.device.DeviceIndex = -1; },
  };
  for (const Command* command : MainCommands()) {
    const DialogSpec& dialog = command->dialog();
    std::set<std::string, std::less<>> lines{std::string(kTitleControl)}, buttons;
    for (const auto& label : dialog.labels) lines.insert(label.name);
    for (const auto& button : dialog.buttons) buttons.insert(button.name);
    for (std::size_t a = 0; a < std::size(arms); ++a) {
      SCOPED_TRACE(std::string(command->caption) + ", case " + std::to_string(a));
      Bench b("KVX-01");
      b.LoadProgram();
      arms[a](b);
      RunFirstPass(b, *command);
      for (const ViewCall& call : b.view.Calls()) {
        const bool button = call.kind == ViewCall::Enabled;
        const bool line = call.kind == ViewCall::Text || call.kind == ViewCall::Colour ||
                          call.kind == ViewCall::Visible;
        EXPECT_TRUE(!button || buttons.contains(call.control)) << call.control;
        EXPECT_TRUE(!line || lines.contains(call.control)) << call.control;
      }
    }
  }
}

// What the operator is asked to do after an Auto Program pass, from the pass's own outcome.
TEST(CommandTable, EachFailureTellsTheOperatorWhatToDo) {
  const struct {
    const char* name;
    void (*arm)(Bench&);
    ChipOutcome outcome;
    std::string_view action;
  } cases[] = {
      {"a good chip", [](Bench&) {}, ChipOutcome::Ok, ""},
      {"an empty socket", [](Bench& b) { b.writer.Faults().NoChip = true; }, ChipOutcome::NoChip,
       "Insert a chip: the socket is empty"},
      {"a programmed chip", [](Bench& b) { b.writer.InsertChip(ChipContent::Programmed); },
       ChipOutcome::ChipFailed, "Chip not blank: put in a blank one"},
      {"a silent Writer", [](Bench& b) { b.writer.Faults().SilentAfter = 0; },
       ChipOutcome::LinkFailed, "The Writer does not answer: check its power and cable"},
      {"a link lost mid-stream", [](Bench& b) { b.writer.Faults().SilentAfter = 200; },
       ChipOutcome::LinkFailed, "Check the cable and the port"},
      {"a write that fails", [](Bench& b) { b.writer.Faults().WriteFailAt = 40; },
       ChipOutcome::ChipFailed, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b("KVX-03");  // no erase: a programmed chip stays one
    b.LoadProgram();
    c.arm(b);
    const PassResult result = RunFirstPass(b, MainCommand(CommandId::AutoProgram));
    EXPECT_EQ(ChipOutcomeOf(result), c.outcome) << result.reason;
    EXPECT_EQ(OperatorAction(ChipOutcomeOf(result), result), c.action);
  }
}

}  // namespace
}  // namespace kvx
