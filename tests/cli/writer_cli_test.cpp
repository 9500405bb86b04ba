// kvxw writer against kvxw sim over a pseudo-terminal: two processes, the real terminal code in
// between, exactly as an operator would point KVXW_COM1 at a simulated Writer. Every wait for a
// child process is bounded; a child that overstays is killed.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

using std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Outcome {
  int status = -1;  // exit status, -1 when killed or not started
  std::string out;
  std::string err;
};

// Starts `args` with the extra environment entries; its stdout and stderr go to pipes.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int& outFd,
            int& errFd) {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char*> argv, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  outFd = out[0];
  errFd = err[0];
  return pid;
}

// Reads both pipes until they close or `deadline`, then reaps the child (killing it if needed).
Outcome Collect(pid_t pid, int outFd, int errFd, steady_clock::time_point deadline) {
  Outcome result;
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0 && steady_clock::now() < deadline) {
    if (::poll(fds, 2, 20) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int raw = 0;
  while (::waitpid(pid, &raw, WNOHANG) == 0) {
    if (steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &raw, 0);
      ::close(outFd);
      ::close(errFd);
      return result;  // status stays -1
    }
    std::this_thread::sleep_for(5ms);
  }
  ::close(outFd);
  ::close(errFd);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return result;
}

Outcome RunKvxw(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
  args.insert(args.begin(), std::getenv("KVXW"));
  int outFd = -1, errFd = -1;
  const pid_t pid = Spawn(args, env, outFd, errFd);
  if (pid < 0) return {};
  return Collect(pid, outFd, errFd, steady_clock::now() + 10s);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// `kvxw sim --link PATH ARGS` running in the background for one test.
class SimServer {
 public:
  bool Start(const std::string& link, std::vector<std::string> args) {
    link_ = link;
    args.insert(args.begin(), {std::getenv("KVXW"), "sim", "--link", link});
    pid_ = Spawn(args, {}, outFd_, errFd_);
    const auto deadline = steady_clock::now() + 5s;
    while (pid_ > 0 && !Exists(link) && steady_clock::now() < deadline) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return pid_ = -1, false;  // it gave up
      std::this_thread::sleep_for(5ms);
    }
    return pid_ > 0 && Exists(link);
  }
  // SIGTERM, then what it printed and how it ended.
  Outcome Stop() {
    if (pid_ <= 0) return {};
    ::kill(pid_, SIGTERM);
    Outcome result = Collect(pid_, outFd_, errFd_, steady_clock::now() + 5s);
    pid_ = -1;
    return result;
  }
  ~SimServer() { Stop(); }

 private:
  std::string link_;
  pid_t pid_ = -1;
  int outFd_ = -1, errFd_ = -1;
};

class WriterCli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("KVXW") == nullptr) GTEST_SKIP() << "KVXW is not set";
    std::filesystem::remove(link);
  }
  void TearDown() override { std::filesystem::remove(link); }

  std::string link = (std::filesystem::temp_directory_path() /
                      ("kvx_writer_cli_" + std::to_string(::getpid())))
                         .string();
};

TEST_F(WriterCli, WriterOnComPortReachesTheSimulatorThroughTheTerminal) {
  SimServer server;
  ASSERT_TRUE(server.Start(link, {}));
  const Outcome writer = RunKvxw({"writer", "--port", "Com1"}, {"KVXW_COM1=" + link});
  EXPECT_EQ(writer.status, 0) << writer.err;
  EXPECT_EQ(writer.out, "result: 5\nwriter-id:  ZQR640B V3.10\n");

  const Outcome sim = server.Stop();
  EXPECT_EQ(sim.status, 0);
  EXPECT_NE(sim.out.find("listening on " + link), std::string::npos) << sim.out;
  EXPECT_FALSE(Exists(link));  // the server cleans up after itself
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
      {"B3", "KVX-01", "result: 6\n", 1, "Connect Fail!\n"},  // the wrong Writer for the device
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.writerType) + " " + c.device);
    SimServer server;
    ASSERT_TRUE(server.Start(link, {"--writer-type", c.writerType, "--device", c.device}));
    const Outcome writer =
        RunKvxw({"writer", "--port", "Com2", "--device", c.device}, {"KVXW_COM2=" + link});
    EXPECT_EQ(writer.status, c.status);
    EXPECT_EQ(writer.out.substr(0, writer.out.find('\n') + 1), c.result);
    EXPECT_EQ(writer.err, c.message);
  }
}

TEST_F(WriterCli, APortThatDoesNotOpenIsReportedWithTheLinkExitStatus) {
  const Outcome writer = RunKvxw({"writer", "--port", "Com1"}, {"KVXW_COM1=" + link});  // nothing there
  EXPECT_EQ(writer.status, 3);
  EXPECT_EQ(writer.out, "");
  EXPECT_EQ(writer.err, "Open  COM1 Port Error!!\n");
}

TEST_F(WriterCli, ASecondProgramCannotTakeTheWritersPortWhileOneHoldsIt) {
  SimServer server;
  ASSERT_TRUE(server.Start(link, {"--fault", "cts-inactive"}));
  // The first writer holds the port while it waits; the second, started meanwhile, is refused.
  int outFd = -1, errFd = -1;
  const pid_t first = Spawn({std::getenv("KVXW"), "writer", "--port", link}, {}, outFd, errFd);
  ASSERT_GT(first, 0);
  std::this_thread::sleep_for(200ms);
  const Outcome second = RunKvxw({"writer", "--port", link});
  EXPECT_EQ(second.status, 3);
  EXPECT_NE(second.err.find(" Port Error!!"), std::string::npos) << second.err;
  ::kill(first, SIGTERM);  // no need to sit out its time-out
  Collect(first, outFd, errFd, steady_clock::now() + 5s);
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
    const Outcome run = RunKvxw(c.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  EXPECT_FALSE(Exists("unused"));
}

TEST_F(WriterCli, InProcessSimulatorServesTheSameCommand) {
  const Outcome ok = RunKvxw({"writer", "--port", "sim"});
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "result: 5\nwriter-id:  ZQR640B V3.10\n");
  const Outcome wrong = RunKvxw({"writer", "--port", "sim", "--sim-fault", "wrong-writer"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_EQ(wrong.out.substr(0, 10), "result: 6\n");
}

}  // namespace
