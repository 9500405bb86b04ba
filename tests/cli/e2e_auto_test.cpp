// Auto Program end to end: kvxw auto on Com1 through the real serial-port component, over a
// pseudo-terminal, to the simulated Writer served by `kvxw sim`.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "cli/cli_support.h"

namespace kvx::cli::test {
namespace {

class E2eAuto : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Write("p01.bin", WordBytes(SampleProgramWords(false)));
  }

  // kvxw auto on Com1, which KVXW_COM1 points at the server's terminal.
  int Auto(const std::string& link, std::string& out) {
    const KvxwRun run = RunKvxw({"auto", "--port", "Com1", "--device", "KVX-01", "--file",
                                 Path("p01.bin"), "--option", "155D", "--count", "3"},
                                {.env = {"KVXW_COM1=" + link}, .limit = std::chrono::seconds(60)});
    out = run.out;
    return run.status;
  }
};

int CountLines(const std::string& text, const std::string& line) {
  int count = 0;
  for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
    ++count;
  return count;
}

}  // namespace

TEST_F(E2eAuto, ThreePassesOverTheTerminalEachOnAFreshChip) {
  const std::string link = Path("writer");
  SimServer server(link, {"--device", "KVX-01", "--fresh-chip-each-pass"});
  ASSERT_TRUE(server.Ready()) << server.Output();

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
    const std::string link = Path("writer-" + c.fault);
    SimServer server(link, {"--device", "KVX-01", "--fault", c.fault});
    ASSERT_TRUE(server.Ready()) << server.Output();

    std::string out;
    EXPECT_EQ(Auto(link, out), c.exit) << c.fault << "\n" << out;
    EXPECT_EQ(CountLines(out, c.line), 1) << out;
    EXPECT_EQ(CountLines(out, "Pass Count: "), 1) << "no second pass after a failure\n" << out;
  }
}

}  // namespace kvx::cli::test
