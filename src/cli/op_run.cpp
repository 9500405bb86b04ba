#include "cli/op_run.h"

#include <unistd.h>

#include <chrono>

#include "cli/stop_signals.h"

#include "core/device/text_convert.h"
#include "core/device/workspace_ops.h"
#include "core/ops/runner.h"
#include "sim/sim_writer.h"

namespace kvx::cli {

OpOutcome RunInterruptible(Workspace& ws, const std::function<OpOutcome(std::stop_token)>& work) {
  StopSignalScope scope;
  // A stop signal that came while the port was being opened stops the run before it starts.
  if (StopSignal() != 0) return OpOutcome::Stopped;
  OperationRunner runner;
  if (!runner.Start(ws, work)) return OpOutcome::Refused;
  while (!runner.WaitFor(std::chrono::milliseconds(50)))
    if (StopSignal() != 0) runner.RequestStop();
  return runner.Wait();
}

std::vector<WriterOutcome> RunInterruptible(ProductionRun& run) {
  StopSignalScope scope;
  // A stop signal that came while the ports were being opened stops every Writer before it starts.
  if (StopSignal() != 0) run.StopAll();
  run.Start();
  while (!run.WaitFor(std::chrono::milliseconds(50)))
    if (StopSignal() != 0) run.StopAll();
  return run.Wait();
}

int ExitStatus(ChipOutcome outcome) {
  switch (outcome) {
    case ChipOutcome::Ok:
      return kExitOk;
    case ChipOutcome::ChipFailed:
    case ChipOutcome::ConfigurationRefused:
    case ChipOutcome::JournalFailed:
    case ChipOutcome::NotStarted:
      return kExitFailed;
    case ChipOutcome::LinkFailed:
    case ChipOutcome::NoChip:
      return kExitLink;
    case ChipOutcome::Stopped:
      return StoppedExitStatus();
  }
  return kExitFailed;
}

int ExitStatus(OpOutcome outcome, bool sawRed) {
  return ExitStatus(ChipOutcomeOf(PassResult{.outcome = outcome, .redLine = sawRed}));
}

int EndDialogPasses(std::string_view name, TerminalView& view, const Workspace& ws,
                    ChipOutcome end, const std::string& journalError, std::ostream& err) {
  view.Finish();
  if (!journalError.empty()) err << "kvxw " << name << ": " << journalError << '\n';
  if (end == ChipOutcome::Stopped) err << "kvxw " << name << ": stopped\n";
  if (ws.results.WriterBusyHint && end != ChipOutcome::Ok)
    err << "kvxw " << name << ": " << kWriterBusyHint << '\n';
  return ExitStatus(end);
}

int RunDialogPasses(std::string_view name, const kvx::Command& command, Workspace& ws, CliPort& port,
                    long passes, const AfterPass& afterPass, std::ostream& out,
                    std::ostream& err, JsonLines* json) {
  TerminalView view(out, err, ::isatty(STDERR_FILENO) == 1);
  view.AttachJson(json, port.shownName());
  view.Open(command.dialog());
  PassResult last{.outcome = OpOutcome::Refused};  // when the runner did not start
  const OpOutcome outcome = RunInterruptible(ws, [&](std::stop_token stop) {
    OperationContext ctx{ws, port.port(), port.clock(), view, stop};
    PassReporter reporter(port.shownName());
    reporter.Begin(ws);
    last = RunPasses(command, ctx, passes, [&](long n, const PassResult& result) {
      view.ChipDone(reporter.After(ws, n, result, nullptr));
      if (afterPass) afterPass(view, ws, n);
    });
    return last.outcome;
  });
  // A stop signal before the start ends it without a pass.
  if (outcome == OpOutcome::Stopped) last.outcome = OpOutcome::Stopped;
  return EndDialogPasses(name, view, ws, ChipOutcomeOf(last), {}, err);
}

// ---- Shared options and steps --------------------------------------------------------------

OptionSpec DeviceOption() {
  return {"--device", "NAME", "the device, as 'kvxw devices' lists it", false, true};
}

OptionSpec FileOption(bool required) {
  return {"--file", "FILE",
          "the program file (bin, obj, kvh, hex or cfg), loaded as 'kvxw info' loads it", false,
          required};
}

OptionSpec OptionWordOption() {
  return {"--option", "LLHH",
          "the OPTION word: OptionLow then OptionHigh, two stored bytes 00-7F in hex, as "
          "'kvxw option' takes it (the device's fixed bits are then forced)"};
}

OptionSpec IdOption() {
  return {"--id", "TEXT",
          "the 12 ID bytes: up to 12 printable ASCII characters (the rest blank), or hex: and "
          "24 hex digits, as the ID editor's ASCII and HEX modes store them"};
}

OptionSpec EepromOption() {
  return {"--eeprom", "FILE",
          "the EEPROM bytes as a raw binary file, at most the device's EEPROM size (bytes past "
          "its end keep 00)"};
}

OptionSpec IgnoreBlankResetOption() {
  return {"--ignore-blank-reset", "",
          "program even when the word at the device's reset address is blank (the warning's "
          "Ignore)"};
}

OptionSpec CountOption(std::string_view what) { return {"--count", "K", std::string(what)}; }

const char kDeviceOutputHelp[] =
    "Every status line the dialog shows is printed, in order, as LABEL: TEXT, where LABEL is\n"
    "the line's control name (StaticText1 is the dialog's title; Label1, Label2, EEInfo, ...\n"
    "are its status lines), e.g. 'Label2: OPTION ....... OK'. A line the dialog shows in red\n"
    "ends in ' [error]'. A stored '&&' is shown as '&', as the dialog draws it. Message boxes\n"
    "are printed as 'Message: TEXT'.\n"
    "Progress of long transfers goes to standard error: a bar on a terminal, otherwise lines\n"
    "'progress: P' (P in whole percent, at most one line per 10%).\n"
    "Ctrl-C, SIGTERM and SIGHUP stop the operation between two bytes; nothing more is sent to\n"
    "the Writer and the port is released.\n"
    "Exit status: 0 the operation ended without a red line; 1 the chip failed (not blank, a\n"
    "program or verify failure, a protection or OPTION check) or the buffer was refused before\n"
    "the Writer was asked; 2 usage error; 3 the link failed (the port, a time-out, 'Writer\n"
    "Error!!', nothing in the socket, the adapter board); 128 + the signal's number when\n"
    "stopped: 130 Ctrl-C, 143 SIGTERM, 129 SIGHUP.";

bool ResetAddressAccepted(std::string_view command, const Workspace& ws, const Args& args,
                          std::ostream& out, std::ostream& err) {
  const ResetAddrCheck check = CheckResetAddr(ws);
  if (!check.blank) return true;
  out << "Message: " << check.text << "\n";
  if (args.Has("--ignore-blank-reset")) return true;
  err << "kvxw " << command
      << ": not programmed: the reset word is blank (give --ignore-blank-reset to program "
         "anyway)\n";
  return false;
}

void FreshChipsForSim(CliPort& port, const kvx::Command& command, const Args& args) {
  sim::SimWriter* writer = port.simWriter();
  if (writer == nullptr) return;
  sim::ChipContent content = sim::ChipContent::Blank;
  if (args.Has("--sim-chip")) sim::ParseChipContent(args.Get("--sim-chip"), content);
  sim::FreshChipsFor(*writer, command, content);
}

bool ParseCount(std::string_view command, const Args& args, long& count, std::ostream& err) {
  count = 1;
  if (!args.Has("--count")) return true;
  if (ParseDecimal(args.Get("--count"), count) && count >= 1 && count <= 1000000) return true;
  UsageError(command, "--count wants a number of passes from 1 to 1000000", err);
  return false;
}

}  // namespace kvx::cli
