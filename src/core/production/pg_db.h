// A thin owner of a PostgreSQL connection and its results, on libpq. Nothing here throws: every
// call reports failure by its return value, and Error() holds the server's (or libpq's) reason.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace kvx {

// Whether `name` names a PostgreSQL database rather than a file, and how messages name it
// without its password: ParseJournalName (journal_name.h) decides both.
bool IsPostgresName(std::string_view name);
std::string PostgresDisplayName(const std::string& name);

// Whether a statement failed for a conflict with another transaction that the server settled by
// rolling this one back, a serialization failure (40001) or a deadlock (40P01): nothing of it was
// written, and run again it may well go through.
bool IsRetryableConflict(std::string_view sqlState);

// Runs `call` again while it fails for such a conflict, up to `attempts` runs in all, after a wait
// (handed to `wait`) that doubles from `firstWait`; returns the last run's result.
template <class Call, class Wait>
auto RetryConflicts(Call call, Wait wait, int attempts, std::chrono::milliseconds firstWait) {
  auto result = call();
  for (int run = 1; run < attempts && !result.Ok() && IsRetryableConflict(result.SqlState());
       ++run) {
    wait(firstWait * (1 << (run - 1)));
    result = call();
  }
  return result;
}

class PgResult {
 public:
  PgResult() = default;
  explicit PgResult(pg_result* result) : result_(result) {}
  ~PgResult();
  PgResult(PgResult&& other) noexcept;
  PgResult& operator=(PgResult&& other) noexcept;
  PgResult(const PgResult&) = delete;
  PgResult& operator=(const PgResult&) = delete;

  bool Ok() const;  // the statement ran (with or without rows)
  int Rows() const;
  int Affected() const;  // rows an INSERT, UPDATE or DELETE touched
  std::string Text(int row, int column) const;
  long long Int(int row, int column) const;
  bool IsNull(int row, int column) const;
  std::string SqlState() const;  // "23505" for a unique violation; empty when it ran

 private:
  pg_result* result_ = nullptr;
};

class PgDb {
 public:
  using Params = std::vector<std::optional<std::string>>;  // nothing: SQL NULL

  PgDb() = default;
  ~PgDb();
  PgDb(const PgDb&) = delete;
  PgDb& operator=(const PgDb&) = delete;

  // Connects to `name` (a URI or "service=NAME"); false with Error() set to the server's reason.
  bool Open(const std::string& name);
  bool IsOpen() const { return conn_ != nullptr; }
  void Close();
  // Whether the connection is lost (the server went away or restarted): known for sure only once
  // a statement failed for it.
  bool Lost() const;
  // Connects again with the same parameters; false with Error() set when it cannot.
  bool Reconnect();

  // Runs `sql` (several statements when there are no parameters). A failure sets Error().
  PgResult Exec(std::string_view sql, const Params& params = {});
  bool Run(std::string_view sql, const Params& params = {}) { return Exec(sql, params).Ok(); }

  const std::string& Error() const { return error_; }

 private:
  void TakeError();
  pg_conn* conn_ = nullptr;
  std::string error_;
  bool lost_ = false;
};

}  // namespace kvx
