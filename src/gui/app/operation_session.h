// One device operation on screen: its modal dialog and the worker behind it, started through the
// core's OperationRunner. The GUI thread never waits for the worker: the runner's end is queued to
// the GUI thread, the runner is joined there (the worker has already returned) and only then is
// the workspace read again.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <stop_token>

#include "core/link/port_select.h"
#include "core/ops/runner.h"
#include "gui/app/worker_dialog.h"

namespace kvx::gui {

class QueuedView;
class GuiQueue;

class OperationSession : public QObject {
  Q_OBJECT
 public:
  // `dialog` shows the operation and `view` is what its worker writes to; `queued` is that view
  // when it queues to a progress dialog (its message boxes give way to a stop), else null. The
  // session deletes the dialog when it is itself deleted.
  OperationSession(kvx::Workspace& ws, kvx::PortSelector& ports, kvx::Clock& clock, WorkerDialog* dialog,
                   kvx::OperationView& view, QueuedView* queued = nullptr);
  ~OperationSession() override;

  WorkerDialog* Dialog() const { return dialog_; }
  kvx::OperationView& View() const { return view_; }
  // One pass of `command` (its flags, then its worker); `afterPass` runs on the GUI thread once
  // the pass has returned.
  bool StartPass(const kvx::Command& command, long passNumber,
                 std::function<void(const kvx::PassResult&)> afterPass = {});
  // Other work on the worker's thread (the device download).
  bool StartWork(kvx::OperationRunner::Work work, std::function<void()> afterWork = {});
  // A worker was started and its end has not been handled yet.
  bool WorkerRunning() const { return active_; }
  // The main window is closing: stop the worker, close the dialog once it has returned.
  void Close();

 Q_SIGNALS:
  void closed();  // the dialog has closed and no worker runs

 private:
  void Arm();
  void RequestStop();
  void Ended(std::function<void()> then);

  kvx::Workspace& ws_;
  kvx::PortSelector& ports_;
  kvx::Clock& clock_;
  QPointer<WorkerDialog> dialog_;
  kvx::OperationView& view_;
  QueuedView* queued_;
  GuiQueue* ends_;  // the runner's end, on its way to the GUI thread
  std::stop_source viewStop_;
  bool active_ = false;
  kvx::OperationRunner runner_;  // last: it is joined before the rest goes
};

}  // namespace kvx::gui
