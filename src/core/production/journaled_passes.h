// Production passes with the journal: the way every caller (kvxw auto, the desktop's Auto
// Program and Force Write dialogs) runs a pass of a production command so that the chip is in
// the journal and its serial number was reserved on disk before it was stamped.
//
// The desktop, per dialog:
//   Journal journal;                         // once, at start-up: journal.Open(path, error);
//                                            // on failure tell the operator, offer no pass
//   PassJournal passes(&journal, portName, SerialSeriesOf(ws, qtpFileContent));
//   runner.Start(ws, [&](std::stop_token stop) {
//     OperationContext ctx{ws, port, clock, viewAdapter, stop};
//     result = RunJournaledPass(MainCommand(id), ctx, passNumber, passes, journalError);
//     return result.outcome;
//   }, ended);
// and on the queued end, when journalError is not empty, show it in a message box as it is: the
// pass was refused (or its end could not be written) and no further pass may start. The same
// PassJournal serves every "Continue" of the dialog; build a new one when the dialog opens
// again (the series may have changed).
#pragma once

#include <functional>
#include <string>

#include "core/ops/command.h"
#include "core/production/pass_journal.h"
#include "core/production/run_start.h"

namespace kvx {

// The start verdict for a run of `command` on the workspace as it stands: a command whose chips
// take a number (JournalPolicyOf) is decided on the workspace's series, any other one as a run
// without a series (only the passes of a run that died are told).
RunStart DecideCommandStart(Journal& journal, const Command& command, Workspace& ws);

// One pass of `command` (its flags, then its worker, as RunPass), reserved in the journal before
// and finished after. When the journal cannot be written, or a QTP series has no record left,
// `journalError` says so, ending in "; no chip was programmed" (the first pass) or "; no more
// chips", and the result has `last` set: outcome Refused when nothing was stamped or the pass's
// end could not be written (a pass that failed keeps its own outcome), outcome Ok when the QTP
// series is used up.
PassResult RunJournaledPass(const Command& command, OperationContext& ctx, long passNumber,
                            PassJournal& journal, std::string& journalError);

// RunPasses with every pass journaled: up to `count` passes, ending after the first that did not
// go through, a stop, or a journal error. `afterPass` (may be empty) is called after each pass,
// on the worker's thread.
PassResult RunJournaledPasses(const Command& command, OperationContext& ctx, long count,
                              PassJournal& journal,
                              const std::function<void(long, const PassResult&)>& afterPass,
                              std::string& journalError);

}  // namespace kvx
