// The main window's device commands as one table: each entry names its dialog, the workspace
// flags its menu command sets before the worker runs, and what a pass of it is. The desktop's
// menu and toolbar and kvxw's device commands both start commands from this table, so no caller
// sets a mode flag by hand and a flag left by one command never changes what the next one sends.
#pragma once

#include <span>
#include <string_view>

#include "core/ops/operation.h"

namespace kvx {

enum class CommandId {
  BlankCheck,
  Erase,
  Read,
  Verify,
  VerifyWithProtect,
  ProgramMemory,
  ProgramOption,
  ProgramId,
  WriteEeprom,
  ForceWrite,
  AutoProgram,
  AutoProgramWithoutBlankCheck,
};

// How one pass of a command ended.
struct PassResult {
  OpOutcome outcome = OpOutcome::Ok;
  bool redLine = false;            // a red status line was shown (also with outcome Ok)
  bool counted = false;            // the pass count grew
  bool last = false;               // the end of a QTP file: only "Exit" remains
  bool startNextByItself = false;  // flash test mode: the next pass starts a second later
  // Whether the stamped serial number may be in the chip. Only a pass that knows it ended before
  // any serial byte was handed to the Writer clears it; the production journal then gives the
  // number back.
  bool serialMayBeOnChip = true;
  // Whether another pass may follow without the operator looking at this one first.
  bool WentThrough() const { return outcome == OpOutcome::Ok && !redLine && !last; }
};

struct Command {
  CommandId id;
  std::string_view caption;  // the menu (or toolbar hint) text
  const DialogSpec& (*dialog)();
  // Sets exactly the workspace flags the menu command sets (EraseRequested, VerifyWithProtect,
  // SkipBlankCheck, SerialNoMode, ReadCompleted); nullptr: none.
  void (*prepare)(Workspace& ws);
  // One pass of the worker; passNumber 1 is the first, later ones are "Continue".
  PassResult (*pass)(OperationContext& ctx, long passNumber);
  bool repeats = false;     // the dialog's "Continue" runs another pass (and counts chips)
  bool resetCheck = false;  // the blank-reset-word warning is asked before it starts
  bool flashOnly = false;   // offered only for devices with EEPROM (MemoryKind 2)
};

// The device operations' entries, BlankCheck to ForceWrite in CommandId order. Auto Program
// lives above the operations: core/production/commands.h has the whole table (MainCommand).
std::span<const Command> OperationCommands();

// Runs one pass: the command's flags first, then its worker. Called on the worker's thread.
PassResult RunPass(const Command& command, OperationContext& ctx, long passNumber);

// Pass after pass for an unattended caller: up to `count` passes, stopping after the first that
// did not go through (PassResult::WentThrough) or when a stop is requested. `afterPass` (may be
// empty) is called after each pass with its number and result, on the worker's thread.
// Returns the last pass's result (outcome Stopped when the stop came between passes).
template <class AfterPass>
PassResult RunPasses(const Command& command, OperationContext& ctx, long count,
                     AfterPass&& afterPass) {
  PassResult result;
  for (long n = 1; n <= count; ++n) {
    if (ctx.stop.stop_requested()) {
      result.outcome = OpOutcome::Stopped;
      break;
    }
    result = RunPass(command, ctx, n);
    afterPass(n, result);
    if (!result.WentThrough()) break;
  }
  return result;
}

}  // namespace kvx
