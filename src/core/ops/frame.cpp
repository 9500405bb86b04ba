#include "core/ops/frame.h"

#include <algorithm>

namespace kvx {

std::string_view LinkMessage(LinkResult code) {
  switch (code) {
    case LinkResult::NoDevice: return "Nothing in socket or type error!!";
    case LinkResult::AdapterError: return "IC adapter board error!!";
    case LinkResult::Timeout: return "Connect Timeout!!";
    case LinkResult::WrongWriter: return "Writer type is error!";
    default: return "Writer Error!!";
  }
}

std::string MismatchText(int chip, int buffer, int digits) {
  return "IC=" + Hex(chip, digits) + "H, Buffer=" + Hex(buffer, digits) + "H";
}

// ---- Tick counter and gauge ----------------------------------------------------------------------

int TickCounter::Ticks() const {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(clock_.Now() - start_).count());
}

Millis TickCounter::Left(int ticks) const {
  const auto left = std::chrono::ceil<Millis>(Deadline(ticks) - clock_.Now());
  return std::max(left, Millis{0});
}

void Gauge::Start() {
  highest_ = 0;
  view_.SetGauge(0);
}

void Gauge::Progress(long done, long total) {
  if (total <= 0) return;
  // The Writer may send a few bytes more than the transfer holds; the bar never passes 100.
  const int percent = std::min(static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total)), 100);
  if (percent <= highest_) return;
  highest_ = percent;
  total_ = total;
  view_.SetGauge(percent);
  view_.Progress({what_, std::min(done, total), total});
}

void Gauge::End() {
  view_.SetGauge(100);
  if (total_ > 0) view_.Progress({what_, total_, total_});
}

// ---- Frame -----------------------------------------------------------------------------------------

OpFrame::OpFrame(OperationContext& ctx, std::initializer_list<std::string_view> endButtons)
    : ctx_(ctx), link_(ctx.ws, ctx.port, ctx.clock, ctx.stop) {
  SetEndButtons(endButtons);
}

void OpFrame::SetEndButtons(std::initializer_list<std::string_view> buttons) {
  endButtons_.assign(buttons.begin(), buttons.end());
}

void OpFrame::Show(std::string_view label, std::string_view text) {
  Mark(label, StepState::Running);
  view().SetText(label, text);
}

void OpFrame::Done(std::string_view label, std::string_view text) {
  Mark(label, StepState::Ok);
  view().SetText(label, text);
}

void OpFrame::ShowPosition(std::string_view label, std::string_view text) {
  Mark(label, StepState::Position);
  view().SetText(label, text);
}

void OpFrame::ShowRed(std::string_view label, std::string_view text) {
  view().SetColour(label, LineColour::Red);
  Mark(label, StepState::Failed);
  view().SetText(label, text);
}

void OpFrame::ShowVisible(std::string_view label, std::string_view text) {
  view().SetVisible(label, true);
  Mark(label, StepState::Running);
  view().SetText(label, text);
}

void OpFrame::Reveal(std::string_view label, std::string_view text) {
  Mark(label, StepState::Running);
  view().SetText(label, text);
  view().SetVisible(label, true);
}

void OpFrame::EnableEnd() {
  for (const auto& button : endButtons_) view().SetEnabled(button, true);
}

OpOutcome OpFrame::Fail(std::string_view label, std::string_view text, OpOutcome why) {
  ShowRed(label, text);
  EnableEnd();
  outcome_ = why;
  return why;
}

OpOutcome OpFrame::Finish(std::string_view label, std::string_view text, OpOutcome why) {
  Mark(label, why == OpOutcome::Ok ? StepState::Ok : StepState::Failed);
  view().SetText(label, text);
  return End(why);
}

OpOutcome OpFrame::End(OpOutcome why) {
  EnableEnd();
  outcome_ = why;
  return why;
}

OpOutcome OpFrame::Stop() {
  outcome_ = OpOutcome::Stopped;
  return outcome_;
}

bool OpFrame::Stopped(LinkResult code) {
  if (code != LinkResult::Stopped && !StopRequested()) return false;
  Stop();
  return true;
}

bool OpFrame::Step(LinkResult code, LinkResult success, const StepLines& lines) {
  if (Stopped(code)) return false;
  if (code == success) return true;
  std::string_view label = lines.label;
  std::string_view text = LinkMessage(code);
  if (code == LinkResult::Timeout) {
    text = lines.timeout;
  } else if (code != LinkResult::NoDevice && code != LinkResult::AdapterError) {
    text = "Writer Error!!";
    if (!lines.otherLabel.empty()) label = lines.otherLabel;
  }
  Fail(label, text, code == LinkResult::NoDevice ? OpOutcome::NoChip : OpOutcome::LinkFailed);
  return false;
}

bool OpFrame::HeaderStep(int area, int action, LinkResult success, const StepLines& lines) {
  link_.GetHeader(area, action);
  return Step(link_.SendHeader(10), success, lines);
}

bool OpFrame::ReadStep(int area, int bytes, const StepLines& lines) {
  link_.GetHeader(area, ActionRead);
  return Step(link_.Read7BitData(bytes, true), LinkResult::Done, lines);
}

bool OpFrame::WriterOk(std::string_view label, std::string_view timeout) {
  const kvx::Step before = step_;
  step_ = kvx::Step::Connect;
  const LinkResult code = link_.CheckWriterSettled(false);
  if (Stopped(code)) return false;
  if (code == LinkResult::WrongWriter) {
    Fail(label, "Writer type is error!", OpOutcome::LinkFailed);
    return false;
  }
  if (code == LinkResult::Timeout) {
    Fail(label, timeout, OpOutcome::LinkFailed);
    return false;
  }
  step_ = before;
  return true;
}

// ---- Steps -----------------------------------------------------------------------------------------

std::string_view StepName(Step step) {
  switch (step) {
    case Step::Operation: return "operation";
    case Step::Check: return "check";
    case Step::Connect: return "connect";
    case Step::Erase: return "erase";
    case Step::BlankCheck: return "blank check";
    case Step::Read: return "read";
    case Step::Program: return "program";
    case Step::Verify: return "verify";
    case Step::Id: return "ID";
    case Step::Option: return "OPTION";
    case Step::Eeprom: return "EEPROM";
    case Step::SerialNumber: return "serial number";
    case Step::PassCount: return "pass count";
    case Step::Message: return "message";
  }
  return "operation";
}

std::string_view StepStateName(StepState state) {
  switch (state) {
    case StepState::Running: return "running";
    case StepState::Position: return "position";
    case StepState::Ok: return "ok";
    case StepState::Failed: return "failed";
  }
  return "running";
}

// ---- Words -----------------------------------------------------------------------------------------

int FirstNonBlank(const std::uint8_t* data, int bytes, std::uint8_t blankHigh) {
  for (int j = 0; j + 1 < bytes; j += 2) {
    if (!IsBlankWord(data[j], data[j + 1], blankHigh)) return j;
  }
  return -1;
}

bool AllBlank(const std::uint8_t* data, int bytes, std::uint8_t blankHigh) {
  return FirstNonBlank(data, bytes, blankHigh) < 0;
}

bool OptionBlank(const Workspace& ws, std::uint8_t low, std::uint8_t high) {
  return (low & ws.device.OptionLowMask) == ws.device.OptionLowMask &&
         (high & ws.device.OptionHighMask) == ws.device.OptionHighMask;
}

bool OptionMatches(const Workspace& ws, std::uint8_t low, std::uint8_t high) {
  return (ws.image.OptionLow & ws.device.OptionLowMask) == (low & ws.device.OptionLowMask) &&
         (ws.image.OptionHigh & ws.device.OptionHighMask) == (high & ws.device.OptionHighMask);
}

int EepromSize(const Workspace& ws) { return std::clamp(ws.device.EepromBytes(), 0, kEepromBufferBytes); }

void StageOption(Workspace& ws) {
  ws.link.LinkBuffer[0] = ws.image.OptionLow;
  ws.link.LinkBuffer[1] = ws.device.IsElevenBit() ? static_cast<std::uint8_t>(ws.image.OptionHigh | 0x70) : ws.image.OptionHigh;
}

std::string_view IdVerifyFailure(int result) {
  switch (result) {
    case 1: return "ID verify fail!!";
    case 2: return "Checksum verify fail!!";
    case 3: return "ID && Checksum verify fail!!";
    default: return {};
  }
}

}  // namespace kvx
