// Opening the journal: making a new one, telling a journal from any other file, checking it is
// sound and knows what its witness knows, and bringing an older one up to date.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>

#include "core/production/journal.h"
#include "core/production/journal_name.h"
#include "core/production/journal_sql.h"
#include "core/production/pass_journal.h"
#include "core/production/pg_db.h"

namespace kvx {

using namespace journal_sql;

// Two runs opening the same journal at once may both hold a read lock when they ask for WAL
// mode; SQLite then refuses one of them at once, without its busy wait, to avoid a deadlock.
// That one asks again after a moment, within the same ten seconds the busy wait allows.
bool Journal::SetWalMode() {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!db_.Exec("PRAGMA journal_mode = WAL")) {
    if (!db_.Busy() || std::chrono::steady_clock::now() >= limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

namespace {

std::string SystemError() { return std::strerror(errno); }

// Makes the directory entry of a file just linked into it durable.
void SyncFolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

constexpr char kNewJournalHint[] =
    "; it was left as it is. To start a new journal on purpose, move or rename that file";

}  // namespace

// A new journal is built whole under a name of its own, then linked to its place, which fails
// when another run put a file there meanwhile. So no run ever sees a journal half made, and a
// file already there is never taken for a new journal. It is built in SQLite's rollback mode, so
// it is one file with nothing beside it when it is linked; every opener then switches it to WAL.
bool Journal::CreateFile(std::string& error) {
  if (witness_.HasEntries()) {
    error = "the journal " + path_ + " is missing, but its witness " + witness_.Path() +
            " names serial numbers that went out: put the journal back, or move the witness "
            "away to start a new journal on purpose";
    return false;
  }
  static std::atomic<long> made{0};
  const std::string building = real_ + ".new-" + std::to_string(::getpid()) + "-" +
                               std::to_string(made++);
  auto failed = [&](const std::string& why) {
    error = "the journal " + path_ + " cannot be opened: " + why;
    ::unlink(building.c_str());
    ::unlink((building + "-journal").c_str());
    return false;
  };
  {
    SqliteDb fresh;
    if (!fresh.Open(building, true)) return failed(fresh.Error());
    const std::string schema = std::string("PRAGMA synchronous = FULL; BEGIN;") + kSchemaV1 +
                               kMigrateV1ToV2 + kMigrateV2ToV3 + kMigrateV3ToV4 + kLotColumn + ";" +
                               kOperatorColumn + ";" + kMigrateV4ToV5 +
                               "PRAGMA application_id = " +
                               std::to_string(kJournalApplicationId) + "; COMMIT;";
    if (!fresh.Exec(schema)) return failed(fresh.Error());
  }
  if (::link(building.c_str(), real_.c_str()) != 0 && errno != EEXIST) {
    // A file system without hard links: the same, by a rename that never replaces.
    if (::renameat2(AT_FDCWD, building.c_str(), AT_FDCWD, real_.c_str(), RENAME_NOREPLACE) != 0 &&
        errno != EEXIST)
      return failed(SystemError());
  }
  ::unlink(building.c_str());
  SyncFolderOf(real_);
  return true;
}

// A journal: SQLite's file with the journal's application id, or an older journal (id 0) that
// has the journal's tables. Read before anything is written, so another program's file is left
// untouched.
bool Journal::IsJournal(std::string& error) {
  char header[16] = {};
  std::size_t got = 0;
  if (std::FILE* file = std::fopen(real_.c_str(), "rb")) {
    got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
  }
  if (got == 0) {
    error = "the journal " + path_ + " is an empty file, not a journal" + kNewJournalHint;
    return false;
  }
  if (got < sizeof header || std::memcmp(header, "SQLite format 3", sizeof header) != 0) {
    error = "the journal " + path_ + " is not a journal (not an SQLite file)" + kNewJournalHint;
    return false;
  }
  const auto id = db_.QueryInt("PRAGMA application_id");
  if (!id) {
    error = "the journal " + path_ + " is not a journal (" + db_.Error() + ")" + kNewJournalHint;
    return false;
  }
  if (*id == kJournalApplicationId) return true;
  const auto tables = db_.QueryInt(
      "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
      "name IN ('schema_version', 'passes')");
  if (*id == 0 && tables == 2) return true;
  error = "the journal " + path_ + " is another program's database, not a journal" +
          kNewJournalHint;
  return false;
}

bool Journal::QuickCheck(std::string& error) {
  SqliteStatement check = db_.Prepare("PRAGMA quick_check");
  std::string problems;
  int lines = 0;
  for (auto step = check.Step(); step == SqliteStatement::StepResult::Row; step = check.Step()) {
    const std::string line = check.Text(0);
    if (line == "ok") return true;
    if (++lines <= 3) problems += (problems.empty() ? "" : "; ") + line;
  }
  if (problems.empty()) problems = db_.Error();
  error = "the journal " + path_ + " is damaged (" + problems +
          "): restore it from a backup; its rows cannot be trusted";
  return false;
}

bool Journal::CheckWitness(std::string& error) {
  std::map<std::string, WitnessEntry> last;
  if (!witness_.Read(last, error)) return false;
  SqliteStatement find = db_.Prepare("SELECT count(*) FROM passes WHERE id = ? AND series = ? "
                                     "AND serial = ? AND coalesce(record, 0) = ?");
  SqliteStatement known = db_.Prepare(
      "SELECT id, serial, coalesce(record, 0) FROM passes WHERE series = ? ORDER BY id DESC "
      "LIMIT 1");
  auto numberText = [](const std::string& serial, long record) {
    return record > 0 ? "record " + std::to_string(record) + " (" + serial + ")"
                      : "serial number " + serial;
  };
  for (const auto& [series, entry] : last) {
    find.Bind(1, entry.id).Bind(2, series).Bind(3, entry.serial).Bind(4, entry.record);
    if (find.Step() != SqliteStatement::StepResult::Row) return Fail("cannot be read", error);
    const bool found = find.Int(0) > 0;
    find.Reset();
    if (found) continue;
    known.Bind(1, series);
    const auto step = known.Step();
    if (step == SqliteStatement::StepResult::Error) return Fail("cannot be read", error);
    const std::string has =
        step == SqliteStatement::StepResult::Row
            ? "its last is " + numberText(known.Text(1), static_cast<long>(known.Int(2))) +
                  " (row " + std::to_string(known.Int(0)) + ")"
            : "it has none";
    error = "the journal " + path_ + " knows less than its witness " + witness_.Path() +
            ": the witness names " + numberText(entry.serial, entry.record) + " (row " +
            std::to_string(entry.id) + ") of the series " + series + ", " + has +
            ". The journal lost passes, and numbers it forgot may be in chips: restore it (to go "
            "on without them on purpose, move the witness away and start after " +
            numberText(entry.serial, entry.record) + ")";
    return false;
  }
  // A journal from before the witness: the witness starts from what the journal knows.
  if (!last.empty()) return true;
  SqliteStatement series = db_.Prepare(
      "SELECT id, series, serial, coalesce(record, 0) FROM passes WHERE id IN "
      "(SELECT max(id) FROM passes WHERE series <> '' GROUP BY series)");
  for (auto step = series.Step(); step != SqliteStatement::StepResult::Done; step = series.Step()) {
    if (step == SqliteStatement::StepResult::Error) return Fail("cannot be read", error);
    const WitnessEntry entry{series.Int(0), series.Text(1), series.Text(2),
                             static_cast<long>(series.Int(3))};
    if (!witness_.Append(entry, error)) return false;
  }
  return true;
}

bool Journal::OpenFile(const std::string& path, bool create, std::string& error) {
  path_ = path;
  // The file the name leads to: a new journal is made there, and its witness is beside it.
  real_ = JournalWitness::RealPathOf(path);
  witness_ =
      JournalWitness(JournalWitness::PathFor(real_), JournalWitness::LinkedPathsFor(real_));
  diedOnPorts_.clear();
  recovered_ = 0;
  if (::access(real_.c_str(), F_OK) != 0) {
    if (errno != ENOENT) {
      error = "the journal " + path + " cannot be opened: " + SystemError();
      return false;
    }
    if (!create) {
      error = "there is no journal " + path;
      return false;
    }
    if (!CreateFile(error)) return false;
  }
  if (!db_.Open(real_, false)) return Fail("cannot be opened", error);
  // Another run (another process) may hold the write lock for a moment: wait for it.
  const bool ok = db_.Exec("PRAGMA busy_timeout = 10000") || Fail("cannot be read", error);
  // Nothing is written before the file is known to be a sound journal.
  if (!ok || !IsJournal(error) || !QuickCheck(error) ||
      ((!SetWalMode() || !db_.Exec("PRAGMA synchronous = FULL")) && !Fail("cannot be read", error)) ||
      !Migrate(error) || !CheckWitness(error)) {
    db_.Close();
    return false;
  }
  return true;
}

bool Journal::Open(const std::string& path, std::string& error, const RunAlive& alive) {
  return OpenAs(path, true, alive, error);
}

bool Journal::OpenToRead(const std::string& path, std::string& error) {
  return OpenAs(path, false, ProcessAlive, error);
}

bool Journal::OpenAs(const std::string& path, bool forRun, const RunAlive& alive,
                     std::string& error) {
  const JournalName name = ParseJournalName(path);
  given_ = path;
  switch (name.kind) {
    case JournalName::Kind::Invalid:
      error = name.error;
      return false;
    case JournalName::Kind::Server:
      return Shown(OpenShared(name.value, forRun, error), error);
    case JournalName::Kind::File:
      break;
  }
  std::lock_guard lock(mutex_);
  if (!OpenFile(path, forRun, error)) return false;
  if (!Recover(alive, forRun, error)) {
    db_.Close();
    return false;
  }
  return true;
}

// Each series of the rows written before version 4 names the place of its numbers.
bool Journal::FillSlots() {
  std::vector<std::string> series;
  SqliteStatement select = db_.Prepare("SELECT DISTINCT series FROM passes WHERE series <> ''");
  for (auto step = select.Step(); step != SqliteStatement::StepResult::Done; step = select.Step()) {
    if (step == SqliteStatement::StepResult::Error) return false;
    series.push_back(select.Text(0));
  }
  SqliteStatement update = db_.Prepare("UPDATE passes SET slot = ? WHERE series = ?");
  for (const std::string& s : series) {
    const std::string slot = SlotOfSeries(s);
    if (!slot.empty() && !update.Bind(1, slot).Bind(2, s).Run()) return false;
  }
  return true;
}

bool Journal::TakeDiedOnPort(const std::string& port) {
  if (pg_) return false;  // a shared journal knows a dead run by its lease, not by this host
  std::lock_guard lock(mutex_);
  const auto before = diedOnPorts_.size();
  std::erase(diedOnPorts_, port);
  return diedOnPorts_.size() != before;
}

bool Journal::AddColumn(const char* name, const char* add) {
  const auto there = db_.QueryInt(
      std::string("SELECT count(*) FROM pragma_table_info('passes') WHERE name = '") + name + "'");
  return there && (*there > 0 || db_.Exec(add));
}

bool Journal::Migrate(std::string& error) {
  Transaction t(db_);
  if (!t.Began()) return Fail("cannot be written", error);
  const auto version = db_.QueryInt("SELECT version FROM schema_version");
  if (!version) {
    const auto rows = db_.QueryInt("SELECT count(*) FROM schema_version");
    error = "the journal " + path_ +
            (rows == 0 ? " has an empty schema_version table, so its layout is unknown"
                       : " has no readable schema version (" + db_.Error() + ")") +
            ": it was left as it is";
    return false;
  }
  if (*version > kJournalSchemaVersion) {
    error = "the journal " + path_ + " was written by a newer kvxw (schema version " +
            std::to_string(*version) + "; this one knows up to " +
            std::to_string(kJournalSchemaVersion) + ")";
    return false;
  }
  if (*version < 2 && !db_.Exec(kMigrateV1ToV2)) return Fail("cannot be brought up to date", error);
  if (*version < 3 && !db_.Exec(kMigrateV2ToV3)) return Fail("cannot be brought up to date", error);
  if (*version < 4 && (!db_.Exec(kMigrateV3ToV4) || !FillSlots()))
    return Fail("cannot be brought up to date", error);
  if (*version < 5 && (!AddColumn("lot", kLotColumn) ||
                       !AddColumn("operator_name", kOperatorColumn) || !db_.Exec(kMigrateV4ToV5)))
    return Fail("cannot be brought up to date", error);
  // The program file's SHA-256: a column a kvxw that does not know it simply leaves empty.
  if (!AddColumn("program_sha256", "ALTER TABLE passes ADD COLUMN program_sha256 TEXT"))
    return Fail("cannot be brought up to date", error);
  if (db_.QueryInt("PRAGMA application_id") != kJournalApplicationId &&
      !db_.Exec("PRAGMA application_id = " + std::to_string(kJournalApplicationId)))
    return Fail("cannot be written", error);
  if (!t.Commit()) return Fail("cannot be written", error);
  return true;
}

}  // namespace kvx
