#include "core/production/pg_db.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <utility>

#include "core/production/journal_name.h"

namespace kvx {

bool IsPostgresName(std::string_view name) {
  return ParseJournalName(name).kind == JournalName::Kind::Server;
}

std::string PostgresDisplayName(const std::string& name) { return ParseJournalName(name).shown; }

bool IsRetryableConflict(std::string_view sqlState) {
  return sqlState == "40001" || sqlState == "40P01";
}

PgResult::~PgResult() {
  if (result_ != nullptr) PQclear(result_);
}

PgResult::PgResult(PgResult&& other) noexcept : result_(std::exchange(other.result_, nullptr)) {}

PgResult& PgResult::operator=(PgResult&& other) noexcept {
  if (this != &other) {
    if (result_ != nullptr) PQclear(result_);
    result_ = std::exchange(other.result_, nullptr);
  }
  return *this;
}

bool PgResult::Ok() const {
  if (result_ == nullptr) return false;
  const ExecStatusType status = PQresultStatus(result_);
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

int PgResult::Rows() const { return result_ != nullptr ? PQntuples(result_) : 0; }

int PgResult::Affected() const {
  return result_ != nullptr ? std::atoi(PQcmdTuples(result_)) : 0;
}

std::string PgResult::Text(int row, int column) const {
  if (result_ == nullptr || row >= Rows() || column >= PQnfields(result_)) return {};
  return std::string(PQgetvalue(result_, row, column),
                     static_cast<std::size_t>(PQgetlength(result_, row, column)));
}

long long PgResult::Int(int row, int column) const {
  return std::strtoll(Text(row, column).c_str(), nullptr, 10);
}

bool PgResult::IsNull(int row, int column) const {
  return result_ == nullptr || row >= Rows() || PQgetisnull(result_, row, column) != 0;
}

std::string PgResult::SqlState() const {
  if (result_ == nullptr) return {};
  const char* state = PQresultErrorField(result_, PG_DIAG_SQLSTATE);
  return state != nullptr ? state : "";
}

std::string DurationText(std::chrono::milliseconds span) {
  const long long ms = span.count();
  if (ms < 1000) return std::to_string(ms) + " ms";
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  std::string text = std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 + 1000).substr(1);
  while (text.back() == '0') text.pop_back();
  return text + " s";
}

// The end of one call's waits: its time-out, or kPgStopGrace after its stop token was seen
// triggered.
class PgDb::Bound {
 public:
  using Clock = std::chrono::steady_clock;
  Bound(std::chrono::milliseconds timeout, std::stop_token stop)
      : limit_(Clock::now() + timeout), stop_(std::move(stop)) {}

  // Failure::None while the call may wait on, for at most `slice` more.
  Failure Check(std::chrono::milliseconds& slice) {
    const auto now = Clock::now();
    if (!stopLimit_ && stop_.stop_requested()) stopLimit_ = now + kPgStopGrace;
    if (stopLimit_ && now >= *stopLimit_) return Failure::Stopped;
    if (now >= limit_) return Failure::TimedOut;
    // Short slices: a stop token cannot be polled with the socket.
    const auto end = stopLimit_ ? std::min(limit_, *stopLimit_) : limit_;
    slice = std::clamp(std::chrono::ceil<std::chrono::milliseconds>(end - now),
                       std::chrono::milliseconds(1), std::chrono::milliseconds(50));
    return Failure::None;
  }

 private:
  Clock::time_point limit_;
  std::stop_token stop_;
  std::optional<Clock::time_point> stopLimit_;
};

PgDb::~PgDb() { Close(); }

void PgDb::Close() {
  if (conn_ != nullptr) PQfinish(conn_);
  conn_ = nullptr;
}

void PgDb::TakeError() {
  error_ = conn_ != nullptr ? PQerrorMessage(conn_) : "out of memory";
  while (!error_.empty() && (error_.back() == '\n' || error_.back() == ' ')) error_.pop_back();
  // libpq's messages may run over several lines ("FATAL: ...\nDETAIL: ..."): one line each.
  std::string line;
  for (char c : error_) {
    if (c == '\n') line += "; ";
    else if (c != '\t') line += c;
  }
  error_ = HidePasswords(line);
}

PgDb::Failure PgDb::Await(bool write, Bound& bound) {
  for (;;) {
    std::chrono::milliseconds slice{};
    if (const Failure over = bound.Check(slice); over != Failure::None) return over;
    pollfd fd{PQsocket(conn_), static_cast<short>(POLLIN | (write ? POLLOUT : 0)), 0};
    if (fd.fd < 0) return Failure::Lost;
    const int ready = ::poll(&fd, 1, static_cast<int>(slice.count()));
    if (ready > 0) return Failure::None;
    if (ready < 0 && errno != EINTR) return Failure::Lost;
  }
}

void PgDb::Abandon(Failure why) {
  failure_ = why;
  lost_ = true;
  error_ = why == Failure::Stopped ? "stopped while waiting for the server"
                                   : "no answer from the server within " + DurationText(timeout_);
  // The server may still be running the statement: it is asked to cancel it. That request waits
  // for the server as the statement did, so it goes on a thread of its own, which owns all it uses.
  if (PQtransactionStatus(conn_) == PQTRANS_ACTIVE) {
    if (PGcancel* cancel = PQgetCancel(conn_)) {
      std::thread([cancel] {
        char reason[256];
        PQcancel(cancel, reason, sizeof reason);
        PQfreeCancel(cancel);
      }).detach();
    }
  }
  Close();
}

bool PgDb::Open(const std::string& name, std::stop_token stop) {
  Close();
  name_ = name;
  lost_ = false;
  failure_ = Failure::None;
  // One that stops answering over the network (TCP) is noticed by the system after about thirty
  // seconds, rather than its quarter of an hour, unless the name says otherwise (a later
  // parameter, the name's own, overrides these).
  const char* keys[] = {"keepalives_idle", "keepalives_interval", "keepalives_count",
                        "tcp_user_timeout", "application_name", "dbname", nullptr};
  const char* values[] = {"10", "5", "3", "30000", "kvxw", name.c_str(), nullptr};
  conn_ = PQconnectStartParams(keys, values, 1);
  auto fail = [&](Failure why) {
    failure_ = why;
    if (why == Failure::Lost) TakeError();
    else error_ = why == Failure::Stopped ? "stopped while connecting"
                                          : "no answer from the server within " +
                                                DurationText(ConnectTimeout(name));
    Close();
    return false;
  };
  if (conn_ == nullptr || PQstatus(conn_) == CONNECTION_BAD) return fail(Failure::Lost);
  Bound bound(ConnectTimeout(name), stop);
  for (PostgresPollingStatusType state = PGRES_POLLING_WRITING; state != PGRES_POLLING_OK;
       state = PQconnectPoll(conn_)) {
    if (state == PGRES_POLLING_FAILED) return fail(Failure::Lost);
    if (const Failure over = Await(state == PGRES_POLLING_WRITING, bound); over != Failure::None)
      return fail(over);
  }
  PQsetnonblocking(conn_, 1);
  // Warnings (NOTICE) are not for the operator.
  PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
  if (!sessionSetup_.empty() && !Run(sessionSetup_, {}, stop)) {
    Close();
    return false;
  }
  return true;
}

std::chrono::milliseconds PgDb::ConnectTimeout(const std::string& name) const {
  // libpq's own connect_timeout in the name (seconds; less than 2 counts as 2, 0 as none).
  PQconninfoOption* options = PQconninfoParse(name.c_str(), nullptr);
  long seconds = 0;
  for (PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr; ++o)
    if (std::string_view(o->keyword) == "connect_timeout" && o->val != nullptr)
      seconds = std::atol(o->val);
  if (options != nullptr) PQconninfoFree(options);
  if (seconds <= 0) return timeout_;
  return std::min(timeout_, std::chrono::milliseconds(std::max(seconds, 2L) * 1000));
}

bool PgDb::Lost() const {
  return conn_ == nullptr || lost_ || PQstatus(conn_) == CONNECTION_BAD;
}

bool PgDb::Reconnect(std::stop_token stop) {
  if (name_.empty()) return false;
  return Open(std::string(name_), stop);
}

PgResult PgDb::Exec(std::string_view sql, const Params& params, std::stop_token stop) {
  failure_ = Failure::None;
  if (conn_ == nullptr) {
    error_ = "not connected";
    failure_ = Failure::Lost;
    return PgResult();
  }
  const std::string text(sql);
  std::vector<const char*> values;
  for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
  const int sent = params.empty()
                       ? PQsendQuery(conn_, text.c_str())
                       : PQsendQueryParams(conn_, text.c_str(), static_cast<int>(values.size()),
                                           nullptr, values.data(), nullptr, nullptr, 0);
  Bound bound(timeout_, stop);
  PgResult result;
  bool failed = sent == 0;
  bool writing = true;
  bool keptFailure = false;
  while (!failed) {
    if (writing) {
      const int flushed = PQflush(conn_);
      failed = flushed < 0;
      writing = flushed == 1;
    }
    if (!failed && !writing && PQisBusy(conn_) == 0) {
      // The statements' results, in order: the first that failed is kept, else the last.
      pg_result* next = PQgetResult(conn_);
      if (next == nullptr) break;
      PgResult got(next);
      if (!keptFailure) {
        keptFailure = !got.Ok();
        result = std::move(got);
      }
      continue;
    }
    if (failed) break;
    if (const Failure over = Await(writing, bound); over != Failure::None) {
      if (over == Failure::Lost) {
        failed = true;
        break;
      }
      Abandon(over);
      return PgResult();
    }
    failed = PQconsumeInput(conn_) == 0;
  }
  if (!result.Ok() || failed) {
    TakeError();
    // A statement the server never answered (libpq's own failure, without a state), or one it
    // broke off because it is going down: the connection is gone, though libpq may not say so
    // before the next call.
    const std::string state = failed ? std::string() : result.SqlState();
    lost_ = lost_ || PQstatus(conn_) == CONNECTION_BAD || state.empty() ||
            state.starts_with("08") || state.starts_with("57P");
    failure_ = lost_ ? Failure::Lost : Failure::Statement;
    if (failed) return PgResult();
  }
  return result;
}

}  // namespace kvx
