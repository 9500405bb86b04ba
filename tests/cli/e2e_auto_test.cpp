// Auto Program end to end: kvxw auto on Com1 through the real serial-port component, over a
// pseudo-terminal, to the simulated Writer served by `kvxw sim`.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace kvx::cli::test {

// Defined in device_cli_test.cpp: kvxw runs whose every wait is bounded.
pid_t StartKvxw(const std::vector<std::string>& args, const std::vector<std::string>& env,
                int& outFd, int& errFd);
bool WaitForOutput(int fd, std::string& text, const std::string& want,
                   std::chrono::milliseconds limit);
int RunKvxwFor(const std::vector<std::string>& args, const std::vector<std::string>& env,
               std::chrono::seconds limit, std::string& out, std::string& err);

namespace {

// `kvxw sim` in the background for one test; stopped (and reaped) whatever the test did.
class SimServer {
 public:
  SimServer(const std::string& link, const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"sim", "--link", link, "--device", "KVX-01"};
    args.insert(args.end(), extra.begin(), extra.end());
    pid_ = StartKvxw(args, {}, outFd_, errFd_);
  }
  ~SimServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(outFd_);
    ::close(errFd_);
  }
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  bool Listening() {
    return pid_ > 0 && WaitForOutput(outFd_, output_, "listening", std::chrono::seconds(10));
  }
  const std::string& output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string output_;
};

class E2eAuto : public testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("KVXW") == nullptr) GTEST_SKIP() << "KVXW is not set";
    dir_ = std::filesystem::temp_directory_path() /
           ("kvxw_e2e_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    std::ofstream out(dir_ / "p01.bin", std::ios::binary);
    for (int i = 0; i < 1024; ++i) {
      const int word = (i * 7 + 1) & 0x3FFF;
      out.put(static_cast<char>(word & 0xFF)).put(static_cast<char>(word >> 8));
    }
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // kvxw auto on Com1, which KVXW_COM1 points at the server's terminal.
  int Auto(const std::string& link, std::string& out) {
    std::string err;
    return RunKvxwFor({"auto", "--port", "Com1", "--device", "KVX-01", "--file",
                       (dir_ / "p01.bin").string(), "--option", "155D", "--count", "3"},
                      {"KVXW_COM1=" + link}, std::chrono::seconds(60), out, err);
  }

  std::filesystem::path dir_;
};

int CountLines(const std::string& text, const std::string& line) {
  int count = 0;
  for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
    ++count;
  return count;
}

}  // namespace

TEST_F(E2eAuto, ThreePassesOverTheTerminalEachOnAFreshChip) {
  const std::string link = (dir_ / "writer").string();
  SimServer server(link, {"--fresh-chip-each-pass"});
  ASSERT_TRUE(server.Listening()) << server.output();

  std::string out;
  EXPECT_EQ(Auto(link, out), 0) << out;
  // Every pass went the whole way: blank check of a fresh chip, program, verify, OPTION.
  EXPECT_EQ(CountLines(out, "Label1: Blank Check ..... OK.\n"), 3) << out;
  EXPECT_EQ(CountLines(out, "Label2: Data program & verify OK!!\n"), 3);
  EXPECT_EQ(CountLines(out, "Label4: OPTION program & verify OK!!\n"), 3);
  const std::size_t first = out.find("Pass Count: 1\n");
  const std::size_t second = out.find("Pass Count: 2\n");
  const std::size_t third = out.find("Pass Count: 3\n");
  EXPECT_TRUE(first != std::string::npos && first < second && second < third &&
              third != std::string::npos)
      << out;
  EXPECT_EQ(out.find("[error]"), std::string::npos);
}

TEST_F(E2eAuto, WriterFailureStopsThePassesWithItsExitStatus) {
  struct Case {
    std::string fault;
    int exit;
    std::string line;
  };
  for (const Case& c : {Case{"write-fail-at=100", 1, "Label2: Data program fail !! [error]\n"},
                        Case{"no-chip", 3, "Nothing in socket or type error!! [error]\n"}}) {
    const std::string link = (dir_ / ("writer-" + c.fault)).string();
    SimServer server(link, {"--fault", c.fault});
    ASSERT_TRUE(server.Listening()) << server.output();

    std::string out;
    EXPECT_EQ(Auto(link, out), c.exit) << c.fault << "\n" << out;
    EXPECT_EQ(CountLines(out, c.line), 1) << out;
    EXPECT_EQ(CountLines(out, "Pass Count: "), 1) << "no second pass after a failure\n" << out;
  }
}

}  // namespace kvx::cli::test
