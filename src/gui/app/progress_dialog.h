// One modal progress dialog per device operation, drawn from the operation's DialogSpec, and the
// worker's side of it: a view that copies every call and queues it to the dialog, so the widgets
// change on the GUI thread in the order the worker wrote them.
#pragma once

#include <QHash>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>

#include "core/ops/operation.h"
#include "gui/app/worker_dialog.h"

class QLabel;
class QProgressBar;
class QPushButton;
namespace kvx::gui {

class Prompter;
class GuiQueue;

class ProgressDialog : public WorkerDialog {
  Q_OBJECT
 public:
  ProgressDialog(const kvx::DialogSpec& look, Prompter& prompter, QWidget* parent = nullptr);

  // The controls a worker writes, by their names.
  QLabel* Line(const QString& name) const { return lines_.value(name); }
  QPushButton* Button(const QString& name) const { return buttons_.value(name); }
  QProgressBar* GaugeBar() const { return gauge_; }
  Prompter& prompter() { return prompter_; }
  // Where the worker's calls wait for the GUI thread.
  GuiQueue& Queue() { return *queue_; }

  // The view calls, on the GUI thread.
  void ApplyText(const QString& control, const QString& text);
  void ApplyColour(const QString& control, kvx::LineColour colour);
  void ApplyVisible(const QString& control, bool visible);
  void ApplyGauge(int percent);
  void ApplyEnabled(const QString& button, bool enabled);
  // How long a pass of the loaded device will take on this port ("4.3 s"), beside the buttons;
  // hidden until it is known.
  void ShowPassPrediction(const QString& duration);
  QLabel* PredictionLabel() const { return prediction_; }

 Q_SIGNALS:
  void shown();              // the first showing: start the worker
  void continueRequested();  // "Continue" (Button2 of the production dialogs)

 protected:
  void showEvent(QShowEvent* event) override;
  // Only through an enabled closing button, or a close box.
  bool MayClose() const override;

 private:
  void ButtonClicked(const QString& name);

  Prompter& prompter_;
  GuiQueue* queue_;
  bool closeBox_;
  bool shownOnce_ = false;
  QHash<QString, QLabel*> lines_;
  QHash<QString, QPushButton*> buttons_;
  QProgressBar* gauge_ = nullptr;
  QLabel* prediction_ = nullptr;
};

// The worker's view of a ProgressDialog. The dialog outlives the worker: it is destroyed only
// after the worker has returned and been joined, so every queued call finds it.
class QueuedView : public kvx::OperationView {
 public:
  explicit QueuedView(ProgressDialog& form) : form_(&form) {}
  // The operation's stop token: a message box the worker waits on gives way to a stop.
  void Arm(std::stop_token stop) { stop_ = std::move(stop); }

  void SetText(std::string_view control, std::string_view text) override;
  void SetColour(std::string_view control, kvx::LineColour colour) override;
  void SetVisible(std::string_view control, bool visible) override;
  void SetGauge(int percent) override;
  void SetEnabled(std::string_view button, bool enabled) override;
  // Blocks the worker (never the GUI thread) until the operator dismissed the box or a stop
  // was requested.
  void ShowMessage(std::string_view text) override;

 private:
  void Post(std::function<void(ProgressDialog&)> call);

  ProgressDialog* form_;
  std::stop_token stop_;
};

}  // namespace kvx::gui
