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

}  // namespace
}  // namespace kvx
