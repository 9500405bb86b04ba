#include "cli/auto_ports.h"

#include <unistd.h>

#include <memory>
#include <sstream>
#include <thread>

#include "cli/port_lines.h"
#include "cli/port_open.h"
#include "core/production/auto_program.h"

namespace kvx::cli {

namespace {

// One port's share of the run.
struct PortRun {
  std::unique_ptr<Workspace> owned;
  Workspace* ws = nullptr;
  CliPort port;
  std::unique_ptr<PassJournal> journal;
  std::string openError;
  int status = kExitOk;
};

// Passes 1, 2, ... on one port until one does not go through or the count is reached.
int RunPortPasses(PortRun& run, const AutoPortsPlan& plan, std::ostream& out, std::ostream& err,
                  std::stop_token stop) {
  TerminalView view(out, err, false);
  view.SetStreamBytes(run.ws->ProgramBytes);
  view.Open(AutoProgramDialog());
  OperationContext ctx{*run.ws, run.port.port(), run.port.clock(), view, stop};
  const PassRunner pass = plan.pass(*run.journal, err);
  OpOutcome last = OpOutcome::Ok;
  for (long n = 1; n <= plan.passes; ++n) {
    if (stop.stop_requested()) {
      last = OpOutcome::Stopped;
      break;
    }
    const PassEnd end = pass(ctx, view, n);
    last = end.outcome;
    if (last != OpOutcome::Ok || view.SawRed() || end.last) break;
  }
  view.Finish();
  if (last == OpOutcome::Stopped) err << "kvxw auto: stopped\n";
  return ExitStatus(last, view.SawRed());
}

int Rank(int status) {
  switch (status) {
    case kExitOk: return 0;
    case kExitFailed: return 1;
    case kExitUsage: return 2;
    case kExitLink: return 3;
    case kExitInterrupted: return 4;
  }
  return 1;
}

}  // namespace

int WorseExit(int a, int b) { return Rank(b) > Rank(a) ? b : a; }

int RunAutoPorts(const Args& args, const AutoPortsPlan& plan, Workspace& first,
                 const AutoJournal& journal, std::ostream& out, std::ostream& err) {
  const std::size_t count = plan.ports.size();
  std::vector<PortRun> runs(count);
  std::vector<std::string> shown;
  for (std::size_t i = 0; i < count; ++i) {
    Args one = args;
    one.values_["--port"] = {plan.ports[i]};
    std::ostringstream error;
    if (!OpenCliPort(one, plan.device, runs[i].port, error)) {
      runs[i].status = runs[i].port.failureExit();
      runs[i].openError = error.str();
    }
    shown.push_back(runs[i].port.shownName());
  }
  const std::vector<std::string> names = PortLines::DistinctNames(shown);
  PortLines lines(out, err, ::isatty(STDERR_FILENO) == 1, names);

  // Every port its own workspace, built as the first one was and starting where it starts.
  const std::string firstSerial = first.SerialText;
  for (std::size_t i = 0; i < count; ++i) {
    PortRun& run = runs[i];
    if (!run.openError.empty()) {
      lines.Err(i) << run.openError;
      continue;
    }
    if (i == 0) {
      run.ws = &first;
    } else {
      run.owned = std::make_unique<Workspace>();
      run.ws = run.owned.get();
      std::ostringstream quiet;  // the first port's build already said it all
      run.status = plan.build(*run.ws, quiet, quiet);
      if (run.status != kExitOk) {
        lines.Err(i) << quiet.str();
        continue;
      }
      StartAt(journal, *run.ws, firstSerial);
    }
    FreshChipEachPass(run.port, args);
    run.journal = std::make_unique<PassJournal>(journal.journal.get(), names[i], journal.series,
                                                journal.firstRecord);
  }

  RunInterruptible([&](std::stop_token stop) {
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < count; ++i) {
      if (runs[i].journal == nullptr) continue;
      threads.emplace_back([&, i] {
        runs[i].status = RunPortPasses(runs[i], plan, lines.Out(i), lines.Err(i), stop);
      });
    }
    for (auto& t : threads) t.join();
    return OpOutcome::Ok;
  });
  lines.Finish();

  int status = kExitOk;
  for (const PortRun& run : runs) status = WorseExit(status, run.status);
  return status;
}

}  // namespace kvx::cli
