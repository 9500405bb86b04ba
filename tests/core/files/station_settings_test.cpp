#include "core/files/station_settings.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "core/files/config_file.h"
#include "file_fixture.h"

namespace kvx {
namespace {

TEST(StationSettings, OnlyTheChangedKeysLinesChange) {
  const struct {
    const char* before;
    SettingChanges changes;
    const char* after;
  } cases[] = {
      {"", {{"port", "Com1"}}, "port=Com1\n"},
      {"journal=postgresql://kvx@db/floor\nport=Com2\n", {{"port", "Com1"}},
       "journal=postgresql://kvx@db/floor\nport=Com1\n"},
      {"# the floor's journal\r\njournal=service=floor\r\nport = Com2\r\n", {{"port", "Com3"}},
       "# the floor's journal\r\njournal=service=floor\r\nport=Com3\r\n"},
      {"journal=a.db", {{"port", "Com1"}}, "journal=a.db\nport=Com1\n"},
      {"; port=Com9\n\nlot=A7\n", {{"port", "Com1"}, {"tiles", "8"}},
       "; port=Com9\n\nlot=A7\nport=Com1\ntiles=8\n"},
      // The last line of a key is the one that counts, so it is the one that changes.
      {"port=Com2\nport=Com4\njournal=x.db", {{"port", "Com5"}},
       "port=Com2\nport=Com5\njournal=x.db"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    const std::string after = WithSettings(c.before, c.changes);
    EXPECT_EQ(after, c.after);
    for (const auto& [key, value] : c.changes) EXPECT_EQ(SettingValue(after, key), value);
  }
}

// The shared journal's address survives the program's exit, and so does the file's mode: it may
// hold a password.
TEST(StationSettings, ExitKeepsTheJournalLineTheModeAndALinksTarget) {
  test::ScratchDir dir;
  const std::string ini = dir.Write(kSettingsFileName,
                                    "journal=postgresql://kvx:pw@db/floor\nport=Com1\n");
  ASSERT_EQ(::chmod(ini.c_str(), 0600), 0);
  auto ws = test::WorkspaceFor("KVX-03");
  ws->files.StartDir = dir.Dir();
  ws->settings.PortName = "/dev/ttyUSB0";
  EXPECT_EQ(SaveDefaultConfig(*ws), "");
  EXPECT_EQ(dir.Read(kSettingsFileName), "journal=postgresql://kvx:pw@db/floor\nport=/dev/ttyUSB0\n");
  struct stat st {};
  ASSERT_EQ(::stat(ini.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  // A settings file kept elsewhere and linked in: the link stays a link.
  const std::string real = dir.Write("shared.ini", "journal=service=floor\n");
  std::filesystem::remove(ini);
  std::filesystem::create_symlink(real, ini);
  EXPECT_EQ(UpdateSettings(ini, {{"port", "Com4"}}), "");
  EXPECT_TRUE(std::filesystem::is_symlink(ini));
  EXPECT_EQ(dir.Read("shared.ini"), "journal=service=floor\nport=Com4\n");
}

TEST(StationSettings, AFileThatCannotBeReadIsLeftAlone) {
  test::ScratchDir dir;
  std::filesystem::create_directory(dir.Path("dir.ini"));
  EXPECT_EQ(UpdateSettings(dir.Path("dir.ini"), {{"port", "Com1"}}),
            "'" + dir.Path("dir.ini") + "' file can't be written!");
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path("dir.ini")));
  EXPECT_NE(UpdateSettings(dir.Path("none/KvxWriter.ini"), {{"port", "Com1"}}), "");
}

}  // namespace
}  // namespace kvx
