// A configuration whose program file cannot be read: the message says which file and why, and
// opening such a configuration counts as a stopped load.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "core/files/config_file.h"
#include "core/files/file_fixture.h"
#include "core/files/program_file.h"

namespace kvx {
namespace {

std::string Cfg(const std::string& program) {
  std::string text = "kvx" + program + '\x0F';
  for (const char* t : {"Com2", "KVX-03", "XT", "Enable", "Enable", "Disable", "Disable", "Blank",
                        "ABCD", "0", "0", "0", "16", "1", "0A", "1", "0", "0"})
    text += std::string(t) + ' ';
  return text + std::string(34, '\x11');
}

TEST(ConfigReloadTest, AProgramFileThatCannotBeReadIsNamedWithTheReasonAndStopsTheLoad) {
  test::ScratchDir dir;
  const std::string fifo = dir.Path("fifo.bin");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = dir.Path("folder.bin");
  std::filesystem::create_directory(folder);
  const struct {
    std::string program;
    std::string message;
  } cases[] = {
      {fifo, "'" + fifo + "' file can't open: it is not a regular file"},
      {folder, "'" + folder + "' file can't open: it is a directory"},
      {dir.Path("gone.bin"), "'" + dir.Path("gone.bin") + "' file do not find!"},
      {dir.Write("short.bin", std::string(10, '\0')), "File size unmatch!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    auto ws = test::WorkspaceFor("KVX-03");
    ws->image.ProgramBuffer.fill(0x55);
    const LoadReport r = OpenProgramFile(*ws, dir.Write("t.cfg", Cfg(c.program)));
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.messages, std::vector<std::string>{c.message});
    EXPECT_NE(ws->image.ProgramBuffer[0], 0x55) << "the workspace is reset";
  }
}

TEST(ConfigReloadTest, EveryCutOfASavedConfigurationStopsTheLoad) {
  test::ScratchDir dir;
  auto saved = test::WorkspaceFor("KVX-03");
  saved->files.LastProgramPath = dir.Write("p.bin", std::string(1024, '\0'));
  const std::string good = SaveCfg(*saved);
  for (std::size_t size = 0; size < good.size(); ++size) {
    auto ws = test::WorkspaceFor("KVX-03");
    const LoadReport r = OpenProgramFile(*ws, dir.Write("cut.cfg", good.substr(0, size)));
    EXPECT_TRUE(r.stopped) << size;
    EXPECT_FALSE(r.messages.empty()) << size;
  }
  auto ws = test::WorkspaceFor("KVX-03");
  EXPECT_FALSE(OpenProgramFile(*ws, dir.Write("whole.cfg", good)).stopped);
}

}  // namespace
}  // namespace kvx
