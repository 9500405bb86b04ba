// A view that records every call a worker makes, in order, and keeps the dialog's current look,
// so tests can check the lines the operator saw, their colours and the buttons.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/ops/operation.h"
#include "core/printers.h"

namespace kvx::testing {

struct ViewCall {
  enum Kind { Text, Colour, Visible, Gauge, Enabled, Message } kind;
  std::string control;  // empty for the gauge and message boxes
  std::string text;     // Text and Message
  int value = 0;        // Colour (0 normal, 1 red), Visible/Enabled (0/1), Gauge (percent)
};

class RecordingView final : public kvx::OperationView {
 public:
  struct Control {
    std::string text;
    kvx::LineColour colour = kvx::LineColour::Normal;
    bool visible = true;
    bool enabled = false;
  };

  // The dialog as it opens; nothing is recorded.
  void Open(const kvx::DialogSpec& dialog) {
    controls_.clear();
    controls_["StaticText1"].text = dialog.title;
    for (const auto& label : dialog.labels) {
      controls_[label.name].text = label.text;
      controls_[label.name].visible = label.visible;
    }
    for (const auto& button : dialog.buttons) controls_[button.name].text = button.text;
  }

  void SetText(std::string_view control, std::string_view text) override {
    Control& c = controls_[std::string(control)];
    c.text = text;
    lines_.push_back(std::string(control) + ": " + std::string(text) +
                     (c.colour == kvx::LineColour::Red ? " (red)" : ""));
    Record({ViewCall::Text, std::string(control), std::string(text)});
  }
  void SetColour(std::string_view control, kvx::LineColour colour) override {
    controls_[std::string(control)].colour = colour;
    Record({ViewCall::Colour, std::string(control), {}, colour == kvx::LineColour::Red ? 1 : 0});
  }
  void SetVisible(std::string_view control, bool visible) override {
    controls_[std::string(control)].visible = visible;
    Record({ViewCall::Visible, std::string(control), {}, visible ? 1 : 0});
  }
  void SetGauge(int percent) override {
    gauge_.push_back(percent);
    Record({ViewCall::Gauge, {}, {}, percent});
  }
  void SetEnabled(std::string_view button, bool enabled) override {
    controls_[std::string(button)].enabled = enabled;
    Record({ViewCall::Enabled, std::string(button), {}, enabled ? 1 : 0});
  }
  void ShowMessage(std::string_view text) override {
    messages_.emplace_back(text);
    Record({ViewCall::Message, {}, std::string(text)});
  }

  void Progress(const kvx::ProgressEvent& event) override { progress_.push_back(event); }

  // Every text written, in order, as "Label1: text", with " (red)" when the line was red.
  const std::vector<std::string>& Lines() const { return lines_; }
  // The same, leaving out the address lines of a stream ("Label2: 0010").
  std::vector<std::string> LinesOf(std::string_view control) const {
    std::vector<std::string> out;
    const std::string prefix = std::string(control) + ": ";
    for (const auto& line : lines_)
      if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line.substr(prefix.size()));
    return out;
  }
  const std::vector<ViewCall>& Calls() const { return calls_; }
  // The last `n` lines.
  std::vector<std::string> Tail(std::size_t n) const {
    return {lines_.end() - static_cast<long>(std::min(n, lines_.size())), lines_.end()};
  }
  const std::vector<int>& GaugeValues() const { return gauge_; }
  const std::vector<std::string>& Messages() const { return messages_; }
  const std::vector<kvx::ProgressEvent>& ProgressEvents() const { return progress_; }

  const Control& Get(std::string_view control) { return controls_[std::string(control)]; }
  std::string Text(std::string_view control) { return Get(control).text; }
  bool Red(std::string_view control) { return Get(control).colour == kvx::LineColour::Red; }
  bool Visible(std::string_view control) { return Get(control).visible; }
  bool Enabled(std::string_view button) { return Get(button).enabled; }

  void ClearRecord() {
    calls_.clear();
    lines_.clear();
    gauge_.clear();
    messages_.clear();
    progress_.clear();
  }
  // Called after every recorded call: lets a test act in the middle of an operation.
  std::function<void(const ViewCall&)> onCall;

 private:
  void Record(ViewCall call) {
    calls_.push_back(call);
    if (onCall) onCall(calls_.back());
  }

  std::map<std::string, Control, std::less<>> controls_;
  std::vector<ViewCall> calls_;
  std::vector<std::string> lines_;
  std::vector<int> gauge_;
  std::vector<std::string> messages_;
  std::vector<kvx::ProgressEvent> progress_;
};

}  // namespace kvx::testing
