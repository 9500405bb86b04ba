// One worker per device operation. Each reads top to bottom like the sequence the operator sees
// in its dialog and returns how it ended; the status lines it wrote say the rest.
#pragma once

#include "core/ops/operation.h"

namespace kvx {

OpOutcome BlankCheckWorker(OperationContext& ctx);  // erases first when ws.command.EraseRequested
OpOutcome ReadWorker(OperationContext& ctx);
OpOutcome ProgramMemoryWorker(OperationContext& ctx);
OpOutcome ProgramOptionWorker(OperationContext& ctx);
OpOutcome ProgramIdWorker(OperationContext& ctx);
OpOutcome VerifyWorker(OperationContext& ctx);  // with protection when ws.command.VerifyWithProtect
OpOutcome ProgramEepromWorker(OperationContext& ctx);
OpOutcome ForceWriteWorker(OperationContext& ctx);  // one chip; "Continue" runs it again

// The dialogs the workers write into, as they look before the worker starts.
const DialogSpec& BlankCheckDialog();
const DialogSpec& ReadDialog();
const DialogSpec& ProgramMemoryDialog();
const DialogSpec& ProgramOptionDialog();
const DialogSpec& ProgramIdDialog();
const DialogSpec& VerifyDialog();
const DialogSpec& ProgramEepromDialog();
const DialogSpec& ForceWriteDialog();

}  // namespace kvx
