// A dialog a worker writes into. Closing it asks the worker to stop; the dialog closes when the
// worker has returned (at once, the core promises), never by killing a thread.
#pragma once

#include <QDialog>
#include <functional>

namespace kvx::gui {

class WorkerDialog : public QDialog {
  Q_OBJECT
 public:
  using QDialog::QDialog;

  // Set by whoever starts the worker: is one running, and ask it to stop.
  std::function<bool()> running;
  std::function<void()> requestStop;

  // The worker has returned and been joined: a close asked for meanwhile goes through now.
  void WorkerEnded();
  // The main window is closing: close whatever the buttons say (after the worker's return).
  void ForceClose();

 public Q_SLOTS:
  void reject() override;

 protected:
  // May the operator close it now (close box, Escape)? The closing buttons always may.
  virtual bool MayClose() const { return true; }
  void CloseByButton();
  void closeEvent(QCloseEvent* event) override;

 private:
  bool closeAfterWorker_ = false;
  bool closingByProgram_ = false;
};

}  // namespace kvx::gui
