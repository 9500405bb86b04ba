// Every stop signal ends kvxw cleanly: what timeout, kill, a closed terminal and service managers
// send, as Ctrl-C does.
#include <signal.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "cli/cli_support.h"

namespace kvx::cli::test {
namespace {

using namespace std::chrono_literals;

class StopSignalCli : public CliTest {};

TEST_F(StopSignalCli, TheSimulatorRemovesItsLinkOnEveryStopSignal) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    const std::string link = Path("writer");
    KvxwProcess sim({"sim", "--link", link});
    ASSERT_TRUE(sim.WaitForOutput("listening on", 5s)) << sim.SoFar().err;
    const KvxwRun run = sim.Stop(signal, 5s);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(Exists(link));
  }
}

}  // namespace
}  // namespace kvx::cli::test
