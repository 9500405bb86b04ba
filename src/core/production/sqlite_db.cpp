#include "core/production/sqlite_db.h"

#include <sqlite3.h>

#include <utility>

namespace kvx {

const char* SqliteLibraryVersion() { return sqlite3_libversion(); }

SqliteDb::~SqliteDb() { Close(); }

SqliteDb::SqliteDb(SqliteDb&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), error_(std::move(other.error_)) {}

SqliteDb& SqliteDb::operator=(SqliteDb&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = std::exchange(other.db_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

bool SqliteDb::Open(const std::string& path, bool create) {
  Close();
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) |
                    SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    error_ = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    Close();
    return false;
  }
  sqlite3_extended_result_codes(db_, 1);
  return true;
}

void SqliteDb::Close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool SqliteDb::Fail(std::string_view what) {
  error_ = std::string(what);
  if (db_ != nullptr) {
    if (!error_.empty()) error_ += ": ";
    error_ += sqlite3_errmsg(db_);
  }
  return false;
}

bool SqliteDb::Exec(std::string_view sql) {
  if (db_ == nullptr) return Fail("not open");
  const std::string text(sql);
  char* message = nullptr;
  if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  error_ = message != nullptr ? message : sqlite3_errmsg(db_);
  sqlite3_free(message);
  return false;
}

bool SqliteDb::Busy() const { return db_ != nullptr && IsBusyCode(sqlite3_errcode(db_)); }

bool SqliteDb::IsBusyCode(int code) {
  // Extended result codes are on: SQLITE_BUSY_RECOVERY, SQLITE_BUSY_SNAPSHOT, SQLITE_LOCKED_
  // SHAREDCACHE and the others carry their primary code in the low byte.
  const int primary = code & 0xFF;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

std::optional<std::int64_t> SqliteDb::QueryInt(std::string_view sql) {
  SqliteStatement statement = Prepare(sql);
  if (!statement.Ok() || statement.Step() != SqliteStatement::StepResult::Row) return {};
  return statement.Int(0);
}

SqliteStatement SqliteDb::Prepare(std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  if (db_ == nullptr) {
    Fail("not open");
    return {};
  }
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr) !=
      SQLITE_OK) {
    Fail("");
    return {};
  }
  return {*this, stmt};
}

std::int64_t SqliteDb::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }
int SqliteDb::Changes() const { return sqlite3_changes(db_); }

SqliteStatement::~SqliteStatement() {
  if (stmt_ != nullptr) sqlite3_finalize(stmt_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    if (stmt_ != nullptr) sqlite3_finalize(stmt_);
    db_ = other.db_;
    stmt_ = std::exchange(other.stmt_, nullptr);
  }
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text) {
  if (stmt_ != nullptr)
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value) {
  if (stmt_ != nullptr) sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index) {
  if (stmt_ != nullptr) sqlite3_bind_null(stmt_, index);
  return *this;
}

SqliteStatement::StepResult SqliteStatement::Step() {
  if (stmt_ == nullptr) return StepResult::Error;
  switch (sqlite3_step(stmt_)) {
    case SQLITE_ROW:
      return StepResult::Row;
    case SQLITE_DONE:
      return StepResult::Done;
    default:
      db_->Fail("");
      return StepResult::Error;
  }
}

bool SqliteStatement::Run() {
  const bool ok = Step() == StepResult::Done;
  Reset();
  return ok;
}

void SqliteStatement::Reset() {
  if (stmt_ == nullptr) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::string SqliteStatement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  if (text == nullptr) return {};
  return {reinterpret_cast<const char*>(text),
          static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}

std::int64_t SqliteStatement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

bool SqliteStatement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

}  // namespace kvx
