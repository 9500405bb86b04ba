// How one chip's pass ended, as a typed value every front end presents: kvxw's lines, exit
// status and JSON chip objects, the production tiles and the journal all read this one report,
// so none of them works an outcome out of the texts it was shown.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/device/workspace.h"
#include "core/ops/command.h"
#include "core/production/journal.h"

namespace kvx {

enum class ChipOutcome {
  Ok,                     // the chip went through without a red line
  ChipFailed,             // a chip failure, or a verify mismatch shown in red though counted
  LinkFailed,             // the port, a time-out, the Writer's answer
  Stopped,                // the operator (or a signal) stopped it
  JournalFailed,          // the journal refused the pass or could not write its end
  NotStarted,             // no chip was started: the series had no number left
  ConfigurationRefused,   // refused before the Writer was asked (blank buffer, OPTION fields)
  NoChip,                 // the Writer found nothing in the socket: no chip failed, none was there
};
// "ok", "chip failed", "link failed", "stopped", "journal failed", "not started", "refused",
// "no chip".
std::string_view ChipOutcomeText(ChipOutcome outcome);
// Whether a pass is a failed chip in a station's counts and yield: a stop is the operator's, and
// a socket found empty or a run refused before the Writer was asked had no chip to fail.
bool FailedChip(ChipOutcome outcome);
// The outcome of a pass by its worker's result alone.
ChipOutcome ChipOutcomeOf(const PassResult& result);
// What the operator does about a pass, beside the line the Writer's dialog showed: "Insert a
// chip: the socket is empty", "Chip not blank: put in a blank one", "The Writer does not
// answer: check its power and cable", "Check the cable and the port"; empty when the outcome
// asks nothing of the operator's hands (a good chip, a stop, a failed chip to put aside). Every
// front end shows this one text: the tiles, the results list and kvxw's JSON "action".
std::string_view OperatorAction(ChipOutcome outcome, const PassResult& result);

struct PassReport {
  std::string port;
  long pass = 0;  // 1 for the first chip of the run on this port
  ChipOutcome outcome = ChipOutcome::NotStarted;
  // What an operator reads as the pass's end: the red line, the line that ended a failed pass,
  // the journal's error or why nothing started; empty for a chip that went through.
  std::string reason;
  bool redLine = false;       // `reason` is a line the dialog showed in red
  bool counted = false;       // the pass count grew
  std::string serial;         // hexadecimal as the panel shows it; empty without serial numbers
  long record = 0;            // the QTP record (1-based); 0 without a QTP file
  std::string dataChecksum;   // four hexadecimal digits, with the serial number stamped
  std::string optionWord;     // "LLHH"
  std::string idChecksum;     // the ID bytes and the checksum they carry
  long durationMs = -1;
  // An Auto Program pass's time on this port as the round trip of the last Writer check predicts
  // it (PredictedPassTime); -1 before a check has answered.
  long predictedMs = -1;
  // Values the journal stepped over before this chip's: other series' chips carry them.
  std::vector<std::string> steppedOver;
  std::optional<PassRecord> row;  // the journal's row of the pass; none without the journal
  PassResult result;              // the worker's own result

  bool Ok() const { return outcome == ChipOutcome::Ok; }
};

// The values a chip's number stepped over, as every front end says it: "stepped over 0005: chips
// of another series carry it at KVX-01 @0100 x2 msb already; this chip got 0006"; empty when it
// stepped over none.
std::string SteppedOverNote(const PassReport& report);

// The reports of one Writer's passes: what the chip gets (serial number, checksums) is taken
// from the workspace before its pass, or from the journal's row when the pass was journaled (the
// journal may have stepped to the next free number); the duration runs from the end of the
// previous pass.
class PassReporter {
 public:
  explicit PassReporter(std::string port) : port_(std::move(port)) {}

  // Before the first pass.
  void Begin(const Workspace& ws);
  // After each pass: `row` is the journal's row (null without the journal, or when it could not
  // be written), `journalError` the journal's message, `journalFailed` whether the journal (not
  // a used-up QTP file) ended the run.
  PassReport After(const Workspace& ws, long pass, const PassResult& result, const PassRecord* row,
                   const std::string& journalError = {}, bool journalFailed = false);

 private:
  std::string port_;
  PassReport next_;  // the facts of the coming chip
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace kvx
