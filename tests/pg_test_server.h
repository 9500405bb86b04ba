// What the tests of the shared journal need of a PostgreSQL server: the throwaway server the test
// script started (KVX_TEST_PG), a fresh database on it per test, and a server of a test's own that
// it may crash and restart. Without a server these tests skip and say why; in CI (CI=true) they
// fail instead, since CI installs the server.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/production/pg_db.h"

namespace kvx::test {

inline bool InCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

// The test server's URI, or empty with the reason there is none.
inline std::string TestServerUri(std::string& why) {
  const char* uri = std::getenv("KVX_TEST_PG");
  if (uri != nullptr && *uri != '\0') return uri;
  why = "no PostgreSQL server to test against: KVX_TEST_PG is not set (scripts/test.sh starts "
        "one; it needs the Debian package postgresql)";
  return {};
}

// In SetUp or a test body: `uri` gets the test server's URI, or the test skips (fails in CI).
#define KVX_NEED_TEST_PG(uri)                           \
  do {                                                  \
    std::string why_;                                   \
    uri = ::kvx::test::TestServerUri(why_);             \
    if (uri.empty()) {                                  \
      if (::kvx::test::InCi()) FAIL() << why_;          \
      GTEST_SKIP() << why_;                             \
    }                                                   \
  } while (0)

// `uri` ("postgresql:///DB?host=...") naming the database `db` instead.
inline std::string WithDatabase(const std::string& uri, const std::string& db) {
  const auto query = uri.find('?');
  const auto slash = uri.rfind('/', query);
  return uri.substr(0, slash + 1) + db + (query == std::string::npos ? "" : uri.substr(query));
}

// `uri` with another user (and password, when given).
inline std::string WithUser(const std::string& uri, const std::string& user,
                            const std::string& password = {}) {
  std::string out = uri;
  const auto at = out.find("user=");
  if (at != std::string::npos) out.erase(at, out.find('&', at) == std::string::npos
                                                 ? std::string::npos
                                                 : out.find('&', at) + 1 - at);
  if (!out.empty() && (out.back() == '&' || out.back() == '?')) out.pop_back();
  out += (out.find('?') == std::string::npos ? "?" : "&") + std::string("user=") + user;
  if (!password.empty()) out += "&password=" + password;
  return out;
}

// A fresh database on the server for one test, dropped afterwards.
class TestDatabase {
 public:
  // False with the server's reason when it cannot be created.
  bool Create(const std::string& serverUri, std::string& error) {
    static std::atomic<int> counter{0};
    name_ = "kvx_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    serverUri_ = serverUri;
    PgDb admin;
    if (!admin.Open(serverUri) || !admin.Run("CREATE DATABASE " + name_)) {
      error = admin.Error();
      name_.clear();
      return false;
    }
    return true;
  }
  ~TestDatabase() {
    if (name_.empty()) return;
    PgDb admin;
    if (admin.Open(serverUri_)) admin.Run("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
  }
  std::string Uri() const { return WithDatabase(serverUri_, name_); }

 private:
  std::string serverUri_;
  std::string name_;
};

// A PostgreSQL server of the test's own (scripts/pg_test_server.sh), removed afterwards.
class OwnServer {
 public:
  // False with the script's output when it cannot be started.
  bool Start(std::string& error) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvx-pg-own-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return error = "no temporary folder", false;
    dir_ = pattern;
    uri_ = Script("start");
    while (!uri_.empty() && uri_.back() == '\n') uri_.pop_back();
    if (!uri_.starts_with("postgresql://")) return error = "the server did not start: " + uri_, false;
    return true;
  }
  ~OwnServer() {
    if (!dir_.empty()) Script("stop");
  }
  // A streaming standby of `primary` instead of a server of its own.
  bool StartStandbyOf(const OwnServer& primary, std::string& error) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvx-pg-own-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return error = "no temporary folder", false;
    dir_ = pattern;
    uri_ = Script("standby '" + primary.dir_ + "'");
    while (!uri_.empty() && uri_.back() == '\n') uri_.pop_back();
    if (!uri_.starts_with("postgresql://")) return error = "the standby did not start: " + uri_, false;
    return true;
  }
  const std::string& Uri() const { return uri_; }
  const std::string& Folder() const { return dir_; }  // its socket's folder
  void Crash() { Script("crash"); }
  void Restart() { Script("restart"); }
  void Promote() { Script("promote"); }

 private:
  std::string Script(const std::string& verb) {
    const std::string command =
        std::string(KVX_PG_TEST_SERVER) + " " + verb + " '" + dir_ + "' 2>&1";
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
      char buffer[512];
      while (std::fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
      ::pclose(p);
    }
    return out;
  }
  std::string dir_;
  std::string uri_;
};

}  // namespace kvx::test
