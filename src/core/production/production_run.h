// Auto Program on one Writer or several at once: the one entry point kvxw auto (one --port or
// many) runs, and the desktop's production window will run.
//
// Each Writer gets an OperationRunner (a thread) of its own and a workspace of its own: the
// first the caller's, which the start verdict was decided on (run_start.h); every further one
// built by the caller's `build` as the first was, then moved to the run's start (the same first
// number, or the same QTP record). All draw their numbers through the one Journal, which hands
// each number to one chip only. A Writer that fails stops only itself.
//
// Events per Writer, on that Writer's worker thread, in order: its status lines and progress
// through the OperationView the caller supplied for it; `afterPass` after each pass; `ended` as
// its very last act, with its typed outcome (for a Writer that never started, from Start
// itself). A GUI caller queues them to its own thread, as it
// does for one dialog (core/ops/runner.h); Start never blocks, Stop and StopAll may come from any
// thread, and the caller reads a Writer's workspace only once its `ended` came (or after Wait).
//
//   ProductionRun run({.command = &MainCommand(CommandId::AutoProgram), .passes = 10,
//                      .journal = &journal, .start = verdict, .build = buildLikeTheFirst,
//                      .ended = queueToGuiThread});
//   run.Add(firstWs, {"COM1", port1, clock, view1});
//   run.Add({"COM2", port2, clock, view2}, index, error);
//   run.Start();  // then each Writer's `ended`, or WaitFor / Wait
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/ops/command.h"
#include "core/ops/runner.h"
#include "core/production/journal.h"
#include "core/production/pass_journal.h"
#include "core/production/pass_report.h"
#include "core/production/run_start.h"

namespace kvx {

// How one Writer's share of the run ended.
struct WriterOutcome {
  OpOutcome outcome = OpOutcome::Refused;
  bool redLine = false;       // a pass showed a red line
  long passes = 0;            // passes run (the last may have failed)
  std::string journalError;   // the journal refused a pass or could not write its end
  std::string lastSerial;     // the number a journaled pass last left on a chip; empty when none
  // The journal failed (it could not be read or written, or its server went away), as against a
  // QTP file whose records other Writers took: the run ends as failed, whatever the chips did.
  bool journalFailed = false;
  bool writerBusyHint = false;  // the Writer answered as if still busy with another exchange
  // Why the Writer never started its first pass (its port did not open, or its series had no
  // start to take), as the operator reads it; empty when it started.
  std::string notStarted;
  // How the Writer's share ended, as the operator and kvxw's exit status take it: the last
  // chip's outcome, Stopped for a stop between two chips, JournalFailed whatever the chips did
  // when the journal failed, LinkFailed for a port that did not open, NotStarted (or
  // JournalFailed) for a Writer that had no start to take, ConfigurationRefused for a workspace
  // refused before any chip.
  ChipOutcome end = ChipOutcome::NotStarted;
  // The report of the last pass; for a Writer that never started, its outcome and reason.
  PassReport last;
};

// Why `command` refuses the workspace before any chip (a blank OPTION, a blank buffer, ...), as
// the dialog says it; empty when a chip may start. Such a run is no chip: the front ends say the
// reason once for the whole station, and a Writer of a run refused so takes no number, writes
// no journal row and counts no failure (it ends ConfigurationRefused).
std::string_view RefusedBeforeAnyChip(const Command& command, const Workspace& ws);

class ProductionRun {
 public:
  // Fills a fresh workspace as the first Writer's was filled (program, OPTION word, ID, serial
  // numbers or QTP file). False with a message when it cannot.
  using BuildWorkspace = std::function<bool(Workspace& ws, std::string& error)>;
  // After each pass, on the Writer's thread, with the pass's report (its journal row in
  // report.row when the journal wrote it).
  using AfterPass =
      std::function<void(std::size_t writer, const Workspace& ws, const PassReport& report)>;
  using Ended = std::function<void(std::size_t writer, const WriterOutcome& outcome)>;

  struct Plan {
    const Command* command = nullptr;  // Auto Program, with or without the blank check
    long passes = 1;                   // chips per Writer, at most
    Journal* journal = nullptr;        // null: no journal, nothing recorded or reserved
    RunStart start;                    // the series and where every Writer starts
    BuildWorkspace build;              // for every Writer after the first
    AfterPass afterPass;               // may be empty
    Ended ended;                       // may be empty
    // Each Writer takes its start on its own thread as it starts: the series' next free number
    // (or QTP record), whatever earlier runs and the other Writers took, and `start` is not
    // used. A Writer whose series has none left, or whose journal cannot be read, ends Refused
    // with the facts in `notStarted`. The production window's tiles start each chip so.
    bool startAtNextFree = false;
  };
  struct Writer {
    std::string name;  // the port as the journal and the lines name it
    SerialPort& port;
    Clock& clock;
    OperationView& view;
    // Opens the Writer's port on the Writer's own thread, before its first byte, and returns the
    // port to use instead of `port`; null with the reason ends the Writer LinkFailed, nothing
    // sent. Empty: `port` is open already.
    std::function<SerialPort*(std::string& reason)> open = {};
  };

  explicit ProductionRun(Plan plan);
  ~ProductionRun();  // stops every Writer and waits for it
  ProductionRun(const ProductionRun&) = delete;
  ProductionRun& operator=(const ProductionRun&) = delete;

  // The first Writer, on the workspace the start was decided on (already at the run's start).
  std::size_t Add(Workspace& first, const Writer& writer);
  // A further Writer, on a workspace of its own built by plan.build and moved to the run's start.
  // False, with the message, when that workspace cannot be built: the Writer is left out.
  bool Add(const Writer& writer, std::size_t& index, std::string& error);

  // Starts every Writer's passes; returns at once. A Writer stopped before the start does not
  // start (it ends Stopped without a byte sent).
  void Start();
  // From any thread (a Writer's own callbacks too): the Writer ends at its next wait on the
  // Writer or between two passes, sending nothing more.
  void Stop(std::size_t writer);
  void StopAll();
  // Waits up to `limit` for every Writer to end; true when all have.
  bool WaitFor(std::chrono::milliseconds limit);
  // Waits for every Writer to end; their outcomes in the order they were added.
  std::vector<WriterOutcome> Wait();

  std::size_t Size() const { return stations_.size(); }
  // A Writer's workspace; the caller reads it only after that Writer ended.
  const Workspace& WorkspaceOf(std::size_t writer) const;

 private:
  struct Station;
  std::size_t AddStation(Workspace& ws, std::unique_ptr<Workspace> owned, const Writer& writer);
  OpOutcome Work(Station& station, std::size_t index, std::stop_token stop);
  // The outcome of a Writer that ended before its first pass.
  OpOutcome NotStarted(Station& station, OpOutcome outcome, ChipOutcome end, std::string reason);
  bool TakeNextFreeStart(Station& station);

  Plan plan_;
  std::vector<std::unique_ptr<Station>> stations_;  // added before Start, fixed after
  std::mutex mutex_;  // a stop against the start of the same Writer
  bool started_ = false;
};

}  // namespace kvx
