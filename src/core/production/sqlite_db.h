// A thin owner of an SQLite connection and its prepared statements, on SQLite's C API. Nothing
// here throws: every call reports failure by its return value, and the connection's last error
// text says why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace kvx {

class SqliteStatement;

class SqliteDb {
 public:
  SqliteDb() = default;
  ~SqliteDb();
  SqliteDb(SqliteDb&& other) noexcept;
  SqliteDb& operator=(SqliteDb&& other) noexcept;
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  // Opens (or creates, when `create`) the database file at `path`; false with Error() set.
  bool Open(const std::string& path, bool create);
  bool IsOpen() const { return db_ != nullptr; }
  void Close();

  // Runs one or more statements that return no rows.
  bool Exec(std::string_view sql);
  // The first column of the first row of `sql`, or nothing (no row, or an error).
  std::optional<std::int64_t> QueryInt(std::string_view sql);
  SqliteStatement Prepare(std::string_view sql);

  std::int64_t LastInsertId() const;
  int Changes() const;
  const std::string& Error() const { return error_; }
  // Whether the last failure was another connection's lock (SQLITE_BUSY or SQLITE_LOCKED, with
  // any of their extended codes).
  bool Busy() const;
  static bool IsBusyCode(int code);  // an SQLite result code, extended or primary
  // Sets the error text from the connection's last error, prefixed with `what`.
  bool Fail(std::string_view what);

 private:
  friend class SqliteStatement;
  sqlite3* db_ = nullptr;
  std::string error_;
};

// A prepared statement: bind by 1-based index, Step() through the rows, read columns by 0-based
// index. Reset() makes it ready to run again with new bindings.
class SqliteStatement {
 public:
  enum class StepResult { Row, Done, Error };

  SqliteStatement() = default;
  SqliteStatement(SqliteDb& db, sqlite3_stmt* stmt) : db_(&db), stmt_(stmt) {}
  ~SqliteStatement();
  SqliteStatement(SqliteStatement&& other) noexcept;
  SqliteStatement& operator=(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  bool Ok() const { return stmt_ != nullptr; }
  SqliteStatement& Bind(int index, std::string_view text);
  SqliteStatement& Bind(int index, std::int64_t value);
  SqliteStatement& BindNull(int index);
  StepResult Step();
  // Runs a statement that returns no rows; false (with the connection's error set) on failure.
  bool Run();
  void Reset();

  std::string Text(int column) const;
  std::int64_t Int(int column) const;
  bool IsNull(int column) const;

 private:
  SqliteDb* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

// The version of the SQLite library the program runs with ("3.40.1").
const char* SqliteLibraryVersion();

}  // namespace kvx
