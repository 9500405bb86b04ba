#include "core/production/pass_report.h"

#include <cmath>

#include "core/device/text_convert.h"
#include "core/production/pass_time.h"
#include "core/production/serial_number.h"

namespace kvx {

std::string_view ChipOutcomeText(ChipOutcome outcome) {
  switch (outcome) {
    case ChipOutcome::Ok: return "ok";
    case ChipOutcome::ChipFailed: return "chip failed";
    case ChipOutcome::LinkFailed: return "link failed";
    case ChipOutcome::Stopped: return "stopped";
    case ChipOutcome::JournalFailed: return "journal failed";
    case ChipOutcome::NotStarted: return "not started";
    case ChipOutcome::ConfigurationRefused: return "refused";
    case ChipOutcome::NoChip: return "no chip";
  }
  return "chip failed";
}

std::string SteppedOverNote(const PassReport& report) {
  if (report.steppedOver.empty() || !report.row) return {};
  std::string values;
  for (const std::string& v : report.steppedOver) values += (values.empty() ? "" : ", ") + v;
  return "stepped over " + values + ": chips of another series carry " +
         (report.steppedOver.size() > 1 ? "them" : "it") + " at " + report.row->slot +
         " already; this chip got " + report.serial;
}

bool FailedChip(ChipOutcome outcome) {
  return outcome != ChipOutcome::Ok && outcome != ChipOutcome::Stopped &&
         outcome != ChipOutcome::NoChip && outcome != ChipOutcome::ConfigurationRefused;
}

ChipOutcome ChipOutcomeOf(const PassResult& result) {
  switch (result.outcome) {
    case OpOutcome::Ok: return result.redLine ? ChipOutcome::ChipFailed : ChipOutcome::Ok;
    case OpOutcome::ChipFailed: return ChipOutcome::ChipFailed;
    case OpOutcome::LinkFailed: return ChipOutcome::LinkFailed;
    case OpOutcome::NoChip: return ChipOutcome::NoChip;
    case OpOutcome::Stopped: return ChipOutcome::Stopped;
    case OpOutcome::Refused: return ChipOutcome::ConfigurationRefused;
  }
  return ChipOutcome::ChipFailed;
}

std::string_view OperatorAction(ChipOutcome outcome, const PassResult& result) {
  switch (outcome) {
    case ChipOutcome::NoChip:
      return "Insert a chip: the socket is empty";
    case ChipOutcome::ChipFailed:
      return result.failedStep == Step::BlankCheck ? "Chip not blank: put in a blank one" : "";
    case ChipOutcome::LinkFailed:
      // The Writer check is the first thing a pass asks: no answer there is the Writer's (off,
      // unplugged); a link lost later is the cable's or the port's.
      return result.failedStep == Step::Connect
                 ? "The Writer does not answer: check its power and cable"
                 : "Check the cable and the port";
    default:
      return "";
  }
}

void PassReporter::Begin(const Workspace& ws) {
  next_ = PassReport{};
  next_.port = port_;
  if (ws.production.SerialNoMode) next_.serial = SerialHexText(ws);
  next_.dataChecksum = HexDigits(static_cast<unsigned>(ws.results.DataChecksum), 4);
  next_.optionWord = HexDigits(static_cast<unsigned>(ws.image.OptionLow), 2) +
                     HexDigits(static_cast<unsigned>(ws.image.OptionHigh), 2);
  next_.idChecksum = ws.panel.IdText + " / " + ws.panel.ChecksumText;
  start_ = std::chrono::steady_clock::now();
}

PassReport PassReporter::After(const Workspace& ws, long pass, const PassResult& result,
                               const PassRecord* row, const std::string& journalError,
                               bool journalFailed) {
  PassReport report = next_;
  report.pass = pass;
  report.result = result;
  report.outcome = ChipOutcomeOf(result);
  report.reason = result.reason;
  report.redLine = result.redLine && !result.reason.empty();
  report.counted = result.counted;
  report.durationMs = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - start_)
                                            .count());
  if (const auto predicted = PredictedPassTime(ws); predicted.count() >= 0)
    report.predictedMs = std::lround(predicted.count() * 1000);
  if (row != nullptr) {
    report.row = *row;
    report.steppedOver = row->steppedOver;
    report.serial = row->serial;
    report.record = row->record;
    report.dataChecksum = row->dataChecksum;
    report.optionWord = row->optionWord;
    report.idChecksum = row->idChecksum;
  }
  if (!journalError.empty()) {
    // The journal's word comes first: the chip's own line is in the dialog, and in the row when
    // the row was written.
    // Without a failed journal the series was used up (other Writers took the QTP file's last
    // records): this pass started no chip.
    report.outcome = journalFailed ? ChipOutcome::JournalFailed : ChipOutcome::NotStarted;
    report.reason = journalError;
    report.redLine = false;
  }
  Begin(ws);
  return report;
}

}  // namespace kvx
