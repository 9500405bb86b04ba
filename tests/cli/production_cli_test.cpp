// kvxw serial-next, qtp and disasm, run as the operator runs them.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_support.h"

namespace kvx::cli::test {
namespace {

class ProductionCli : public CliTest {
 protected:
  // A raw KVX-04 image (1024 little-endian words), blank but for the given words.
  std::string Program(const std::string& name, const std::vector<std::pair<int, int>>& words) const {
    std::vector<int> image(1024, 0x3FFF);
    for (const auto& [address, value] : words) image[address] = value;
    return Write(name, WordBytes(image));
  }
};

TEST_F(ProductionCli, SerialNextPrintsTheFollowingNumbersMostSignificantFirst) {
  struct Case {
    const char* args;
    const char* out;
  };
  const Case cases[] = {
      {"--bytes 2 --value 00FF --count 2", "0100\n0101\n"},
      {"--bytes 2 --value FFFF --increment 2 --count 1", "0001\n"},
      {"--bytes 1 --value 00 --mode random --count 8", "01\n03\n06\n0D\n1B\n37\n6F\nDE\n"},
      {"--bytes 1 --value ff --mode random --count 2", "01\n03\n"},  // all-F starts from zero
      {"--bytes 3 --value 1 --count 1", "000002\n"},
      {"--bytes 1 --value 10 --count 0", ""},
  };
  for (const Case& c : cases) {
    const KvxwRun run = RunKvxw(SplitArgs(std::string("serial-next ") + c.args));
    EXPECT_EQ(run.status, 0) << c.args << run.err;
    EXPECT_EQ(run.out, c.out) << c.args;
  }
}

TEST_F(ProductionCli, WrongOptionsGiveOneLineAndStatusTwo) {
  const std::string program = Program("p.bin", {{0x10, 0x3100}});
  const std::vector<std::string> qtp = {
      "qtp", "--program", program, "--device", "KVX-04", "--parts", "1", "-o", Path("q.txt")};
  const auto qtpWith = [&qtp](const char* more) {
    std::vector<std::string> args = qtp;
    for (const auto& a : SplitArgs(more)) args.push_back(a);
    return args;
  };
  const char* serial[] = {
      "--bytes 0 --value 00 --count 1",
      "--bytes 9 --value 00 --count 1",
      "--bytes 1 --value 123 --count 1",
      "--bytes 1 --value XY --count 1",
      "--bytes 1 --value 00 --increment 0 --count 1",
      "--bytes 1 --value 00 --increment 256 --count 1",
      "--bytes 1 --value 00 --mode odd --count 1",
      "--bytes 1 --value 00 --count -1",
      "--bytes 1 --value 00",
      "--bytes 1 --value 00 --count 1 --colour red",
  };
  for (const char* args : serial) {
    const KvxwRun run = RunKvxw(SplitArgs(std::string("serial-next ") + args));
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(run.out, "") << args;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
  }
  const char* qtpArgs[] = {
      "--start-address 10 --bytes 1 --value 00 --order middle",
      "--start-address 12345 --bytes 1 --value 00",
      "--start-address 3FF --bytes 2 --value 00",  // past KVX-04's last word
  };
  for (const char* args : qtpArgs) {
    const KvxwRun run = RunKvxw(qtpWith(args));
    EXPECT_EQ(run.status, 2) << args << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
    EXPECT_FALSE(std::filesystem::exists(Path("q.txt"))) << args;
  }
  EXPECT_EQ(RunKvxw(qtpWith("--start-address 10 --bytes 1 --value 00 --device KVX-99")).status, 2);
  EXPECT_EQ(RunKvxw(qtpWith("--start-address 10 --bytes 1 --value 00 --parts 0")).status, 2);
}

TEST_F(ProductionCli, QtpWritesOneRecordPerPartAndTheEndRecord) {
  const std::string program =
      Program("p.bin", {{0x100, 0x3100}, {0x101, 0x3100}, {0x102, 0x3100}});
  const KvxwRun run = RunKvxw({"qtp", "--program", program, "--device", "KVX-04",
                               "--start-address", "100", "--bytes", "3", "--value", "123456",
                               "--increment", "1", "--order", "lsb", "--parts", "2", "-o",
                               Path("lot.txt")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Read("lot.txt"),
            ":06010000563134311231CB\r\n"
            ":06010000573134311231CA\r\n"
            ":00000001FF");
}

TEST_F(ProductionCli, QtpRefusesWordsThatAreNotRtiwAndWritesNothing) {
  const std::string program = Program("p.bin", {{0x100, 0x3100}, {0x101, 0x3000}});
  std::ofstream(Path("lot.txt"), std::ios::binary) << "keep me";
  const KvxwRun run = RunKvxw({"qtp", "--program", program, "--device", "KVX-04",
                               "--start-address", "100", "--bytes", "2", "--value", "0000",
                               "--parts", "5", "-o", Path("lot.txt")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("The program memory is not 'RTIW'. Serial No. will be disable!"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Read("lot.txt"), "keep me");
}

TEST_F(ProductionCli, DisasmListsTheProgramToStdoutOrToAFile) {
  const std::string program = Program("p.bin", {{0, 0x0103}, {1, 0x1085}, {2, 0x1008}, {3, 0x18A0}});
  const KvxwRun run = RunKvxw({"disasm", program, "--device", "KVX-04"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind(";Registers\r\n", 0), 0u);
  const std::string body =
      "        ORG     0000H           ;Addr    Org-Code\r\n"
      "        BCR     STATUS,ZF       ;0000    0103\r\n"
      "        CLRW                    ;0001    1085\r\n"
      ";----------------------------\r\n"
      "        ORG     0003H\r\n"
      "        LDR     020H,R          ;0003    18A0\r\n"
      "        END\r\n";
  ASSERT_GE(run.out.size(), body.size());
  EXPECT_EQ(run.out.substr(run.out.size() - body.size()), body);

  const KvxwRun saved = RunKvxw({"disasm", program, "--device", "KVX-04", "-o", Path("p.dis")});
  EXPECT_EQ(saved.status, 0) << saved.err;
  EXPECT_EQ(saved.out, "");
  EXPECT_EQ(Read("p.dis"), run.out);
}

TEST_F(ProductionCli, DisasmOfAFileThatDoesNotLoadFailsWithoutAListing) {
  const KvxwRun missing = RunKvxw({"disasm", Path("none.bin"), "--device", "KVX-04"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err, "");
  std::ofstream(Path("short.bin"), std::ios::binary) << "abc";
  EXPECT_EQ(RunKvxw({"disasm", Path("short.bin"), "--device", "KVX-04"}).status, 1);
  EXPECT_EQ(RunKvxw({"disasm", "--device", "KVX-04"}).status, 2);
  const KvxwRun unwritable = RunKvxw(
      {"disasm", Program("p.bin", {}), "--device", "KVX-04", "-o", Path("no/such/dir/p.dis")});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("File can't be saved!"), std::string::npos);
}

}  // namespace
}  // namespace kvx::cli::test
