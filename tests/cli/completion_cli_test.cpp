// kvxw's bash completion (packaging/kvxw.bash-completion) as bash runs it on Tab: commands,
// a command's options and the device names come from the kvxw beside it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli/cli_support.h"

namespace kvx::cli::test {
namespace {

namespace fs = std::filesystem;

constexpr const char kBashCompletion[] = "/usr/share/bash-completion/bash_completion";

class CompletionCli : public CliTest {};

TEST_F(CompletionCli, CompletesCommandsOptionsAndDeviceNames) {
  if (::access(kBashCompletion, R_OK) != 0) GTEST_SKIP() << "needs the bash-completion package";
  const struct {
    const char* line;  // the words typed so far, the last one being completed
    const char* want;  // what the completion offers, space-separated
  } cases[] = {
      {"kvxw au", "auto"},
      {"kvxw blank-check --j", "--json"},
      {"kvxw auto --serial-m", "--serial-mode"},
      {"kvxw auto --device KVX-4", "KVX-40 KVX-41 KVX-42 KVX-43 KVX-44 KVX-45 KVX-46 KVX-47 "
                                   "KVX-48 KVX-49"},
      {"kvxw read --sim-chip p", "programmed protected"},
      {"kvxw auto --device N", ""},  // the catalogue's header line is no device
  };
  const fs::path script = fs::path(KVX_SOURCE_DIR) / "packaging" / "kvxw.bash-completion";
  const std::string bin = fs::path(std::getenv("KVXW")).parent_path().string();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string program =
        std::string("source ") + kBashCompletion + "\nsource '" + script.string() +
        "'\nPATH='" + bin + "':$PATH\n" +
        "COMP_WORDS=(" + c.line + ")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n" +
        "COMP_LINE='" + c.line + "'\nCOMP_POINT=${#COMP_LINE}\n_kvxw\necho \"${COMPREPLY[*]}\"\n";
    const KvxwRun run = RunKvxw({"-c", program}, {.program = "/bin/bash"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string(c.want) + "\n") << run.err;
  }
}

}  // namespace
}  // namespace kvx::cli::test
