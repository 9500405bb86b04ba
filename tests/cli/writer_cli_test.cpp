// kvxw writer against kvxw sim over a pseudo-terminal: two processes, the real terminal code in
// between, exactly as an operator would point KVXW_COM1 at a simulated Writer. Every wait for a
// child process is bounded; a child that overstays is killed.
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_support.h"
#include "core/link/fake_sysfs.h"

namespace kvx::cli::test {
namespace {

using namespace std::chrono_literals;

class WriterCli : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    link = Path("writer");
  }

  std::string link;
};

TEST_F(WriterCli, WriterOnComPortReachesTheSimulatorThroughTheTerminal) {
  SimServer server(link);
  ASSERT_TRUE(server.Ready()) << server.Output();
  const KvxwRun writer = RunKvxw({"writer", "--port", "Com1"}, {.env = {"KVXW_COM1=" + link}});
  EXPECT_EQ(writer.status, 0) << writer.err;
  EXPECT_EQ(writer.out, "result: 5\nwriter-id:  ZQR640B V3.10\n");

  const KvxwRun sim = server.Stop();
  EXPECT_EQ(sim.status, 0);
  EXPECT_NE(sim.out.find("listening on " + link), std::string::npos) << sim.out;
  EXPECT_FALSE(Exists(link));  // the server cleans up after itself
}

// A Writer on a USB serial adapter: kvxw ports names it by its stable by-id link, and that name
// is a port kvxw reaches the Writer through.
TEST_F(WriterCli, PortsListsAUsbWriterByItsStableNameAndThatNameReachesIt) {
  SimServer server(link);
  ASSERT_TRUE(server.Ready()) << server.Output();
  const std::string dev = Path("dev");
  std::filesystem::create_directories(dev + "/serial/by-id");
  std::filesystem::create_symlink(link, dev + "/ttyUSB0");
  std::filesystem::create_symlink("../../ttyUSB0", dev + "/serial/by-id/usb-KVX_Writer_0042-if00");
  const std::string byId = dev + "/serial/by-id/usb-KVX_Writer_0042-if00";

  const std::string sys = "KVXW_SYS_ROOT=" + Path("sys");  // a sysfs that knows no device
  const KvxwRun ports =
      RunKvxw({"ports"}, {.env = {"KVXW_DEV_ROOT=" + dev, "KVXW_COM3=sim", sys}});
  EXPECT_EQ(ports.status, 0) << ports.err;
  std::string want;
  for (const char* com : {"Com1\t/dev/ttyS0", "Com2\t/dev/ttyS1", "Com3\tsim", "Com4\t/dev/ttyS3",
                          "Com5\t/dev/ttyS4", "Com6\t/dev/ttyS5", "Com7\t/dev/ttyS6", "Com8\t/dev/ttyS7"})
    want += std::string(com) + (std::string_view(com).ends_with("sim")
                                    ? "\tthe simulated Writer, in-process: answers without delay\n"
                                    : "\tserial device: nothing known of its latency\n");
  want += byId + "\t" + dev + "/ttyUSB0\tpseudo-terminal: no device, answers at once\n";
  EXPECT_EQ(ports.out, want);

  const KvxwRun writer = RunKvxw({"writer", "--port", byId});
  EXPECT_EQ(writer.status, 0) << writer.err;
  EXPECT_EQ(writer.out, "result: 5\nwriter-id:  ZQR640B V3.10\n");
  EXPECT_EQ(writer.err, "");
}

// The same Writer behind what sysfs calls an FTDI adapter at its default latency timer: the
// ports list says what to expect, and opening the port warns once, with the pass it predicts;
// the Writer is still reached.
TEST_F(WriterCli, AnFtdiAdapterAtItsDefaultLatencyIsListedAndWarnedOfOnOpening) {
  SimServer server(link, {"--device", "KVX-43"});
  ASSERT_TRUE(server.Ready()) << server.Output();
  const std::string dev = Path("dev");
  std::filesystem::create_directories(dev);
  std::filesystem::create_symlink(link, dev + "/ttyUSB0");
  kvx::test::FakeSysfs sys;
  sys.Tty("ttyUSB0", "ftdi_sio", "latency_timer", "16");
  const std::vector<std::string> env = {"KVXW_DEV_ROOT=" + dev, "KVXW_SYS_ROOT=" + sys.Root()};

  const KvxwRun ports = RunKvxw({"ports"}, {.env = env});
  EXPECT_NE(ports.out.find(dev + "/ttyUSB0\tftdi_sio USB adapter, latency_timer 16 ms: about 16 ms "
                                 "per answered byte\n"),
            std::string::npos)
      << ports.out;

  const KvxwRun writer =
      RunKvxw({"writer", "--port", dev + "/ttyUSB0", "--device", "KVX-43"}, {.env = env});
  EXPECT_EQ(writer.status, 0) << writer.err;
  EXPECT_EQ(writer.err, "kvxw: " + dev + "/ttyUSB0 (ftdi_sio) holds each answer about 16 ms "
                        "(latency_timer 16 ms): a KVX-43 pass will take about 3 min 21 s instead "
                        "of 4.3 s; setting latency_timer to 1 fixes it (README, \"USB adapters\")\n");
}

TEST_F(WriterCli, ResultAndExitStatusFollowTheWritersType) {
  struct Case {
    const char* writerType;
    const char* device;
    const char* result;
    int status;
    const char* message;
  } cases[] = {
      {"B2", "KVX-01", "result: 3\n", 0, ""},              // type 1 Writer, type 1 device
      {"B3", "KVX-43", "result: 4\n", 0, ""},              // type 2 Writer, type 2 device
      {"B3", "KVX-01", "result: 6\n", 3, "Connect Fail!\n"},  // the wrong Writer: a link failure
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.writerType) + " " + c.device);
    SimServer server(link, {"--writer-type", c.writerType, "--device", c.device});
    ASSERT_TRUE(server.Ready()) << server.Output();
    const KvxwRun writer =
        RunKvxw({"writer", "--port", "Com2", "--device", c.device}, {.env = {"KVXW_COM2=" + link}});
    EXPECT_EQ(writer.status, c.status);
    EXPECT_EQ(writer.out.substr(0, writer.out.find('\n') + 1), c.result);
    EXPECT_EQ(writer.err, c.message);
  }
}

TEST_F(WriterCli, APortThatDoesNotOpenIsReportedWithTheLinkExitStatus) {
  const KvxwRun writer =
      RunKvxw({"writer", "--port", "Com1"}, {.env = {"KVXW_COM1=" + link}});  // nothing there
  EXPECT_EQ(writer.status, 3);
  EXPECT_EQ(writer.out, "");
  EXPECT_EQ(writer.err, "Open  COM1 Port Error!!\nNo such device: " + link + "\n");
}

// An operator outside the port's group gets the port error and is told which group may open
// it. Needs root (to make a device node and drop privileges), setpriv and a dialout group.
TEST_F(WriterCli, APortRefusedForLackOfPermissionNamesTheGroupThatMayOpenIt) {
  const group* dialout = ::getgrnam("dialout");
  if (::geteuid() != 0 || dialout == nullptr || ::access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root, setpriv and a dialout group";
  const std::string port = Path("ttyKVX");
  // A character device nobody but root and dialout may open (the null device's numbers).
  ASSERT_EQ(::mknod(port.c_str(), S_IFCHR | 0660, ::makedev(1, 3)), 0);
  ASSERT_EQ(::chown(port.c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(::chmod(std::filesystem::path(port).parent_path().c_str(), 0711), 0);
  const std::string out = Path("out");
  const std::string err = Path("err");
  const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups '" +
                              std::string(std::getenv("KVXW")) + "' writer --port '" + port +
                              "' >'" + out + "' 2>'" + err + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(ReadFile(err), "Open  " + port + " Port Error!!\n" + "Permission denied on " + port +
                               ": members of the group 'dialout' may open it (add the user to "
                               "that group and log in again)\n");
}

TEST_F(WriterCli, ASecondProgramCannotTakeTheWritersPortWhileOneHoldsIt) {
  SimServer server(link, {"--fault", "cts-inactive"});
  ASSERT_TRUE(server.Ready()) << server.Output();
  // The first writer holds the port while it waits; the second, started meanwhile, is refused.
  KvxwProcess first({"writer", "--port", link});
  ASSERT_TRUE(first.Started()) << first.SoFar().err;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!first.HasOpen(link) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);  // polls for the event: the first has the port open
  ASSERT_TRUE(first.HasOpen(link));
  const KvxwRun second = RunKvxw({"writer", "--port", link});
  EXPECT_EQ(second.status, 3);
  EXPECT_NE(second.err.find(" Port Error!!\nPort busy: " + link + " is held by another program (process "),
            std::string::npos) << second.err;
  EXPECT_NE(second.err.find("(kvxw))"), std::string::npos) << second.err;
  first.Stop(SIGTERM, 5s);  // no need to sit out its time-out
}

TEST_F(WriterCli, BadOptionsAreUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"writer", "--device", "KVX-99"}, "unknown device KVX-99"},
      {{"writer", "--port", "sim", "--sim-fault", "melted"}, "melted"},
      {{"writer", "--port", "sim", "--sim-chip", "warm"}, "warm"},
      {{"sim"}, "missing --link"},
      {{"sim", "--link", "unused", "--writer-type", "B9"}, "B9"},
      {{"sim", "--link", "unused", "--fault", "melted"}, "melted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const KvxwRun run = RunKvxw(c.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  EXPECT_FALSE(Exists("unused"));
}

TEST_F(WriterCli, InProcessSimulatorServesTheSameCommand) {
  const KvxwRun ok = RunKvxw({"writer", "--port", "sim"});
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "result: 5\nwriter-id:  ZQR640B V3.10\n");
  const KvxwRun wrong = RunKvxw({"writer", "--port", "sim", "--sim-fault", "wrong-writer"});
  EXPECT_EQ(wrong.status, 3);  // a link failure, as the device commands report it
  EXPECT_EQ(wrong.out.substr(0, 10), "result: 6\n");
}

}  // namespace
}  // namespace kvx::cli::test
