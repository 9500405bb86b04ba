// Every stop signal ends kvxw cleanly: what timeout, kill, a closed terminal and service managers
// send, as Ctrl-C does.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

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

// kvxw (the simulated Writer and the commands alike) run as a user who is not root, as an operator
// in the port's group would: the terminal belongs to that user, and an exclusive mark left on it
// would refuse every later open by that user.
class AsOtherUser {
 public:
  explicit AsOtherUser(const std::string& wrapper) : kvxw_(std::getenv("KVXW")) {
    std::string script = "#!/bin/sh\nexec setpriv --reuid=65534 --regid=65534 --clear-groups '" +
                         kvxw_ + "' \"$@\"\n";
    std::FILE* f = std::fopen(wrapper.c_str(), "w");
    std::fputs(script.c_str(), f);
    std::fclose(f);
    ::chmod(wrapper.c_str(), 0755);
    ::setenv("KVXW", wrapper.c_str(), 1);
  }
  ~AsOtherUser() { ::setenv("KVXW", kvxw_.c_str(), 1); }

 private:
  std::string kvxw_;
};

TEST_F(StopSignalCli, SigtermAndSighupStopADeviceCommandAndTheNextOneByTheSameUserSucceeds) {
  if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs root and setpriv";
  ASSERT_EQ(::chmod(Path(".").c_str(), 0777), 0);
  AsOtherUser user(Path("as-other-user"));
  const std::string link = Path("writer");
  // A large device on a line as slow as the real one: the read stream takes about a second.
  KvxwProcess sim({"sim", "--link", link, "--device", "KVX-43", "--chip", "programmed", "--fault", "baud-delay"});
  ASSERT_TRUE(sim.WaitForOutput("listening on", 5s)) << sim.SoFar().err;
  for (int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    KvxwProcess read({"read", "--port", link, "--device", "KVX-43"});
    ASSERT_TRUE(read.WaitForOutput("Label2: Read ID and Checksum OK!", 10s)) << read.SoFar().err;
    ASSERT_TRUE(read.WaitForError("progress: 10\n", 10s)) << read.SoFar().err;  // into the program memory stream
    const KvxwRun stopped = read.Stop(signal, 5s);
    EXPECT_EQ(stopped.status, 128 + signal) << stopped.err;
    EXPECT_NE(stopped.err.find("kvxw read: stopped\n"), std::string::npos) << stopped.err;
    EXPECT_EQ(stopped.out.find("Read Data OK"), std::string::npos);

    const KvxwRun next = RunKvxw({"writer", "--port", link, "--device", "KVX-43"});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(next.out, "result: 5\nwriter-id:  ZQR640B V3.10\n");
  }
}

}  // namespace
}  // namespace kvx::cli::test
