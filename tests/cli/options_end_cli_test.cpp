// "--" ends the options: a file whose name starts with "-" can be given after it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_support.h"

namespace kvx::cli::test {
namespace {

class OptionsEndCli : public CliTest {};

TEST_F(OptionsEndCli, WordsAfterTheDoubleDashAreFilesEvenWhenTheyStartWithADash) {
  const std::string image = std::string(1023, '\x2A') + '\x15';
  Write("-p.bin", image);
  Write("--help", image);
  const std::string dir = Path(".");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string outStart;
  } cases[] = {
      {{"info", "--device", "KVX-03", "--", "-p.bin"}, 0, "checksum: "},
      {{"info", "--device", "KVX-03", "--", "--help"}, 1, "message: File type incorrect!"},  // not help
      {{"info", "--device", "KVX-03", "-p.bin"}, 2, ""},                      // an unknown option
      {{"info", "--", "--device", "KVX-03"}, 2, ""},  // "--device" is an argument now
      {{"save-bin", "--device", "KVX-03", "-o", "-out.bin", "--", "-p.bin"}, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(CommandLine(c.args));
    const KvxwRun run = RunKvxw(c.args, {.cwd = dir});
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.out.substr(0, c.outStart.size()), c.outStart);
  }
  EXPECT_EQ(Read("-out.bin"), image);
}

}  // namespace
}  // namespace kvx::cli::test
