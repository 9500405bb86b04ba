// kvxw info, dump and save-bin, run as the operator runs them.
#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_support.h"

namespace kvx::cli::test {
namespace {

class FileCli : public CliTest {};

TEST_F(FileCli, InfoShowsTheSumsOfTheLoadedProgram) {
  const struct {
    std::string name;
    std::string bytes;
    std::string out;
  } cases[] = {
      {"zero.bin", std::string(1024, '\0'),
       "checksum: 0000\noption-sum: 012E\nprotect-sum: 5C00\n"},
      {"blank.kvh", ":00000001FF\r\n", "checksum: 7C00\noption-sum: 7D2E\nprotect-sum: 7C00\n"},
      {"bad.kvh", ":0100000000AA\r\n",
       "message: Checksum error at line 1 !\nchecksum: 7B01\noption-sum: 7C2F\nprotect-sum: 7BA0\n"},
  };
  for (const auto& c : cases) {
    KvxwRun run = RunKvxw({"info", Write(c.name, c.bytes), "--device", "KVX-03"});
    EXPECT_EQ(run.status, 0) << c.name << run.err;
    EXPECT_EQ(run.out, c.out) << c.name;
  }
}

TEST_F(FileCli, InfoExitsWithOneWhenTheLoadStops) {
  std::filesystem::create_directory(Path("dir.bin"));
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {Write("short.bin", std::string(10, '\0')), "File size unmatch!"},
      {Path("missing.bin"), "File don't exist!"},
      {Path("dir.bin"), "File can't open!"},
      {Write("notes.txt", "x"), "File type incorrect!"},
  };
  for (const auto& c : cases) {
    KvxwRun run = RunKvxw({"info", c.path, "--device", "KVX-03"});
    EXPECT_EQ(run.status, 1) << c.path;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "message: " + c.message) << c.path;
  }
}

TEST_F(FileCli, InfoWarnsOfPicCodeForTheOtherCore) {
  std::string fourteenBit(1024, '\0');
  fourteenBit[1] = 0x30;  // word 0 = 0x3000: only 14-bit code has bits 12-13
  const struct {
    std::string device;
    std::string bytes;
    std::string warning;
  } cases[] = {
      {"KVX-03", fourteenBit, "Warning: File format error !(14 bit)"},  // a 12-bit core
      {"KVX-17", std::string(2048, '\0'), "Warning: File format error !(12 bit)"},  // 14-bit
  };
  for (const auto& c : cases) {
    KvxwRun run = RunKvxw({"info", Write(c.device + ".obj", c.bytes), "--device", c.device});
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "message: " + c.warning) << c.device;
  }
}

TEST_F(FileCli, UsageErrorsGiveOneLineAndStatusTwo) {
  const std::string file = Write("a.bin", std::string(1024, '\0'));
  const std::vector<std::vector<std::string>> cases = {
      {"info", file, "--device", "KVX-99"},
      {"info", file},
      {"dump", file, "--device", "KVX-03", "--bogus"},
      {"save-bin", file, "--device", "KVX-03"},
  };
  for (const auto& c : cases) {
    const std::string args = CommandLine(c);
    KvxwRun run = RunKvxw(c);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
    EXPECT_EQ(run.out, "") << args;
  }
}

TEST_F(FileCli, DumpListsEightWordsPerLine) {
  std::vector<int> words(512, 0x3FFF);
  words[0] = 0x1234;
  words[9] = 0xC0AB;  // bits 14 and 15 do not reach the chip
  KvxwRun run = RunKvxw({"dump", Write("p.bin", WordBytes(words)), "--device", "KVX-03"});
  EXPECT_EQ(run.status, 0) << run.err;
  std::istringstream lines(run.out);
  std::vector<std::string> all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  ASSERT_EQ(all.size(), 64u);
  EXPECT_EQ(all[0], "0x0000 1234 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF");
  EXPECT_EQ(all[1], "0x0008 3FFF 00AB 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF");
  EXPECT_EQ(all[63].substr(0, 6), "0x01F8");
}

TEST_F(FileCli, SaveBinWritesTheImageThatLoadsBack) {
  std::vector<int> words;
  for (int i = 0; i < 512; ++i) words.push_back((i * 0x2345) & 0xFFFF);
  std::vector<int> masked;
  for (int w : words) masked.push_back(w & 0x07FF);
  KvxwRun run = RunKvxw({"save-bin", Write("in.bin", WordBytes(words)), "--device", "KVX-49",
                         "-o", Path("out.bin")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Read("out.bin"), WordBytes(masked));

  run = RunKvxw({"save-bin", Path("in.bin"), "--device", "KVX-49", "-o", Path("no/out.bin")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("file can't be written!"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace kvx::cli::test
