// kvxw --version: what a bug report needs to name the build.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "cli/cli_support.h"

namespace kvx::cli::test {
namespace {

class VersionCli : public CliTest {};

TEST_F(VersionCli, NamesTheVersionTheCommitAndSqlite) {
  const KvxwRun run = RunKvxw({"--version"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], std::string("kvxw ") + KVX_PROJECT_VERSION);
  // A git checkout names its commit ("1a2b3c4", "-dirty" after it with changes); a tree without
  // git says so.
  EXPECT_TRUE(std::regex_match(lines[1], std::regex("commit ([0-9a-z.-]+|unknown)"))) << lines[1];
  EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(SQLite 3\.\d+\.\d+)"))) << lines[2];
  EXPECT_TRUE(run.err.empty()) << run.err;
}

}  // namespace
}  // namespace kvx::cli::test
