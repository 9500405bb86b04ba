// The production journal: reservations that never hand one number out twice, rows of runs that
// died, older journals, files that cannot hold a journal, and the summary.
#include "core/production/journal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <thread>

#include "core/production/pass_journal.h"
#include "faulty_vfs.h"
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

TEST_F(JournalTest, ANumberIsFreeAgainOnlyAfterAFailureBeforeItCouldReachTheChip) {
  struct Case {
    PassOutcome outcome;
    bool counted;
    bool serialMayBeOnChip;
    bool usedAfter;
  };
  const Case cases[] = {
      {PassOutcome::Ok, true, true, true},           {PassOutcome::ChipFailed, true, true, true},
      {PassOutcome::ChipFailed, false, false, false}, {PassOutcome::LinkFailed, false, false, false},
      {PassOutcome::ChipFailed, false, true, true},   {PassOutcome::LinkFailed, false, true, true},
      {PassOutcome::Stopped, false, false, true},     {PassOutcome::Unknown, false, false, true},
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
    row.keepsNumber = KeepsNumber(c.outcome, c.counted, c.serialMayBeOnChip);
    ASSERT_TRUE(journal.Finish(row, error)) << error;
    std::optional<SerialUse> use;
    ASSERT_TRUE(journal.FindUse(row.series, "", serial, 0, use, error)) << error;
    EXPECT_EQ(use.has_value(), c.usedAfter)
        << OutcomeText(c.outcome) << " counted " << c.counted << " on chip "
        << c.serialMayBeOnChip;
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
  ASSERT_TRUE(next.FindUse(rows[0].series, "", "1000", 0, use, error)) << error;
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
      INSERT INTO passes(started, ended, port, device, series, serial, pass_count, outcome)
        VALUES('2026-01-02T03:06:00.000Z', '2026-01-02T03:06:09.000Z', 'COM2', 'KVX-04', 'S',
               '0044', 1, 'link failed');
    )sql")) << old.Error();
  }
  Journal journal;
  std::string error;
  ASSERT_TRUE(journal.Open(Db(), error)) << error;
  SqliteDb check;
  ASSERT_TRUE(check.Open(Db(), false));
  EXPECT_EQ(check.QueryInt("SELECT version FROM schema_version"), kJournalSchemaVersion);
  EXPECT_EQ(check.QueryInt("PRAGMA application_id"), kJournalApplicationId);
  const auto rows = journal.Passes({.since = "2026-01-02"}, error);
  ASSERT_EQ(rows.size(), 3u) << error;
  EXPECT_EQ(rows[0].durationMs, 2500);
  EXPECT_EQ(rows[1].outcome, PassOutcome::Unknown) << "a pending row of a version-1 run";
  PassRecord row = Row("0043");
  row.series = "S";
  EXPECT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Used);
  // A failed pass of an older journal: whether its chip got the number is not known.
  row.serial = "0044";
  EXPECT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Used);
  // The program file's hash is a column the old rows leave empty and new ones fill.
  EXPECT_EQ(rows[0].programSha256, "");
  row = Row("0099");
  row.series = "S2";
  row.programSha256 = std::string(64, 'a');
  ASSERT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
  EXPECT_EQ(journal.Passes({}, error).back().programSha256, row.programSha256);
  // So are the lot and the operator.
  EXPECT_EQ(rows[0].lot + rows[0].operatorName, "");
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
                           "INSERT INTO schema_version VALUES(99);"
                           "PRAGMA application_id = " + std::to_string(kJournalApplicationId)));
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
    ws->production.SerialNoMode = true;
    PassJournal pj(&journal, p == 0 ? "COM1" : "COM2", SerialSeriesOf(*ws));
    for (int i = 0; i < kPasses; ++i) {
      if (!pj.BeforePass(*ws, errors[p])) return;
      got[p].push_back(ws->production.SerialText);
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
  ws->production.SerialNoMode = true;
  const std::string series = SerialSeriesOf(*ws);
  PassRecord taken = Row("00FF");
  taken.series = series;
  ASSERT_EQ(journal.Reserve(taken, error), Journal::ReserveResult::Reserved);
  std::optional<std::string> next;
  ASSERT_TRUE(NextFreeSerial(journal, *ws, series, next, error)) << error;
  EXPECT_EQ(next, "0100");

  ws->files.LastProgramPath = (dir_ / "prog.hex").string();
  std::ofstream(ws->files.LastProgramPath) << ":00000001FF\n";
  PassJournal pj(&journal, "COM3", series);
  ASSERT_TRUE(pj.BeforePass(*ws, error)) << error;
  EXPECT_EQ(pj.Row().serial, "0100");
  // The row names the file by its content (the SHA-256 of ":00000001FF\n").
  EXPECT_EQ(journal.Passes({}, error).back().programSha256,
            "9e2df0a1190a1205c098889c455e5b76c4df18b5ccac2b7605da1575f05b64c5");
  EXPECT_EQ(ws->production.SerialText, "0100");
  EXPECT_EQ(testing::WordAt(*ws, 0x10), 0x3101);
  EXPECT_EQ(testing::WordAt(*ws, 0x11), 0x3100);
}

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An existing file is never taken for a new journal: it is refused, names how to start a new
// one, and is left exactly as it was.
TEST_F(JournalTest, AFileThatIsNotAJournalStopsTheRunAndIsLeftAsItIs) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* says;
  };
  const Case cases[] = {
      {"empty", [](const std::string& p) { std::ofstream{p}; }, "is an empty file"},
      {"one byte", [](const std::string& p) { std::ofstream{p} << 'S'; }, "is not a journal"},
      {"random bytes",
       [](const std::string& p) {
         std::string bytes(8192, '\0');
         for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
         std::ofstream(p, std::ios::binary) << bytes;
       },
       "is not a journal"},
      {"another program's database",
       [](const std::string& p) {
         SqliteDb other;
         ASSERT_TRUE(other.Open(p, true));
         ASSERT_TRUE(other.Exec("CREATE TABLE orders(id INTEGER PRIMARY KEY, item TEXT);"
                                "INSERT INTO orders(item) VALUES('widget');"));
       },
       "another program's database"},
      {"another program's database with the journal's table names",
       [](const std::string& p) {
         SqliteDb other;
         ASSERT_TRUE(other.Open(p, true));
         ASSERT_TRUE(other.Exec("PRAGMA application_id = 42;"
                                "CREATE TABLE schema_version(version INTEGER NOT NULL);"
                                "INSERT INTO schema_version VALUES(1);"
                                "CREATE TABLE passes(id INTEGER PRIMARY KEY, item TEXT);"));
       },
       "another program's database"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(Db());
    c.make(Db());
    const std::string before = FileBytes(Db());
    for (bool run : {true, false}) {
      Journal journal;
      std::string error;
      EXPECT_FALSE(run ? journal.Open(Db(), error) : journal.OpenToRead(Db(), error));
      EXPECT_NE(error.find(Db()), std::string::npos) << error;
      EXPECT_NE(error.find(c.says), std::string::npos) << error;
      EXPECT_NE(error.find("To start a new journal on purpose, move or rename that file"),
                std::string::npos)
          << error;
    }
    EXPECT_TRUE(FileBytes(Db()) == before) << "the file was changed";
    EXPECT_FALSE(fs::exists(Db() + "-wal"));
  }
}

TEST_F(JournalTest, AnEmptySchemaVersionTableIsNamed) {
  {
    Journal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(Db(), error)) << error;
  }
  SqliteDb db;
  ASSERT_TRUE(db.Open(Db(), false));
  ASSERT_TRUE(db.Exec("DELETE FROM schema_version"));
  db.Close();
  Journal journal;
  std::string error;
  EXPECT_FALSE(journal.OpenToRead(Db(), error));
  EXPECT_NE(error.find("has an empty schema_version table"), std::string::npos) << error;
}

TEST_F(JournalTest, ADamagedJournalIsReportedAsOne) {
  {
    Journal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(Db(), error)) << error;
    for (int i = 0; i < 200; ++i) {
      PassRecord row = Row(std::to_string(1000 + i));
      row.programPath = std::string(100, 'p');
      ASSERT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
    }
  }
  ASSERT_FALSE(fs::exists(Db() + "-wal")) << "closing checkpoints the log";
  {
    std::fstream file(Db(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(4096 * 3 + 8);  // inside a page of the passes table
    file << std::string(64, '\xA5');
  }
  Journal journal;
  std::string error;
  EXPECT_FALSE(journal.OpenToRead(Db(), error));
  EXPECT_NE(error.find("is damaged"), std::string::npos) << error;
}

// A journal that lost rows it had committed (a damaged write-ahead log after a killed run) is
// caught by its witness, which names what the journal forgot.
TEST_F(JournalTest, AJournalThatKnowsLessThanItsWitnessStopsTheRun) {
  const fs::path copy = dir_ / "copy";
  fs::create_directories(copy);
  const std::string copied = (copy / kJournalFileName).string();
  {
    Journal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(Db(), error)) << error;
    PassRecord first = Row("1000");
    ASSERT_EQ(journal.Reserve(first, error), Journal::ReserveResult::Reserved);
    ASSERT_TRUE(journal.Finish(first, error)) << error;  // checkpointed into the file
    PassRecord second = Row("1001");
    ASSERT_EQ(journal.Reserve(second, error), Journal::ReserveResult::Reserved);
    // The run is killed here: its files as they are on disk.
    for (const char* end : {"", "-wal", ".witness"})
      fs::copy_file(Db() + end, copied + end);
  }
  {
    std::fstream wal(copied + "-wal", std::ios::in | std::ios::out | std::ios::binary);
    wal.seekp(static_cast<std::streamoff>(fs::file_size(copied + "-wal") / 2));
    wal << std::string(32, '\x5A');
  }
  Journal journal;
  std::string error;
  EXPECT_FALSE(journal.Open(copied, error, kEveryRunDied));
  for (const std::string& word :
       {copied, copied + ".witness", std::string("serial number 1001"),
        std::string("its last is serial number 1000")})
    EXPECT_NE(error.find(word), std::string::npos) << word << " in: " << error;

  // The journal gone altogether while its witness remains: no new journal either.
  fs::remove(copied);
  fs::remove(copied + "-wal");
  EXPECT_FALSE(journal.Open(copied, error, kEveryRunDied));
  EXPECT_NE(error.find("is missing, but its witness"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(copied));
}

// A journal used through a symbolic link (or a linked folder) and by its own path keeps one
// witness, beside its real file, and a hard link's witness learns what the other names reserve:
// an older copy put back is caught whichever name opens it. A link to a journal not made yet
// makes it where the link points.
TEST_F(JournalTest, EveryNameOfAJournalSharesOneWitness) {
  fs::create_directories(dir_ / "real");
  const std::string real = (dir_ / "real" / kJournalFileName).string();
  const std::string link = (dir_ / "link.db").string();
  const std::string floor = (dir_ / "floor" / kJournalFileName).string();
  fs::create_symlink(fs::path("real") / kJournalFileName, link);
  fs::create_directory_symlink("real", dir_ / "floor");
  auto pass = [&](const std::string& name, const std::string& serial) {
    Journal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(name, error, kEveryRunDied)) << name << ": " << error;
    PassRecord row = Row(serial);
    ASSERT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Reserved) << name;
    row.outcome = PassOutcome::Ok;
    ASSERT_TRUE(journal.Finish(row, error)) << error;
  };
  pass(real, "1000");
  const std::string older = (dir_ / "older.db").string();
  fs::copy_file(real, older);
  pass(link, "1001");
  pass(floor, "1002");
  const std::string hard = (dir_ / "real" / "hard.db").string();
  fs::create_hard_link(real, hard);
  pass(hard, "1003");
  fs::copy_file(older, real, fs::copy_options::overwrite_existing);  // into the same file
  for (const std::string& name : {real, link, floor, hard}) {
    Journal journal;
    std::string error;
    EXPECT_FALSE(journal.Open(name, error, kEveryRunDied)) << name;
    EXPECT_NE(error.find("knows less than its witness"), std::string::npos) << error;
    EXPECT_NE(error.find("serial number 1003"), std::string::npos) << error;
  }
  EXPECT_FALSE(fs::exists(link + ".witness"));

  // A link to a journal that is not there yet: the journal is made where it points.
  fs::create_directories(dir_ / "new");
  fs::create_symlink(fs::path("new") / kJournalFileName, dir_ / "new-link.db");
  pass((dir_ / "new-link.db").string(), "2000");
  EXPECT_TRUE(fs::is_symlink(dir_ / "new-link.db"));
  EXPECT_TRUE(fs::is_regular_file(dir_ / "new" / kJournalFileName));
  EXPECT_TRUE(fs::exists(dir_ / "new" / (std::string(kJournalFileName) + ".witness")));
  EXPECT_FALSE(fs::exists(dir_ / "new-link.db.witness"));
}

// Two runs making the same journal at the same moment: both get it, every time; the one whose
// switch to WAL SQLite refuses asks again.
TEST_F(JournalTest, TwoRunsOpeningAFreshJournalAtOnceBothOpen) {
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    const std::string path = (dir_ / ("fresh-" + std::to_string(round) + ".db")).string();
    std::atomic<int> ready{0};
    std::string errors[2];
    bool opened[2] = {};
    auto run = [&](int k) {
      Journal journal;
      ++ready;
      while (ready < 2) std::this_thread::yield();
      opened[k] = journal.Open(path, errors[k]);
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    EXPECT_TRUE(opened[0] && opened[1]) << errors[0] << errors[1];
  }
}

// A journal still in rollback mode while another connection writes to it: SQLite refuses the
// switch to WAL at once, without its busy wait; the run asks again until the writer is done.
TEST_F(JournalTest, ARefusedSwitchToWalIsAskedAgain) {
  {
    Journal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(Db(), error)) << error;
  }
  testing::FaultyVfs vfs;  // counts the refused locks
  SqliteDb writer;
  ASSERT_TRUE(writer.Open(Db(), false));
  ASSERT_TRUE(writer.Exec("PRAGMA journal_mode = DELETE; BEGIN IMMEDIATE;")) << writer.Error();
  std::atomic<bool> done{false};
  bool opened = false;
  std::string error;
  std::thread run([&] {
    Journal journal;
    opened = journal.Open(Db(), error);
    done = true;
  });
  while (vfs.BusyLocks() == 0 && !done) std::this_thread::yield();
  ASSERT_TRUE(writer.Exec("ROLLBACK"));
  run.join();
  EXPECT_TRUE(opened) << error;
}

TEST(SqliteBusy, EveryExtendedBusyOrLockedCodeCountsAsBusy) {
  const struct {
    int code;
    bool busy;
  } cases[] = {
      {SQLITE_BUSY, true},           {SQLITE_BUSY_RECOVERY, true},
      {SQLITE_BUSY_SNAPSHOT, true},  {SQLITE_BUSY_TIMEOUT, true},
      {SQLITE_LOCKED, true},         {SQLITE_LOCKED_SHAREDCACHE, true},
      {SQLITE_LOCKED_VTAB, true},    {SQLITE_OK, false},
      {SQLITE_FULL, false},          {SQLITE_IOERR_LOCK, false},
      {SQLITE_CORRUPT, false},       {SQLITE_READONLY_RECOVERY, false},
      {SQLITE_CANTOPEN, false},      {SQLITE_NOTADB, false},
  };
  for (const auto& c : cases) EXPECT_EQ(SqliteDb::IsBusyCode(c.code), c.busy) << c.code;
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
      pass("COM2", PassOutcome::NoChip, 40),  // an empty socket: no chip, out of the yield
      pass("COM2", PassOutcome::Stopped, 500),  // the operator's: neither ok nor failed
  };
  const auto byPort = Summarise(passes, SummaryBy::Port);
  ASSERT_EQ(byPort.size(), 2u);
  EXPECT_EQ(byPort[0].key, "COM1");
  EXPECT_EQ(byPort[0].ok, 3);
  EXPECT_EQ(byPort[0].medianMs, 1000);
  EXPECT_DOUBLE_EQ(byPort[0].Yield(), 1.0);
  EXPECT_EQ(byPort[1].failed, 1);
  EXPECT_EQ(byPort[1].stopped, 1);
  EXPECT_EQ(byPort[1].unknown, 1);
  EXPECT_NEAR(byPort[1].Yield(), 1.0 / 3, 1e-9);
  const auto byDevice = Summarise(passes, SummaryBy::Device);
  ASSERT_EQ(byDevice.size(), 1u);
  EXPECT_EQ(byDevice[0].passes, 8);
  EXPECT_EQ(byDevice[0].ok, 4);
}

}  // namespace
}  // namespace kvx
