// The Auto Program pass: the whole programming of one chip, run again for every chip.
#pragma once

#include "core/ops/operation.h"

namespace kvx {

struct AutoPassResult {
  OpOutcome outcome = OpOutcome::Ok;  // Ok also when a verify mismatch was reported in red
  bool counted = false;               // the pass count grew
  bool qtpFinished = false;           // the QTP file's end record was read: only "Exit" remains
  bool startNextByItself = false;     // flash test mode: the next pass starts a second later
  // The stamped serial number may be in the chip: the program stream reached its first word (or
  // the pass went through). False after a failure before that, such as a blank check.
  bool serialMayBeOnChip = false;
};

// One pass: the buffer and Writer checks, erase and blank check (unless skipped), ID, program
// memory and OPTION word with their verifies, then the pass count and the next serial number.
// Ends early at the first failure.
AutoPassResult AutoProgramPass(OperationContext& ctx);

// Why Auto Program refuses the workspace before any chip: serial words that do not hold RTIW, a
// blank program memory, OPTION fields blank or in error. Empty when a pass may start.
std::string_view AutoProgramRefusal(const Workspace& ws);

// What "Continue" (and the flash test mode's timer) does to the dialog before the next pass.
void PrepareNextPass(OperationView& view);

const DialogSpec& AutoProgramDialog();

}  // namespace kvx
