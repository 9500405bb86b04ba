#include "gui/app/operation_session.h"

#include <thread>

#include "gui/app/main_form.h"
#include "gui/app/progress_form.h"

struct OperationSession::Worker {
  std::jthread thread;
  bool active = false;  // GUI thread only: a pass was started and its end not yet handled
};

OperationSession::OperationSession(TMainForm& form, WorkerDialog* dialog, kvx::OperationView& view)
    : QObject(&form), form_(form), dialog_(dialog), view_(view), worker_(std::make_unique<Worker>()) {
  dialog_->running = [this] { return WorkerRunning(); };
  dialog_->requestStop = [this] { worker_->thread.request_stop(); };
  connect(dialog_, &QDialog::finished, this, [this] { Q_EMIT closed(); });
}

OperationSession::~OperationSession() {
  // Only at the very end of the program can a worker still be running here: it is asked to
  // stop and returns at once.
  if (worker_->thread.joinable()) {
    worker_->thread.request_stop();
    worker_->thread.join();
  }
  if (dialog_) dialog_->deleteLater();
}

bool OperationSession::WorkerRunning() const { return worker_->active; }

void OperationSession::StartPass(Pass pass, std::function<void()> afterPass) {
  if (worker_->active) return;
  if (worker_->thread.joinable()) worker_->thread.join();
  afterPass_ = std::move(afterPass);
  worker_->active = true;
  worker_->thread = std::jthread([this, pass = std::move(pass)](std::stop_token stop) {
    if (auto* queued = dynamic_cast<QueuedView*>(&view_)) queued->Arm(stop);
    kvx::OperationContext ctx{form_.workspace(), form_.ports().Port(), form_.clock(), view_, stop};
    pass(ctx);
    QMetaObject::invokeMethod(this, [this] { PassEnded(); }, Qt::QueuedConnection);
  });
}

void OperationSession::PassEnded() {
  worker_->thread.join();  // it has returned: this does not wait
  worker_->active = false;
  if (afterPass_) afterPass_();
  if (dialog_) dialog_->WorkerEnded();
}

void OperationSession::Close() {
  if (!dialog_) return;
  dialog_->ForceClose();
}
