// The terminal face of an operation's dialog. Every status line the dialog would show is printed
// once, in the order the worker wrote it, as "LABEL: TEXT" (the control's name, then its text as
// the label draws it, "&&" as "&"), with " [error]" after a red one. Progress goes to a second
// stream: a bar when that stream is a terminal, otherwise "progress: P" lines for scripts.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/json_lines.h"
#include "core/ops/operation.h"

namespace kvx::cli {

// Progress of one long transfer at a time, from 0 to 100 percent.
class ProgressOutput {
 public:
  ProgressOutput(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}

  // A value below the last one starts a new transfer.
  void Update(int percent);
  // Take the bar off the terminal line before a status line is printed (it comes back with
  // the next update).
  void Clear();
  void End();

 private:
  std::ostream& err_;
  bool terminal_;
  int last_ = -1;        // last value seen in this transfer
  int lastBucket_ = -1;  // tens of the last "progress:" line printed
  bool barShown_ = false;
};

class TerminalView final : public OperationView {
 public:
  TerminalView(std::ostream& out, std::ostream& err, bool errIsTerminal);

  // The dialog as it opens: its title and the labels that are visible with a text. A dialog
  // without a gauge shows its transfers' progress events instead.
  void Open(const DialogSpec& dialog);

  void SetText(std::string_view control, std::string_view text) override;
  void SetColour(std::string_view control, LineColour colour) override;
  void SetStep(std::string_view control, Step step, StepState state) override;
  void SetVisible(std::string_view control, bool visible) override;
  void SetGauge(int percent) override;
  void SetEnabled(std::string_view button, bool enabled) override;
  void ShowMessage(std::string_view text) override;
  void Progress(const ProgressEvent& event) override;

  // A line of the command's own (pass count, serial number, a message box), of `step`.
  void Note(std::string_view label, std::string_view text, Step step);
  // Progress goes to `sink` (several ports' lines) instead of this view's own bar or lines.
  void SendProgressTo(std::function<void(int percent)> sink) { progressSink_ = std::move(sink); }
  // Print what is still pending and take the progress bar off the terminal.
  void Finish();

  // With --json: every status line and progress step also goes to `json` as an object of
  // `port`, and each chip as the passes report it. Nothing changes when `json` is null.
  void AttachJson(JsonLines* json, std::string port);
  // After each pass, with the core's report of it (no effect without JSON).
  void ChipDone(const PassReport& report);

 private:
  struct Control {
    std::string name;
    std::string text;
    LineColour colour = LineColour::Normal;
    bool visible = true;
    bool dirty = false;     // its text changed since it was last printed
    bool recolour = false;  // its colour changed since its text was last set
    // The step of its text: set by SetStep for the text that comes next.
    Step step = Step::Operation;
    StepState state = StepState::Running;
    bool stepSet = false;  // SetStep came for the next text
  };
  struct Pending {
    int control = -1;
    std::string text;
    LineColour colour = LineColour::Normal;
    bool soft = false;  // a transfer's position or a re-shown label: a newer text replaces it
    Step step = Step::Operation;
    StepState state = StepState::Running;
  };

  Control& Find(std::string_view name);
  void Flush();
  void Print(Control& c, const Pending& line);
  void ShowProgress(int percent);

  std::ostream& out_;
  ProgressOutput progress_;
  std::vector<Control> controls_;
  Pending pending_;
  bool gaugeDialog_ = false;  // progress comes from the gauge, not from the events
  bool streaming_ = false;    // a transfer's events are coming in
  JsonLines* json_ = nullptr;
  std::string jsonPort_;
  std::function<void(int)> progressSink_;
};

// "&&" as the label draws it: "&".
std::string LabelText(std::string_view stored);

}  // namespace kvx::cli
