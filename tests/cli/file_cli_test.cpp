// kvxw info, dump and save-bin, run as the operator runs them.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct KvxwRun {
  int status = -1;
  std::string out;
  std::string err;
};

class FileCli : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* kvxw = std::getenv("KVXW");
    if (kvxw == nullptr) GTEST_SKIP() << "KVXW is not set";
    kvxw_ = kvxw;
    std::string pattern = (std::filesystem::temp_directory_path() / "kvx-cli-XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  KvxwRun Kvxw(const std::string& args) const {
    KvxwRun run;
    const std::string errFile = Path("stderr.txt");
    FILE* pipe = ::popen(("'" + kvxw_ + "' " + args + " 2>'" + errFile + "'").c_str(), "r");
    if (pipe == nullptr) return run;
    char block[4096];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, pipe)) > 0) run.out.append(block, n);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = Read("stderr.txt");
    return run;
  }

  std::string kvxw_;
  std::string dir_;
};

std::string Words(const std::vector<int>& words) {
  std::string bytes;
  for (int w : words) {
    bytes += static_cast<char>(w & 0xFF);
    bytes += static_cast<char>((w >> 8) & 0xFF);
  }
  return bytes;
}

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
    KvxwRun run = Kvxw("info '" + Write(c.name, c.bytes) + "' --device KVX-03");
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
    KvxwRun run = Kvxw("info '" + c.path + "' --device KVX-03");
    EXPECT_EQ(run.status, 1) << c.path;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "message: " + c.message) << c.path;
  }
}

TEST_F(FileCli, UsageErrorsGiveOneLineAndStatusTwo) {
  const std::string file = Write("a.bin", std::string(1024, '\0'));
  for (const std::string& args : {"info '" + file + "' --device KVX-99", "info '" + file + "'",
                                 "dump '" + file + "' --device KVX-03 --bogus",
                                 "save-bin '" + file + "' --device KVX-03"}) {
    KvxwRun run = Kvxw(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
    EXPECT_EQ(run.out, "") << args;
  }
}

TEST_F(FileCli, DumpListsEightWordsPerLine) {
  std::vector<int> words(512, 0x3FFF);
  words[0] = 0x1234;
  words[9] = 0xC0AB;  // bits 14 and 15 do not reach the chip
  KvxwRun run = Kvxw("dump '" + Write("p.bin", Words(words)) + "' --device KVX-03");
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
  KvxwRun run = Kvxw("save-bin '" + Write("in.bin", Words(words)) + "' --device KVX-49 -o '" +
                 Path("out.bin") + "'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Read("out.bin"), Words(masked));

  run = Kvxw("save-bin '" + Path("in.bin") + "' --device KVX-49 -o '" + Path("no/out.bin") + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("file can't be written!"), std::string::npos) << run.err;
}

}  // namespace
