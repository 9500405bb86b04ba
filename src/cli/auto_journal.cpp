#include "cli/auto_journal.h"

#include <fstream>
#include <iterator>

#include "core/production/pass_journal.h"
#include "core/production/serial_number.h"

namespace kvx::cli {

namespace {

std::string FileContent(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string WentOut(const SerialUse& use) {
  return "went out on " + use.started + " on " + use.port + " (" +
         std::string(OutcomeText(use.outcome)) + ")";
}

// Reads QTP records until the workspace holds record `record`; false at the end of the file.
bool SkipToRecord(Workspace& ws, long from, long record) {
  for (long r = from; r < record; ++r) {
    if (!ReadSerialData(ws).empty() || ws.QtpEndSeen) return false;
  }
  return true;
}

int RefuseUsed(const std::string& what, const SerialUse& use, const std::string& next,
               std::ostream& err) {
  err << "kvxw auto: " << what << ' ' << WentOut(use) << "; the next free one is " << next
      << ": give --resume to start there\n";
  return kExitFailed;
}

int CheckQtpStart(const Args& args, Workspace& ws, AutoJournal& j, std::ostream& log,
                  std::ostream& err) {
  const auto use = j.journal->FindUse(j.series, {}, 1);
  if (!use) return kExitOk;
  const long next = j.journal->LastRecordUsed(j.series) + 1;
  if (!args.Has("--resume"))
    return RefuseUsed("QTP record 1 (serial number " + SerialHexText(ws) + ")", *use,
                      "record " + std::to_string(next), err);
  if (!SkipToRecord(ws, 1, next)) {
    err << "kvxw auto: every record of the QTP file went out already (see kvxw journal)\n";
    return kExitFailed;
  }
  j.firstRecord = next;
  SerialNo2Memory(ws);
  log << "Resume: QTP record " << next << ", serial number " << ws.SerialText << "\n";
  return kExitOk;
}

int CheckSerialStart(const Args& args, Workspace& ws, AutoJournal& j, std::ostream& log,
                     std::ostream& err) {
  const std::string first = SerialHexText(ws);
  const auto use = j.journal->FindUse(j.series, first, 0);
  if (!use) return kExitOk;
  const auto next = NextFreeSerial(*j.journal, ws, j.series);
  if (!next) {
    err << "kvxw auto: serial number " << first << ' ' << WentOut(*use)
        << ", and no number of its series is free\n";
    return kExitFailed;
  }
  if (!args.Has("--resume")) return RefuseUsed("serial number " + first, *use, *next, err);
  SetSerialHexText(ws, *next);
  SerialNo2Memory(ws);
  log << "Resume: serial number " << *next << "\n";
  return kExitOk;
}

}  // namespace

std::vector<OptionSpec> JournalOptions() {
  return {
      {"--journal", "FILE",
       "the production journal (default kvx-journal.db in the current folder)"},
      {"--no-journal", "", "run without the journal: nothing records the chips, nothing keeps "
                           "a serial number from going out twice"},
      {"--resume", "",
       "when the first serial number already went out, start from the next free one (a QTP "
       "file: after the last record used)"},
  };
}

int OpenAutoJournal(const Args& args, Workspace& ws, const std::string& qtpPath, AutoJournal& j,
                    std::ostream& log, std::ostream& err) {
  if (args.Has("--no-journal")) {
    if (args.Has("--journal") || args.Has("--resume"))
      return UsageError("auto", "--no-journal excludes --journal and --resume", err);
    return kExitOk;
  }
  j.journal = std::make_unique<Journal>();
  std::string error;
  if (!j.journal->Open(args.Get("--journal", kJournalFileName), error)) {
    err << "kvxw auto: " << error << "; no chip was programmed (--no-journal runs without it)\n";
    return kExitFailed;
  }
  if (const long recovered = j.journal->RecoveredRows(); recovered > 0) {
    err << "kvxw auto: " << recovered
        << " pass(es) of a run that ended without finishing are now 'unknown' in the journal; "
           "their serial numbers stay used\n";
  }
  j.series = SerialSeriesOf(ws, qtpPath.empty() ? std::string() : FileContent(qtpPath));
  if (j.series.empty()) return kExitOk;
  return IsQtpSeries(j.series) ? CheckQtpStart(args, ws, j, log, err)
                               : CheckSerialStart(args, ws, j, log, err);
}

void StartAt(const AutoJournal& j, Workspace& ws, const std::string& serial) {
  if (j.series.empty()) return;
  if (IsQtpSeries(j.series))
    SkipToRecord(ws, 1, j.firstRecord);
  else
    SetSerialHexText(ws, serial);
  SerialNo2Memory(ws);
}

}  // namespace kvx::cli
