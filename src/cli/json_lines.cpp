#include "cli/json_lines.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "cli/command.h"

namespace kvx::cli {

namespace {

std::string_view ExitOutcomeText(int status) {
  switch (status) {
    case kExitOk: return "ok";
    case kExitFailed: return "failed";  // the chip, or a file or the journal
    case kExitUsage: return "usage error";
    case kExitLink: return "link failed";
  }
  return status >= 128 ? "stopped" : "failed";
}

}  // namespace

void JsonLines::Write(const Json& object) {
  // Texts come from files and from the Writer: a byte that is not UTF-8 is replaced rather
  // than ending the program with an exception.
  out_ << object.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n'
       << std::flush;
}

void JsonLines::Status(std::string_view port, Step step, StepState state, std::string_view text,
                       bool red) {
  Json object = {{"type", "status"}};
  if (!port.empty()) object["port"] = port;
  object["step"] = StepName(step);
  object["state"] = StepStateName(red ? StepState::Failed : state);
  object["text"] = text;
  object["red"] = red;
  std::lock_guard lock(mutex_);
  Write(object);
}

void JsonLines::Status(std::string_view port, std::string_view label, std::string_view text,
                       bool red) {
  Json object = {{"type", "status"}};
  if (!port.empty()) object["port"] = port;
  object["label"] = label;
  object["text"] = text;
  object["red"] = red;
  std::lock_guard lock(mutex_);
  Write(object);
}

void JsonLines::Progress(std::string_view port, int percent) {
  percent = std::clamp(percent, 0, 100);
  std::lock_guard lock(mutex_);
  auto it = lastPercent_.find(port);
  if (it == lastPercent_.end()) it = lastPercent_.emplace(std::string(port), -1).first;
  if (percent == it->second) return;
  it->second = percent;
  Json object = {{"type", "progress"}};
  if (!port.empty()) object["port"] = port;
  object["percent"] = percent;
  Write(object);
}

void JsonLines::Chip(const PassReport& chip) {
  const auto orNull = [](const std::string& text) { return text.empty() ? Json() : Json(text); };
  Json object = {{"type", "chip"}};
  if (!chip.port.empty()) object["port"] = chip.port;
  object["pass"] = chip.pass;
  object["outcome"] = ChipOutcomeText(chip.outcome);
  object["reason"] = orNull(chip.reason);
  object["action"] = orNull(std::string(OperatorAction(chip.outcome, chip.result)));
  object["counted"] = chip.counted;
  object["serial"] = orNull(chip.serial);
  if (chip.record > 0) object["qtp_record"] = chip.record;
  object["red_line"] = chip.redLine ? Json(chip.reason) : Json();
  object["data_checksum"] = chip.dataChecksum;
  object["option"] = chip.optionWord;
  object["id_checksum"] = chip.idChecksum;
  object["duration_ms"] = chip.durationMs;
  object["predicted_ms"] = chip.predictedMs < 0 ? Json() : Json(chip.predictedMs);
  if (!chip.steppedOver.empty()) object["stepped_over"] = chip.steppedOver;
  std::lock_guard lock(mutex_);
  ++chips_;
  if (chip.Ok()) ++ok_;
  if (FailedChip(chip.outcome)) ++failed_;
  Write(object);
}

void JsonLines::Object(const Json& object) {
  std::lock_guard lock(mutex_);
  Write(object);
}

void JsonLines::Summary(int exitStatus) {
  Json object = {{"type", "summary"},
                           {"exit", exitStatus},
                           {"outcome", ExitOutcomeText(exitStatus)}};
  if (exitStatus >= 128) object["signal"] = exitStatus - 128;
  std::lock_guard lock(mutex_);
  object["chips"] = chips_;
  object["ok"] = ok_;
  object["failed"] = failed_;
  Write(object);
}

// ---- Status lines of a command's own ------------------------------------------------------

StatusLineStream::StatusLineStream(std::ostream& people, JsonLines* json)
    : people_(people), json_(json), buf_(*this), stream_(&buf_) {}

StatusLineStream::~StatusLineStream() { buf_.FlushPartial(); }

StatusLineStream::Buf::int_type StatusLineStream::Buf::overflow(int_type ch) {
  if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
  const char c = traits_type::to_char_type(ch);
  if (c == '\n') owner_.Line(std::exchange(line_, {}));
  else line_ += c;
  return ch;
}

void StatusLineStream::Buf::FlushPartial() {
  if (!line_.empty()) owner_.Line(std::exchange(line_, {}));
}

void StatusLineStream::Line(const std::string& line) {
  people_ << line << '\n' << std::flush;
  constexpr std::string_view kRed = " [error]";
  std::string_view text = line;
  const bool red = text.ends_with(kRed);
  if (red) text.remove_suffix(kRed.size());
  const std::size_t colon = text.find(": ");
  if (colon == std::string_view::npos) {
    json_->Status({}, {}, text, red);
    return;
  }
  std::string_view label = text.substr(0, colon);  // "Total selected devices : N"
  while (label.ends_with(' ')) label.remove_suffix(1);
  json_->Status({}, label, text.substr(colon + 2), red);
}

}  // namespace kvx::cli
