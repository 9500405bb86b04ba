#include "core/production/pass_journal.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/device/text_convert.h"
#include "core/device/pass_count.h"
#include "core/files/sha256.h"
#include "core/production/serial_number.h"

namespace kvx {

namespace {

constexpr std::string_view kQtpPrefix = "QTP ";
// How far BeforePass steps past numbers that are taken before it gives up: far more chips than
// any run holds, so reaching it means the series is used up.
constexpr long kMaxSteps = 1'000'000;

// FNV-1a, 64 bits: a QTP file is the same series exactly when its content is the same.
std::uint64_t ContentHash(const std::string& content) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : content) hash = (hash ^ c) * 0x100000001b3ULL;
  return hash;
}

std::string OptionWordText(const Workspace& ws) {
  return HexDigits(ws.image.OptionLow, 2) + HexDigits(ws.image.OptionHigh, 2);
}

}  // namespace

namespace {

std::string PlaceOf(const Workspace& ws) {
  return ws.device.DeviceName + " @" + HexDigits(ws.production.SerialStartAddress, 4) + " x" +
         std::to_string(SerialBytes(ws));
}

std::string OrderOf(const Workspace& ws) {
  return ws.production.SerialByteOrder == 0 ? "msb" : "lsb";
}

}  // namespace

std::string SerialSeriesOf(const Workspace& ws, const std::string& qtpContent) {
  if (!ws.production.SerialNoMode) return {};
  if (ws.production.QtpFileLoaded) {
    const std::uint64_t hash = ContentHash(qtpContent);
    return std::string(kQtpPrefix) + HexDigits(static_cast<unsigned>(hash >> 32), 8) +
           HexDigits(static_cast<unsigned>(hash & 0xFFFFFFFFULL), 8);
  }
  const std::string mode = ws.production.SerialStepMode == 0
                               ? "sequential+" + std::to_string(ws.production.SerialIncrement)
                               : std::string("pseudo-random");
  return PlaceOf(ws) + " " + mode + " " + OrderOf(ws);
}

std::string SerialSlotOf(const Workspace& ws) {
  if (!ws.production.SerialNoMode) return {};
  return PlaceOf(ws) + " " + OrderOf(ws);
}

std::string SlotOfSeries(std::string_view series) {
  // "<device> @AAAA xN <mode> <order>": the mode is the one word left out.
  const std::size_t orderAt = series.rfind(' ');
  if (orderAt == std::string_view::npos || IsQtpSeries(series)) return {};
  const std::string_view order = series.substr(orderAt + 1);
  const std::size_t modeAt = series.rfind(' ', orderAt - 1);
  if (modeAt == std::string_view::npos || (order != "msb" && order != "lsb")) return {};
  const std::string_view mode = series.substr(modeAt + 1, orderAt - modeAt - 1);
  if (mode != "pseudo-random" && !mode.starts_with("sequential+")) return {};
  return std::string(series.substr(0, modeAt)) + " " + std::string(order);
}

bool IsQtpSeries(std::string_view series) { return series.starts_with(kQtpPrefix); }

PassOutcome JournalOutcome(OpOutcome outcome, bool redLine) {
  switch (outcome) {
    case OpOutcome::Ok:
      return redLine ? PassOutcome::ChipFailed : PassOutcome::Ok;
    case OpOutcome::ChipFailed:
    case OpOutcome::Refused:
      return PassOutcome::ChipFailed;
    case OpOutcome::LinkFailed:
      return PassOutcome::LinkFailed;
    case OpOutcome::NoChip:
      return PassOutcome::NoChip;
    case OpOutcome::Stopped:
      return PassOutcome::Stopped;
  }
  return PassOutcome::Unknown;
}

PassJournal::PassJournal(Journal* journal, std::string port, std::string series, long firstRecord)
    : journal_(journal), port_(std::move(port)), series_(std::move(series)), record_(firstRecord) {}

bool PassJournal::BeforePass(Workspace& ws, std::string& error, std::stop_token stop) {
  if (journal_ == nullptr) return true;
  // A command that stamps no number (Force Write switches the mode off) records its chip alone.
  const std::string series = ws.production.SerialNoMode ? series_ : std::string();
  const bool qtp = IsQtpSeries(series);
  const std::string first = SerialHexText(ws);
  // The file the run loaded, hashed once per run (empty when it can no longer be read).
  if (shaPath_ != ws.files.LastProgramPath || sha_.empty()) {
    shaPath_ = ws.files.LastProgramPath;
    FileSha256(shaPath_, sha_);
  }
  // Values chips of other series carry at this place.
  std::vector<std::string> steppedOver = std::exchange(startSteppedOver_, {});
  for (long step = 0; step < kMaxSteps; ++step) {
    SerialNo2Memory(ws);  // the number this row reserves is the one the chip gets
    row_ = PassRecord{};
    row_.port = port_;
    row_.writer = ws.results.WriterId;
    row_.device = ws.device.DeviceName;
    row_.programPath = ws.files.LastProgramPath;
    row_.programSha256 = sha_;
    row_.dataChecksum = HexDigits(ws.results.DataChecksum, 4);
    row_.optionWord = OptionWordText(ws);
    row_.idChecksum = ws.panel.IdText + " / " + ws.panel.ChecksumText;
    row_.series = series;
    row_.serial = series.empty() ? std::string() : SerialHexText(ws);
    row_.record = qtp ? record_ : 0;
    row_.slot = series.empty() ? std::string() : SerialSlotOf(ws);
    row_.passCount = ws.production.PassCount;
    switch (journal_->Reserve(row_, error, stop)) {
      case Journal::ReserveResult::Reserved:
        row_.steppedOver = std::move(steppedOver);
        return true;
      case Journal::ReserveResult::Failed:
        return false;
      case Journal::ReserveResult::ValueUsed:
        steppedOver.push_back(row_.serial);
        break;
      case Journal::ReserveResult::Used:
        break;
    }
    // Taken by another port (or an earlier run): the next number of the series.
    if (qtp) {
      const std::string message = ReadSerialData(ws);
      ++record_;
      if (ws.production.QtpEndSeen || !message.empty()) {
        exhausted_ = true;
        error = ws.production.QtpEndSeen ? "no QTP record left" : message;
        return false;
      }
    } else {
      SerialNoNext(ws);
      if (SerialHexText(ws) == first) break;
    }
  }
  exhausted_ = true;
  error = "no free serial number left in the series " + series;
  return false;
}

bool PassJournal::AfterPass(const Workspace& ws, const PassResult& result, std::string& error,
                            std::stop_token stop) {
  return AfterPass(ws, result.outcome, result.counted, result.reason, error,
                   result.serialMayBeOnChip, result.redLine, stop);
}

bool PassJournal::AfterPass(const Workspace& ws, OpOutcome outcome, bool counted,
                            std::string_view reason, std::string& error,
                            bool serialMayBeOnChip, bool redLine, std::stop_token stop) {
  if (counted && IsQtpSeries(series_)) ++record_;  // the pass read the next record
  if (journal_ == nullptr) return true;
  // A reason beside an outcome of Ok is a red line the pass went on after.
  row_.outcome = JournalOutcome(outcome, redLine || (outcome == OpOutcome::Ok && !reason.empty()));
  row_.counted = counted;
  row_.keepsNumber = KeepsNumber(row_.outcome, counted, serialMayBeOnChip);
  row_.passCount = ws.production.PassCount;
  row_.redLine = std::string(reason);
  if (!ws.results.WriterId.empty()) row_.writer = ws.results.WriterId;
  return journal_->Finish(row_, error, stop);
}

// ---- JournalView --------------------------------------------------------------------------------

void JournalView::SetEnabled(std::string_view button, bool enabled) {
  std::erase(enabled_, button);
  if (enabled)
    enabled_.emplace_back(button);
  else
    inner_.SetEnabled(button, false);
}

void JournalView::ReleaseButtons() {
  for (const std::string& button : enabled_) inner_.SetEnabled(button, true);
  enabled_.clear();
}

}  // namespace kvx
