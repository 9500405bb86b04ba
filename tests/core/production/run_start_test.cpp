// Where a production run may start, decided once for kvxw and the desktop: journals and first
// numbers (or QTP records) in a table, the verdict each gets, the words the operator reads, and
// the number a workspace built for another port starts from.
#include "core/production/run_start.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "core/production/pass_journal.h"
#include "core/production/qtp_file.h"
#include "serial_fixture.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using testing::NumberAt;
using testing::PutWord;
using testing::WordAt;
using Verdict = RunStart::Verdict;

constexpr int kAddress = 0x10;

struct Taken {
  std::string serial;  // a counted series' number
  long record = 0;     // a QTP record
  PassOutcome outcome = PassOutcome::Ok;
  bool counted = true;
  bool byTwo = false;  // taken by a series counting by two over the same place
};

class RunStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kvx-run-start-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Db() const { return (dir_ / kJournalFileName).string(); }

  // KVX-04 with RTIW words for `bytes`-byte numbers from `first`, serial-number mode on.
  static std::unique_ptr<Workspace> Counted(const std::string& first, int bytes = 2,
                                            int increment = 1) {
    auto ws = NumberAt(kAddress, bytes, first);
    for (int k = 0; k < bytes; ++k) PutWord(*ws, kAddress + k, kRtiwValue);
    ws->production.SerialIncrement = increment;
    ws->production.SerialNoMode = true;
    return ws;
  }
  // The lot of five two-byte numbers from 0100, loaded, the workspace at record `held` (as after
  // held - 1 counted passes).
  std::unique_ptr<Workspace> Qtp(long held) {
    const std::string lot = (dir_ / "lot.txt").string();
    auto ws = Counted("0100");
    if (!fs::exists(lot)) {
      EXPECT_EQ(WriteQtpFile(*ws, lot, 5), "");
    }
    EXPECT_TRUE(LoadQtpFile(*ws, lot).loaded);
    for (long r = 1; r < held; ++r) EXPECT_EQ(ReadSerialData(*ws), "");
    return ws;
  }
  std::unique_ptr<Workspace> Build(bool qtp, const std::string& first, long held, int bytes,
                                   int increment) {
    return qtp ? Qtp(held) : Counted(first, bytes, increment);
  }

  // Rows of passes that took these numbers, finished as told; the first row's start time.
  static std::string Take(Journal& journal, const std::string& series,
                          const std::vector<Taken>& taken) {
    std::string error, started;
    const auto place = Counted("0000", 2, 2);
    for (const Taken& t : taken) {
      PassRecord row;
      row.port = "COM1";
      row.series = t.byTwo ? SerialSeriesOf(*place) : series;
      row.slot = SerialSlotOf(*place);
      row.serial = t.serial;
      row.record = t.record;
      EXPECT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
      row.outcome = t.outcome;
      row.counted = t.counted;
      // A failure before the number's first byte went to the chip: it may be given back.
      row.keepsNumber = KeepsNumber(t.outcome, t.counted, false);
      EXPECT_TRUE(journal.Finish(row, error)) << error;
      if (started.empty()) started = row.started;
    }
    return started;
  }

  fs::path dir_;
};

TEST_F(RunStartTest, EachJournalAndFirstNumberGetsOneVerdict) {
  struct Case {
    const char* name;
    bool qtp;
    std::string first;  // a counted series' first number
    long held;          // a QTP file's record in the workspace
    std::vector<Taken> taken;
    Verdict verdict;
    std::string facts;  // "@T": the first row's start time
    std::string start;  // the number a run (or another port) starts from
    long startRecord;
    int bytes = 2;
    int increment = 1;
  };
  const PassOutcome kChipFailed = PassOutcome::ChipFailed;
  const Case cases[] = {
      {"free", false, "1000", 0, {}, Verdict::StartHere, "", "1000", 1},
      {"used", false, "1000", 0, {{"1000"}, {"1001"}}, Verdict::FirstNumberUsed,
       "serial number 1000 went out on @T on COM1 (ok); the next free one is 1002", "1002", 1},
      {"given back", false, "1000", 0, {{"1000", 0, kChipFailed, false}}, Verdict::StartHere, "",
       "1000", 1},
      {"failed but counted", false, "1000", 0, {{"1000", 0, kChipFailed, true}},
       Verdict::FirstNumberUsed,
       "serial number 1000 went out on @T on COM1 (chip failed); the next free one is 1001",
       "1001", 1},
      {"stopped", false, "1000", 0, {{"1000", 0, PassOutcome::Stopped, false}},
       Verdict::FirstNumberUsed,
       "serial number 1000 went out on @T on COM1 (stopped); the next free one is 1001", "1001", 1},
      {"used up", false, "00", 0, {{"00"}, {"80"}}, Verdict::SeriesUsedUp,
       "serial number 00 went out on @T on COM1 (ok), and no number of its series is free", "00",
       1, 1, 128},
      {"qtp free", true, "", 1, {}, Verdict::StartHere, "", "0100", 1},
      {"qtp used", true, "", 1, {{"0100", 1}, {"0101", 2}}, Verdict::QtpRecordsUsed,
       "QTP record 1 (serial number 0100) went out on @T on COM1 (ok); the next free one is "
       "record 3",
       "0102", 3},
      {"qtp last record left", true, "", 1, {{"0100", 1}, {"0101", 2}, {"0102", 3}, {"0103", 4}},
       Verdict::QtpRecordsUsed,
       "QTP record 1 (serial number 0100) went out on @T on COM1 (ok); the next free one is "
       "record 5",
       "0104", 5},
      {"qtp after its passes", true, "", 3, {{"0100", 1}, {"0101", 2}}, Verdict::StartHere, "",
       "0102", 3},
      {"qtp given back", true, "", 1, {{"0100", 1, kChipFailed, false}, {"0101", 2}},
       Verdict::StartHere, "", "0100", 1},
      {"qtp used up", true, "", 1, {{"", 1}, {"", 2}, {"", 3}, {"", 4}, {"", 5}},
       Verdict::SeriesUsedUp, "every record of the QTP file went out already", "0100", 1},
      // Values other series put at the same place count as used, whatever the increment.
      {"on chips of another increment", false, "0001", 0,
       {{"0001", 0, PassOutcome::Ok, true, true}, {"0003", 0, PassOutcome::Ok, true, true},
        {"0002"}},
       Verdict::FirstNumberUsed,
       "serial number 0001 went out on @T on COM1 (ok) in the series KVX-04 @0010 x2 "
       "sequential+2 msb; the next free one is 0004",
       "0004", 1},
      {"qtp values on chips of a counted series", true, "", 1,
       {{"0100", 0, PassOutcome::Ok, true, true}, {"0101", 0, PassOutcome::Ok, true, true}},
       Verdict::QtpRecordsUsed,
       "QTP record 1 (serial number 0100) went out on @T on COM1 (ok) in the series KVX-04 "
       "@0010 x2 sequential+2 msb; the next free one is record 3",
       "0102", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Journal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(Db(), error)) << error;
    auto ws = Build(c.qtp, c.first, c.held, c.bytes, c.increment);
    QtpFileState qtp = ReadQtpFileState(*ws);
    EXPECT_EQ(qtp.record, c.qtp ? c.held : 0);
    const std::string series = SerialSeriesOf(*ws, qtp.content);
    const std::string started = Take(journal, series, c.taken);

    const RunStart start = DecideRunStart(journal, series, *ws, qtp);
    EXPECT_EQ(start.verdict, c.verdict);
    std::string facts = c.facts;
    if (const auto at = facts.find("@T"); at != std::string::npos) facts.replace(at, 2, started);
    EXPECT_EQ(RunStartFacts(start), facts);
    EXPECT_EQ(start.StartRecord(), c.startRecord);
    if (c.verdict == Verdict::SeriesUsedUp) continue;

    // Where the run starts, on this workspace (resumed) and on one built for another port.
    auto other = Build(c.qtp, c.first, 1, c.bytes, c.increment);
    for (Workspace* w : {ws.get(), other.get()}) {
      std::string message;
      ASSERT_TRUE(MoveToRunStart(start, *w, message)) << message;
      EXPECT_EQ(w->production.SerialText, c.start);
      EXPECT_EQ(WordAt(*w, kAddress + 1), kRtiwValue + std::stoi(c.start.substr(2), nullptr, 16));
    }
    EXPECT_EQ(ReadQtpFileState(*other).record, c.qtp ? c.startRecord : 0);
  }
}

TEST_F(RunStartTest, PassesOfARunThatDiedAreToldAndTheirNumbersStayUsed) {
  auto ws = Counted("1000");
  const std::string series = SerialSeriesOf(*ws);
  std::string error;
  {
    Journal dying;
    ASSERT_TRUE(dying.Open(Db(), error)) << error;
    PassRecord row;
    row.port = "COM2";
    row.series = series;
    row.serial = "1000";
    ASSERT_EQ(dying.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
  }  // never finished, as when the process is killed
  Journal journal;
  ASSERT_TRUE(journal.Open(Db(), error, [](const std::string&, long) { return false; })) << error;
  const RunStart start = DecideRunStart(journal, series, *ws, {});
  EXPECT_EQ(start.verdict, Verdict::FirstNumberUsed);
  EXPECT_EQ(start.use.outcome, PassOutcome::Unknown);
  EXPECT_EQ(start.StartSerial(), "1001");
  EXPECT_EQ(DeadRunNotice(start),
            "1 pass(es) of a run that ended without finishing are now 'unknown' in the journal; "
            "their serial numbers stay used");
  // A run without serial numbers is told too, and starts.
  const RunStart plain = DecideRunStart(journal, {}, *ws, {});
  EXPECT_EQ(plain.verdict, Verdict::StartHere);
  EXPECT_FALSE(DeadRunNotice(plain).empty());
}

// A read that fails is never "nothing used": the run stops with the journal's message.
TEST_F(RunStartTest, AJournalThatCannotBeReadStopsTheRun) {
  auto ws = Counted("1000");
  const std::string series = SerialSeriesOf(*ws);
  std::string error;
  Journal journal;
  ASSERT_TRUE(journal.Open(Db(), error)) << error;
  Take(journal, series, {{"1000"}});
  SqliteDb behind;  // another program renames the passes away behind the journal's back
  ASSERT_TRUE(behind.Open(Db(), false));
  ASSERT_TRUE(behind.Exec("ALTER TABLE passes RENAME TO gone")) << behind.Error();

  Journal closed;  // and a journal that never opened
  for (Journal* j : {&journal, &closed}) {
    std::optional<SerialUse> use;
    error.clear();
    EXPECT_FALSE(j->FindUse(series, "", "1000", 0, use, error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos) << error;
    long last = -1;
    error.clear();
    EXPECT_FALSE(j->LastRecordUsed("QTP 0123456789ABCDEF", last, error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos) << error;
    std::optional<std::string> next;
    EXPECT_FALSE(NextFreeSerial(*j, *ws, series, next, error));

    auto qtpWs = Qtp(1);
    const QtpFileState qtp = ReadQtpFileState(*qtpWs);
    for (const RunStart& start : {DecideRunStart(*j, series, *ws, {}),
                                  DecideRunStart(*j, SerialSeriesOf(*qtpWs, qtp.content), *qtpWs,
                                                 qtp)}) {
      EXPECT_EQ(start.verdict, Verdict::JournalUnreadable);
      EXPECT_FALSE(start.CanResume());
      EXPECT_NE(RunStartFacts(start).find("cannot be read"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace kvx
