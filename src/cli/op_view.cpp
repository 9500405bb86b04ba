#include "cli/op_view.h"

#include <algorithm>
#include <utility>

namespace kvx::cli {

namespace {
constexpr int kBarWidth = 40;
}  // namespace

std::string LabelText(std::string_view stored) {
  std::string shown;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    shown += stored[i];
    if (stored[i] == '&' && i + 1 < stored.size() && stored[i + 1] == '&') ++i;
  }
  return shown;
}

// ---- Progress ------------------------------------------------------------------------------

void ProgressOutput::Update(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent < last_) lastBucket_ = -1;  // a new transfer
  if (percent == last_ && (barShown_ || !terminal_)) return;
  last_ = percent;
  if (terminal_) {
    const int filled = percent * kBarWidth / 100;
    err_ << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, '.') << "] "
         << percent << "%" << std::flush;
    barShown_ = true;
    return;
  }
  // Scripts get a line per tenth at most.
  if (percent / 10 > lastBucket_) {
    lastBucket_ = percent / 10;
    err_ << "progress: " << percent << "\n" << std::flush;
  }
}

void ProgressOutput::Clear() {
  if (!barShown_) return;
  err_ << "\r" << std::string(kBarWidth + 8, ' ') << "\r" << std::flush;
  barShown_ = false;
}

void ProgressOutput::End() {
  Clear();
  last_ = -1;
  lastBucket_ = -1;
}

// ---- Status lines --------------------------------------------------------------------------

TerminalView::TerminalView(std::ostream& out, std::ostream& err, bool errIsTerminal)
    : out_(out), progress_(err, errIsTerminal) {}

void TerminalView::Open(const DialogSpec& dialog) {
  gaugeDialog_ = dialog.gauge;
  SetText(kTitleControl, dialog.title);
  for (const auto& label : dialog.labels) {
    Control& c = Find(label.name);
    c.visible = label.visible;
    SetText(label.name, label.text);
  }
}

TerminalView::Control& TerminalView::Find(std::string_view name) {
  for (auto& c : controls_)
    if (c.name == name) return c;
  controls_.push_back(Control{std::string(name)});
  return controls_.back();
}

void TerminalView::Print(Control& c, const Pending& line) {
  progress_.Clear();
  const bool red = line.colour == LineColour::Red;
  out_ << c.name << ": " << LabelText(line.text) << (red ? " [error]" : "") << "\n" << std::flush;
  if (json_ != nullptr) json_->Status(jsonPort_, line.step, line.state, LabelText(line.text), red);
  if (line.text == c.text) c.dirty = false;
}

void TerminalView::Flush() {
  if (pending_.control < 0) return;
  Control& c = controls_[pending_.control];
  pending_.control = -1;
  Print(c, pending_);
}

void TerminalView::Progress(const ProgressEvent& event) {
  if (gaugeDialog_ || event.total <= 0) return;
  if (event.done >= event.total && !streaming_) return;  // already shown as ended
  streaming_ = event.done < event.total;
  ShowProgress(static_cast<int>(std::min(100L, event.done * 100 / event.total)));
}

void TerminalView::ShowProgress(int percent) {
  if (progressSink_) progressSink_(percent);
  else progress_.Update(percent);
  if (json_ != nullptr) json_->Progress(jsonPort_, percent);
}

void TerminalView::SetStep(std::string_view control, Step step, StepState state) {
  Control& c = Find(control);
  c.step = step;
  c.state = state;
  c.stepSet = true;
}

void TerminalView::SetText(std::string_view control, std::string_view text) {
  Control& c = Find(control);
  // A text the worker gave no step belongs to the dialog as a whole.
  if (!std::exchange(c.stepSet, false)) c.step = Step::Operation, c.state = StepState::Running;
  const bool address = c.state == StepState::Position;
  if (!address && streaming_ && !text.empty()) {
    // The first other line ends the stream; the Writer may finish before the last address
    // line is due, so a stream that went through shows 100%.
    streaming_ = false;
    if (c.colour != LineColour::Red) ShowProgress(100);
  }
  if (c.text == text && !c.recolour) return;  // the label does not change
  c.text = text;
  c.dirty = true;
  c.recolour = false;
  const int index = static_cast<int>(&c - controls_.data());
  if (pending_.control == index && pending_.soft) pending_.control = -1;  // replaced unseen
  // A red line is never lost, even on a label the dialog keeps hidden.
  if (text.empty() || (!c.visible && c.colour != LineColour::Red)) return;
  Flush();
  pending_ = {index, std::string(text), c.colour, address, c.step, c.state};
}

// Colour and visibility come before the text they belong to: a pending line keeps the colour it
// was written in.
void TerminalView::SetColour(std::string_view control, LineColour colour) {
  Control& c = Find(control);
  if (c.colour == colour) return;
  c.colour = colour;
  c.recolour = true;
}

void TerminalView::SetVisible(std::string_view control, bool visible) {
  Control& c = Find(control);
  if (c.visible == visible) return;
  c.visible = visible;
  const int index = static_cast<int>(&c - controls_.data());
  // A label shown again with a text nobody has seen yet; a new text right after replaces it.
  if (visible && c.dirty && !c.text.empty() && pending_.control != index) {
    Flush();
    pending_ = {index, c.text, c.colour, true, c.step, c.state};
  }
}

void TerminalView::SetGauge(int percent) {
  Flush();
  ShowProgress(percent);
}

void TerminalView::SetEnabled(std::string_view, bool) { Flush(); }

void TerminalView::ShowMessage(std::string_view text) {
  Flush();
  Note("Message", text, Step::Message);
}

void TerminalView::Note(std::string_view label, std::string_view text, Step step) {
  Flush();
  progress_.Clear();
  out_ << label << ": " << text << "\n" << std::flush;
  if (json_ != nullptr) json_->Status(jsonPort_, step, StepState::Ok, text, false);
}

void TerminalView::AttachJson(JsonLines* json, std::string port) {
  json_ = json;
  jsonPort_ = std::move(port);
}

void TerminalView::ChipDone(const PassReport& report) {
  if (const std::string note = SteppedOverNote(report); !note.empty())
    Note("Serial", note, Step::SerialNumber);
  if (json_ == nullptr) return;
  Flush();  // the pass's own lines come before its chip
  json_->Chip(report);
}

void TerminalView::Finish() {
  Flush();
  progress_.End();
}

}  // namespace kvx::cli
