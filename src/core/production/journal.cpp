#include "core/production/journal.h"

#include "core/production/pg_journal.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>

#include "core/production/journal_name.h"
#include "core/production/journal_sql.h"
#include "core/production/pass_columns.h"

namespace kvx {

using journal_sql::Transaction;

namespace {

constexpr std::array<std::string_view, 7> kOutcomeTexts{
    "pending", "ok", "chip failed", "link failed", "stopped", "unknown", "no chip"};

constexpr char kPassColumns[] =
    "id, started, ended, host, port, writer, device, program_path, data_checksum, option_word, "
    "id_checksum, series, serial, record, pass_count, outcome, counted, red_line, duration_ms, "
    "keeps_number, program_sha256, slot, lot, operator_name";

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

PassRecord ReadPass(const SqliteStatement& s) {
  return PassFromColumns([&](int i) { return s.Text(i); }, [&](int i) { return s.Int(i); },
                         [&](int i) { return s.IsNull(i); });
}


}  // namespace

long JournalMillisBetween(const std::string& from, const std::string& to) {
  auto parse = [](const std::string& text, std::int64_t& ms) {
    std::tm tm{};
    int millis = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &millis) != 7)
      return false;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    ms = static_cast<std::int64_t>(::timegm(&tm)) * 1000 + millis;
    return true;
  };
  std::int64_t a = 0, b = 0;
  if (!parse(from, a) || !parse(to, b)) return -1;
  return static_cast<long>(b - a);
}

std::string_view OutcomeText(PassOutcome outcome) {
  return kOutcomeTexts[static_cast<std::size_t>(outcome)];
}

PassOutcome OutcomeFromText(std::string_view text) {
  for (std::size_t i = 0; i < kOutcomeTexts.size(); ++i)
    if (kOutcomeTexts[i] == text) return static_cast<PassOutcome>(i);
  return PassOutcome::Unknown;
}

std::string JournalTimeNow() {
  const auto now = std::chrono::system_clock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
  std::tm tm{};
  ::gmtime_r(&seconds, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ms.count() % 1000));
  return text;
}

bool Journal::ProcessAlive(const std::string& host, long pid) {
  if (host != HostName()) return true;  // cannot tell: leave it to that host
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

std::string Journal::Hidden(const std::string& text) const { return HidePasswords(text, given_); }

bool Journal::Fail(std::string_view what, std::string& error) {
  error = "the journal " + path_ + " " + std::string(what) + ": " + db_.Error();
  return false;
}

bool Journal::Recover(const RunAlive& alive, bool registerRun, std::string& error) {
  Transaction t(db_);
  if (!t.Began()) return Fail("cannot be written", error);
  // Pending rows whose run is gone (or unknown: a journal from before the runs were kept).
  SqliteStatement pending = db_.Prepare(
      "SELECT passes.id, runs.host, runs.pid, passes.port FROM passes "
      "LEFT JOIN runs ON runs.id = run_id WHERE outcome = 'pending'");
  SqliteStatement mark = db_.Prepare("UPDATE passes SET outcome = 'unknown' WHERE id = ?");
  if (!pending.Ok() || !mark.Ok()) return Fail("cannot be read", error);
  std::vector<std::int64_t> dead;
  for (auto step = pending.Step(); step != SqliteStatement::StepResult::Done; step = pending.Step()) {
    if (step == SqliteStatement::StepResult::Error) return Fail("cannot be read", error);
    if (pending.IsNull(1) || !alive(pending.Text(1), static_cast<long>(pending.Int(2)))) {
      dead.push_back(pending.Int(0));
      diedOnPorts_.push_back(pending.Text(3));
    }
  }
  for (std::int64_t id : dead)
    if (!mark.Bind(1, id).Run()) return Fail("cannot be written", error);
  recovered_ = static_cast<long>(dead.size());
  if (!registerRun) return t.Commit() || Fail("cannot be written", error);
  SqliteStatement run = db_.Prepare("INSERT INTO runs(host, pid, started) VALUES(?, ?, ?)");
  if (!run.Bind(1, HostName()).Bind(2, static_cast<std::int64_t>(::getpid())).Bind(3, JournalTimeNow()).Run())
    return Fail("cannot be written", error);
  runId_ = db_.LastInsertId();
  if (!t.Commit()) return Fail("cannot be written", error);
  return true;
}

namespace {

// A row whose number stays used: its pass decided so when it ended (KeepsNumber), and a pending
// row keeps it until then.
#define KVX_KEEPS_NUMBER "keeps_number = 1"

// The first row that keeps the number (or the QTP record) used in its series, or the value at
// its place (?4) in any series; a row of the series itself first.
constexpr char kFindUse[] =
    "SELECT started, port, host, outcome, series FROM passes WHERE " KVX_KEEPS_NUMBER " AND "
    "((series = ?1 AND (CASE WHEN ?3 > 0 THEN record = ?3 ELSE serial = ?2 END)) OR "
    " (?4 <> '' AND ?2 <> '' AND slot = ?4 AND serial = ?2)) "
    "ORDER BY series <> ?1, id LIMIT 1";
// The last QTP record used in a series.
constexpr char kLastRecord[] =
    "SELECT max(record) FROM passes WHERE series = ? AND " KVX_KEEPS_NUMBER;
#undef KVX_KEEPS_NUMBER

}  // namespace

bool Journal::FindUse(const std::string& series, const std::string& slot,
                      const std::string& serial, long record, std::optional<SerialUse>& use,
                      std::string& error, std::stop_token stop) {
  if (pg_) return Shown(pg_->FindUse(series, slot, serial, record, use, error, stop), error);
  std::lock_guard lock(mutex_);
  use.reset();
  SqliteStatement find = db_.Prepare(kFindUse);
  if (!find.Ok()) return Fail("cannot be read", error);
  find.Bind(1, series).Bind(2, serial).Bind(3, static_cast<std::int64_t>(record)).Bind(4, slot);
  switch (find.Step()) {
    case SqliteStatement::StepResult::Error:
      return Fail("cannot be read", error);
    case SqliteStatement::StepResult::Done:
      return true;
    case SqliteStatement::StepResult::Row:
      break;
  }
  use = SerialUse{find.Text(0), find.Text(1), find.Text(2), OutcomeFromText(find.Text(3)),
                  find.Text(4)};
  return true;
}

bool Journal::LastRecordUsed(const std::string& series, long& last, std::string& error,
                             std::stop_token stop) {
  if (pg_) return Shown(pg_->LastRecordUsed(series, last, error, stop), error);
  std::lock_guard lock(mutex_);
  last = 0;
  SqliteStatement query = db_.Prepare(kLastRecord);
  if (!query.Ok()) return Fail("cannot be read", error);
  query.Bind(1, series);
  if (query.Step() != SqliteStatement::StepResult::Row) return Fail("cannot be read", error);
  if (!query.IsNull(0)) last = static_cast<long>(query.Int(0));
  return true;
}

Journal::ReserveResult Journal::Reserve(PassRecord& row, std::string& error,
                                        std::stop_token stop) {
  {
    std::lock_guard labels(labelsMutex_);
    row.lot = lot_;
    row.operatorName = operatorName_;
  }
  if (pg_) return Shown(pg_->Reserve(row, error, stop), error);
  std::lock_guard lock(mutex_);
  Transaction t(db_);
  if (!t.Began()) return Fail("cannot be written", error), ReserveResult::Failed;
  if (!row.series.empty()) {
    SqliteStatement find = db_.Prepare(kFindUse);
    find.Bind(1, row.series).Bind(2, row.serial).Bind(3, static_cast<std::int64_t>(row.record));
    find.Bind(4, row.slot);
    const auto step = find.Step();
    if (step == SqliteStatement::StepResult::Error)
      return Fail("cannot be read", error), ReserveResult::Failed;
    if (step == SqliteStatement::StepResult::Row)
      return find.Text(4) == row.series ? ReserveResult::Used : ReserveResult::ValueUsed;
  }
  row.started = JournalTimeNow();
  row.outcome = PassOutcome::Pending;
  SqliteStatement insert = db_.Prepare(
      "INSERT INTO passes(run_id, started, host, port, writer, device, program_path, "
      "data_checksum, option_word, id_checksum, series, serial, record, pass_count, outcome, "
      "program_sha256, slot, lot, operator_name) "
      "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 'pending', ?, ?, ?, ?)");
  row.host = HostName();
  insert.Bind(1, runId_).Bind(2, row.started).Bind(3, row.host).Bind(4, row.port);
  insert.Bind(5, row.writer).Bind(6, row.device).Bind(7, row.programPath);
  insert.Bind(8, row.dataChecksum).Bind(9, row.optionWord).Bind(10, row.idChecksum);
  insert.Bind(11, row.series).Bind(12, row.serial).Bind(13, static_cast<std::int64_t>(row.record));
  insert.Bind(14, static_cast<std::int64_t>(row.passCount)).Bind(15, row.programSha256);
  insert.Bind(16, row.slot).Bind(17, row.lot).Bind(18, row.operatorName);
  if (!insert.Run()) return Fail("cannot be written", error), ReserveResult::Failed;
  row.id = db_.LastInsertId();
  if (!t.Commit()) return Fail("cannot be written", error), ReserveResult::Failed;
  if (!row.series.empty() &&
      !witness_.Append({row.id, row.series, row.serial, row.record}, error)) {
    // No chip gets the number: the row gives it back, or (when that cannot be written either)
    // it stays pending and the next run keeps it as "unknown".
    GiveBack(row);
    return ReserveResult::Failed;
  }
  return ReserveResult::Reserved;
}

void Journal::SetLotAndOperator(std::string lot, std::string operatorName) {
  std::lock_guard labels(labelsMutex_);
  lot_ = std::move(lot);
  operatorName_ = std::move(operatorName);
}

bool Journal::Finish(PassRecord& row, std::string& error, std::stop_token stop) {
  if (pg_) return Shown(pg_->Finish(row, error, stop), error);
  std::lock_guard lock(mutex_);
  row.ended = JournalTimeNow();
  row.durationMs = JournalMillisBetween(row.started, row.ended);
  SqliteStatement update = db_.Prepare(
      "UPDATE passes SET ended = ?, outcome = ?, counted = ?, pass_count = ?, red_line = ?, "
      "writer = ?, duration_ms = ?, keeps_number = ? WHERE id = ?");
  update.Bind(1, row.ended).Bind(2, OutcomeText(row.outcome));
  update.Bind(3, static_cast<std::int64_t>(row.counted ? 1 : 0));
  update.Bind(4, static_cast<std::int64_t>(row.passCount)).Bind(5, row.redLine);
  update.Bind(6, row.writer).Bind(7, static_cast<std::int64_t>(row.durationMs));
  update.Bind(8, static_cast<std::int64_t>(row.keepsNumber ? 1 : 0)).Bind(9, row.id);
  if (!update.Run()) return Fail("cannot be written", error);
  // The rows are safe in the write-ahead log; copying them into the journal file after each pass
  // keeps the log short, and a disk that refuses that copy stops the run before it refuses the
  // log itself. A checkpoint another connection is running meanwhile is no failure.
  if (!db_.Exec("PRAGMA wal_checkpoint(PASSIVE)") && !db_.Busy())
    return Fail("cannot be written (checkpoint)", error);
  return true;
}

bool Journal::GiveBack(const PassRecord& row) {
  SqliteStatement update = db_.Prepare(
      "UPDATE passes SET ended = ?, outcome = 'stopped', keeps_number = 0, "
      "red_line = 'the witness could not be written' WHERE id = ?");
  return update.Bind(1, JournalTimeNow()).Bind(2, row.id).Run();
}

bool KeepsNumber(PassOutcome outcome, bool counted, bool serialMayBeOnChip) {
  const bool failed = outcome == PassOutcome::ChipFailed || outcome == PassOutcome::LinkFailed ||
                      outcome == PassOutcome::NoChip;
  return counted || !failed || serialMayBeOnChip;
}

std::vector<PassRecord> Journal::Passes(const PassFilter& filter, std::string& error) {
  if (pg_) return Shown(pg_->Passes(filter, error), error);
  std::lock_guard lock(mutex_);
  std::vector<PassRecord> rows;
  SqliteStatement select = db_.Prepare(std::string("SELECT ") + kPassColumns +
                                       " FROM passes WHERE started >= ?1 AND "
                                       "(?2 = '' OR series = ?2) AND (?3 = '' OR lot = ?3) "
                                       "ORDER BY id");
  if (!select.Ok()) return Fail("cannot be read", error), rows;
  select.Bind(1, filter.since).Bind(2, filter.series).Bind(3, filter.lot);
  for (auto step = select.Step(); step != SqliteStatement::StepResult::Done; step = select.Step()) {
    if (step == SqliteStatement::StepResult::Error) return Fail("cannot be read", error), rows;
    rows.push_back(ReadPass(select));
  }
  return rows;
}

bool Journal::OpenShared(const std::string& name, bool registerRun, std::string& error) {
  auto pg = std::make_shared<PgJournal>(station_.empty() ? JournalStationName() : station_,
                                        lease_.count() > 0 ? lease_ : JournalLease(),
                                        timeout_.count() > 0 ? timeout_ : kPgDefaultTimeout);
  pg->SetReconnectWaits(
      {.limit = reconnectLimit_.count() > 0 ? reconnectLimit_ : JournalReconnectLimit()});
  pg->SetStationWitness(stateFolder_.empty() ? StationWitness::DefaultFolder() : stateFolder_,
                        acceptLoss_);
  if (!pg->Open(name, registerRun, error)) return false;
  pg_ = std::move(pg);
  path_ = pg_->Name();
  recovered_ = pg_->Recovered();
  return true;
}

bool Journal::CopyIn(const std::vector<PassRecord>& rows, long& copied, std::string& error) {
  if (pg_) return Shown(pg_->CopyIn(rows, copied, error), error);
  error = "passes are copied into a shared (PostgreSQL) journal only, not into " + path_;
  return false;
}

double SummaryRow::Yield() const {
  const long judged = ok + failed + unknown;
  return judged == 0 ? 0.0 : static_cast<double>(ok) / static_cast<double>(judged);
}

std::vector<SummaryRow> Summarise(const std::vector<PassRecord>& passes, SummaryBy by) {
  std::map<std::string, SummaryRow> rows;
  std::map<std::string, std::vector<long>> times;
  for (const PassRecord& p : passes) {
    const std::string& key = by == SummaryBy::Device ? p.device
                             : by == SummaryBy::Port ? p.port
                                                     : p.series;
    if (by == SummaryBy::Series && key.empty()) continue;
    SummaryRow& row = rows[key];
    row.key = key;
    ++row.passes;
    switch (p.outcome) {
      case PassOutcome::Ok:
        ++row.ok;
        if (p.durationMs >= 0) times[key].push_back(p.durationMs);
        break;
      case PassOutcome::Pending:
      case PassOutcome::Unknown:
        ++row.unknown;
        break;
      case PassOutcome::NoChip:
        break;
      case PassOutcome::Stopped:
        ++row.stopped;
        break;
      default:
        ++row.failed;
    }
  }
  std::vector<SummaryRow> result;
  for (auto& [key, row] : rows) {
    auto& t = times[key];
    if (!t.empty()) {
      std::nth_element(t.begin(), t.begin() + static_cast<long>(t.size() / 2), t.end());
      row.medianMs = t[t.size() / 2];
    }
    result.push_back(row);
  }
  return result;
}

}  // namespace kvx
