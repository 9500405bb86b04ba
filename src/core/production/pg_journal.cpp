#include "core/production/pg_journal.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <thread>

#include "core/production/pass_columns.h"
#include "core/production/pass_journal.h"

namespace kvx {

namespace {

// Every statement of the journal is written for READ COMMITTED, whatever the server's or the
// database's default: a reservation is one statement whose race the unique indexes settle, and
// a stricter level would only add serialization failures for the stations to run again.
constexpr char kSessionSetup[] =
    "SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL READ COMMITTED";

// Several stations may open a fresh database at once: the schema is created under this lock,
// in a READ COMMITTED transaction, so that each statement after the lock sees what the station
// that held it committed (at REPEATABLE READ or SERIALIZABLE the transaction's snapshot would be
// the one from before the wait, and a second station would create the tables again).
constexpr char kBeginSchema[] = "BEGIN ISOLATION LEVEL READ COMMITTED";
constexpr char kSchemaLock[] = "SELECT pg_advisory_xact_lock(7340019)";

constexpr char kSchemaV1[] = R"sql(
CREATE TABLE schema_version(version INTEGER NOT NULL);
INSERT INTO schema_version VALUES(1);
CREATE TABLE runs(
  id BIGSERIAL PRIMARY KEY, host TEXT NOT NULL, pid BIGINT NOT NULL, started TEXT NOT NULL,
  lease_until TIMESTAMPTZ NOT NULL);
CREATE TABLE passes(
  id BIGSERIAL PRIMARY KEY, run_id BIGINT REFERENCES runs(id),
  started TEXT NOT NULL, ended TEXT,
  host TEXT NOT NULL DEFAULT '', port TEXT NOT NULL DEFAULT '', writer TEXT, device TEXT,
  program_path TEXT, program_sha256 TEXT, data_checksum TEXT, option_word TEXT, id_checksum TEXT,
  series TEXT NOT NULL DEFAULT '', serial TEXT NOT NULL DEFAULT '', record BIGINT NOT NULL DEFAULT 0,
  pass_count BIGINT, outcome TEXT NOT NULL, counted BOOLEAN NOT NULL DEFAULT false, red_line TEXT,
  duration_ms BIGINT, keeps_number BOOLEAN NOT NULL DEFAULT true);
-- A pass copied from a station's file is known by its station, port and start: copied once.
CREATE UNIQUE INDEX passes_copied ON passes(host, port, started) WHERE run_id IS NULL;
-- One row of this floor's runs holds a number (a QTP record) while it keeps it used.
CREATE UNIQUE INDEX passes_number ON passes(series, serial)
  WHERE run_id IS NOT NULL AND series <> '' AND record = 0 AND keeps_number;
CREATE UNIQUE INDEX passes_record ON passes(series, record)
  WHERE run_id IS NOT NULL AND series <> '' AND record > 0 AND keeps_number;
CREATE INDEX passes_series ON passes(series, serial);
CREATE INDEX passes_started ON passes(started);
)sql";

// A pass's row changes only as a pass goes: while it is pending (or "unknown", when the run a
// lease gave up for dead still ends it) its end may be written, once; which chip, which number,
// lot and operator it names never change (the last two read by name: the guard is made on an
// older journal before they are there), and a finished row is never rewritten (writing the same end
// again, a call run once more after a lost connection, changes nothing and passes). The guard
// holds for every role; what a station's role may do at all is its grants' (README).
constexpr char kGuardFunction[] = R"sql(
CREATE OR REPLACE FUNCTION passes_guard() RETURNS trigger LANGUAGE plpgsql AS $guard$
BEGIN
  IF (NEW.id, NEW.run_id, NEW.started, NEW.host, NEW.port, NEW.device, NEW.program_path,
      NEW.program_sha256, NEW.data_checksum, NEW.option_word, NEW.id_checksum, NEW.series,
      NEW.serial, NEW.record, NEW.slot, to_jsonb(NEW)->'lot', to_jsonb(NEW)->'operator_name')
     IS DISTINCT FROM
     (OLD.id, OLD.run_id, OLD.started, OLD.host, OLD.port, OLD.device, OLD.program_path,
      OLD.program_sha256, OLD.data_checksum, OLD.option_word, OLD.id_checksum, OLD.series,
      OLD.serial, OLD.record, OLD.slot, to_jsonb(OLD)->'lot', to_jsonb(OLD)->'operator_name') THEN
    RAISE EXCEPTION 'a pass''s chip and number are never rewritten (row %)', OLD.id
      USING ERRCODE = 'insufficient_privilege';
  END IF;
  IF OLD.outcome NOT IN ('pending', 'unknown') AND NEW IS DISTINCT FROM OLD THEN
    RAISE EXCEPTION 'a finished pass is never rewritten (row %)', OLD.id
      USING ERRCODE = 'insufficient_privilege';
  END IF;
  RETURN NEW;
END
$guard$;
)sql";
constexpr char kGuardTrigger[] =
    "CREATE TRIGGER passes_guard BEFORE UPDATE ON passes FOR EACH ROW EXECUTE FUNCTION "
    "passes_guard()";

// Version 3: the journal's identity, a random id made with the schema, which each station's own
// witness names the journal by (station_witness.h). An identity table left behind by tables
// dropped and made again gets a new id: it is another journal. (Version 2 is the values' places,
// made by the step before this one where it is known.)
constexpr char kMigrateToIdentity[] = R"sql(
CREATE TABLE IF NOT EXISTS journal_identity(id TEXT NOT NULL);
DELETE FROM journal_identity;
INSERT INTO journal_identity VALUES(gen_random_uuid()::text);
UPDATE schema_version SET version = 3;
)sql";

// Version 4: the production lot and the operator of each row; rows written before have none.
// The guard is made again: one from before keeps the chip's other facts but not these.
constexpr char kMigrateToLots[] = R"sql(
ALTER TABLE passes ADD COLUMN IF NOT EXISTS lot TEXT NOT NULL DEFAULT '';
ALTER TABLE passes ADD COLUMN IF NOT EXISTS operator_name TEXT NOT NULL DEFAULT '';
CREATE INDEX IF NOT EXISTS passes_lot ON passes(lot);
UPDATE schema_version SET version = 4;
)sql";

// The tables of a shared journal and the columns it reads and writes in each: a database (or
// schema) whose tables of these names lack one is another program's, and is left alone.
struct JournalTable {
  const char* name;
  std::vector<std::string> columns;
};
const JournalTable kJournalTables[] = {
    {"schema_version", {"version"}},
    {"runs", {"id", "host", "pid", "started", "lease_until"}},
    {"passes",
     {"id", "run_id", "started", "ended", "host", "port", "writer", "device", "program_path",
      "program_sha256", "data_checksum", "option_word", "id_checksum", "series", "serial", "record",
      "pass_count", "outcome", "counted", "red_line", "duration_ms", "keeps_number"}},
};

constexpr char kTableColumns[] =
    "SELECT c.relname, a.attname FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid "
    "WHERE a.attrelid IN (to_regclass('schema_version'), to_regclass('runs'), "
    "  to_regclass('passes')) AND a.attnum > 0 AND NOT a.attisdropped";

// A row whose number stays used: every one but a pass that failed before any byte of its
// number could reach the chip (the pass's end decides, as in a file journal: KeepsNumber).
#define KVX_KEEPS_NUMBER "keeps_number"
#define KVX_USES(series, serial, record, slot)                                             \
  "((series = " series " AND (CASE WHEN " record " > 0 THEN record = " record              \
  " ELSE serial = " serial " END)) OR (" slot " <> '' AND " serial " <> '' AND slot = " slot  \
  " AND serial = " serial ")) AND " KVX_KEEPS_NUMBER

// A row of the series itself first.
constexpr char kFindUse[] =
    "SELECT started, port, host, outcome, series FROM passes WHERE "
    KVX_USES("$1", "$2", "$3::bigint", "$4") " ORDER BY series <> $1, id LIMIT 1";
constexpr char kLastRecord[] =
    "SELECT max(record) FROM passes WHERE series = $1 AND " KVX_KEEPS_NUMBER;
// The lease is renewed with the reservation. A number a copied row holds is found by the NOT
// EXISTS; two runs racing for one number are parted by the unique indexes.
constexpr char kReserve[] =
    "WITH lease AS (UPDATE runs SET lease_until = now() + $16::bigint * interval '1 millisecond' "
    "  WHERE id = $1::bigint) "
    "INSERT INTO passes(run_id, started, host, port, writer, device, program_path, program_sha256, "
    "  data_checksum, option_word, id_checksum, series, serial, record, pass_count, outcome, "
    "  slot, lot, operator_name) "
    "SELECT $1::bigint, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14::bigint, "
    "  $15::bigint, 'pending', $17, $18, $19 "
    "WHERE $12 = '' OR NOT EXISTS (SELECT 1 FROM passes WHERE "
    KVX_USES("$12", "$13", "$14::bigint", "$17") ") "
    "ON CONFLICT DO NOTHING RETURNING id";
#undef KVX_USES
#undef KVX_KEEPS_NUMBER

constexpr char kFinish[] =
    "WITH lease AS (UPDATE runs SET lease_until = now() + $9::bigint * interval '1 millisecond' "
    "  WHERE id = $8::bigint) "
    "UPDATE passes SET ended = $1, outcome = $2, counted = $3::boolean, pass_count = $4::bigint, "
    "  red_line = $5, writer = $6, duration_ms = $7::bigint, keeps_number = $11::boolean "
    "WHERE id = $10::bigint";

constexpr char kPassColumns[] =
    "id, started, ended, host, port, writer, device, program_path, data_checksum, option_word, "
    "id_checksum, series, serial, record, pass_count, outcome, counted::int, red_line, "
    "duration_ms, keeps_number::int, program_sha256, slot, lot, operator_name";

std::string Num(long long value) { return std::to_string(value); }

}  // namespace

std::string JournalStationName() {
  if (const char* station = std::getenv("KVXW_STATION"); station != nullptr && *station != '\0')
    return station;
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

namespace {

std::chrono::milliseconds MillisecondsFromEnvironment(const char* name,
                                                      std::chrono::milliseconds fallback) {
  if (const char* text = std::getenv(name); text != nullptr) {
    const long long ms = std::atoll(text);
    if (ms > 0) return std::chrono::milliseconds(ms);
  }
  return fallback;
}

}  // namespace

std::chrono::milliseconds JournalLease() {
  return MillisecondsFromEnvironment("KVXW_JOURNAL_LEASE_MS", std::chrono::seconds(60));
}

std::chrono::milliseconds JournalReconnectLimit() {
  return MillisecondsFromEnvironment("KVXW_JOURNAL_RECONNECT_MS", kReconnectLimit);
}

PgJournal::PgJournal(std::string station, std::chrono::milliseconds lease,
                     std::chrono::milliseconds timeout)
    : station_(std::move(station)), lease_(lease), timeout_(timeout) {
  db_.SetTimeout(timeout);
  db_.SetSessionSetup(kSessionSetup);
}

PgJournal::~PgJournal() {
  if (heartbeat_.joinable()) {
    heartbeat_.request_stop();
    beat_.notify_all();
    heartbeat_.join();
  }
  std::lock_guard lock(mutex_);
  // The lease ends at once, unless the server stopped answering: it then runs out by itself.
  std::stop_source leaving;
  leaving.request_stop();
  if (runId_ != 0 && !stalled_ && !db_.Lost())
    db_.Run("UPDATE runs SET lease_until = now() WHERE id = $1::bigint", {Num(runId_)},
            leaving.get_token());
}

void ReconnectWaits::SleepUnlessStopped(std::chrono::milliseconds wait, std::stop_token stop) {
  std::mutex idle;
  std::condition_variable_any wake;
  std::unique_lock lock(idle);
  wake.wait_for(lock, stop, wait, [] { return false; });
}

bool PgJournal::Fail(std::string_view what, std::string& error) {
  if (!forgotten_.empty()) return error = forgotten_, false;
  error = "the shared journal " + name_ + " " + std::string(what) + ": " + db_.Error();
  if (reconnectRanOut_) error += " (no connection for " + DurationText(waits_.limit) + ")";
  return false;
}

bool PgJournal::ReconnectWithBackoff(std::stop_token stop) {
  const auto limit = waits_.now() + waits_.limit;
  for (auto wait = kReconnectFirstWait;; wait = std::min(wait * 2, kReconnectLongestWait)) {
    if (db_.Reconnect(stop)) return true;
    stalled_ = db_.LastFailure() == PgDb::Failure::TimedOut;
    if (stalled_ || stop.stop_requested()) return false;
    // Refused, or not there (yet): a server starting up or restarting answers again soon.
    if (waits_.now() + wait > limit) {
      reconnectRanOut_ = true;
      return false;
    }
    waits_.sleep(wait, stop);
  }
}

PgResult PgJournal::Call(std::string_view sql, const PgDb::Params& params, std::stop_token stop) {
  PgResult result;
  reconnectRanOut_ = false;
  if (!forgotten_.empty()) return result;
  if (!stalled_ && !db_.Lost()) {
    result = db_.Exec(sql, params, stop);
    if (result.Ok() || !db_.Lost()) return result;
  }
  stalled_ = stalled_ || db_.LastFailure() == PgDb::Failure::TimedOut;
  // A server that did not answer in time is not waited for again; a caller that was stopped
  // does not wait for a new connection.
  if (stalled_ || stop.stop_requested()) return result;
  // The server went away or restarted: a new connection, and the statement once more.
  if (!ReconnectWithBackoff(stop) || (runId_ != 0 && !StillKnowsThisStation())) return result;
  result = db_.Exec(sql, params, stop);
  stalled_ = db_.LastFailure() == PgDb::Failure::TimedOut;
  return result;
}

PgResult PgJournal::CallRetrying(std::string_view sql, const PgDb::Params& params,
                                 std::stop_token stop) {
  return RetryConflicts([&] { return Call(sql, params, stop); },
                        [](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); },
                        kConflictAttempts, kConflictFirstWait);
}

bool PgJournal::Open(const std::string& name, bool registerRun, std::string& error) {
  std::lock_guard lock(mutex_);
  name_ = PostgresDisplayName(name);
  connectName_ = name;
  if (!db_.Open(name)) {
    error = "the shared journal " + name_ + " cannot be reached: " + db_.Error();
    return false;
  }
  if (!Migrate(error) || (registerRun && !CheckStationWitness(error, acceptLoss_))) return false;
  const PgResult recovered = db_.Exec(
      "UPDATE passes SET outcome = 'unknown' WHERE outcome = 'pending' AND (run_id IS NULL OR "
      "run_id IN (SELECT id FROM runs WHERE lease_until < now()))");
  // A reader whose user may only read sees such rows still pending; a run must mark them.
  if (!recovered.Ok() && (registerRun || recovered.SqlState() != "42501"))
    return Fail("cannot be written", error);
  recovered_ = recovered.Affected();
  if (!registerRun) return true;
  const PgResult run = db_.Exec(
      "INSERT INTO runs(host, pid, started, lease_until) "
      "VALUES($1, $2::bigint, $3, now() + $4::bigint * interval '1 millisecond') RETURNING id",
      {station_, Num(::getpid()), JournalTimeNow(), Num(lease_.count())});
  if (!run.Ok() || run.Rows() != 1) return Fail("cannot be written", error);
  runId_ = run.Int(0, 0);
  heartbeat_ = std::jthread([this](std::stop_token stop) { Heartbeat(stop); });
  return true;
}

void PgJournal::Heartbeat(std::stop_token stop) {
  PgDb beat;
  beat.SetTimeout(timeout_);
  beat.SetSessionSetup(kSessionSetup);
  std::mutex idle;
  std::unique_lock lock(idle);
  while (!beat_.wait_for(lock, stop, lease_ / 3, [] { return false; })) {
    if (stop.stop_requested()) return;
    // A server that cannot be reached now is tried again at the next beat; the passes notice it
    // (and say so) on their own connection.
    if (beat.Lost() && !beat.Open(connectName_, stop)) continue;
    beat.Run("UPDATE runs SET lease_until = now() + $2::bigint * interval '1 millisecond' "
             "WHERE id = $1::bigint",
             {Num(runId_), Num(lease_.count())}, stop);
  }
}

namespace {

// Which of a journal's tables found in the database is not one, and why ("passes has no column
// serial", "runs is missing"); empty when all are a journal's.
std::string ForeignTable(const std::map<std::string, std::set<std::string>>& found) {
  for (const JournalTable& table : kJournalTables) {
    const auto it = found.find(table.name);
    if (it == found.end()) return std::string(table.name) + " is missing";
    for (const std::string& column : table.columns)
      if (!it->second.contains(column))
        return std::string(table.name) + " has no column " + column;
  }
  return {};
}

}  // namespace

bool PgJournal::Migrate(std::string& error) {
  if (!db_.Run(kBeginSchema) || !db_.Run(kSchemaLock)) return Fail("cannot be written", error);
  auto fail = [&](std::string_view what) {
    Fail(what, error);
    db_.Run("ROLLBACK");
    return false;
  };
  const PgResult found = db_.Exec(kTableColumns);
  if (!found.Ok()) return fail("cannot be read");
  std::map<std::string, std::set<std::string>> columns;
  for (int i = 0; i < found.Rows(); ++i) columns[found.Text(i, 0)].insert(found.Text(i, 1));
  auto refuse = [&](const std::string& why) {
    db_.Run("ROLLBACK");
    error = "the shared journal " + name_ + " " + why + "; nothing was written to it";
    return false;
  };
  const bool fresh = columns.empty();
  if (fresh && !db_.Run(kSchemaV1)) return fail("cannot be created");
  // A newer kvxw may have changed its tables: its version is told before their shape is judged.
  const auto versionTable = columns.find("schema_version");
  long long schemaVersion = 0;
  if (fresh || (versionTable != columns.end() && versionTable->second.contains("version"))) {
    const PgResult version = db_.Exec("SELECT version FROM schema_version");
    schemaVersion = version.Int(0, 0);
    if (!version.Ok()) return fail("cannot be read");
    if (version.Rows() != 1)
      return refuse("holds tables of another program (schema_version holds " +
                    std::to_string(version.Rows()) + " rows, a journal's one)");
    if (version.Int(0, 0) > kSharedJournalSchemaVersion)
      return refuse("was written by a newer kvxw (schema version " + version.Text(0, 0) +
                    "; this one knows up to " + std::to_string(kSharedJournalSchemaVersion) + ")");
  }
  if (const std::string foreign = ForeignTable(columns); !fresh && !foreign.empty())
    return refuse("holds tables of another program (" + foreign +
                  "): give the journal a database (or a schema) of its own");
  // Later versions step up from here, as the SQLite file's do.
  if (schemaVersion < 2 && !MigrateToPlaces()) return fail("cannot be brought up to date");
  if (schemaVersion < 3 && !db_.Run(kMigrateToIdentity))
    return fail("cannot be brought up to date");
  if (schemaVersion < 4 && (!db_.Run(kMigrateToLots) || !db_.Run(kGuardFunction)))
    return fail("cannot be brought up to date");
  const PgResult identity = db_.Exec("SELECT id FROM journal_identity ORDER BY id LIMIT 1");
  if (!identity.Ok() || identity.Rows() != 1) return fail("cannot be read (its identity)");
  journalId_ = identity.Text(0, 0);
  if (!db_.Run("COMMIT")) return fail("cannot be written");
  return true;
}

// Version 2: each row's place on the chip (journal_sql.h, kMigrateV3ToV4), from its series' name
// for the rows written before, and the guard of the rows (kGuardFunction). Rows already there may
// hold one value at one place twice (that is what version 2 stops): the unique index covers the
// rows written from now on, and the reservation's own look-up the ones before.
bool PgJournal::MigrateToPlaces() {
  // Filling in the places is no rewrite of a pass: a guard left from an earlier try stands aside.
  if (!db_.Run("DROP TRIGGER IF EXISTS passes_guard ON passes") ||
      !db_.Run("ALTER TABLE passes ADD COLUMN slot TEXT NOT NULL DEFAULT ''"))
    return false;
  const PgResult series = db_.Exec("SELECT DISTINCT series FROM passes WHERE series <> ''");
  if (!series.Ok()) return false;
  for (int i = 0; i < series.Rows(); ++i) {
    const std::string slot = SlotOfSeries(series.Text(i, 0));
    if (!slot.empty() &&
        !db_.Run("UPDATE passes SET slot = $1 WHERE series = $2", {slot, series.Text(i, 0)}))
      return false;
  }
  const PgResult last = db_.Exec("SELECT coalesce(max(id), 0) FROM passes");
  if (!last.Ok()) return false;
  return db_.Run("CREATE INDEX passes_slot ON passes(slot, serial)") &&
         db_.Run("CREATE UNIQUE INDEX passes_value ON passes(slot, serial) WHERE run_id IS NOT "
                 "NULL AND slot <> '' AND keeps_number AND id > " +
                 Num(last.Int(0, 0))) &&
         db_.Run(kGuardFunction) && db_.Run(kGuardTrigger) &&
         db_.Run("UPDATE schema_version SET version = 2");
}

Journal::ReserveResult PgJournal::Reserve(PassRecord& row, std::string& error,
                                          std::stop_token stop) {
  std::lock_guard lock(mutex_);
  row.started = JournalTimeNow();
  row.outcome = PassOutcome::Pending;
  row.host = station_;
  const PgResult insert =
      CallRetrying(kReserve, {Num(runId_), row.started, row.host, row.port, row.writer,
                              row.device, row.programPath, row.programSha256, row.dataChecksum,
                              row.optionWord, row.idChecksum, row.series, row.serial,
                              Num(row.record), Num(row.passCount), Num(lease_.count()), row.slot,
                              row.lot, row.operatorName},
                   stop);
  if (!insert.Ok()) return Fail("cannot be written", error), Journal::ReserveResult::Failed;
  if (insert.Rows() == 0) {
    // Whose it is: a row of another series holds the value at this place, or (a station racing
    // for it whose row is not committed yet) its own series.
    const PgResult holder = Call(kFindUse, {row.series, row.serial, Num(row.record), row.slot}, stop);
    return holder.Ok() && holder.Rows() > 0 && holder.Text(0, 4) != row.series
               ? Journal::ReserveResult::ValueUsed
               : Journal::ReserveResult::Used;
  }
  row.id = insert.Int(0, 0);
  if (!NoteReserved(row, error, stop)) return Journal::ReserveResult::Failed;
  return Journal::ReserveResult::Reserved;
}

bool PgJournal::Finish(PassRecord& row, std::string& error, std::stop_token stop) {
  std::lock_guard lock(mutex_);
  row.ended = JournalTimeNow();
  row.durationMs = JournalMillisBetween(row.started, row.ended);
  const PgResult update =
      CallRetrying(kFinish, {row.ended, std::string(OutcomeText(row.outcome)),
                             row.counted ? "t" : "f", Num(row.passCount), row.redLine, row.writer,
                             Num(row.durationMs), Num(runId_), Num(lease_.count()), Num(row.id),
                             row.keepsNumber ? "t" : "f"},
                   stop);
  if (!update.Ok()) return Fail("cannot be written", error);
  if (update.Affected() == 0) {
    // The row this run reserved is gone: whatever forgot it may forget other numbers in chips.
    forgotten_ = "the shared journal " + name_ + " knows less than this run: the row " +
                 Num(row.id) + " it reserved for serial number " + row.serial +
                 " is gone. It was emptied, or restored from an older copy, or a standby took "
                 "over without the last passes, and numbers it forgot may be in chips";
    return Fail("", error);
  }
  return true;
}

bool PgJournal::FindUse(const std::string& series, const std::string& slot,
                        const std::string& serial, long record, std::optional<SerialUse>& use,
                        std::string& error, std::stop_token stop) {
  std::lock_guard lock(mutex_);
  use.reset();
  const PgResult find = Call(kFindUse, {series, serial, Num(record), slot}, stop);
  if (!find.Ok()) return Fail("cannot be read", error);
  if (find.Rows() > 0)
    use = SerialUse{find.Text(0, 0), find.Text(0, 1), find.Text(0, 2),
                    OutcomeFromText(find.Text(0, 3)), find.Text(0, 4)};
  return true;
}

bool PgJournal::LastRecordUsed(const std::string& series, long& last, std::string& error,
                               std::stop_token stop) {
  std::lock_guard lock(mutex_);
  last = 0;
  const PgResult query = Call(kLastRecord, {series}, stop);
  if (!query.Ok()) return Fail("cannot be read", error);
  if (!query.IsNull(0, 0)) last = static_cast<long>(query.Int(0, 0));
  return true;
}

std::vector<PassRecord> PgJournal::Passes(const PassFilter& filter, std::string& error) {
  std::lock_guard lock(mutex_);
  std::vector<PassRecord> rows;
  const PgResult select = Call(std::string("SELECT ") + kPassColumns +
                                   " FROM passes WHERE started >= $1 AND ($2 = '' OR series = $2) "
                                   "AND ($3 = '' OR lot = $3) ORDER BY started, id",
                               {filter.since, filter.series, filter.lot});
  if (!select.Ok()) return Fail("cannot be read", error), rows;
  for (int i = 0; i < select.Rows(); ++i)
    rows.push_back(PassFromColumns([&](int c) { return select.Text(i, c); },
                                   [&](int c) { return select.Int(i, c); },
                                   [&](int c) { return select.IsNull(i, c); }));
  return rows;
}

bool PgJournal::CopyIn(const std::vector<PassRecord>& rows, long& copied, std::string& error) {
  std::lock_guard lock(mutex_);
  copied = 0;
  if (!db_.Run("BEGIN ISOLATION LEVEL READ COMMITTED")) return Fail("cannot be written", error);
  for (const PassRecord& r : rows) {
    // A row still pending in the copy belongs to no run here: its chip is unknown.
    const PassOutcome outcome = r.outcome == PassOutcome::Pending ? PassOutcome::Unknown : r.outcome;
    const PgResult insert = db_.Exec(
        "INSERT INTO passes(started, ended, host, port, writer, device, program_path, "
        "  program_sha256, data_checksum, option_word, id_checksum, series, serial, record, "
        "  pass_count, outcome, counted, red_line, duration_ms, keeps_number, slot, lot, "
        "  operator_name) "
        "VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14::bigint, $15::bigint, "
        "  $16, $17::boolean, $18, $19::bigint, $20::boolean, $21, $22, $23) ON CONFLICT (host, port, started) WHERE run_id IS NULL DO NOTHING",
        {r.started, r.ended.empty() ? std::nullopt : std::optional(r.ended), r.host, r.port,
         r.writer, r.device, r.programPath, r.programSha256, r.dataChecksum, r.optionWord,
         r.idChecksum, r.series, r.serial, Num(r.record), Num(r.passCount),
         std::string(OutcomeText(outcome)), r.counted ? "t" : "f", r.redLine,
         r.durationMs < 0 ? std::nullopt : std::optional(Num(r.durationMs)),
         r.keepsNumber ? "t" : "f", r.slot.empty() ? SlotOfSeries(r.series) : r.slot, r.lot,
         r.operatorName});
    if (!insert.Ok()) {
      Fail("cannot be written", error);
      db_.Run("ROLLBACK");
      copied = 0;
      return false;
    }
    copied += insert.Affected();
  }
  if (!db_.Run("COMMIT")) return Fail("cannot be written", error);
  return true;
}

}  // namespace kvx
