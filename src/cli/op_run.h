// Running a device operation from the command line: the worker runs on a thread of its own with
// a stop token that Ctrl-C requests, so an interrupted operation ends between two bytes with
// nothing more sent and the port closed properly; the outcome becomes the exit status.
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
#include "core/ops/operation.h"

namespace kvx::cli {

inline constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as shells report Ctrl-C

// Runs `work` until it returns. The first Ctrl-C asks it to stop; a second one ends the
// program at once, in case the operation does not come back.
OpOutcome RunInterruptible(const std::function<OpOutcome(std::stop_token)>& work);

// 0 when the operation ended without a red line, 1 when the chip (or the buffer) failed, 3 when
// the link failed, 130 when Ctrl-C stopped it.
int ExitStatus(OpOutcome outcome, bool sawRed);

// How one chip's pass ended, and whether it is the last in any case (the end of a QTP file).
struct PassEnd {
  OpOutcome outcome = OpOutcome::Ok;
  bool last = false;
};
using PassRunner = std::function<PassEnd(OperationContext& ctx, TerminalView& view, long pass)>;

// An operation's dialog on the terminal: opens `dialog` (the address lines of `streamBytes`
// program bytes become progress; 0: none) and runs `pass` for chip 1, 2, ... up to `passes` on a
// thread Ctrl-C stops. It ends after the first pass that did not go through (an outcome other
// than Ok, or a red line) or was the last; after Ctrl-C "kvxw COMMAND: stopped" goes to `err`.
// Returns the exit status.
int RunDialogPasses(std::string_view command, const DialogSpec& dialog, int streamBytes,
                    Workspace& ws, CliPort& port, long passes, const PassRunner& pass,
                    std::ostream& out, std::ostream& err);

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

// With `--port sim` every Writer check after a programmed chip finds a fresh one in the socket
// (of --sim-chip's content, blank by default), as an operator puts in the next chip.
void FreshChipEachPass(CliPort& port, const Args& args);

// A positive --count, 1 when not given; false after a usage error.
bool ParseCount(std::string_view command, const Args& args, long& count, std::ostream& err);

}  // namespace kvx::cli
