#include "core/production/pg_db.h"

#include <libpq-fe.h>

#include <cstdlib>
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

bool PgDb::Open(const std::string& name) {
  Close();
  // A server that does not answer is given up after ten seconds, and one that stops answering
  // over the network (TCP) after about thirty, rather than after the system's quarter of an
  // hour, unless the name says otherwise (a later parameter, the name's own, overrides these).
  const char* keys[] = {"connect_timeout", "keepalives_idle", "keepalives_interval",
                        "keepalives_count", "tcp_user_timeout", "application_name", "dbname",
                        nullptr};
  const char* values[] = {"10", "10", "5", "3", "30000", "kvxw", name.c_str(), nullptr};
  conn_ = PQconnectdbParams(keys, values, 1);
  if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
    TakeError();
    Close();
    return false;
  }
  // Warnings (NOTICE) are not for the operator.
  PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
  return true;
}

bool PgDb::Lost() const {
  return conn_ == nullptr || lost_ || PQstatus(conn_) == CONNECTION_BAD;
}

bool PgDb::Reconnect() {
  if (conn_ == nullptr) return false;
  PQreset(conn_);
  lost_ = false;
  if (PQstatus(conn_) != CONNECTION_OK) {
    TakeError();
    return false;
  }
  return true;
}

PgResult PgDb::Exec(std::string_view sql, const Params& params) {
  if (conn_ == nullptr) {
    error_ = "not connected";
    return PgResult();
  }
  const std::string text(sql);
  PgResult result;
  if (params.empty()) {
    result = PgResult(PQexec(conn_, text.c_str()));
  } else {
    std::vector<const char*> values;
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    result = PgResult(PQexecParams(conn_, text.c_str(), static_cast<int>(values.size()), nullptr,
                                   values.data(), nullptr, nullptr, 0));
  }
  if (!result.Ok()) {
    TakeError();
    // A statement the server never answered (libpq's own failure, without a state), or one it
    // broke off because it is going down: the connection is gone, though libpq may not say so
    // before the next call.
    const std::string state = result.SqlState();
    lost_ = lost_ || PQstatus(conn_) == CONNECTION_BAD || state.empty() ||
            state.starts_with("08") || state.starts_with("57P");
  }
  return result;
}

}  // namespace kvx
