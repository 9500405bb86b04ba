#include "gui/app/operation_session.h"

#include "gui/common/gui_queue.h"
#include "gui/app/progress_dialog.h"

namespace kvx::gui {

OperationSession::OperationSession(kvx::Workspace& ws, kvx::PortSelector& ports, kvx::Clock& clock,
                                   WorkerDialog* dialog, kvx::OperationView& view, QueuedView* queued)
    : ws_(ws),
      ports_(ports),
      clock_(clock),
      dialog_(dialog),
      view_(view),
      queued_(queued),
      ends_(new GuiQueue(this)) {
  dialog_->running = [this] { return WorkerRunning(); };
  dialog_->requestStop = [this] { RequestStop(); };
  connect(dialog_, &QDialog::finished, this, [this] { Q_EMIT closed(); });
}

OperationSession::~OperationSession() {
  // Only at the very end of the program can a worker still run here: the runner asks it to stop
  // and it returns at once.
  RequestStop();
  if (dialog_) dialog_->deleteLater();
}

void OperationSession::Arm() {
  viewStop_ = std::stop_source();
  if (queued_ != nullptr) queued_->Arm(viewStop_.get_token());
}

void OperationSession::RequestStop() {
  runner_.RequestStop();
  viewStop_.request_stop();
}

void OperationSession::Ended(std::function<void()> then) {
  // On the worker's thread, its very last act: the rest happens on the GUI thread.
  ends_->Post([this, then = std::move(then)] {
    runner_.Wait();  // the worker has returned: this does not wait
    active_ = false;
    then();
    if (dialog_) dialog_->WorkerEnded();
  });
}

bool OperationSession::StartPass(const kvx::Command& command, long passNumber,
                                 std::function<void(const kvx::PassResult&)> afterPass) {
  if (active_) return false;
  Arm();
  active_ = runner_.Start(command, {ws_, ports_.Port(), clock_, view_},
                          passNumber, [this, afterPass](const kvx::PassResult& result) {
                            Ended([afterPass, result] {
                              if (afterPass) afterPass(result);
                            });
                          });
  return active_;
}

bool OperationSession::StartWork(kvx::OperationRunner::Work work, std::function<void()> afterWork) {
  if (active_) return false;
  Arm();
  active_ = runner_.Start(ws_, std::move(work), [this, afterWork](kvx::OpOutcome) {
    Ended([afterWork] {
      if (afterWork) afterWork();
    });
  });
  return active_;
}

void OperationSession::Close() {
  if (dialog_) dialog_->ForceClose();
}

}  // namespace kvx::gui
