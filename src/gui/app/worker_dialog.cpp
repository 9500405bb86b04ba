#include "gui/app/worker_dialog.h"

#include <QCloseEvent>

namespace kvx::gui {

void WorkerDialog::CloseByButton() {
  closingByProgram_ = true;
  close();
  closingByProgram_ = false;
}

void WorkerDialog::ForceClose() { CloseByButton(); }

void WorkerDialog::WorkerEnded() {
  if (!closeAfterWorker_) return;
  closeAfterWorker_ = false;
  CloseByButton();
}

void WorkerDialog::closeEvent(QCloseEvent* event) {
  if (!closingByProgram_ && !MayClose()) {
    event->ignore();
    return;
  }
  if (running && running()) {
    closeAfterWorker_ = true;
    if (requestStop) requestStop();
    event->ignore();
    return;
  }
  event->accept();
  done(QDialog::Accepted);
}

void WorkerDialog::reject() {
  // Escape acts as the close box: only where the dialog may be closed now.
  if (MayClose()) close();
}

}  // namespace kvx::gui
