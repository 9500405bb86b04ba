#include "cli/auto_ports.h"

#include <unistd.h>

#include <memory>
#include <sstream>

#include "cli/port_lines.h"
#include "cli/port_open.h"

namespace kvx::cli {

namespace {

// One port's share of the run.
struct PortRun {
  std::unique_ptr<Workspace> owned;
  Workspace* ws = nullptr;
  CliPort port;
  std::unique_ptr<PassJournal> journal;
  std::unique_ptr<TerminalView> view;
  std::string openError;
  std::string journalError;
  int status = kExitOk;
};

int Rank(int status) {
  switch (status) {
    case kExitOk: return 0;
    case kExitFailed: return 1;
    case kExitUsage: return 2;
    case kExitLink: return 3;
  }
  return status >= 128 ? 4 : 1;  // stopped by a signal: 128 + its number
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

  std::vector<InterruptibleWork> works;
  std::vector<std::size_t> working;
  for (std::size_t i = 0; i < count; ++i) {
    PortRun& run = runs[i];
    if (run.journal == nullptr) continue;
    run.view = std::make_unique<TerminalView>(lines.Out(i), lines.Err(i), false);
    run.view->AttachJson(args.json, names[i]);
    run.view->Open(plan.command.dialog());
    works.push_back({run.ws, DialogPassesWork(plan.command, *run.ws, run.port, *run.view,
                                              plan.passes, plan.afterPass,
                                              journal.journal.get() ? run.journal.get() : nullptr,
                                              run.journalError)});
    working.push_back(i);
  }
  const std::vector<OpOutcome> outcomes = RunInterruptibleAll(works);
  for (std::size_t k = 0; k < working.size(); ++k) {
    PortRun& run = runs[working[k]];
    run.status = EndDialogPasses("auto", *run.view, *run.ws, outcomes[k], run.journalError,
                                 lines.Err(working[k]));
  }
  lines.Finish();

  int status = kExitOk;
  for (const PortRun& run : runs) status = WorseExit(status, run.status);
  return status;
}

}  // namespace kvx::cli
