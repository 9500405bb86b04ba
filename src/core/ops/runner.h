// The operation runner: one worker at a time on a thread of its own, with a stop that any thread
// may request. kvxw and the desktop dialogs are its two clients.
//
// The desktop's way (a dialog on the GUI thread):
//   1. Wrap the dialog in an OperationView that copies every call and queues it to the GUI
//      thread (QMetaObject::invokeMethod(..., Qt::QueuedConnection)); ShowMessage queues the box
//      and waits (a promise/future) until the operator dismissed it.
//   2. runner.Start(command, {ws, port, clock, view}, passNumber, ended), where `ended` queues an
//      event to the GUI thread. Start refuses (false) while a worker runs or another holds the
//      workspace (WorkspaceInUse); the workspace is held from Start until just before `ended`.
//   3. The dialog's close box calls RequestStop(); the worker ends at its next wait.
//   4. When the queued `ended` event arrives, call Wait() (it returns at once), then read the
//      workspace (pass count, serial number, read buffers) and offer "Continue"/"Exit". "Continue"
//      is Start again with the next pass number.
//   The GUI thread never blocks on the worker except in the destructor (which requests a stop
//   first), and never touches the workspace while the runner holds it.
// kvxw's way: Start, then WaitFor() in a loop that turns Ctrl-C into RequestStop(), then Wait().
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

#include "core/ops/command.h"

namespace kvx {

// What a command works on; the view receives its calls on the worker's thread.
struct RunTarget {
  Workspace& ws;
  SerialPort& port;
  Clock& clock;
  OperationView& view;
};

class OperationRunner {
 public:
  // Work to run on the worker's thread; it returns how it ended.
  using Work = std::function<OpOutcome(std::stop_token stop)>;
  // Called on the worker's thread as its very last act, after the view's last call and after the
  // workspace was released. Running() is already false then.
  using Ended = std::function<void(OpOutcome outcome)>;
  using PassEnded = std::function<void(const PassResult& result)>;

  // Start, Wait and the destructor belong to the thread that owns the runner (the GUI thread,
  // kvxw's main thread); RequestStop, Running and WaitFor may come from any thread. The runner
  // must not be destroyed from its own `ended` callback.
  OperationRunner() = default;
  ~OperationRunner();  // requests a stop and waits for the worker; never kills it
  OperationRunner(const OperationRunner&) = delete;
  OperationRunner& operator=(const OperationRunner&) = delete;

  // Starts `work` holding `ws` busy. False (and nothing started) while a worker of this runner
  // runs or another holds `ws`. A finished worker is joined first.
  bool Start(Workspace& ws, Work work, Ended ended = {});
  // One pass of `command` (its flags, then its worker).
  bool Start(const Command& command, RunTarget target, long passNumber, PassEnded ended = {});
  // Passes 1..count, as RunPasses; `afterPass` is called on the worker's thread after each.
  bool StartPasses(const Command& command, RunTarget target, long count,
                   std::function<void(long pass, const PassResult& result)> afterPass,
                   PassEnded ended = {});

  // From any thread, any number of times; no effect when nothing runs.
  void RequestStop();
  bool Running() const;
  // Waits up to `limit` for the worker to end; true when it has (or none was started).
  bool WaitFor(std::chrono::milliseconds limit);
  // Waits for the worker to end and joins it; returns its outcome (Ok when none ran).
  OpOutcome Wait();

 private:
  void Join();

  mutable std::mutex mutex_;
  std::condition_variable ended_;
  bool running_ = false;
  OpOutcome outcome_ = OpOutcome::Ok;
  std::stop_source stop_;
  std::jthread thread_;
};

}  // namespace kvx
