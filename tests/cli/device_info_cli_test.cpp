#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>

#include "cli/cli_support.h"

namespace kvx::cli::test {
namespace {

class DeviceInfoCli : public CliTest {};

TEST_F(DeviceInfoCli, DevicesListsTheCatalogueInOrderWithItsColumns) {
  const KvxwRun run = RunKvxw({"devices"});
  const auto lines = Lines(run.out);
  ASSERT_EQ(run.status, 0);
  ASSERT_EQ(lines.size(), 51u);
  // The header names the columns; `tail -n +2` leaves the 50 rows a script reads.
  EXPECT_EQ(lines[0].substr(0, 4), "Name");
  // name, last address, words, OptionLayout, CoreType, AlgorithmCode, ModeCode, WriterType,
  // MemoryKind, EEPROM bytes, NeedsAdaptor; whitespace-separated
  const std::pair<int, const char*> rows[] = {{0, "KVX-01 03FF 1024 10 2 31 D0 1 2 128 0"},
                                              {9, "KVX-10 01FF 512 7 1 12 60 1 1 0 0"},
                                              {42, "KVX-43 17FF 6144 14 2 34 60 2 1 0 1"},
                                              {49, "KVX-50 01FF 512 21 3 30 C8 2 1 0 1"}};
  for (const auto& [index, expected] : rows) {
    std::istringstream in(lines[index + 1]);
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
    const KvxwRun run = RunKvxw(SplitArgs(std::string("option ") + args));
    EXPECT_EQ(run.out, expected) << args;
    EXPECT_EQ(run.status, 0) << args;
  }
}

TEST_F(DeviceInfoCli, OptionUsageErrorsGiveOneLineAndStatusTwo) {
  for (const char* args : {"--device KVX-99 --option 7F7F", "--device KVX-03 --option 7G7F",
                           "--device KVX-03 --option 7F7", "--device KVX-03 --option 807F",
                           "--device KVX-03 --option 0x7F", "--device KVX-03",
                           "--device kvx-03 --option 7F7F"}) {
    const KvxwRun run = RunKvxw(SplitArgs(std::string("option ") + args));
    EXPECT_EQ(Lines(run.err).size(), 1u) << args;
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(run.out, "") << args;
  }
}

}  // namespace
}  // namespace kvx::cli::test
