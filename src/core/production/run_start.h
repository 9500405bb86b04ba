// Where a production run may start: the rule that no serial number goes out twice, decided once
// for both front ends. Before the first chip of a run (kvxw auto, the desktop's Auto Program)
// the caller asks DecideRunStart; it answers with a typed verdict and the facts behind it. kvxw
// refuses a used start unless --resume was given, the desktop asks the operator the same
// question; both word it with RunStartFacts, and both step the workspace with MoveToRunStart.
//
//   Journal journal;  journal.Open(path, error);
//   const RunStart start = DecideRunStart(journal, series, ws, ReadQtpFileState(ws));
//   if (start.verdict == RunStart::Verdict::StartHere) ... run
//   else if (start.CanResume() && resume) MoveToRunStart(start, ws, message) ... run
//   else tell the operator RunStartFacts(start) and start nothing
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/device/workspace.h"
#include "core/production/journal.h"

namespace kvx {

// A loaded QTP file as the workspace holds it: its text (which names the series) and the record
// the workspace holds now (1 after loading, one more after each counted pass); record 0 when no
// QTP file is loaded.
struct QtpFileState {
  std::string content;
  long record = 0;
};
// Reads the file's text through the workspace's open file, leaving the file where it was.
QtpFileState ReadQtpFileState(Workspace& ws);

struct RunStart {
  enum class Verdict {
    StartHere,          // the first number (QTP record) is free: the run starts with it
    FirstNumberUsed,    // a counted or shifted series' first number went out; `next` is free
    QtpRecordsUsed,     // the QTP record the workspace holds went out; `nextRecord` is free
    SeriesUsedUp,       // every number (every record of the QTP file) went out
    JournalUnreadable,  // the journal could not be read: nothing is known, nothing may start
  };
  Verdict verdict = Verdict::StartHere;
  std::string series;    // empty when the run stamps no serial number
  bool qtp = false;      // the series is a QTP file
  std::string first;     // the workspace's number, as the panel shows it
  long firstRecord = 0;  // the QTP record the workspace holds; 0 for a counted series
  SerialUse use;         // where the first number (record) went, when it is used
  std::string next;      // FirstNumberUsed: the next free number
  // FirstNumberUsed: the values before `next` that chips of other series carry at the place.
  std::vector<std::string> steppedOver;
  long nextRecord = 0;   // QtpRecordsUsed: the record after the last one used
  long deadRunPasses = 0;  // passes of a run that died, now "unknown" and counted as used
  std::string error;       // JournalUnreadable: the journal's message

  bool CanResume() const {
    return verdict == Verdict::FirstNumberUsed || verdict == Verdict::QtpRecordsUsed;
  }
  // Where the run's passes start: the free first number, or the one to resume at; the QTP
  // record is 1 for a counted series, as the journal's passes count it.
  std::string StartSerial() const { return CanResume() && !qtp ? next : first; }
  long StartRecord() const { return !qtp ? 1 : CanResume() ? nextRecord : firstRecord; }
};

// The verdict for a run of `series` (SerialSeriesOf; empty when no number is stamped) whose
// first number is the workspace's current one, or whose QTP file is at `qtp.record`.
RunStart DecideRunStart(Journal& journal, const std::string& series, const Workspace& ws,
                        const QtpFileState& qtp);
// The same for the workspace as it stands: its series (with the loaded QTP file's text, read
// through ReadQtpFileState) and its first number or QTP record. The verdict names the series.
RunStart DecideRunStartFor(Journal& journal, Workspace& ws);

// Steps a workspace to the run's start (StartSerial, or the QTP file read up to StartRecord)
// and stamps that number: the first workspace once the operator chose to resume, and every
// further port's workspace, built like the first. False with the QTP file's record message
// when the file cannot be read that far.
bool MoveToRunStart(const RunStart& start, Workspace& ws, std::string& message);

// The verdict's facts, as both front ends word them (lower case, no full stop):
//   "serial number 0001 went out on 2026-12-07T23:31:19.123Z on COM1 (ok); the next free one is 0003"
//   "serial number 0001 went out on ... (ok) in the series KVX-01 @0100 x2 sequential+2 msb; ..."
//     (another series put the same value at the same place)
//   "QTP record 1 (serial number 0100) went out on ... (ok); the next free one is record 3"
//   "serial number 0001 went out on ... (ok), and no number of its series is free"
//   "every record of the QTP file went out already"
// and the journal's own message for JournalUnreadable; empty for StartHere.
std::string RunStartFacts(const RunStart& start);
// `why` a run stopped before its first chip, as every front end words it:
// "WHY; no chip was programmed".
std::string NoChipProgrammed(std::string_view why);
// The verdict as the operator reads it before the first chip: empty for StartHere; otherwise the
// facts, ending in "; no chip was programmed" for a journal that could not be read.
std::string RunStartRefusal(const RunStart& start);
// Where a resumed run starts, as the operator reads it: "0003" or "record 3".
std::string ResumePoint(const RunStart& start);
// The notice for passes of a run that died; empty when there were none.
std::string DeadRunNotice(const RunStart& start);

// The first number at or after the workspace's current one that is free in the series, reached
// by stepping a copy of the number (SerialNoNext); `next` stays empty when the whole series is
// used. False with the journal's message when it cannot be read. `otherSeries`, when given, gets
// the values passed that chips of other series carry.
bool NextFreeSerial(Journal& journal, const Workspace& ws, const std::string& series,
                    std::optional<std::string>& next, std::string& error,
                    std::vector<std::string>* otherSeries = nullptr);

}  // namespace kvx
