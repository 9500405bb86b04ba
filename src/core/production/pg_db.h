// A thin owner of a PostgreSQL connection and its results, on libpq. Nothing here throws: every
// call reports failure by its return value, and Error() holds the server's (or libpq's) reason.
//
// No call waits for the server for ever: connecting and every statement run on libpq's
// non-blocking calls, polling the connection's socket in short slices, and give up after the
// time-out (SetTimeout), or kPgStopGrace after the caller's stop token was triggered. A statement
// given up on is cancelled on the server and its connection dropped (Lost()), since what the
// server did with it can no longer be known from that connection.
#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
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

// How long a call may wait for the server unless told otherwise.
inline constexpr std::chrono::milliseconds kPgDefaultTimeout{15000};
// How long a call still waits once its stop token was triggered: enough for a server that
// answers to write what it was asked (the end of a stopped pass), short enough for the operator.
inline constexpr std::chrono::milliseconds kPgStopGrace{500};

// "15 s", "1.5 s", "300 ms": a time-out as messages give it.
std::string DurationText(std::chrono::milliseconds span);

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

  // Why the last call failed.
  enum class Failure {
    None,
    Statement,  // the server refused or rolled back the statement; the connection is fine
    Lost,       // the connection failed or was never made (the server went away, restarts, refuses)
    TimedOut,   // the server did not answer within the time-out
    Stopped,    // the caller's stop token ended the wait
  };

  // How long each later call may wait for the server (default kPgDefaultTimeout). Connecting
  // waits no longer than a connect_timeout the name gives.
  void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  std::chrono::milliseconds Timeout() const { return timeout_; }

  // Statements run on every new connection before it is used (session settings); a connection
  // that refuses them counts as one that could not be made.
  void SetSessionSetup(std::string sql) { sessionSetup_ = std::move(sql); }

  // Connects to `name` (a URI or "service=NAME"); false with Error() set to the server's reason.
  bool Open(const std::string& name, std::stop_token stop = {});
  bool IsOpen() const { return conn_ != nullptr; }
  void Close();
  // Whether the connection is lost (the server went away or restarted, or a wait for it was given
  // up): known for sure only once a statement failed for it.
  bool Lost() const;
  // Connects again with the same parameters; false with Error() set when it cannot.
  bool Reconnect(std::stop_token stop = {});

  // Runs `sql` (several statements when there are no parameters). A failure sets Error().
  PgResult Exec(std::string_view sql, const Params& params = {}, std::stop_token stop = {});
  bool Run(std::string_view sql, const Params& params = {}, std::stop_token stop = {}) {
    return Exec(sql, params, stop).Ok();
  }

  const std::string& Error() const { return error_; }
  Failure LastFailure() const { return failure_; }

 private:
  class Bound;
  void TakeError();
  // Waits until the socket is ready (to read, or to write when `write`); a failure when the wait
  // was given up.
  Failure Await(bool write, Bound& bound);
  // Gives up a wait: the statement under way is cancelled on the server, the connection closed.
  void Abandon(Failure why);
  // The time-out, or the name's shorter connect_timeout.
  std::chrono::milliseconds ConnectTimeout(const std::string& name) const;
  pg_conn* conn_ = nullptr;
  std::string name_;  // what Open was given, for Reconnect
  std::string sessionSetup_;
  std::chrono::milliseconds timeout_ = kPgDefaultTimeout;
  std::string error_;
  bool lost_ = false;
  Failure failure_ = Failure::None;
};

}  // namespace kvx
