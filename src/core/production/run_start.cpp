#include "core/production/run_start.h"

#include <algorithm>
#include <istream>
#include <iterator>
#include <memory>
#include <sstream>

#include "core/production/pass_journal.h"
#include "core/production/qtp_file.h"
#include "core/production/serial_number.h"

namespace kvx {

namespace {

constexpr char kEveryRecordUsed[] = "every record of the QTP file went out already";
// How far NextFreeSerial steps past used numbers before it gives up: far more chips than any
// run holds, so reaching it means the series is used up.
constexpr long kMaxSteps = 1'000'000;

struct RecordCount {
  long records = 0;      // data records read
  bool endSeen = false;  // the end record came after them (no damaged record stopped the count)
};

// Reads the QTP text record by record, on a workspace of its own, up to the record that starts
// at or after `upTo` (all of them when upTo is negative).
RecordCount CountRecords(const std::string& content, std::streamoff upTo) {
  RecordCount count;
  auto scratch = std::make_unique<Workspace>();
  scratch->production.QtpReadFile = std::make_unique<std::istringstream>(content);
  std::istream& in = *scratch->production.QtpReadFile;
  while (upTo < 0 || static_cast<std::streamoff>(in.tellg()) < upTo) {
    if (!ReadSerialData(*scratch).empty()) break;
    if (scratch->production.QtpEndSeen) {
      count.endSeen = true;
      break;
    }
    ++count.records;
  }
  return count;
}

// Where the number went; with the series that took it when that is another one, which put the
// same value at the same place.
std::string WentOut(const SerialUse& use, const std::string& series) {
  return "went out on " + use.started + " on " + use.port + " (" +
         std::string(OutcomeText(use.outcome)) + ")" +
         (!use.series.empty() && use.series != series ? " in the series " + use.series : "");
}

// The records of a QTP text read forward one by one, as `ws` reads its file (its device and
// byte order): each one's value and place.
class QtpRecords {
 public:
  QtpRecords(const std::string& content, const Workspace& ws)
      : scratch_(std::make_unique<Workspace>()) {
    scratch_->device.DeviceName = ws.device.DeviceName;
    scratch_->production.SerialByteOrder = ws.production.SerialByteOrder;
    scratch_->production.SerialNoMode = true;
    scratch_->production.QtpReadFile = std::make_unique<std::istringstream>(content);
  }
  // Record `number` (1-based, not before the last one asked for); null when there is none.
  const Workspace* At(long number) {
    for (; read_ < number; ++read_)
      if (!ReadSerialData(*scratch_).empty() || scratch_->production.QtpEndSeen) return nullptr;
    return scratch_.get();
  }

 private:
  std::unique_ptr<Workspace> scratch_;
  long read_ = 0;
};

}  // namespace

QtpFileState ReadQtpFileState(Workspace& ws) {
  QtpFileState state;
  if (!ws.production.QtpFileLoaded || !ws.production.QtpReadFile) return state;
  std::istream& in = *ws.production.QtpReadFile;
  const std::ios::iostate flags = in.rdstate();
  in.clear();
  const std::streampos at = in.tellg();
  in.seekg(0);
  state.content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  in.clear();
  in.seekg(at);
  in.setstate(flags);
  // The workspace holds the last record read before the file's position.
  const std::streamoff upTo = at < 0 ? 0 : static_cast<std::streamoff>(at);
  state.record = std::max(1L, CountRecords(state.content, upTo).records);
  return state;
}

bool NextFreeSerial(Journal& journal, const Workspace& ws, const std::string& series,
                    std::optional<std::string>& next, std::string& error,
                    std::vector<std::string>* otherSeries) {
  next.reset();
  auto copy = std::make_unique<Workspace>();
  copy->production.SerialByteCount = ws.production.SerialByteCount;
  copy->production.SerialValue = ws.production.SerialValue;
  copy->production.SerialIncrement = ws.production.SerialIncrement;
  copy->production.SerialStepMode = ws.production.SerialStepMode;
  const std::string first = SerialHexText(*copy);
  const std::string slot = SerialSlotOf(ws);
  for (long step = 0; step < kMaxSteps; ++step) {
    const std::string serial = SerialHexText(*copy);
    if (step > 0 && serial == first) break;  // round the whole series
    std::optional<SerialUse> use;
    if (!journal.FindUse(series, slot, serial, 0, use, error)) return false;
    if (!use) {
      next = serial;
      return true;
    }
    if (otherSeries != nullptr && use->series != series) otherSeries->push_back(serial);
    SerialNoNext(*copy);
  }
  return true;
}

RunStart DecideRunStart(Journal& journal, const std::string& series, const Workspace& ws,
                        const QtpFileState& qtp) {
  RunStart start;
  start.series = series;
  start.deadRunPasses = journal.RecoveredRows();
  start.first = SerialHexText(ws);
  if (series.empty()) return start;
  start.qtp = IsQtpSeries(series);
  if (start.qtp) start.firstRecord = std::max(1L, qtp.record);
  auto unreadable = [&](std::string error) {
    start.verdict = RunStart::Verdict::JournalUnreadable;
    start.error = std::move(error);
    return start;
  };

  std::string error;
  std::optional<SerialUse> use;
  // A QTP record is used as a record of its file, or as a value at its place.
  if (!journal.FindUse(series, SerialSlotOf(ws), start.first, start.firstRecord, use, error))
    return unreadable(error);
  if (!use) return start;
  start.use = *use;

  if (start.qtp) {
    long last = 0;
    if (!journal.LastRecordUsed(series, last, error)) return unreadable(error);
    const RecordCount count = CountRecords(qtp.content, -1);
    // After the last record used, the first whose value no chip carries at its place.
    QtpRecords records(qtp.content, ws);
    for (start.nextRecord = std::max(last + 1, start.firstRecord + 1);; ++start.nextRecord) {
      if (count.endSeen && start.nextRecord > count.records) {
        start.verdict = RunStart::Verdict::SeriesUsedUp;
        return start;
      }
      const Workspace* record = records.At(start.nextRecord);
      if (record == nullptr) break;  // a damaged record: moving there tells the operator
      std::optional<SerialUse> taken;
      if (!journal.FindUse(series, SerialSlotOf(*record), SerialHexText(*record),
                           start.nextRecord, taken, error))
        return unreadable(error);
      if (!taken) break;
    }
    start.verdict = RunStart::Verdict::QtpRecordsUsed;
    return start;
  }
  std::optional<std::string> next;
  if (!NextFreeSerial(journal, ws, series, next, error, &start.steppedOver))
    return unreadable(error);
  if (!next) {
    start.verdict = RunStart::Verdict::SeriesUsedUp;
    return start;
  }
  start.next = *next;
  start.verdict = RunStart::Verdict::FirstNumberUsed;
  return start;
}

RunStart DecideRunStartFor(Journal& journal, Workspace& ws) {
  const QtpFileState qtp = ReadQtpFileState(ws);
  return DecideRunStart(journal, SerialSeriesOf(ws, qtp.content), ws, qtp);
}

std::string NoChipProgrammed(std::string_view why) {
  return std::string(why) + "; no chip was programmed";
}

std::string RunStartRefusal(const RunStart& start) {
  const std::string facts = RunStartFacts(start);
  return start.verdict == RunStart::Verdict::JournalUnreadable ? NoChipProgrammed(facts) : facts;
}

bool MoveToRunStart(const RunStart& start, Workspace& ws, std::string& message) {
  message.clear();
  if (start.series.empty()) return true;
  if (start.qtp) {
    if (!ws.production.QtpReadFile) {
      message = kMsgQtpInformation;
      return false;
    }
    ws.production.QtpReadFile->clear();
    ws.production.QtpReadFile->seekg(0);
    for (long record = 1; record <= start.StartRecord(); ++record) {
      message = ReadSerialData(ws);
      if (message.empty() && ws.production.QtpEndSeen) message = kEveryRecordUsed;
      if (!message.empty()) return false;
    }
  } else if (!SetSerialHexText(ws, start.StartSerial())) {
    message = "the serial number " + start.StartSerial() + " does not fit the series";
    return false;
  }
  SerialNo2Memory(ws);
  return true;
}

std::string RunStartFacts(const RunStart& start) {
  const std::string number = "serial number " + start.first;
  const std::string what =
      start.qtp ? "QTP record " + std::to_string(start.firstRecord) + " (" + number + ")" : number;
  switch (start.verdict) {
    case RunStart::Verdict::StartHere:
      return {};
    case RunStart::Verdict::FirstNumberUsed:
    case RunStart::Verdict::QtpRecordsUsed:
      return what + ' ' + WentOut(start.use, start.series) + "; the next free one is " +
             ResumePoint(start);
    case RunStart::Verdict::SeriesUsedUp:
      if (start.qtp) return kEveryRecordUsed;
      return what + ' ' + WentOut(start.use, start.series) +
             ", and no number of its series is free";
    case RunStart::Verdict::JournalUnreadable:
      return start.error;
  }
  return {};
}

std::string ResumePoint(const RunStart& start) {
  return start.qtp ? "record " + std::to_string(start.nextRecord) : start.next;
}

std::string DeadRunNotice(const RunStart& start) {
  if (start.deadRunPasses <= 0) return {};
  return std::to_string(start.deadRunPasses) +
         " pass(es) of a run that ended without finishing are now 'unknown' in the journal; "
         "their serial numbers stay used";
}

}  // namespace kvx
