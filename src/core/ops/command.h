// The main window's device commands as one table: each entry names its dialog, the workspace
// flags its menu command sets before the worker runs, and what a pass of it is. The desktop's
// menu and toolbar and kvxw's device commands both start commands from this table, so no caller
// sets a mode flag by hand and a flag left by one command never changes what the next one sends.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

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
  // The line an operator reads as the pass's end: the red line, or, when a pass failed without
  // one, the line that ended it (a failure the dialog shows in the normal colour, such as
  // "OPTION ....... Not Blank!!"). Empty for a pass that went through, or was stopped.
  std::string reason;
  // The step whose line failed last (the Writer check, the blank check, ...); Operation when no
  // line failed.
  Step failedStep = Step::Operation;
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
  // Why the workspace is refused before any chip, whatever the chip (the buffer, the OPTION
  // fields); empty when a pass may start. nullptr: the command refuses nothing beforehand.
  std::string_view (*refusal)(const Workspace& ws) = nullptr;
};

// Between a pass and its view: passes every call on and notes the lines an operator reads as the
// pass's end: the last line shown in red (whichever of its colour and its text came first) and
// the last line written at all.
class ReasonWatch final : public OperationView {
 public:
  explicit ReasonWatch(OperationView& inner) : inner_(inner) {}

  void SetText(std::string_view control, std::string_view text) override;
  void SetColour(std::string_view control, LineColour colour) override;
  void SetVisible(std::string_view control, bool visible) override {
    inner_.SetVisible(control, visible);
  }
  void SetStep(std::string_view control, Step step, StepState state) override {
    if (state == StepState::Failed) failedStep_ = step;
    inner_.SetStep(control, step, state);
  }
  void SetGauge(int percent) override { inner_.SetGauge(percent); }
  void SetEnabled(std::string_view button, bool enabled) override {
    inner_.SetEnabled(button, enabled);
  }
  void ShowMessage(std::string_view text) override { inner_.ShowMessage(text); }
  void Progress(const ProgressEvent& event) override { inner_.Progress(event); }

  Step FailedStep() const { return failedStep_; }
  // A text was written on a line that was red already.
  bool SawRed() const { return sawRed_; }
  const std::string& RedLine() const { return redLine_; }
  // The reason of a pass that ended with `outcome` (PassResult::reason).
  std::string ReasonFor(OpOutcome outcome) const;

 private:
  struct Line {
    std::string control;
    std::string text;
    bool red = false;
  };
  Line& Find(std::string_view control);

  OperationView& inner_;
  std::vector<Line> lines_;
  std::string redLine_;
  std::string lastLine_;
  bool sawRed_ = false;
  Step failedStep_ = Step::Operation;
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
