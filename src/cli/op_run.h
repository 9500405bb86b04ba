// Running a device operation from the command line: the core's OperationRunner runs the worker
// on a thread of its own; Ctrl-C (SIGTERM, SIGHUP: see stop_signals.h) only asks it to stop, so
// an interrupted operation ends between
// two bytes with nothing more sent and the port closed properly; the outcome becomes the exit
// status.
#pragma once

#include <functional>
#include <ostream>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command.h"
#include "cli/op_view.h"
#include "cli/port_open.h"
#include "core/device/workspace.h"
#include "core/ops/command.h"
#include "core/ops/operation.h"
#include "core/production/production_run.h"

namespace kvx::cli {

inline constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as shells report Ctrl-C

// Runs `work` on the operation runner, holding `ws`, until it returns. The first stop signal asks it
// to stop; a second one ends the program at once, in case the operation does not come back.
OpOutcome RunInterruptible(Workspace& ws, const std::function<OpOutcome(std::stop_token)>& work);
// A production run of one Writer or several: a stop signal asks them all to stop (one that
// came before the start stops every Writer before its first byte). Returns each Writer's
// outcome, in the order they were added.
std::vector<WriterOutcome> RunInterruptible(ProductionRun& run);

// The core's outcome as an exit status: 0 ok, 1 when the chip (or the buffer, or the journal)
// failed or nothing was started, 3 when the link failed, 128 + the signal's number when a stop
// signal stopped it.
int ExitStatus(ChipOutcome outcome);
// The same for an operation of no production pass (kvxw writer, kvxw download).
int ExitStatus(OpOutcome outcome, bool sawRed);

// Called after each pass with its number, on the worker's thread (lines of the command's own:
// the pass count, the serial number).
using AfterPass = std::function<void(TerminalView& view, const Workspace& ws, long pass)>;

// A command of the core table with its dialog on the terminal: opens the dialog and runs pass
// 1, 2, ... up to `passes` on the runner. It ends after the first pass that did not go through
// (an outcome other than Ok, or a red line) or was the last; after a stop signal "kvxw COMMAND:
// stopped" goes to `err`. Returns the exit status.
// With `json` (--json) the status lines, progress and chips also go out as JSON Lines.
int RunDialogPasses(std::string_view name, const kvx::Command& command, Workspace& ws, CliPort& port,
                    long passes, const AfterPass& afterPass, std::ostream& out,
                    std::ostream& err, JsonLines* json = nullptr);
// The end of a dialog's passes: what is still pending printed, a journal error as "kvxw COMMAND:
// ERROR" (the core's text says whether a chip was programmed), a stop, the Writer-busy hint;
// returns the exit status of the run's outcome `end`.
int EndDialogPasses(std::string_view name, TerminalView& view, const Workspace& ws,
                    ChipOutcome end, const std::string& journalError, std::ostream& err);

// The option entries the device commands share.
OptionSpec DeviceOption();
OptionSpec FileOption(bool required);
OptionSpec OptionWordOption();
OptionSpec IdOption();
OptionSpec EepromOption();
OptionSpec IgnoreBlankResetOption();
OptionSpec CountOption(std::string_view what);

// Help text shared by the device commands: the form of the printed lines and the exit statuses.
extern const char kDeviceOutputHelp[];

// Before programming: the word the device starts from must not be blank. Without
// --ignore-blank-reset a blank one refuses the command (the operator's "Abort"), with the text of
// the warning; with it the warning is printed and programming goes on.
bool ResetAddressAccepted(std::string_view command, const Workspace& ws, const Args& args,
                          std::ostream& out, std::ostream& err);

// With `--port sim`, the socket as the production tiles' is for `command`
// (sim::FreshChipsFor): a command that runs chip after chip finds a fresh one (of --sim-chip's
// content, blank by default) after each chip it programmed, as an operator puts in the next.
void FreshChipsForSim(CliPort& port, const kvx::Command& command, const Args& args);

// A positive --count, 1 when not given; false after a usage error.
bool ParseCount(std::string_view command, const Args& args, long& count, std::ostream& err);

}  // namespace kvx::cli
