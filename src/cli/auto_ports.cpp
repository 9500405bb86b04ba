#include "cli/auto_ports.h"

#include <unistd.h>

#include <memory>
#include <sstream>

#include "cli/port_lines.h"
#include "cli/port_open.h"
#include "core/production/production_run.h"

namespace kvx::cli {

namespace {

int Rank(int status) {
  switch (status) {
    case kExitOk: return 0;
    case kExitFailed: return 1;
    case kExitUsage: return 2;
    case kExitLink: return 3;
  }
  return status >= 128 ? 4 : 1;  // stopped by a signal: 128 + its number
}

// The run's plan for the core; `views` are the ports' terminal views, by the run's Writer index.
ProductionRun::Plan CorePlan(const AutoPortsPlan& plan, const AutoJournal& journal,
                             std::vector<TerminalView*>& views) {
  return {
      .command = &plan.command,
      .passes = plan.passes,
      .journal = journal.journal.get(),
      .start = journal.start,
      .build =
          [&plan](Workspace& ws, std::string& error) {
            std::ostringstream quiet;  // the first port's build already said it all
            const bool built = plan.build(ws, quiet, quiet) == kExitOk;
            error = quiet.str();
            return built;
          },
      .afterPass =
          [&plan, &views](std::size_t writer, const Workspace& ws, const PassReport& report) {
            views[writer]->ChipDone(report);
            if (plan.afterPass) plan.afterPass(*views[writer], ws, report.pass);
          },
  };
}

}  // namespace

int WorseExit(int a, int b) { return Rank(b) > Rank(a) ? b : a; }

int RunAutoPort(const Args& args, const AutoPortsPlan& plan, Workspace& first,
                const AutoJournal& journal, std::ostream& out, std::ostream& err) {
  CliPort port;
  if (!OpenCliPort(args, plan.device, port, err)) return port.failureExit();
  if (plan.command.resetCheck && !ResetAddressAccepted(plan.name, first, args, out, err))
    return kExitFailed;
  FreshChipsForSim(port, plan.command, args);
  TerminalView view(out, err, ::isatty(STDERR_FILENO) == 1);
  std::vector<TerminalView*> views{&view};
  ProductionRun run(CorePlan(plan, journal, views));
  run.Add(first, {port.shownName(), port.port(), port.clock(), view});
  view.AttachJson(args.json, port.shownName());
  view.Open(plan.command.dialog());
  const WriterOutcome outcome = RunInterruptible(run).front();
  return EndDialogPasses(plan.name, view, first, outcome.end, outcome.journalError, err);
}

int RunAutoPorts(const Args& args, const AutoPortsPlan& plan, Workspace& first,
                 const AutoJournal& journal, std::ostream& out, std::ostream& err) {
  // Refused before any chip: said once for every port, and nothing is taken or journaled.
  if (const std::string_view refused = RefusedBeforeAnyChip(plan.command, first); !refused.empty()) {
    err << "kvxw " << plan.name << ": " << refused << "\n";
    return kExitFailed;
  }
  const std::size_t count = plan.ports.size();
  std::vector<CliPort> ports(count);
  std::vector<std::string> openErrors(count), openWarnings(count), shown;
  std::vector<int> status(count, kExitOk);
  for (std::size_t i = 0; i < count; ++i) {
    Args one = args;
    one.values_["--port"] = {plan.ports[i]};
    std::ostringstream error;
    if (!OpenCliPort(one, plan.device, ports[i], error)) {
      status[i] = ports[i].failureExit();
      openErrors[i] = error.str();
    } else {
      openWarnings[i] = error.str();  // a slow port's warning line
    }
    shown.push_back(ports[i].shownName());
  }
  const std::vector<std::string> names = PortLines::DistinctNames(shown);
  PortLines lines(out, err, ::isatty(STDERR_FILENO) == 1, names);

  // The run's Writers: every port that opened and got its workspace.
  std::vector<std::unique_ptr<TerminalView>> views(count);
  std::vector<TerminalView*> writerViews;
  std::vector<std::size_t> writerPort;
  ProductionRun run(CorePlan(plan, journal, writerViews));
  for (std::size_t i = 0; i < count; ++i) {
    if (!openErrors[i].empty()) {
      lines.Err(i) << openErrors[i];
      continue;
    }
    lines.Err(i) << openWarnings[i];
    views[i] = std::make_unique<TerminalView>(lines.Out(i), lines.Err(i), false);
    views[i]->SendProgressTo([&lines, i](int percent) { lines.Progress(i, percent); });
    const ProductionRun::Writer writer{names[i], ports[i].port(), ports[i].clock(), *views[i]};
    std::size_t index = 0;
    std::string error;
    if (i == 0) {
      index = run.Add(first, writer);
    } else if (!run.Add(writer, index, error)) {
      lines.Err(i) << error << (error.ends_with('\n') ? "" : "\n");
      status[i] = kExitFailed;
      continue;
    }
    FreshChipsForSim(ports[i], plan.command, args);
    writerViews.push_back(views[i].get());
    writerPort.push_back(i);
  }
  for (std::size_t w = 0; w < writerViews.size(); ++w) {
    writerViews[w]->AttachJson(args.json, names[writerPort[w]]);
    writerViews[w]->Open(plan.command.dialog());
  }

  const std::vector<WriterOutcome> outcomes = RunInterruptible(run);
  for (std::size_t w = 0; w < outcomes.size(); ++w) {
    const std::size_t i = writerPort[w];
    status[i] = EndDialogPasses(plan.name, *views[i], run.WorkspaceOf(w), outcomes[w].end,
                                outcomes[w].journalError, lines.Err(i));
  }
  lines.Finish();

  int worst = kExitOk;
  for (int s : status) worst = WorseExit(worst, s);
  return worst;
}

}  // namespace kvx::cli
