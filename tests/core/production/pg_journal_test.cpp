// The production journal on a PostgreSQL server: the same calls as the file, numbers unique
// across stations racing for them, leases instead of /proc, and a server that goes away.
#include "core/production/pg_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <latch>
#include <set>
#include <thread>

#include "core/production/journal.h"
#include "core/production/pass_journal.h"
#include "core/production/sqlite_db.h"
#include "pg_test_proxy.h"
#include "pg_test_server.h"
#include "serial_fixture.h"

namespace kvx {
namespace {

using namespace std::chrono_literals;

class PgJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string server, error;
    KVX_NEED_TEST_PG(server);
    ASSERT_TRUE(db_.Create(server, error)) << error;
  }

  // A run of station `station` on the test's database.
  std::unique_ptr<Journal> Station(const std::string& station,
                                   std::chrono::milliseconds lease = 60s) {
    auto journal = std::make_unique<Journal>();
    journal->SetStation(station);
    journal->SetLease(lease);
    std::string error;
    EXPECT_TRUE(journal->Open(db_.Uri(), error)) << error;
    return journal;
  }

  static PassRecord Row(const std::string& serial, const std::string& port = "COM1",
                        long record = 0) {
    PassRecord row;
    row.port = port;
    row.device = "KVX-04";
    row.series = record > 0 ? "QTP 0123456789ABCDEF" : "KVX-04 @0010 x2 sequential+1 msb";
    row.serial = serial;
    row.record = record;
    return row;
  }

  std::string ServerNow() {
    PgDb db;
    return db.Open(db_.Uri()) ? db.Exec("SELECT now()").Text(0, 0) : std::string();
  }
  // Waits (bounded) until the server's clock is `span` past `since`.
  bool ServerClockPasses(const std::string& since, std::chrono::milliseconds span) {
    PgDb db;
    if (!db.Open(db_.Uri())) return false;
    for (int i = 0; i < 1000; ++i) {
      const PgResult r = db.Exec("SELECT now() > $1::timestamptz + $2::bigint * interval '1 ms'",
                                 {since, std::to_string(span.count())});
      if (r.Ok() && r.Text(0, 0) == "t") return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  test::TestDatabase db_;
};

TEST_F(PgJournalTest, ReservesFinishesAndReadsBackAsTheFileDoes) {
  auto journal = Station("line-1");
  std::string error;
  PassRecord first = Row("0100");
  first.programSha256 = std::string(64, 'c');
  ASSERT_EQ(journal->Reserve(first, error), Journal::ReserveResult::Reserved) << error;
  EXPECT_EQ(first.host, "line-1");
  PassRecord again = Row("0100", "COM2");
  EXPECT_EQ(journal->Reserve(again, error), Journal::ReserveResult::Used);

  // A chip that failed before its number went out, uncounted, gives the number back; a counted
  // one keeps it.
  first.outcome = PassOutcome::ChipFailed;
  first.keepsNumber = KeepsNumber(first.outcome, false, false);
  ASSERT_TRUE(journal->Finish(first, error)) << error;
  ASSERT_EQ(journal->Reserve(again, error), Journal::ReserveResult::Reserved) << error;
  again.outcome = PassOutcome::Ok;
  again.counted = true;
  again.redLine = "ID verify error";
  ASSERT_TRUE(journal->Finish(again, error)) << error;
  std::optional<SerialUse> use;
  ASSERT_TRUE(journal->FindUse(again.series, "", "0100", 0, use, error)) << error;
  ASSERT_TRUE(use.has_value());
  EXPECT_EQ(use->port, "COM2");
  EXPECT_EQ(use->host, "line-1");
  EXPECT_EQ(use->outcome, PassOutcome::Ok);

  PassRecord qtp = Row("7000", "COM1", 3);
  ASSERT_EQ(journal->Reserve(qtp, error), Journal::ReserveResult::Reserved) << error;
  PassRecord sameRecord = Row("7001", "COM2", 3);
  EXPECT_EQ(journal->Reserve(sameRecord, error), Journal::ReserveResult::Used);
  long last = 0;
  ASSERT_TRUE(journal->LastRecordUsed(qtp.series, last, error)) << error;
  EXPECT_EQ(last, 3);

  const auto rows = journal->Passes({}, error);
  ASSERT_EQ(rows.size(), 3u) << error;
  EXPECT_EQ(rows[0].outcome, PassOutcome::ChipFailed);
  EXPECT_EQ(rows[0].programSha256, first.programSha256);
  EXPECT_EQ(rows[1].redLine, "ID verify error");
  EXPECT_TRUE(rows[1].counted);
  EXPECT_GE(rows[1].durationMs, 0);
  EXPECT_EQ(rows[2].record, 3);
  EXPECT_EQ(rows[2].outcome, PassOutcome::Pending);
  EXPECT_EQ(journal->Passes({.series = qtp.series}, error).size(), 1u);
}

// PassJournal on two stations: the loser of a number steps on to the next free one.
TEST_F(PgJournalTest, TheStationThatLosesANumberStampsTheNext) {
  auto a = Station("station-a");
  auto b = Station("station-b");
  auto ws = testing::NumberAt(0x10, 2, "0005");
  for (int w = 0; w < 2; ++w) testing::PutWord(*ws, 0x10 + w, kRtiwValue);
  ws->production.SerialNoMode = true;
  std::string error;
  PassRecord taken = Row("0005");
  taken.series = SerialSeriesOf(*ws);
  ASSERT_EQ(a->Reserve(taken, error), Journal::ReserveResult::Reserved) << error;
  PassJournal passes(b.get(), "COM2", taken.series);
  ASSERT_TRUE(passes.BeforePass(*ws, error)) << error;
  EXPECT_EQ(passes.Row().serial, "0006");
  EXPECT_EQ(ws->production.SerialText, "0006");
  EXPECT_EQ(passes.Row().host, "station-b");
}

TEST_F(PgJournalTest, PendingRowsTurnUnknownOnlyOnceTheirRunsLeaseRanOut) {
  std::string error;
  const std::string opened = ServerNow();
  auto alive = Station("line-1", 300ms);
  PassRecord inFlight = Row("0042");
  ASSERT_EQ(alive->Reserve(inFlight, error), Journal::ReserveResult::Reserved) << error;
  auto dying = Station("line-2", 300ms);
  PassRecord lost = Row("0043", "COM7");
  ASSERT_EQ(dying->Reserve(lost, error), Journal::ReserveResult::Reserved) << error;
  // line-2 ends with a pass in flight, and gives up its lease; line-1 lives on, past the lease
  // it took at its start, on its heartbeat.
  dying.reset();
  ASSERT_TRUE(ServerClockPasses(opened, 900ms));
  auto later = Station("line-3");
  EXPECT_EQ(later->RecoveredRows(), 1) << "line-1 renews its lease; line-2's ran out";
  const auto rows = later->Passes({}, error);
  ASSERT_EQ(rows.size(), 2u) << error;
  EXPECT_EQ(rows[0].outcome, PassOutcome::Pending);
  EXPECT_EQ(rows[1].outcome, PassOutcome::Unknown);
  PassRecord reuse = Row("0043");
  EXPECT_EQ(later->Reserve(reuse, error), Journal::ReserveResult::Used) << "an unknown chip keeps its number";
}

TEST_F(PgJournalTest, ACopyOfAFileJournalGoesInOnceAndKeepsItsNumbersUsed) {
  auto journal = Station("line-1");
  PassRecord old = Row("0200", "COM3");
  old.host = "pc-7";
  old.started = "2026-01-02T03:04:05.000Z";
  old.ended = "2026-01-02T03:04:07.000Z";
  old.outcome = PassOutcome::Ok;
  old.counted = true;
  PassRecord pending = Row("0201", "COM3");
  pending.host = "pc-7";
  pending.started = "2026-01-02T03:05:00.000Z";
  std::string error;
  long copied = -1;
  ASSERT_TRUE(journal->CopyIn({old, pending}, copied, error)) << error;
  EXPECT_EQ(copied, 2);
  ASSERT_TRUE(journal->CopyIn({old, pending}, copied, error)) << error;
  EXPECT_EQ(copied, 0) << "copied twice, each row is there once";
  const auto rows = journal->Passes({}, error);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].outcome, PassOutcome::Unknown);
  PassRecord again = Row("0200");
  EXPECT_EQ(journal->Reserve(again, error), Journal::ReserveResult::Used);

  Journal file;
  EXPECT_FALSE(file.CopyIn({old}, copied, error));
}

// Faults an operator meets: each message names the server and gives its reason.
TEST_F(PgJournalTest, AServerThatRefusesSaysWhy) {
  const struct {
    std::string uri;
    const char* reason;
  } cases[] = {
      {"postgresql:///nothing?host=/nonexistent-kvx-socket-dir", "cannot be reached"},
      {test::WithUser(db_.Uri(), "kvxpw", "wrong"), "password authentication failed"},
      {test::WithUser(db_.Uri(), "kvxnorights"), "permission denied"},
  };
  for (const auto& c : cases) {
    Journal journal;
    std::string error;
    EXPECT_FALSE(journal.Open(c.uri, error)) << c.uri;
    EXPECT_FALSE(journal.IsOpen());
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_NE(error.find("postgresql://"), std::string::npos) << "names the server: " << error;
    EXPECT_EQ(error.find("wrong"), std::string::npos) << "never shows the password: " << error;
  }
}

// A user who may only read the journal reads it; a run under that user is refused with the
// server's reason.
TEST_F(PgJournalTest, AReadOnlyUserReadsButRunsNothing) {
  auto station = Station("line-1");
  std::string error;
  PassRecord row = Row("0001");
  ASSERT_EQ(station->Reserve(row, error), Journal::ReserveResult::Reserved) << error;
  PgDb owner;
  ASSERT_TRUE(owner.Open(db_.Uri()));
  ASSERT_TRUE(owner.Run("GRANT SELECT ON ALL TABLES IN SCHEMA public TO kvxnorights"));
  const std::string reader = test::WithUser(db_.Uri(), "kvxnorights");
  Journal read;
  ASSERT_TRUE(read.OpenToRead(reader, error)) << error;
  EXPECT_EQ(read.Passes({}, error).size(), 1u) << error;
  Journal run;
  EXPECT_FALSE(run.Open(reader, error));
  EXPECT_NE(error.find("permission denied"), std::string::npos) << error;
}

// A database whose tables of the journal's names are another program's, or a journal of a newer
// kvxw: the run does not start, the message says why, and nothing is written to the database.
TEST_F(PgJournalTest, AnotherProgramsTablesOrANewerSchemaAreRefusedAndLeftAlone) {
  struct Case {
    const char* name;
    const char* setUp;  // after a first station made the journal, when `journal`
    bool journal;
    const char* says;
  };
  const Case cases[] = {
      {"another program's passes", "CREATE TABLE passes(id INTEGER, note TEXT)", false,
       "holds tables of another program (schema_version is missing)"},
      {"another program's schema_version",
       "CREATE TABLE schema_version(version INTEGER, product TEXT); "
       "INSERT INTO schema_version VALUES(1, 'other'); CREATE TABLE runs(id INTEGER)",
       false, "holds tables of another program (runs has no column host)"},
      {"a versions table", "CREATE TABLE schema_version(version INTEGER); "
       "INSERT INTO schema_version VALUES(1), (2)", false,
       "holds tables of another program (schema_version holds 2 rows"},
      {"a journal without its serial numbers", "ALTER TABLE passes DROP COLUMN serial CASCADE", true,
       "holds tables of another program (passes has no column serial)"},
      {"a newer journal", "UPDATE schema_version SET version = 99", true,
       "was written by a newer kvxw (schema version 99; this one knows up to 4)"},
  };
  // Every table and row of the database, to see that nothing changed.
  auto contents = [](PgDb& db) {
    std::string all;
    const PgResult tables = db.Exec(
        "SELECT relname FROM pg_class WHERE relkind = 'r' AND relnamespace = 'public'::regnamespace "
        "ORDER BY relname");
    for (int i = 0; i < tables.Rows(); ++i) {
      const PgResult rows = db.Exec("SELECT t::text FROM " + tables.Text(i, 0) + " t ORDER BY 1");
      all += tables.Text(i, 0) + ":";
      for (int r = 0; r < rows.Rows(); ++r) all += " " + rows.Text(r, 0);
      all += "\n";
    }
    return all;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TestDatabase db;
    std::string server, error;
    KVX_NEED_TEST_PG(server);
    ASSERT_TRUE(db.Create(server, error)) << error;
    if (c.journal) {
      Journal first;
      ASSERT_TRUE(first.Open(db.Uri(), error)) << error;
      PassRecord row = Row("0100");
      ASSERT_EQ(first.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
    }
    PgDb admin;
    ASSERT_TRUE(admin.Open(db.Uri()));
    ASSERT_TRUE(admin.Run(c.setUp)) << admin.Error();
    const std::string before = contents(admin);
    Journal journal;
    EXPECT_FALSE(journal.Open(db.Uri(), error));
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_NE(error.find("nothing was written to it"), std::string::npos) << error;
    EXPECT_EQ(contents(admin), before);
  }
}

// Two stations' transactions that deadlock: the server rolls one back. When that is this
// station's reservation, it runs again (and finds the number the other committed); when it is the
// other's, the reservation goes through. Either way the journal does not fail.
TEST_F(PgJournalTest, AReservationTheServerRollsBackForADeadlockRunsAgain) {
  auto journal = Station("line-1");
  PgDb other, watch;
  ASSERT_TRUE(other.Open(db_.Uri()) && watch.Open(db_.Uri())) << other.Error() << watch.Error();
  const std::string runId = watch.Exec("SELECT max(id) FROM runs").Text(0, 0);
  // The other holds number 0100 uncommitted: the reservation waits for it, holding its lock on
  // the runs table (it renews its lease in the same statement).
  PassRecord taken = Row("0100");
  ASSERT_TRUE(other.Run("BEGIN"));
  ASSERT_TRUE(other.Run("INSERT INTO passes(run_id, started, host, port, series, serial, outcome) "
                        "VALUES($1::bigint, 'then', 'line-2', 'COM1', $2, '0100', 'pending')",
                        {runId, taken.series}));
  PassRecord row = Row("0100");
  std::string error;
  Journal::ReserveResult result = Journal::ReserveResult::Failed;
  std::thread reserving([&] { result = journal->Reserve(row, error); });
  bool waiting = false;
  for (int i = 0; i < 2000 && !waiting; ++i) {
    waiting = watch.Exec("SELECT count(*) FROM pg_stat_activity WHERE application_name = 'kvxw' "
                         "AND wait_event_type = 'Lock'").Text(0, 0) == "1";
    if (!waiting) std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(waiting);
  // Now the other waits for the reservation's lock: a deadlock, which the server ends by rolling
  // back one of the two (the one that waited longer finds it: here the reservation).
  const PgResult update = other.Exec("LOCK TABLE runs IN SHARE MODE");
  const bool reservationRolledBack = update.Ok();
  if (reservationRolledBack) {
    EXPECT_TRUE(other.Run("COMMIT"));
  } else {
    EXPECT_EQ(update.SqlState(), "40P01");
    EXPECT_TRUE(other.Run("ROLLBACK"));
  }
  reserving.join();
  EXPECT_EQ(result, reservationRolledBack ? Journal::ReserveResult::Used : Journal::ReserveResult::Reserved)
      << error;
  EXPECT_EQ(watch.Exec("SELECT count(*) FROM passes WHERE serial = '0100'").Text(0, 0), "1");
}

// The network to the server stalls in the middle of a run (the connections stay open): a pass's
// end waits no longer than the time-out, or shortly after the pass is stopped, and says which
// server did not answer. Neither waits for the heartbeat, whose beat stalls too, and the journal
// closes without the server. The pass keeps its number: once the run's lease ran out, the next
// run finds it "unknown".
TEST_F(PgJournalTest, AStalledServerEndsAPassWithinItsTimeOutOrItsStop) {
  struct Case {
    const char* serial;
    bool stop;
    std::chrono::milliseconds timeout;
    const char* says;
  };
  const Case cases[] = {
      {"0100", false, 1s, "cannot be written: no answer from the server within 1 s"},
      {"0101", true, 600s, "cannot be written: stopped while waiting for the server"},
  };
  std::string lastLease;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serial);
    test::StallingProxy proxy(test::ServerSocketOf(db_.Uri()));
    ASSERT_TRUE(proxy.Listening());
    auto journal = std::make_unique<Journal>();
    journal->SetStation("line-1");
    journal->SetLease(300ms);  // a beat every 100 ms
    journal->SetTimeout(c.timeout);
    std::string error;
    ASSERT_TRUE(journal->Open(test::UriThroughPort(db_.Uri(), proxy.Port()), error)) << error;
    PassRecord row = Row(c.serial);
    ASSERT_EQ(journal->Reserve(row, error), Journal::ReserveResult::Reserved) << error;
    proxy.Stall();
    std::stop_source stop;
    if (c.stop) stop.request_stop();
    row.outcome = PassOutcome::Ok;
    const auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(journal->Finish(row, error, stop.get_token()));
    EXPECT_LT(std::chrono::steady_clock::now() - began, 60s) << "waited as if for ever";
    EXPECT_NE(error.find("the shared journal postgresql://kvxtest@127.0.0.1:"), std::string::npos)
        << error;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    journal.reset();
    lastLease = ServerNow();
  }
  ASSERT_TRUE(ServerClockPasses(lastLease, 300ms));
  auto next = Station("line-2");
  std::string error;
  const auto rows = next->Passes({}, error);
  ASSERT_EQ(rows.size(), 2u) << error;
  for (const PassRecord& r : rows) EXPECT_EQ(OutcomeText(r.outcome), "unknown") << r.serial;
}

// A database whose default isolation is SERIALIZABLE, opened fresh by eight stations at once,
// which then race for the same forty numbers: every station starts, none fails a reservation, and
// every number goes to exactly one of them.
TEST_F(PgJournalTest, StationsStartAndRaceTogetherWhateverTheDatabasesDefaultIsolation) {
  {
    PgDb admin;
    ASSERT_TRUE(admin.Open(db_.Uri())) << admin.Error();
    ASSERT_TRUE(admin.Run("DO $$ BEGIN EXECUTE format('ALTER DATABASE %I SET "
                          "default_transaction_isolation = ''serializable''', "
                          "current_database()); END $$"))
        << admin.Error();
  }
  PgDb fresh;
  ASSERT_TRUE(fresh.Open(db_.Uri())) << fresh.Error();
  ASSERT_EQ(fresh.Exec("SHOW default_transaction_isolation").Text(0, 0), "serializable");

  constexpr int kStations = 8, kNumbers = 40;
  std::vector<std::string> errors(kStations);
  std::vector<std::vector<std::string>> got(kStations);
  std::latch together(kStations);
  std::vector<std::thread> stations;
  for (int s = 0; s < kStations; ++s)
    stations.emplace_back([&, s] {
      Journal journal;
      journal.SetStation("line-" + std::to_string(s));
      together.arrive_and_wait();
      if (!journal.Open(db_.Uri(), errors[s])) return;
      for (int n = 0; n < kNumbers; ++n) {
        char serial[8];
        std::snprintf(serial, sizeof serial, "%04X", n);
        PassRecord row = Row(serial, "COM" + std::to_string(s));
        const auto result = journal.Reserve(row, errors[s]);
        if (result == Journal::ReserveResult::Failed) return;
        if (result == Journal::ReserveResult::Reserved) got[s].push_back(serial);
      }
    });
  for (auto& t : stations) t.join();
  std::multiset<std::string> all;
  for (int s = 0; s < kStations; ++s) {
    EXPECT_EQ(errors[s], "") << "line-" << s;
    all.insert(got[s].begin(), got[s].end());
  }
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kNumbers));
  EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size());
}

// Each station keeps its own witness of the shared journal: a journal emptied (TRUNCATE), one
// whose newest rows are gone (an older dump restored), and one whose tables were dropped and made
// again stop that station's next run, naming the last number it reserved and how to go on on
// purpose. Another station, without a witness of its own, is not stopped; the station that goes
// on on purpose starts its witness again from what the journal knows.
TEST_F(PgJournalTest, AJournalThatForgotWhatThisStationReservedStopsItsNextRun) {
  std::string server, error;
  KVX_NEED_TEST_PG(server);
  const struct {
    const char* name;
    const char* sql;
    const char* says;
  } cases[] = {
      {"emptied", "TRUNCATE passes, runs", "knows less than this station's witness"},
      {"restored older", "DELETE FROM passes WHERE serial = '0102'",
       "its last is serial number 0101"},
      {"made again", "DROP TABLE passes, runs, schema_version",
       "is not the journal this station used under that name"},
  };
  const std::filesystem::path states = std::filesystem::temp_directory_path() /
                                       ("kvx-stations-" + std::to_string(::getpid()));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TestDatabase db;
    ASSERT_TRUE(db.Create(server, error)) << error;
    const std::string mine = (states / c.name / "line-1").string();
    const std::string other = (states / c.name / "line-2").string();
    auto opens = [&](const std::string& folder, bool accept) {
      Journal journal;
      journal.SetStateFolder(folder);
      journal.SetAcceptJournalLoss(accept);
      return journal.Open(db.Uri(), error);
    };
    {
      Journal journal;
      journal.SetStateFolder(mine);
      ASSERT_TRUE(journal.Open(db.Uri(), error)) << error;
      for (const char* serial : {"0100", "0101", "0102"}) {
        PassRecord row = Row(serial);
        ASSERT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
      }
    }
    PgDb admin;
    ASSERT_TRUE(admin.Open(db.Uri()) && admin.Run(c.sql)) << admin.Error();
    EXPECT_FALSE(opens(mine, false));
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_NE(error.find("serial number 0102 (row 3)"), std::string::npos) << error;
    EXPECT_NE(error.find("give --accept-journal-loss"), std::string::npos) << error;
    EXPECT_TRUE(opens(other, false)) << error;
    EXPECT_TRUE(opens(mine, true)) << error;
    EXPECT_TRUE(opens(mine, false)) << error;
  }
  std::filesystem::remove_all(states);
}

// A journal emptied in the middle of a run: the pass that finishes finds its row gone, and the
// run stops there instead of stamping numbers the journal no longer holds.
TEST_F(PgJournalTest, ARunWhoseRowIsGoneStopsAtItsFinish) {
  auto journal = Station("line-1");
  std::string error;
  PassRecord row = Row("0100");
  ASSERT_EQ(journal->Reserve(row, error), Journal::ReserveResult::Reserved) << error;
  PgDb admin;
  ASSERT_TRUE(admin.Open(db_.Uri()) && admin.Run("TRUNCATE passes")) << admin.Error();
  row.outcome = PassOutcome::Ok;
  EXPECT_FALSE(journal->Finish(row, error));
  EXPECT_NE(error.find("knows less than this run: the row 1 it reserved for serial number 0100 "
                       "is gone"), std::string::npos) << error;
  PassRecord next = Row("0101");
  EXPECT_EQ(journal->Reserve(next, error), Journal::ReserveResult::Failed);
}

// A journal made before it had an identity (version 2: places, no identity) is given one when a
// run opens it.
TEST_F(PgJournalTest, AJournalWithoutAnIdentityIsGivenOne) {
  Station("line-1").reset();
  PgDb admin;
  ASSERT_TRUE(admin.Open(db_.Uri())) << admin.Error();
  ASSERT_TRUE(admin.Run("DROP TABLE journal_identity; UPDATE schema_version SET version = 2"));
  // A station that used it then had no witness of it.
  const auto state = std::filesystem::temp_directory_path() /
                     ("kvx-before-identity-" + std::to_string(::getpid()));
  Journal journal;
  journal.SetStateFolder(state.string());
  std::string error;
  EXPECT_TRUE(journal.Open(db_.Uri(), error)) << error;
  std::filesystem::remove_all(state);
  EXPECT_EQ(admin.Exec("SELECT version FROM schema_version").Text(0, 0),
            std::to_string(kSharedJournalSchemaVersion));
  EXPECT_EQ(admin.Exec("SELECT count(*) FROM journal_identity").Text(0, 0), "1");
}

// What counts as a conflict to run again, and how often and after what waits it runs.
TEST(PgConflicts, OnlySerializationFailuresAndDeadlocksRunAgainAFewTimesWithGrowingWaits) {
  for (const auto& [state, retry] : std::vector<std::pair<std::string, bool>>{
           {"40001", true}, {"40P01", true}, {"40000", false}, {"23505", false}, {"08006", false},
           {"57P01", false}, {"", false}}) {
    EXPECT_EQ(IsRetryableConflict(state), retry) << state;
  }
  struct Result {
    std::string state;  // empty: it ran
    bool Ok() const { return state.empty(); }
    std::string SqlState() const { return state; }
  };
  struct Case {
    std::vector<std::string> states;  // what each run gives, in turn
    std::size_t runs;
    std::vector<long> waitsMs;
    bool ok;
  };
  const Case cases[] = {
      {{""}, 1, {}, true},
      {{"23505"}, 1, {}, false},
      {{"40001", "40P01", ""}, 3, {10, 20}, true},
      {{"40P01", "23505", ""}, 2, {10}, false},
      {{"40001", "40001", "40001", "40001", "40001", "40001"}, 5, {10, 20, 40, 80}, false},
  };
  for (const Case& c : cases) {
    std::size_t runs = 0;
    std::vector<long> waits;
    const Result last = RetryConflicts([&] { return Result{c.states.at(runs++)}; },
                                       [&](std::chrono::milliseconds w) { waits.push_back(w.count()); },
                                       kConflictAttempts, kConflictFirstWait);
    EXPECT_EQ(runs, c.runs) << c.states.front();
    EXPECT_EQ(waits, c.waitsMs) << c.states.front();
    EXPECT_EQ(last.Ok(), c.ok) << c.states.front();
  }
}

// A server of this test's own: restarted between passes, the run reconnects once and goes on;
// gone for good, the next call fails with the server's name.
TEST(PgJournalServer, ARestartBetweenPassesIsSurvivedAndALostServerFailsTheCall) {
  std::string uri, error;
  KVX_NEED_TEST_PG(uri);
  test::OwnServer server;
  ASSERT_TRUE(server.Start(error)) << error;
  Journal journal;
  journal.SetReconnectLimit(1s);  // a server gone for good is given up on soon
  ASSERT_TRUE(journal.Open(server.Uri(), error)) << error;
  PassRecord row;
  row.series = "S";
  row.serial = "0001";
  ASSERT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
  server.Crash();
  server.Restart();
  row.outcome = PassOutcome::Ok;
  EXPECT_TRUE(journal.Finish(row, error)) << error;
  row.serial = "0002";
  EXPECT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Reserved) << error;

  server.Crash();
  row.serial = "0003";
  EXPECT_EQ(journal.Reserve(row, error), Journal::ReserveResult::Failed);
  EXPECT_NE(error.find("the shared journal postgresql://"), std::string::npos) << error;
  EXPECT_FALSE(journal.Finish(row, error));
}

// A server that goes down between passes is waited for: the attempts to reconnect come after
// waits doubling from 100 ms up to 2 s, and the pass goes on once the server is back; one that
// stays down fails the call once 30 s of waits are spent, naming the server. The journal's clock
// and sleep are the test's own here. Then, on the real clock, a server restarted in the
// background (refusing, then "starting up") is waited for until it answers.
TEST(PgJournalServer, ALostServerIsReconnectedWithBackoffUntilItsLimit) {
  std::string uri, error;
  KVX_NEED_TEST_PG(uri);
  test::OwnServer server;
  ASSERT_TRUE(server.Start(error)) << error;
  std::chrono::steady_clock::time_point now{};
  std::vector<long long> sleeps;
  std::size_t restartAfter = 3;  // the server is back after this many waits; 0: never
  PgJournal journal("line-1", 60s);
  journal.SetReconnectWaits({.now = [&] { return now; },
                             .sleep = [&](std::chrono::milliseconds wait, std::stop_token) {
                               sleeps.push_back(wait.count());
                               now += wait;
                               if (sleeps.size() == restartAfter) server.Restart();
                             }});
  ASSERT_TRUE(journal.Open(server.Uri(), true, error)) << error;
  PassRecord row;
  row.series = "S";
  row.serial = "0001";
  ASSERT_EQ(journal.Reserve(row, error, {}), Journal::ReserveResult::Reserved) << error;
  server.Crash();
  row.outcome = PassOutcome::Ok;
  EXPECT_TRUE(journal.Finish(row, error, {})) << error;
  EXPECT_EQ(sleeps, (std::vector<long long>{100, 200, 400}));

  sleeps.clear();
  restartAfter = 0;
  server.Crash();
  row.serial = "0002";
  EXPECT_EQ(journal.Reserve(row, error, {}), Journal::ReserveResult::Failed);
  ASSERT_GE(sleeps.size(), 6u);
  EXPECT_EQ(std::vector<long long>(sleeps.begin(), sleeps.begin() + 6),
            (std::vector<long long>{100, 200, 400, 800, 1600, 2000}));
  long long spent = 0;
  for (long long s : sleeps) spent += s;
  EXPECT_LE(spent, 30000);
  EXPECT_GT(spent + 2000, 30000);
  EXPECT_NE(error.find("the shared journal postgresql://"), std::string::npos) << error;
  EXPECT_NE(error.find("(no connection for 30 s)"), std::string::npos) << error;

  Journal real;
  server.Restart();
  ASSERT_TRUE(real.Open(server.Uri(), error)) << error;
  row.serial = "0003";
  ASSERT_EQ(real.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
  server.Crash();
  std::thread restart([&] { server.Restart(); });
  EXPECT_TRUE(real.Finish(row, error)) << error;
  restart.join();
}

// Polls (bounded) until `sql` on `db` gives `want`.
bool Until(PgDb& db, const std::string& sql, const std::string& want) {
  for (int i = 0; i < 1000; ++i) {
    const PgResult r = db.Exec(sql);
    if (r.Ok() && r.Rows() > 0 && r.Text(0, 0) == want) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

// A primary and its standby behind one multi-host name that asks for the server taking writes.
std::string FloorOf(const test::OwnServer& primary, const test::OwnServer& standby) {
  return "postgresql:///kvxtest?host=" + primary.Folder() + "," + standby.Folder() +
         "&user=kvxtest&target_session_attrs=read-write";
}

// A station's run on `floor`, its witness in `state`, whose first chip took 0001 and ended ok.
bool OpenWithFirstChip(Journal& journal, const std::string& floor, const std::filesystem::path& state,
                       PassRecord& first, std::string& error) {
  journal.SetStateFolder(state.string());
  first.series = "S";
  first.serial = "0001";
  if (!journal.Open(floor, error) || journal.Reserve(first, error) != Journal::ReserveResult::Reserved)
    return false;
  first.outcome = PassOutcome::Ok;
  return journal.Finish(first, error);
}

// A primary and its synchronous standby behind one multi-host name that asks for the server
// taking writes: the primary is lost in the middle of a pass and the standby promoted. The run
// reconnects to the standby and goes on; every number it reserved before is there, so none goes
// to a second chip.
TEST(PgJournalServer, AStandbyTakesOverMidRunAndTheRunGoesOn) {
  std::string uri, error;
  KVX_NEED_TEST_PG(uri);
  test::OwnServer primary, standby;
  ASSERT_TRUE(primary.Start(error)) << error;
  ASSERT_TRUE(standby.StartStandbyOf(primary, error)) << error;
  {
    PgDb admin;
    ASSERT_TRUE(admin.Open(test::WithUser(primary.Uri(), "postgres"))) << admin.Error();
    // Synchronous once the standby is attached: a commit waits until the standby has it.
    ASSERT_TRUE(admin.Run("ALTER SYSTEM SET synchronous_standby_names = '*'") &&
                admin.Run("SELECT pg_reload_conf()"))
        << admin.Error();
    ASSERT_TRUE(Until(admin, "SELECT count(*) FROM pg_stat_replication WHERE sync_state = 'sync'", "1"));
  }
  const std::string floor = FloorOf(primary, standby);
  const auto state = std::filesystem::temp_directory_path() /
                     ("kvx-standby-state-" + std::to_string(::getpid()));
  Journal journal;
  PassRecord first;
  ASSERT_TRUE(OpenWithFirstChip(journal, floor, state, first, error)) << error;
  PassRecord second = first;
  second.serial = "0002";
  ASSERT_EQ(journal.Reserve(second, error), Journal::ReserveResult::Reserved) << error;

  primary.Crash();
  standby.Promote();
  second.outcome = PassOutcome::Ok;
  EXPECT_TRUE(journal.Finish(second, error)) << error;
  PassRecord again = first;
  EXPECT_EQ(journal.Reserve(again, error), Journal::ReserveResult::Used) << error;
  PassRecord third = first;
  third.serial = "0003";
  EXPECT_EQ(journal.Reserve(third, error), Journal::ReserveResult::Reserved) << error;

  // The next run, on the standby now, with this station's witness: it knows all of it.
  Journal next;
  next.SetStateFolder(state.string());
  EXPECT_TRUE(next.Open(floor, error)) << error;
  const auto rows = next.Passes({}, error);
  std::vector<std::string> serials;
  for (const PassRecord& r : rows) serials.push_back(r.serial);
  EXPECT_EQ(serials, (std::vector<std::string>{"0001", "0002", "0003"})) << error;
  std::filesystem::remove_all(state);
}

// With asynchronous replication the standby may lack the last commits: here it is cut off from
// the primary before the second reservation, and promoted once the primary is lost. The run that
// reconnects to it stops there, and so does the station's next run, each naming the number its
// witness holds and the server lacks, rather than go on past a number the server forgot.
TEST(PgJournalServer, AStandbyPromotedWithoutTheLastReservationStopsTheStation) {
  std::string uri, error;
  KVX_NEED_TEST_PG(uri);
  test::OwnServer primary, standby;
  ASSERT_TRUE(primary.Start(error)) << error;
  ASSERT_TRUE(standby.StartStandbyOf(primary, error)) << error;
  const std::string floor = FloorOf(primary, standby);
  const auto state = std::filesystem::temp_directory_path() /
                     ("kvx-async-state-" + std::to_string(::getpid()));
  Journal journal;
  PassRecord first;
  ASSERT_TRUE(OpenWithFirstChip(journal, floor, state, first, error)) << error;
  {
    PgDb replica, admin;
    ASSERT_TRUE(replica.Open(standby.Uri()) &&
                admin.Open(test::WithUser(standby.Uri(), "postgres")));
    ASSERT_TRUE(Until(replica, "SELECT count(*) FROM passes WHERE outcome = 'ok'", "1"));
    ASSERT_TRUE(admin.Run("ALTER SYSTEM SET primary_conninfo = ''") &&
                admin.Run("SELECT pg_reload_conf()")) << admin.Error();
    ASSERT_TRUE(Until(admin, "SELECT count(*) FROM pg_stat_wal_receiver", "0"));
  }
  PassRecord second = first;
  second.serial = "0002";
  ASSERT_EQ(journal.Reserve(second, error), Journal::ReserveResult::Reserved) << error;

  primary.Crash();
  standby.Promote();
  second.outcome = PassOutcome::Ok;
  EXPECT_FALSE(journal.Finish(second, error));
  for (int run = 0; run < 2; ++run) {
    EXPECT_NE(error.find("knows less than this station's witness"), std::string::npos) << error;
    EXPECT_NE(error.find("serial number 0002 (row 2)"), std::string::npos) << error;
    EXPECT_NE(error.find("its last is serial number 0001 (row 1)"), std::string::npos) << error;
    PassRecord third = first;
    third.serial = "0003";
    EXPECT_EQ(journal.Reserve(third, error), Journal::ReserveResult::Failed);
    Journal next;
    next.SetStateFolder(state.string());
    EXPECT_FALSE(next.Open(floor, error));
  }
  std::filesystem::remove_all(state);
}

// ---- The guarantees, on both backends -----------------------------------------------------------

enum class Backend { File, Postgres };

class BothJournals : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::Postgres) {
      std::string server, error;
      KVX_NEED_TEST_PG(server);
      ASSERT_TRUE(db_.Create(server, error)) << error;
      name_ = db_.Uri();
      return;
    }
    // A parametrised test's name holds a '/': one folder, not a folder in a folder.
    std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(test.begin(), test.end(), '/', '-');
    dir_ = std::filesystem::temp_directory_path() /
           ("kvx-both-" + std::to_string(::getpid()) + "-" + test);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    name_ = (dir_ / kJournalFileName).string();
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // `stateFolder`: a station's own state folder (a station new to the journal), not the usual.
  std::unique_ptr<Journal> Run(const std::string& station, const std::string& stateFolder = {}) {
    auto journal = std::make_unique<Journal>();
    journal->SetStation(station);
    if (!stateFolder.empty()) journal->SetStateFolder(stateFolder);
    std::string error;
    EXPECT_TRUE(journal->Open(name_, error)) << error;
    return journal;
  }

  // Runs `sql` on the journal's database itself, as another program (or an older kvxw) would.
  bool Sql(const std::string& sql) {
    if (GetParam() == Backend::Postgres) {
      PgDb db;
      return db.Open(name_) && db.Run(sql);
    }
    SqliteDb db;
    return db.Open(name_, false) && db.Exec(sql);
  }

  test::TestDatabase db_;
  std::filesystem::path dir_;
  std::string name_;
};

PassRecord AtPlace(const std::string& series, const std::string& serial, long record = 0) {
  PassRecord row;
  row.port = "COM1";
  row.series = series;
  row.slot = record > 0 ? "KVX-04 @0010 x2 msb" : SlotOfSeries(series);
  row.serial = serial;
  row.record = record;
  return row;
}

PassRecord Numbered(const std::string& serial, const std::string& port, long record = 0) {
  PassRecord row;
  row.port = port;
  row.series = record > 0 ? "QTP 0123456789ABCDEF" : "KVX-04 @0010 x2 sequential+1 msb";
  row.serial = serial;
  row.record = record;
  return row;
}

// Only an uncounted failure before any byte of the number reached the chip gives it back.
TEST_P(BothJournals, ANumberGoesToOneChipAndOnlyAnEarlyUncountedFailureFreesIt) {
  auto a = Run("station-a");
  auto b = Run("station-b");
  std::string error;
  const struct {
    PassOutcome outcome;
    bool counted;
    bool onChip;  // a byte of the number may have reached the chip
    bool freed;
  } cases[] = {
      {PassOutcome::ChipFailed, false, false, true}, {PassOutcome::LinkFailed, false, false, true},
      {PassOutcome::LinkFailed, false, true, false}, {PassOutcome::ChipFailed, true, false, false},
      {PassOutcome::Ok, true, true, false},          {PassOutcome::Stopped, false, false, false},
      {PassOutcome::Pending, false, false, false},   {PassOutcome::NoChip, false, true, false},
      {PassOutcome::NoChip, false, false, true},
  };
  int n = 0;
  for (const auto& c : cases) {
    for (long record : {0L, 1L + n}) {
      PassRecord first = Numbered(std::to_string(100 + n), "COM1", record);
      ASSERT_EQ(a->Reserve(first, error), Journal::ReserveResult::Reserved) << error;
      if (c.outcome != PassOutcome::Pending) {
        first.outcome = c.outcome;
        first.counted = c.counted;
        first.keepsNumber = KeepsNumber(c.outcome, c.counted, c.onChip);
        ASSERT_TRUE(a->Finish(first, error)) << error;
      }
      // A QTP record is its own number, whatever serial number it carries.
      PassRecord second = Numbered(record > 0 ? "other" : first.serial, "COM2", record);
      EXPECT_EQ(b->Reserve(second, error), c.freed ? Journal::ReserveResult::Reserved
                                                   : Journal::ReserveResult::Used)
          << OutcomeText(c.outcome) << (c.counted ? " counted" : "") << (c.onChip ? " on chip" : "")
          << " record " << record;
    }
    ++n;
  }
  // Each outcome reads back as it was written: an empty socket too, apart from the failures.
  long noChip = 0;
  for (const PassRecord& row : a->Passes({}, error)) noChip += row.outcome == PassOutcome::NoChip;
  EXPECT_EQ(noChip, 4);
}

// Two runs reserve the same numbers at the same time: each number goes to exactly one.
TEST_P(BothJournals, TwoRunsRacingForEachNumberNeverBothGetIt) {
  auto a = Run("station-a");
  auto b = Run("station-b");
  constexpr int kNumbers = 150;
  std::vector<int> won(2 * kNumbers, 0);
  std::atomic<bool> failed{false};
  auto race = [&](Journal& journal, int side) {
    for (int n = 0; n < kNumbers; ++n) {
      std::string error;
      PassRecord row = Numbered(std::to_string(1000 + n), side == 0 ? "COM1" : "COM2");
      const auto result = journal.Reserve(row, error);
      if (result == Journal::ReserveResult::Failed) failed = true;
      won[2 * n + side] = result == Journal::ReserveResult::Reserved;
    }
  };
  std::thread t1(race, std::ref(*a), 0), t2(race, std::ref(*b), 1);
  t1.join();
  t2.join();
  ASSERT_FALSE(failed);
  for (int n = 0; n < kNumbers; ++n)
    EXPECT_EQ(won[2 * n] + won[2 * n + 1], 1) << "number " << 1000 + n;
}

// A value goes to one chip per place (device, first serial word, byte count, byte order),
// whatever series asks for it: another increment or mode, a QTP file's record.
TEST_P(BothJournals, AValueGoesToOneChipPerPlaceWhateverTheSeries) {
  const std::string byOne = "KVX-04 @0010 x2 sequential+1 msb";
  auto a = Run("station-a");
  std::string error;
  PassRecord first = AtPlace(byOne, "0003");
  ASSERT_EQ(a->Reserve(first, error), Journal::ReserveResult::Reserved) << error;
  using R = Journal::ReserveResult;
  const struct {
    const char* series;
    long record;
    R result;
  } cases[] = {
      {"KVX-04 @0010 x2 sequential+2 msb", 0, R::ValueUsed},
      {"KVX-04 @0010 x2 pseudo-random msb", 0, R::ValueUsed},
      {"QTP 0123456789ABCDEF", 1, R::ValueUsed},
      {"KVX-04 @0010 x2 sequential+1 msb", 0, R::Used},
      {"KVX-04 @0010 x2 sequential+2 lsb", 0, R::Reserved},
      {"KVX-04 @0012 x2 sequential+2 msb", 0, R::Reserved},
      {"KVX-05 @0010 x2 sequential+2 msb", 0, R::Reserved},
  };
  auto b = Run("station-b");
  for (const auto& c : cases) {
    PassRecord row = AtPlace(c.series, "0003", c.record);
    EXPECT_EQ(b->Reserve(row, error), c.result) << c.series << ' ' << error;
  }
  std::optional<SerialUse> use;
  ASSERT_TRUE(b->FindUse("KVX-04 @0010 x2 sequential+2 msb", "KVX-04 @0010 x2 msb", "0003", 0, use,
                         error))
      << error;
  ASSERT_TRUE(use.has_value());
  EXPECT_EQ(use->series, byOne);
}

// A journal written before values were kept by place, which may hold one value twice already
// (two increments over one start), is brought up to date with its rows and keeps every value
// it holds used for every series from then on.
TEST_P(BothJournals, AJournalFromBeforePlacesComesUpToDateWithItsOverlaps) {
  const std::string byOne = "KVX-04 @0010 x2 sequential+1 msb";
  const std::string byTwo = "KVX-04 @0010 x2 sequential+2 msb";
  std::string error;
  {
    auto a = Run("station-a");
    for (const char* serial : {"0001", "0002", "0003"}) {
      PassRecord row = AtPlace(byOne, serial);
      ASSERT_EQ(a->Reserve(row, error), Journal::ReserveResult::Reserved) << error;
    }
  }
  const bool pg = GetParam() == Backend::Postgres;
  // A shared journal that old had no identity yet, and so no station had a witness of it.
  ASSERT_TRUE(Sql(std::string(pg ? "DROP TABLE journal_identity; " : "DROP INDEX passes_slot; ") +
                  "ALTER TABLE passes DROP COLUMN slot; UPDATE schema_version SET version = " +
                  (pg ? "1" : "3") +
                  "; INSERT INTO passes(run_id, started, host, port, series, serial, record, "
                  "outcome, keeps_number) SELECT run_id, started, host, 'COM2', '" + byTwo +
                  "', serial, 0, 'ok', keeps_number FROM passes WHERE serial IN ('0001', '0003')"));
  const auto newStation =
      std::filesystem::temp_directory_path() / ("kvx-new-station-" + std::to_string(::getpid()));
  auto b = Run("station-b", pg ? newStation.string() : "");
  std::filesystem::remove_all(newStation);
  ASSERT_TRUE(b->IsOpen());
  using R = Journal::ReserveResult;
  const struct {
    const std::string& series;
    const char* serial;
    R result;
  } cases[] = {
      {byTwo, "0003", R::Used},      {byTwo, "0002", R::ValueUsed}, {byOne, "0003", R::Used},
      {byTwo, "0005", R::Reserved},  {byOne, "0005", R::ValueUsed},
  };
  for (const auto& c : cases) {
    PassRecord row = AtPlace(c.series, c.serial);
    EXPECT_EQ(b->Reserve(row, error), c.result) << c.series << ' ' << c.serial << ' ' << error;
  }
}

// Each row names the lot and the operator the station ran it for, as it was reserved; a journal
// from before them comes up to date with its rows naming none.
TEST_P(BothJournals, EachRowNamesItsLotAndOperatorAndOlderRowsNone) {
  const bool pg = GetParam() == Backend::Postgres;
  std::string error;
  {
    auto a = Run("station-a");
    PassRecord old = Numbered("0001", "COM1");
    ASSERT_EQ(a->Reserve(old, error), Journal::ReserveResult::Reserved) << error;
  }
  ASSERT_TRUE(Sql(pg ? "ALTER TABLE passes DROP COLUMN lot, DROP COLUMN operator_name; "
                       "UPDATE schema_version SET version = 3"
                     : "DROP INDEX passes_lot; ALTER TABLE passes DROP COLUMN lot; "
                       "ALTER TABLE passes DROP COLUMN operator_name; "
                       "UPDATE schema_version SET version = 4"));
  auto b = Run("station-b");
  const struct {
    const char* lot;
    const char* operatorName;
  } cases[] = {{"L-1", "Ann"}, {"L-1", "Bob"}, {"L-2", "Ann"}, {"", ""}};
  int n = 2;
  for (const auto& c : cases) {
    b->SetLotAndOperator(c.lot, c.operatorName);
    PassRecord row = Numbered("000" + std::to_string(n++), "COM2");
    ASSERT_EQ(b->Reserve(row, error), Journal::ReserveResult::Reserved) << error;
    row.outcome = PassOutcome::Ok;
    ASSERT_TRUE(b->Finish(row, error)) << error;
  }
  const auto rows = b->Passes({}, error);
  ASSERT_EQ(rows.size(), 5u) << error;
  EXPECT_EQ(rows[0].lot + rows[0].operatorName, "") << "a row from before lots";
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(rows[i + 1].lot, cases[i].lot);
    EXPECT_EQ(rows[i + 1].operatorName, cases[i].operatorName);
  }
  const auto lot = b->Passes({.lot = "L-1"}, error);
  ASSERT_EQ(lot.size(), 2u) << error;
  EXPECT_EQ(lot[1].operatorName, "Bob");
}

INSTANTIATE_TEST_SUITE_P(, BothJournals, ::testing::Values(Backend::File, Backend::Postgres),
                         [](const auto& backend) {
                           return backend.param == Backend::File ? "SqliteFile" : "PostgreSql";
                         });

}  // namespace
}  // namespace kvx
