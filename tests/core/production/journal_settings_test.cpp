#include "core/production/journal_settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kvx {
namespace {

namespace fs = std::filesystem;

TEST(JournalSettings, TheJournalLineNamesAFileOrASharedJournal) {
  const fs::path dir = fs::temp_directory_path() / ("kvx-settings-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string start = dir.string();
  const struct {
    const char* ini;  // nullptr: no KvxWriter.ini
    std::string journal;
  } cases[] = {
      {nullptr, start + "/kvx-journal.db"},
      {"port=COM3\r\n", start + "/kvx-journal.db"},
      {"port=COM3\r\njournal = postgresql://kvx@db.floor/production \r\n",
       "postgresql://kvx@db.floor/production"},
      {"journal=service=floor\n", "service=floor"},
      {"# journal=/not/this.db\njournal=line2.db\n", start + "/line2.db"},
      {"; comment\njournal=/var/kvx/journal.db\n", "/var/kvx/journal.db"},
      {"journal=\n", start + "/kvx-journal.db"},
      {"journal=dbname=kvx host=db.floor\n", "dbname=kvx host=db.floor"},
      // Neither a file nor a server: opening it says so, rather than making a file.
      {"journal=postgresql:kvxp\n", "postgresql:kvxp"},
      {"journal=./dbname=kvx\n", start + "/./dbname=kvx"},
  };
  for (const auto& c : cases) {
    fs::remove(dir / kSettingsFileName);
    if (c.ini != nullptr) std::ofstream(dir / kSettingsFileName) << c.ini;
    EXPECT_EQ(DesktopJournalName(start), c.journal) << (c.ini ? c.ini : "no file");
  }
  fs::remove_all(dir);
}

// The time-out a shared journal's calls wait for the server: kvxw's --journal-timeout and the
// desktop's journal_timeout= take the same seconds, and a value that is not one is refused.
TEST(JournalSettings, TheJournalTimeoutIsSecondsFromATenthToAnHour) {
  const fs::path dir = fs::temp_directory_path() / ("kvx-timeout-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const struct {
    const char* ini;  // nullptr: no KvxWriter.ini
    long long ms;     // -1: refused
  } cases[] = {
      {nullptr, 15000},          {"port=COM3\n", 15000},      {"journal_timeout=30\n", 30000},
      {"journal_timeout = 0.5\r\n", 500}, {"journal_timeout=3600\n", 3600000},
      {"journal_timeout=0\n", -1}, {"journal_timeout=0.05\n", -1}, {"journal_timeout=3601\n", -1},
      {"journal_timeout=15s\n", -1}, {"journal_timeout=-5\n", -1},  {"journal_timeout=nan\n", -1},
  };
  for (const auto& c : cases) {
    fs::remove(dir / kSettingsFileName);
    if (c.ini != nullptr) std::ofstream(dir / kSettingsFileName) << c.ini;
    std::chrono::milliseconds timeout{};
    std::string error;
    const bool ok = DesktopJournalTimeout(dir.string(), timeout, error);
    EXPECT_EQ(ok ? timeout.count() : -1, c.ms) << (c.ini ? c.ini : "no file") << error;
    if (!ok) {
      EXPECT_NE(error.find("KvxWriter.ini: journal_timeout '"), std::string::npos) << error;
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kvx
