// One device operation on screen: its modal progress dialog and the worker behind it. The worker
// runs pass after pass on a thread of its own; the GUI thread never waits for it. When a pass has
// returned, its end is queued to the GUI thread, the thread is joined (it has already returned)
// and only then is the workspace read again.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "core/ops/operation.h"
#include "gui/app/worker_dialog.h"

class TMainForm;
class QueuedView;

class OperationSession : public QObject {
  Q_OBJECT
 public:
  // One pass of the operation, run on the worker thread with the dialog's view.
  using Pass = std::function<void(kvx::OperationContext& ctx)>;

  // `dialog` shows the operation; `view` is what the worker writes to (it lives as long as the
  // dialog does). The session deletes the dialog when it is itself deleted.
  OperationSession(TMainForm& form, WorkerDialog* dialog, kvx::OperationView& view);
  ~OperationSession() override;

  WorkerDialog* Dialog() const { return dialog_; }
  // Starts one pass; `afterPass` runs on the GUI thread once it has returned and been joined.
  void StartPass(Pass pass, std::function<void()> afterPass = {});
  bool WorkerRunning() const;
  // The main window is closing: stop the worker, close the dialog once it has returned.
  void Close();

 Q_SIGNALS:
  void closed();  // the dialog has closed and no worker runs

 private:
  void PassEnded();

  TMainForm& form_;
  QPointer<WorkerDialog> dialog_;
  kvx::OperationView& view_;
  struct Worker;
  std::unique_ptr<Worker> worker_;
  std::function<void()> afterPass_;
};
