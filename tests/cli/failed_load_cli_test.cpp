// A configuration that does not load: every file command exits 1 with the file's message and
// writes nothing, and a device command refuses it with that message before the Writer is asked.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_support.h"
#include "core/device/workspace_ops.h"
#include "core/files/config_file.h"

namespace kvx::cli::test {
namespace {

class FailedLoadCli : public CliTest {
 protected:
  // A configuration as the program saves it, naming `program` for KVX-03.
  std::string SavedCfg(const std::string& program) const {
    Workspace ws;
    ws.device.SelectedDevice = "KVX-03";
    ResetData(ws);
    ws.files.LastProgramPath = program;
    return SaveCfg(ws);
  }
};

TEST_F(FailedLoadCli, FileCommandsExitOneWithTheMessageAndLeaveTheOutputAlone) {
  const std::string program = Write("p.bin", std::string(1024, '\x01'));
  const std::string good = SavedCfg(program);
  const std::string fifo = Path("fifo.bin");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(Path("dir.bin"));
  const std::string image = std::string(1023, '\x2A') + '\x15';
  const std::string out = Write("good.bin", image);
  struct Case {
    std::string name;
    std::string bytes;
    std::string message;
  };
  std::vector<Case> cases = {
      {"start.cfg", "xyz" + good.substr(3), "'" + Path("start.cfg") + "' file data error!"},
      {"missing.cfg", SavedCfg(Path("gone.bin")), "'" + Path("gone.bin") + "' file do not find!"},
      {"fifo.cfg", SavedCfg(fifo), "'" + fifo + "' file can't open: it is not a regular file"},
      {"dir.cfg", SavedCfg(Path("dir.bin")), "'" + Path("dir.bin") + "' file can't open: it is a directory"},
      {"size.cfg", SavedCfg(Write("short.bin", "ab")), "File size unmatch!"},
      {"notes.kvh", "a note, no record\n", "File holds no Intel HEX record!"},
      {"notes.cfg", SavedCfg(Write("notes.hex", "\n")), "File holds no Intel HEX record!"},
  };
  for (std::size_t size = 0; size < good.size(); size += 7)
    cases.push_back({"cut" + std::to_string(size) + ".cfg", good.substr(0, size),
                     "'" + Path("cut" + std::to_string(size) + ".cfg") + "' file data error!"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string cfg = Write(c.name, c.bytes);
    for (const std::string command : {"info", "dump", "disasm", "save-bin"}) {
      std::vector<std::string> args = {command, cfg, "--device", "KVX-03"};
      if (command == "save-bin") args.insert(args.end(), {"-o", out});
      const KvxwRun run = RunKvxw(args);
      EXPECT_EQ(run.status, 1) << command;
      EXPECT_NE((run.out + run.err).find("message: " + c.message + "\n"), std::string::npos)
          << command << ": " << run.out << run.err;
      if (command != "info") {
        EXPECT_EQ(run.out, "") << command;
      }
    }
    EXPECT_EQ(Read("good.bin"), image);
  }
  // The configuration itself a FIFO or a directory.
  ASSERT_EQ(::mkfifo(Path("self-fifo.cfg").c_str(), 0600), 0);
  std::filesystem::create_directory(Path("self-dir.cfg"));
  for (const std::string name : {"self-fifo.cfg", "self-dir.cfg"}) {
    const KvxwRun run = RunKvxw({"save-bin", Path(name), "--device", "KVX-03", "-o", out});
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_EQ(run.err, "message: File can't open!\n") << name;
  }
  EXPECT_EQ(Read("good.bin"), image);
  const KvxwRun whole = RunKvxw({"save-bin", Write("whole.cfg", good), "--device", "KVX-03", "-o", out});
  EXPECT_EQ(whole.status, 0) << whole.err;
}

TEST_F(FailedLoadCli, DeviceCommandsRefuseItWithTheFilesMessage) {
  const std::string cfg = Write("t.cfg", SavedCfg(Path("gone.bin")));
  const KvxwRun run = RunKvxw({"program", "--port", "sim", "--device", "KVX-03", "--file", cfg});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("message: '" + Path("gone.bin") + "' file do not find!"), std::string::npos)
      << run.out << run.err;
  EXPECT_EQ((run.out + run.err).find("reset"), std::string::npos) << run.out << run.err;
}

}  // namespace
}  // namespace kvx::cli::test
