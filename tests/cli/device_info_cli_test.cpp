#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Runs `kvxw ARGS REDIRECT` (kvxw's path in KVXW); returns what reached the pipe and sets the
// exit status.
std::string Kvxw(const std::string& args, const char* redirect, int& status) {
  const std::string command = "'" + std::string(std::getenv("KVXW")) + "' " + args + redirect;
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  const int raw = pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return text;
}
std::string Out(const std::string& args, int& status) { return Kvxw(args, " 2>/dev/null", status); }
std::string Err(const std::string& args, int& status) {
  return Kvxw(args, " 2>&1 >/dev/null", status);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class DeviceInfoCli : public testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("KVXW") == nullptr) GTEST_SKIP() << "KVXW is not set";
  }
  int status = -1;
};

TEST_F(DeviceInfoCli, DevicesListsTheCatalogueInOrderWithItsColumns) {
  const auto lines = Lines(Out("devices", status));
  ASSERT_EQ(status, 0);
  ASSERT_EQ(lines.size(), 50u);
  // name, last address, words, OptionLayout, CoreType, AlgorithmCode, ModeCode, WriterType,
  // MemoryKind, EEPROM bytes, NeedsAdaptor; whitespace-separated
  const std::pair<int, const char*> rows[] = {{0, "KVX-01 03FF 1024 10 2 31 D0 1 2 128 0"},
                                              {9, "KVX-10 01FF 512 7 1 12 60 1 1 0 0"},
                                              {42, "KVX-43 17FF 6144 14 2 34 60 2 1 0 1"},
                                              {49, "KVX-50 01FF 512 21 3 30 C8 2 1 0 1"}};
  for (const auto& [index, expected] : rows) {
    std::istringstream in(lines[index]);
    std::string columns, word;
    while (in >> word) columns += (columns.empty() ? "" : " ") + word;
    EXPECT_EQ(columns, expected);
  }
}

TEST_F(DeviceInfoCli, OptionPrintsThePanelLinesAndStatus) {
  const std::pair<const char*, const char*> cases[] = {
      {"--device KVX-03 --option 7F7F",
       "OSC Type: Blank\nPRD: -\nOST: Blank\nWDT: Blank\nPED: Blank\nSecurity: Disable\n"
       "status: 1\n"},
      {"--device KVX-09 --option 0000",
       "OSC Type: -\nPRD: -\nOST: -\nWDT: -\nPED: -\nSecurity: Enable\nstatus: 0\n"},
      {"--option 260B --device KVX-18",
       "OSC Type: XT\nPRD: Disable\nPUT: 0mS\nWDT: Disable\nPED: Disable\nSecurity: Enable\n"
       "status: 0\n"},
      {"--device KVX-03 --option 737F",
       "OSC Type: Error\nPRD: -\nOST: Blank\nWDT: Blank\nPED: Blank\nSecurity: Disable\n"
       "status: 3\n"},
  };
  for (const auto& [args, expected] : cases) {
    EXPECT_EQ(Out(std::string("option ") + args, status), expected) << args;
    EXPECT_EQ(status, 0) << args;
  }
}

TEST_F(DeviceInfoCli, OptionUsageErrorsGiveOneLineAndStatusTwo) {
  for (const char* args : {"--device KVX-99 --option 7F7F", "--device KVX-03 --option 7G7F",
                           "--device KVX-03 --option 7F7", "--device KVX-03 --option 807F",
                           "--device KVX-03 --option 0x7F", "--device KVX-03",
                           "--device kvx-03 --option 7F7F"}) {
    const std::string option = std::string("option ") + args;
    EXPECT_EQ(Lines(Err(option, status)).size(), 1u) << args;
    EXPECT_EQ(status, 2) << args;
    EXPECT_EQ(Out(option, status), "") << args;
  }
}

}  // namespace
