#include "core/production/journaled_passes.h"

#include "core/link/writer_link.h"
#include "core/production/commands.h"
#include "core/production/production_run.h"

namespace kvx {

RunStart DecideCommandStart(Journal& journal, const Command& command, Workspace& ws) {
  if (JournalPolicyOf(command.id).numbered && ws.production.SerialNoMode)
    return DecideRunStartFor(journal, ws);
  return DecideRunStart(journal, {}, ws, {});
}

PassResult RunJournaledPass(const Command& command, OperationContext& ctx, long passNumber,
                            PassJournal& journal, std::string& journalError) {
  // The command's flags first: Force Write switches serial numbers off, and a chip without a
  // number is recorded without one.
  if (command.prepare != nullptr) command.prepare(ctx.ws);
  // A run that died on this port may have left the Writer taking bytes for its chip: the first
  // byte of this run waits until the Writer dropped them.
  if (passNumber == 1 && journal.WriterMayBeBusy()) {
    WriterLink link(ctx.ws, ctx.port, ctx.clock, ctx.stop);
    if (!link.LetWriterSettle()) return {.outcome = OpOutcome::Stopped, .last = true};
  }
  // A pass its own first check refuses (a blank buffer, OPTION fields) asks the Writer nothing:
  // it is no chip, so it takes no number and leaves no row.
  if (!RefusedBeforeAnyChip(command, ctx.ws).empty()) return RunPass(command, ctx, passNumber);
  // The number is reserved before the Writer is asked anything: a journal that cannot take it
  // stops the run with nothing sent.
  if (!journal.BeforePass(ctx.ws, journalError, ctx.stop)) {
    // Other ports took the QTP file's last records: this port's run is over, not failed.
    const bool qtpDone = journal.Exhausted() && IsQtpSeries(journal.Series());
    journalError = passNumber == 1 && !qtpDone ? NoChipProgrammed(journalError)
                                               : journalError + "; no more chips";
    // A stop that ended the wait for a shared journal's server stopped the run.
    const OpOutcome refused = ctx.stop.stop_requested() ? OpOutcome::Stopped : OpOutcome::Refused;
    return {.outcome = qtpDone ? OpOutcome::Ok : refused, .last = true};
  }
  // The journal names the Writer of each chip. The desktop knows it from its start-up check; a
  // caller that did not ask (kvxw) asks once, in its first pass. A Writer that does not answer
  // is left to the pass's own Writer check to report.
  if (ctx.ws.results.WriterId.empty() && passNumber == 1) {
    WriterLink link(ctx.ws, ctx.port, ctx.clock, ctx.stop);
    link.CheckWriter(true);
  }
  JournalView recorded(ctx.view);
  OperationContext journaled{ctx.ws, ctx.port, ctx.clock, recorded, ctx.stop};
  PassResult result = RunPass(command, journaled, passNumber);
  if (!journal.AfterPass(ctx.ws, result, journalError, ctx.stop)) {
    // The end of this pass is not on disk: no further chip, and the run ends as failed. The row
    // stays pending, so its number stays used.
    journalError += "; no more chips";
    result.last = true;
    if (result.outcome == OpOutcome::Ok)
      result.outcome = ctx.stop.stop_requested() ? OpOutcome::Stopped : OpOutcome::Refused;
    return result;
  }
  recorded.ReleaseButtons();
  return result;
}

PassResult RunJournaledPasses(const Command& command, OperationContext& ctx, long count,
                              PassJournal& journal,
                              const std::function<void(long, const PassResult&)>& afterPass,
                              std::string& journalError) {
  PassResult result;
  for (long n = 1; n <= count; ++n) {
    if (ctx.stop.stop_requested()) {
      result.outcome = OpOutcome::Stopped;
      break;
    }
    result = RunJournaledPass(command, ctx, n, journal, journalError);
    if (afterPass) afterPass(n, result);
    if (!result.WentThrough()) break;
  }
  return result;
}

}  // namespace kvx
