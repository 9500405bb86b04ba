// The production journal: reservations that never hand one number out twice, rows of runs that
// died, older journals, files that cannot hold a journal, and the summary.
#include "core/production/journal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "core/production/pass_journal.h"
#include "core/production/run_start.h"
#include "serial_fixture.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using testing::NumberAt;
using testing::PutWord;

const Journal::RunAlive kEveryRunDied = [](const std::string&, long) { return false; };
const Journal::RunAlive kEveryRunLives = [](const std::string&, long) { return true; };

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kvx-journal-test-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Db() const { return (dir_ / kJournalFileName).string(); }

  static PassRecord Row(const std::string& serial, long record = 0) {
    PassRecord row;
    row.port = "COM1";
    row.device = "KVX-04";
    row.series = record > 0 ? "QTP 0123456789ABCDEF" : "KVX-04 @0010 x2 sequential+1 msb";
    row.serial = serial;
    row.record = record;
    return row;
  }

  fs::path dir_;
};

TEST_F(JournalTest, ANumberIsFreeAgainOnlyAfterAPassThatFailedWithoutCounting) {
  struct Case {
    PassOutcome outcome;
    bool counted;
    bool usedAfter;
  };
  const Case cases[] = {
      {PassOutcome::Ok, true, true},          {PassOutcome::ChipFailed, true, true},
      {PassOutcome::ChipFailed, false, false}, {PassOutcome::LinkFailed, false, false},
      {PassOutcome::Stopped, false, true},     {PassOutcome::Unknown, false, true},
  };
  Journal journal;
  std::string error;
  ASSERT_TRUE(journal.Open(Db(), error)) << error;
  int n = 0;
  for (const Case& c : cases) {
    const std::string serial = "10" + std::to_string(10 + n++);
    PassRecord row = Row(serial);
    ASSERT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
    PassRecord again = Row(serial);
    EXPECT_EQ(journal.Reserve(again, error), Journal::ReserveResult::Used) << "while pending";
    row.outcome = c.outcome;
    row.counted = c.counted;
    ASSERT_TRUE(journal.Finish(row, error)) << error;
    std::optional<SerialUse> use;
    ASSERT_TRUE(journal.FindUse(row.series, serial, 0, use, error)) << error;
    EXPECT_EQ(use.has_value(), c.usedAfter) << OutcomeText(c.outcome) << " counted " << c.counted;
    EXPECT_EQ(journal.Reserve(again, error) == Journal::ReserveResult::Used, c.usedAfter);
  }
  // The same number in another series, and rows without a series, are never refused.
  PassRecord other = Row("1010");
  other.series = "KVX-04 @0020 x2 sequential+1 msb";
  EXPECT_EQ(journal.Reserve(other, error), Journal::ReserveResult::Reserved);
  PassRecord plain;
  EXPECT_EQ(journal.Reserve(plain, error), Journal::ReserveResult::Reserved);
  EXPECT_EQ(journal.Reserve(plain, error), Journal::ReserveResult::Reserved);
}

TEST_F(JournalTest, PendingRowsOfARunThatDiedBecomeUnknownAndStayUsed) {
  std::string error;
  {
    Journal dying;
    ASSERT_TRUE(dying.Open(Db(), error)) << error;
    PassRecord row = Row("1000");
    ASSERT_EQ(dying.Reserve(row, error), Journal::ReserveResult::Reserved);
    PassRecord qtp = Row("1234", 7);
    ASSERT_EQ(dying.Reserve(qtp, error), Journal::ReserveResult::Reserved);
  }  // never finished, as when the process is killed
  {
    Journal alongside;  // a run of a process that still lives leaves them alone
    ASSERT_TRUE(alongside.Open(Db(), error, kEveryRunLives)) << error;
    EXPECT_EQ(alongside.RecoveredRows(), 0);
  }
  Journal next;
  ASSERT_TRUE(next.Open(Db(), error, kEveryRunDied)) << error;
  EXPECT_EQ(next.RecoveredRows(), 2);
  const auto rows = next.Passes({}, error);
  ASSERT_EQ(rows.size(), 2u);
  for (const PassRecord& r : rows) EXPECT_EQ(r.outcome, PassOutcome::Unknown) << r.serial;
  std::optional<SerialUse> use;
  ASSERT_TRUE(next.FindUse(rows[0].series, "1000", 0, use, error)) << error;
  ASSERT_TRUE(use.has_value());
  EXPECT_EQ(use->port, "COM1");
  long last = 0;
  ASSERT_TRUE(next.LastRecordUsed("QTP 0123456789ABCDEF", last, error)) << error;
  EXPECT_EQ(last, 7);
}

TEST_F(JournalTest, AJournalOfTheFirstSchemaOpensWithItsRows) {
  {
    SqliteDb old;
    ASSERT_TRUE(old.Open(Db(), true));
    ASSERT_TRUE(old.Exec(R"sql(
      CREATE TABLE schema_version(version INTEGER NOT NULL);
      INSERT INTO schema_version VALUES(1);
      CREATE TABLE passes(id INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT, host TEXT,
        port TEXT, writer TEXT, device TEXT, program_path TEXT, data_checksum TEXT,
        option_word TEXT, id_checksum TEXT, series TEXT, serial TEXT, record INTEGER,
        pass_count INTEGER, outcome TEXT NOT NULL, counted INTEGER NOT NULL DEFAULT 0,
        red_line TEXT);
      CREATE INDEX passes_serial ON passes(series, serial);
      INSERT INTO passes(started, ended, port, device, series, serial, pass_count, outcome, counted)
        VALUES('2026-01-02T03:04:05.000Z', '2026-01-02T03:04:07.500Z', 'COM2', 'KVX-04',
               'S', '0042', 1, 'ok', 1);
      INSERT INTO passes(started, port, device, series, serial, pass_count, outcome)
        VALUES('2026-01-02T03:05:00.000Z', 'COM2', 'KVX-04', 'S', '0043', 1, 'pending');
    )sql")) << old.Error();
  }
  Journal journal;
  std::string error;
  ASSERT_TRUE(journal.Open(Db(), error)) << error;
  SqliteDb check;
  ASSERT_TRUE(check.Open(Db(), false));
  EXPECT_EQ(check.QueryInt("SELECT version FROM schema_version"), kJournalSchemaVersion);
  const auto rows = journal.Passes({.since = "2026-01-02"}, error);
  ASSERT_EQ(rows.size(), 2u) << error;
  EXPECT_EQ(rows[0].durationMs, 2500);
  EXPECT_EQ(rows[1].outcome, PassOutcome::Unknown) << "a pending row of a version-1 run";
  PassRecord row = Row("0043");
  row.series = "S";
  EXPECT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Used);
  // The program file's hash is a column the old rows leave empty and new ones fill.
  EXPECT_EQ(rows[0].programSha256, "");
  row = Row("0044");
  row.programSha256 = std::string(64, 'a');
  ASSERT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
  EXPECT_EQ(journal.Passes({}, error).back().programSha256, row.programSha256);
}

TEST_F(JournalTest, AFileThatCannotHoldTheJournalIsRefusedWithItsName) {
  std::string error;
  Journal journal;
  EXPECT_FALSE(journal.Open((dir_ / "missing" / kJournalFileName).string(), error));
  EXPECT_NE(error.find("cannot be opened"), std::string::npos) << error;

  std::ofstream(dir_ / "corrupt.db") << std::string(4096, 'x');
  EXPECT_FALSE(journal.Open((dir_ / "corrupt.db").string(), error));
  EXPECT_NE(error.find("corrupt.db"), std::string::npos) << error;
  EXPECT_FALSE(journal.IsOpen());

  fs::create_directories(dir_ / "a-folder.db");
  EXPECT_FALSE(journal.Open((dir_ / "a-folder.db").string(), error));

  {
    SqliteDb newer;
    ASSERT_TRUE(newer.Open(Db(), true));
    ASSERT_TRUE(newer.Exec("CREATE TABLE schema_version(version INTEGER NOT NULL);"
                           "INSERT INTO schema_version VALUES(99);"));
  }
  EXPECT_FALSE(journal.Open(Db(), error));
  EXPECT_NE(error.find("newer kvxw"), std::string::npos) << error;
}

// Two ports (two connections, as two processes would have) drawing from one series at once, each
// starting from the same number: every chip gets its own.
TEST_F(JournalTest, TwoPortsDrawingFromOneSeriesNeverShareANumber) {
  constexpr int kPasses = 40;
  std::vector<std::string> got[2];
  std::string errors[2];
  auto port = [&](int p) {
    Journal journal;
    if (!journal.Open(Db(), errors[p])) return;
    auto ws = NumberAt(0x10, 2, "1000");
    for (int a = 0; a < 2; ++a) PutWord(*ws, 0x10 + a, kRtiwValue);
    ws->SerialNoMode = true;
    PassJournal pj(&journal, p == 0 ? "COM1" : "COM2", SerialSeriesOf(*ws));
    for (int i = 0; i < kPasses; ++i) {
      if (!pj.BeforePass(*ws, errors[p])) return;
      got[p].push_back(ws->SerialText);
      // Every third chip fails without counting: its number goes back to the series.
      const bool counted = i % 3 != 2;
      if (!pj.AfterPass(*ws, counted ? OpOutcome::Ok : OpOutcome::ChipFailed, counted, "",
                        errors[p]))
        return;
      if (counted) SerialNoNext(*ws);
    }
  };
  std::thread a(port, 0), b(port, 1);
  a.join();
  b.join();
  ASSERT_EQ(errors[0] + errors[1], "");
  Journal journal;
  std::string error;
  ASSERT_TRUE(journal.Open(Db(), error));
  std::set<std::string> used;
  long rows = 0;
  for (const PassRecord& r : journal.Passes({}, error)) {
    ++rows;
    if (!r.counted) continue;
    EXPECT_TRUE(used.insert(r.serial).second) << r.serial << " went into two chips";
  }
  EXPECT_EQ(rows, 2 * kPasses);
  EXPECT_EQ(*used.begin(), "1000");
}

TEST_F(JournalTest, ThePassStampsTheNumberItReserved) {
  Journal journal;
  std::string error;
  ASSERT_TRUE(journal.Open(Db(), error)) << error;
  auto ws = NumberAt(0x10, 2, "00FF");
  for (int a = 0; a < 2; ++a) PutWord(*ws, 0x10 + a, kRtiwValue);
  ws->SerialNoMode = true;
  const std::string series = SerialSeriesOf(*ws);
  PassRecord taken = Row("00FF");
  taken.series = series;
  ASSERT_EQ(journal.Reserve(taken, error), Journal::ReserveResult::Reserved);
  std::optional<std::string> next;
  ASSERT_TRUE(NextFreeSerial(journal, *ws, series, next, error)) << error;
  EXPECT_EQ(next, "0100");

  ws->LastProgramPath = (dir_ / "prog.hex").string();
  std::ofstream(ws->LastProgramPath) << ":00000001FF\n";
  PassJournal pj(&journal, "COM3", series);
  ASSERT_TRUE(pj.BeforePass(*ws, error)) << error;
  EXPECT_EQ(pj.Row().serial, "0100");
  // The row names the file by its content (the SHA-256 of ":00000001FF\n").
  EXPECT_EQ(journal.Passes({}, error).back().programSha256,
            "9e2df0a1190a1205c098889c455e5b76c4df18b5ccac2b7605da1575f05b64c5");
  EXPECT_EQ(ws->SerialText, "0100");
  EXPECT_EQ(testing::WordAt(*ws, 0x10), 0x3101);
  EXPECT_EQ(testing::WordAt(*ws, 0x11), 0x3100);
}

TEST(JournalSummary, CountsChipsPerKeyWithYieldAndMedianTime) {
  auto pass = [](const char* port, PassOutcome outcome, long ms) {
    PassRecord r;
    r.device = "KVX-43";
    r.port = port;
    r.series = "S";
    r.outcome = outcome;
    r.durationMs = ms;
    return r;
  };
  const std::vector<PassRecord> passes = {
      pass("COM1", PassOutcome::Ok, 900),          pass("COM1", PassOutcome::Ok, 1100),
      pass("COM1", PassOutcome::Ok, 1000),         pass("COM2", PassOutcome::ChipFailed, 300),
      pass("COM2", PassOutcome::Unknown, -1),      pass("COM2", PassOutcome::Ok, 2000),
  };
  const auto byPort = Summarise(passes, SummaryBy::Port);
  ASSERT_EQ(byPort.size(), 2u);
  EXPECT_EQ(byPort[0].key, "COM1");
  EXPECT_EQ(byPort[0].ok, 3);
  EXPECT_EQ(byPort[0].medianMs, 1000);
  EXPECT_DOUBLE_EQ(byPort[0].Yield(), 1.0);
  EXPECT_EQ(byPort[1].failed, 1);
  EXPECT_EQ(byPort[1].unknown, 1);
  EXPECT_NEAR(byPort[1].Yield(), 1.0 / 3, 1e-9);
  const auto byDevice = Summarise(passes, SummaryBy::Device);
  ASSERT_EQ(byDevice.size(), 1u);
  EXPECT_EQ(byDevice[0].passes, 6);
  EXPECT_EQ(byDevice[0].ok, 4);
}

TEST(JournalViewTest, RemembersTheRedLineWhicheverComesFirst) {
  NullOperationView null;
  JournalView view(null);
  view.SetText("Label2", "Program Data...");
  EXPECT_EQ(view.RedLine(), "");
  view.SetText("Label2", "Data program fail !!");
  view.SetColour("Label2", LineColour::Red);
  EXPECT_EQ(view.RedLine(), "Data program fail !!");
  view.StartPass();
  view.SetColour("Label4", LineColour::Red);
  view.SetText("Label4", "OPTION verify Fail!!");
  EXPECT_EQ(view.RedLine(), "OPTION verify Fail!!");
}

}  // namespace
}  // namespace kvx
