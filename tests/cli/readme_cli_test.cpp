// The README's command-line and production examples, run as a reader pastes them at the top of a
// clone: every shell block of those sections must run to its end without an error.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "cli/cli_support.h"

namespace kvx::cli::test {
namespace {

namespace fs = std::filesystem;

// This file sits in tests/cli of the clone.
const fs::path kClone = KVX_SOURCE_DIR;

void AddBlocks(const std::string& section, std::vector<std::string>& blocks) {
  const std::regex block("```sh\n([^`]*)```");
  for (auto m = std::sregex_iterator(section.begin(), section.end(), block);
       m != std::sregex_iterator(); ++m)
    blocks.push_back((*m)[1]);
}

// The ```sh blocks of the sections that show kvxw at work, in their order.
std::vector<std::string> CommandLineBlocks() {
  const std::string readme = ReadFile(kClone / "README.md");
  std::vector<std::string> blocks;
  for (const char* heading : {"\n## The command-line tool", "\n## Production lines"}) {
    const auto start = readme.find(heading);
    if (start == std::string::npos) continue;
    const auto end = readme.find("\n## ", start + 1);
    AddBlocks(readme.substr(start, end - start), blocks);
  }
  return blocks;
}

class ReadmeCli : public CliTest {};

TEST_F(ReadmeCli, EveryCommandLineExampleRunsFromAClone) {
  // A scratch clone: the examples, and the built kvxw where the build puts it.
  fs::create_directories(Path("build/bin"));
  fs::create_symlink(std::getenv("KVXW"), Path("build/bin/kvxw"));
  fs::copy(kClone / "examples", Path("examples"), fs::copy_options::recursive);

  const std::vector<std::string> blocks = CommandLineBlocks();
  ASSERT_GE(blocks.size(), 4u) << "no examples found in " << (kClone / "README.md");
  for (std::string block : blocks) {
    // Files the examples put in /tmp go to the scratch directory instead.
    block = std::regex_replace(block, std::regex("/tmp/"), Path(""));
    // A server an example left in the background stops with the shell, even after an error.
    const std::string script =
        "cd '" + Path("") + "'\ntrap 'kill $(jobs -p) 2>/dev/null || true' EXIT\n" + block;
    const KvxwRun run = RunKvxw({"-euo", "pipefail", "-c", script}, {.program = "/bin/bash"});
    EXPECT_EQ(run.status, 0) << block << "\n" << run.out << run.err;
  }
}

}  // namespace
}  // namespace kvx::cli::test
