#include "core/production/production_run.h"

#include "core/production/journaled_passes.h"

namespace kvx {

std::string_view RefusedBeforeAnyChip(const Command& command, const Workspace& ws) {
  return command.refusal != nullptr ? command.refusal(ws) : std::string_view();
}

struct ProductionRun::Station {
  Station(Workspace& w, std::unique_ptr<Workspace> o, const Writer& writer)
      : owned(std::move(o)),
        ws(&w),
        name(writer.name),
        port(&writer.port),
        open(writer.open),
        clock(writer.clock),
        view(writer.view) {}
  std::unique_ptr<Workspace> owned;  // every Writer's but the first
  Workspace* ws;
  std::string name;
  SerialPort* port;
  std::function<SerialPort*(std::string&)> open;
  Clock& clock;
  OperationView& view;
  std::unique_ptr<PassJournal> passes;
  WriterOutcome outcome;  // written on the Writer's thread, read once it ended
  bool stopRequested = false;  // under the run's mutex: a stop before the start starts nothing
  OperationRunner runner;
};

ProductionRun::ProductionRun(Plan plan) : plan_(std::move(plan)) {}

ProductionRun::~ProductionRun() {
  StopAll();
  for (auto& station : stations_) station->runner.Wait();
}

std::size_t ProductionRun::AddStation(Workspace& ws, std::unique_ptr<Workspace> owned,
                                      const Writer& writer) {
  auto station = std::make_unique<Station>(ws, std::move(owned), writer);
  // A Writer that takes its start as it starts gets its passes' journal then.
  if (!plan_.startAtNextFree)
    station->passes = std::make_unique<PassJournal>(plan_.journal, writer.name,
                                                    plan_.start.series, plan_.start.StartRecord());
  stations_.push_back(std::move(station));
  return stations_.size() - 1;
}

std::size_t ProductionRun::Add(Workspace& first, const Writer& writer) {
  return AddStation(first, nullptr, writer);
}

bool ProductionRun::Add(const Writer& writer, std::size_t& index, std::string& error) {
  auto ws = std::make_unique<Workspace>();
  if (!plan_.build || !plan_.build(*ws, error)) return false;
  // Every Writer starts where the first does: the same free number, or the same QTP record;
  // the journal then hands each number to one of them.
  if (!MoveToRunStart(plan_.start, *ws, error)) return false;
  Workspace& w = *ws;
  index = AddStation(w, std::move(ws), writer);
  return true;
}

// The series' next free start, taken on the Writer's thread: the journal is read while the
// Writer waits, never on a caller's (GUI) thread.
bool ProductionRun::TakeNextFreeStart(Station& s) {
  const RunStart start = DecideRunStartFor(*plan_.journal, *s.ws);
  std::string moved;
  const bool taken = start.verdict == RunStart::Verdict::StartHere ||
                     (start.CanResume() && MoveToRunStart(start, *s.ws, moved));
  if (!taken) {
    s.outcome.journalFailed = start.verdict == RunStart::Verdict::JournalUnreadable;
    NotStarted(s, OpOutcome::Refused,
               s.outcome.journalFailed ? ChipOutcome::JournalFailed : ChipOutcome::NotStarted,
               !moved.empty() ? moved : RunStartFacts(start));
    return false;
  }
  s.passes = std::make_unique<PassJournal>(plan_.journal, s.name, start.series, start.StartRecord());
  s.passes->StartSteppedOver(start.steppedOver);
  return true;
}

OpOutcome ProductionRun::NotStarted(Station& s, OpOutcome outcome, ChipOutcome end,
                                    std::string reason) {
  s.outcome.notStarted = reason;
  s.outcome.end = end;
  s.outcome.last.port = s.name;
  s.outcome.last.outcome = end;
  s.outcome.last.reason = std::move(reason);
  return s.outcome.outcome = outcome;
}

OpOutcome ProductionRun::Work(Station& s, std::size_t index, std::stop_token stop) {
  if (s.open) {
    std::string reason;
    SerialPort* port = s.open(reason);
    if (port == nullptr)
      return NotStarted(s, OpOutcome::LinkFailed, ChipOutcome::LinkFailed, std::move(reason));
    s.port = port;
  }
  if (!RefusedBeforeAnyChip(*plan_.command, *s.ws).empty()) {
    // The pass refuses by its own first check, before the Writer is asked: its dialog shows why,
    // and with no number reserved there is no row to write and nothing to count.
    OperationContext ctx{*s.ws, *s.port, s.clock, s.view, stop};
    const PassResult refused = RunPass(*plan_.command, ctx, 1);
    return NotStarted(s, refused.outcome, ChipOutcomeOf(refused), refused.reason);
  }
  if (plan_.startAtNextFree && plan_.journal != nullptr && !TakeNextFreeStart(s))
    return s.outcome.outcome;
  // The journal failed (it could not be read or written, or its server went away), as against a
  // QTP file whose records other Writers took.
  const auto journalFailed = [&] {
    return !s.outcome.journalError.empty() &&
           !(s.passes->Exhausted() && IsQtpSeries(s.passes->Series()));
  };
  PassReporter reporter(s.name);
  reporter.Begin(*s.ws);
  OperationContext ctx{*s.ws, *s.port, s.clock, s.view, stop};
  const auto after = [&](long pass, const PassResult& result) {
    s.outcome.passes = pass;
    s.outcome.redLine = s.outcome.redLine || result.redLine;
    const bool recorded = plan_.journal != nullptr && s.outcome.journalError.empty();
    // The number the chip carries: a number given back (the pass failed before it) is none.
    if (recorded && s.passes->Row().keepsNumber) s.outcome.lastSerial = s.passes->Row().serial;
    s.outcome.last = reporter.After(*s.ws, pass, result, recorded ? &s.passes->Row() : nullptr,
                                    s.outcome.journalError, journalFailed());
    if (plan_.afterPass) plan_.afterPass(index, *s.ws, s.outcome.last);
  };
  const PassResult last =
      plan_.journal != nullptr
          ? RunJournaledPasses(*plan_.command, ctx, plan_.passes, *s.passes, after,
                               s.outcome.journalError)
          : RunPasses(*plan_.command, ctx, plan_.passes, after);
  s.outcome.outcome = last.outcome;
  s.outcome.journalFailed = journalFailed();
  // A chip that failed keeps its own outcome; one the journal refused, or whose end it could not
  // write, ends the run as the journal's failure.
  s.outcome.end = ChipOutcomeOf(last);
  if (s.outcome.journalFailed &&
      (s.outcome.end == ChipOutcome::Ok || s.outcome.end == ChipOutcome::ConfigurationRefused))
    s.outcome.end = ChipOutcome::JournalFailed;
  s.outcome.writerBusyHint = s.ws->results.WriterBusyHint;
  return last.outcome;
}

void ProductionRun::Start() {
  std::vector<std::size_t> notStarted;
  {
    std::lock_guard lock(mutex_);
    if (started_) return;
    started_ = true;
    for (std::size_t i = 0; i < stations_.size(); ++i) {
      Station& s = *stations_[i];
      if (s.stopRequested) {
        s.outcome.outcome = OpOutcome::Stopped;
        s.outcome.end = s.outcome.last.outcome = ChipOutcome::Stopped;
        notStarted.push_back(i);
        continue;
      }
      const bool started = s.runner.Start(
          *s.ws, [this, &s, i](std::stop_token stop) { return Work(s, i, stop); },
          [this, &s, i](OpOutcome) {
            if (plan_.ended) plan_.ended(i, s.outcome);
          });
      // Another holds the workspace: this Writer ends before it started.
      if (!started) notStarted.push_back(i);
    }
  }
  // Told outside the lock: the caller may stop another Writer from its `ended`.
  for (std::size_t i : notStarted)
    if (plan_.ended) plan_.ended(i, stations_[i]->outcome);
}

void ProductionRun::Stop(std::size_t writer) {
  std::lock_guard lock(mutex_);
  if (writer >= stations_.size()) return;
  stations_[writer]->stopRequested = true;
  stations_[writer]->runner.RequestStop();
}

void ProductionRun::StopAll() {
  std::lock_guard lock(mutex_);
  for (auto& station : stations_) {
    station->stopRequested = true;
    station->runner.RequestStop();
  }
}

bool ProductionRun::WaitFor(std::chrono::milliseconds limit) {
  for (auto& station : stations_)
    if (!station->runner.WaitFor(limit)) return false;
  return true;
}

std::vector<WriterOutcome> ProductionRun::Wait() {
  std::vector<WriterOutcome> outcomes;
  for (auto& station : stations_) {
    station->runner.Wait();
    outcomes.push_back(station->outcome);
  }
  return outcomes;
}

const Workspace& ProductionRun::WorkspaceOf(std::size_t writer) const {
  return *stations_[writer]->ws;
}

}  // namespace kvx
