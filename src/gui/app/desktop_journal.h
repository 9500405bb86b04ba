// The production journal on the desktop: Auto Program and Force Write record every chip in
// kvx-journal.db in the start-up folder, exactly as kvxw auto does, and a serial number already
// stamped into a chip is not stamped again.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "core/ops/runner.h"
#include "core/production/pass_journal.h"
#include "core/production/pg_db.h"
#include "core/production/run_start.h"

class QWidget;

namespace kvx::gui {

class GuiQueue;
class Prompter;

// Opens or reads a journal on a worker thread of the core's runner, so that a shared journal's
// server that does not answer (for up to its connect time-out) never freezes the window. The
// answer comes back to the GUI thread through a queue, after everything posted before it.
class JournalOpener {
 public:
  using Done = std::function<void(bool ok, const std::string& error)>;
  JournalOpener();
  ~JournalOpener();  // waits for an open under way: the connect time-out bounds it
  // From the GUI thread: opens `journal` on `name`, holding `ws` busy meanwhile; `done` runs on
  // the GUI thread. False, with nothing started, while an open is under way or another task holds
  // `ws`.
  bool Start(kvx::Journal& journal, std::string name, kvx::Workspace& ws, Done done);
  // From the GUI thread: runs `work` on the worker, holding `ws` busy, then `done` on the GUI
  // thread. False, with nothing started, as for Start.
  bool Run(kvx::Workspace& ws, std::function<void()> work, std::function<void()> done);
  bool Busy() const { return busy_; }

 private:
  std::unique_ptr<GuiQueue> queue_;
  bool busy_ = false;
  kvx::OperationRunner runner_;  // last: joined before the queue goes
};

class DesktopJournal {
 public:
  // `timeout`: how long a shared journal's call may wait for its server.
  explicit DesktopJournal(std::string path,
                          std::chrono::milliseconds timeout = kvx::kPgDefaultTimeout)
      : path_(std::move(path)) {
    journal_.SetTimeout(timeout);
  }

  bool IsOpen() const { return journal_.IsOpen(); }
  // On the GUI thread: opens the journal through `opener` and runs `then` there once the open
  // has ended, with whether the journal is open; when it is not, the operator has been told why
  // (and the next command tries again: the operator may mend it). False when the opener is busy.
  bool OpenThen(JournalOpener& opener, kvx::Workspace& ws, Prompter& prompter, QWidget* parent,
                std::function<void(bool open)> then);

  // Before a production command's dialog opens (and before the Writer is asked anything), with
  // the journal open: the core's start verdict, read from the journal on the opener's worker,
  // then presented on the GUI thread: a first serial number that already went out is refused
  // (the next free one offered), a QTP file is put after its last record used, and the dialog's
  // passes are readied. `then` runs on the GUI thread with whether the command may start; when
  // it may not, the operator has been told. False when the opener is busy.
  bool BeginThen(JournalOpener& opener, const kvx::Command& command, kvx::Workspace& ws,
                 Prompter& prompter, QWidget* parent, std::function<void(bool start)> then);
  // One pass of the command, journaled, for the worker's thread; `result` receives its result.
  kvx::OperationRunner::Work PassWork(const kvx::Command& command, kvx::RunTarget target,
                                      long passNumber, std::shared_ptr<kvx::PassResult> result);
  // On the GUI thread once a pass has returned: false, the operator told, when the journal
  // refused the pass or could not write its end; no further pass may start then.
  bool PassEnded(Prompter& prompter, QWidget* parent);
  bool Stopped() const { return stopped_; }

 private:
  std::string path_;
  kvx::Journal journal_;
  std::unique_ptr<kvx::PassJournal> passes_;  // the open dialog's passes
  std::string error_;  // the worker's journal error, read on the GUI thread once it returned
  bool stopped_ = false;
  bool justOpened_ = false;  // the next Begin tells the passes of a run that died
};

// The start verdict before a run's first chip, for the main window's production commands and the
// production window alike: true at once for a free start; a refusal told and false; a used start
// asked about ("Start from 0003?") and, on Yes, the workspace stepped there.
bool AskRunStart(const kvx::RunStart& start, kvx::Workspace& ws, Prompter& prompter, QWidget* parent);

}  // namespace kvx::gui
