// kvxw's device commands against the built-in simulated Writer (--port sim): the status lines the
// operator reads, the exit statuses scripts rely on, and the files `read` leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/cli_support.h"

namespace kvx::cli::test {
namespace {

// Every expected line appears, in this order (other lines may come between them).
testing::AssertionResult HasLinesInOrder(const std::string& text,
                                         const std::vector<std::string>& expected) {
  const auto lines = Lines(text);
  auto at = lines.begin();
  for (const auto& want : expected) {
    at = std::find(at, lines.end(), want);
    if (at == lines.end())
      return testing::AssertionFailure() << "no line '" << want << "' in order in:\n" << text;
    ++at;
  }
  return testing::AssertionSuccess();
}

// ---- Program files -----------------------------------------------------------------------------

constexpr int kKvx01Words = 1024;

class DeviceCli : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::vector<int> words = SampleProgramWords(true);
    Write("p01.bin", WordBytes(words));
    words[0] = 0x3FFF;  // the reset word of KVX-01 is word 0
    Write("blank_reset.bin", WordBytes(words));
    Write("ee.bin", std::string("\x01\x02\x03\xFE", 4));
  }
};

// A valid OPTION word for KVX-01: HF oscillator, PUT 0mS, WDT on, PED off, security off.
const std::string kOption01 = "155D";

}  // namespace

// ---- Each command on the simulated Writer ------------------------------------------------------

struct OpCase {
  std::string name;
  std::vector<std::string> args;  // after --port sim --device KVX-01
  int exit;
  std::vector<std::string> lines;
};

TEST_F(DeviceCli, EachCommandPrintsItsDialogLinesAndEndsWithItsExitStatus) {
  const std::string file = Path("p01.bin");
  const std::vector<OpCase> cases = {
      {"blank chip",
       {"blank-check"},
       0,
       {"StaticText1: Blank Check", "Label2: OPTION ....... OK",
        "Label3: ID Checksum ......... OK.", "Label4: Data ......... OK."}},
      {"programmed chip",
       {"blank-check", "--sim-chip", "programmed"},
       1,
       {"Label4: Data ....... Not Blank!!"}},
      {"erase",
       {"erase"},
       0,
       {"StaticText1: Erase Flash Memory", "Label1: Erase flash memory...", "Label1: Erase End",
        "Label4: Data ......... OK."}},
      {"program",
       {"program", "--file", file},
       0,
       {"Label1: Program.....", "Label2: 03FF", "Label1: Program Ok!!",
        "Label2: Data verify OK!!"}},
      {"program option",
       {"program-option", "--option", kOption01},
       0,
       {"Label1: Programming.....", "Label1: OPTION program & verify OK!!"}},
      {"blank option refused",
       {"program-option"},
       1,
       {"Label1: Some Options are Blank !! [error]"}},
      {"program id",
       {"program-id", "--file", file, "--id", "AB"},
       0,
       {"Label1: Program Ok!!", "Label2: ID & Checksum verify OK!!"}},
      {"write eeprom",
       {"write-eeprom", "--eeprom", Path("ee.bin")},
       0,
       {"Label1: EEPROM Program Ok!!", "Label3: EEPROM Data Verify OK!!"}},
      {"unprotected chip",
       {"verify-protect", "--file", file},
       1,
       {"StaticText1: Verify with Protect", "Label4: IC no protected!! [error]"}},
      {"verify blank chip",
       {"verify", "--file", file},
       1,
       {"Label5: Data Verify error at 0000H", "Label3: IC=3FFFH, Buffer=0001H"}},
      {"write fails",
       {"program", "--file", file, "--sim-fault", "write-fail-at=100"},
       1,
       {"Label2: 0032", "Label1: Programming fail !! [error]"}},
      {"nothing in socket",
       {"program", "--file", file, "--sim-fault", "no-chip"},
       3,
       {"Label1: Nothing in socket or type error!! [error]"}},
      {"adapter board",
       {"read", "--sim-fault", "adapter-error"},
       3,
       {"Label1: IC adapter board error!! [error]"}},
      {"unexpected answer",
       {"program-id", "--file", file, "--sim-fault", "bad-reply"},
       3,
       {"Label1: Writer Error!! [error]"}},
      {"empty socket",
       {"read", "--sim-chip", "empty"},
       3,
       {"Label1: Nothing in socket or type error!! [error]"}},
      {"force write two chips",
       {"force-write", "--file", file, "--count", "2"},
       0,
       {"Label1: Program memory Ok!!", "Label2: Data verify OK!!", "Pass Count: 1",
        "Label1: Program memory Ok!!", "Pass Count: 2"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {c.args[0], "--port", "sim", "--device", "KVX-01"};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    const KvxwRun run = RunKvxw(args);
    EXPECT_FALSE(run.timedOut) << c.name;
    EXPECT_EQ(run.status, c.exit) << c.name << "\n" << run.out << run.err;
    EXPECT_TRUE(HasLinesInOrder(run.out, c.lines)) << c.name;
  }
}

TEST_F(DeviceCli, UsageErrorsExitWithTwoBeforeTheWriterIsAsked) {
  const std::string file = Path("p01.bin");
  const std::vector<std::vector<std::string>> cases = {
      {"read", "--port", "sim", "--device", "KVX-99"},
      {"program-option", "--port", "sim", "--device", "KVX-01", "--option", "8000"},
      {"program-option", "--port", "sim", "--device", "KVX-01", "--option", "155"},
      {"program-id", "--port", "sim", "--device", "KVX-01", "--file", file, "--id",
       "THIRTEEN-CHAR"},
      {"program-id", "--port", "sim", "--device", "KVX-01", "--file", file, "--id", "hex:7F7F"},
      {"erase", "--port", "sim", "--device", "KVX-03"},
      {"write-eeprom", "--port", "sim", "--device", "KVX-03", "--eeprom", Path("ee.bin")},
      {"write-eeprom", "--port", "sim", "--device", "KVX-01"},
      {"program", "--port", "sim", "--device", "KVX-01"},
      {"force-write", "--port", "sim", "--device", "KVX-01", "--file", file, "--count", "0"},
      {"read", "--port", "sim", "--device", "KVX-01", "--sim-chip", "half-eaten"},
      {"auto", "--port", "sim", "--device", "KVX-01", "--file", file, "--qtp", file,
       "--serial-start", "0100"},
      {"auto", "--port", "sim", "--device", "KVX-01", "--file", file, "--serial-bytes", "9"},
      {"auto", "--port", "sim", "--device", "KVX-01", "--file", file, "--serial-start", "0100",
       "--serial-value", "123"},  // 3 digits for a 1-byte number: "Start value overflow!!"
      {"download", "--port", "sim", "--device", "KVX-00"},
  };
  for (const auto& args : cases) {
    const KvxwRun run = RunKvxw(args);
    EXPECT_EQ(run.status, 2) << args[0] << " " << args.back() << "\n" << run.out << run.err;
    EXPECT_EQ(run.out.find("StaticText1"), std::string::npos) << args[0] << " " << args.back();
  }
}

TEST_F(DeviceCli, PortThatCannotBeOpenedGivesThePortErrorAndExitThree) {
  const KvxwRun run = RunKvxw({"blank-check", "--port", Path("no-such-tty"), "--device", "KVX-01"});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find(" Port Error!!"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("StaticText1"), std::string::npos);
}

// ---- read -o ---------------------------------------------------------------------------------

TEST_F(DeviceCli, ReadWritesImageAndEepromThatVerifyAgainstTheSameChip) {
  const std::string out = Path("chip.bin");
  const KvxwRun read = RunKvxw(
      {"read", "--port", "sim", "--device", "KVX-01", "--sim-chip", "programmed", "-o", out});
  ASSERT_EQ(read.status, 0) << read.out << read.err;
  EXPECT_EQ(ReadFile(out).size(), 2u * kKvx01Words);
  EXPECT_EQ(ReadFile(out + ".eeprom").size(), 128u);
  std::string option, id;
  for (const auto& line : Lines(read.out)) {
    if (line.rfind("OPTION: ", 0) == 0) option = line.substr(8);
    if (line.rfind("ID: ", 0) == 0) id = line.substr(4);
  }
  ASSERT_EQ(option.size(), 4u);
  ASSERT_EQ(id.rfind("hex:", 0), 0u);

  // What was read goes back in through --file, --option, --id and --eeprom and matches the chip.
  const KvxwRun verify =
      RunKvxw({"verify", "--port", "sim", "--device", "KVX-01", "--sim-chip", "programmed",
               "--file", out, "--option", option, "--id", id, "--eeprom", out + ".eeprom"});
  EXPECT_TRUE(HasLinesInOrder(verify.out, {"Label2: OPTION verify OK!!", "Label5: Data verify OK!!",
                                           "EEInfo: EEPROM Data Verify OK!!"}));
}

TEST_F(DeviceCli, FailedReadLeavesAnEarlierImageUntouched) {
  const std::string out = Path("good.bin");
  std::ofstream(out) << "an earlier good image";
  const KvxwRun run =
      RunKvxw({"read", "--port", "sim", "--device", "KVX-01", "--sim-fault", "no-chip", "-o", out});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(ReadFile(out), "an earlier good image");
  EXPECT_FALSE(std::filesystem::exists(out + ".eeprom"));
}

// ---- Reset word, progress, Ctrl-C --------------------------------------------------------------

TEST_F(DeviceCli, BlankResetWordRefusesProgrammingUnlessIgnored) {
  const std::vector<std::string> args = {
      "program", "--port", "sim", "--device", "KVX-01", "--file", Path("blank_reset.bin")};
  const KvxwRun refused = RunKvxw(args);
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(HasLinesInOrder(refused.out, {"Message: Reset address (0000h) is blank!!"}));
  EXPECT_EQ(refused.out.find("StaticText1"), std::string::npos) << "no dialog after Abort";

  auto ignored = args;
  ignored.push_back("--ignore-blank-reset");
  const KvxwRun programmed = RunKvxw(ignored);
  EXPECT_EQ(programmed.status, 0) << programmed.out;
  EXPECT_TRUE(HasLinesInOrder(programmed.out, {"Label2: Data verify OK!!"}));
}

TEST_F(DeviceCli, ProgressGoesToStandardErrorAtMostOnceEveryTenPercent) {
  const std::vector<std::vector<std::string>> commands = {
      {"program", "--port", "sim", "--device", "KVX-01", "--file", Path("p01.bin")},  // addresses
      {"read", "--port", "sim", "--device", "KVX-01"},                                // the gauge
      {"auto", "--port", "sim", "--device", "KVX-01", "--file", Path("p01.bin"), "--option",
       kOption01},  // the address line, which stops short of the last word
  };
  for (const auto& args : commands) {
    const std::string& command = args[0];
    const KvxwRun run = RunKvxw(args);
    std::vector<int> percents;
    for (const auto& line : Lines(run.err))
      if (line.rfind("progress: ", 0) == 0) percents.push_back(std::stoi(line.substr(10)));
    ASSERT_FALSE(percents.empty()) << command << run.err;
    EXPECT_EQ(percents.back(), 100) << command;
    EXPECT_LE(percents.size(), 11u) << command;
    for (std::size_t i = 1; i < percents.size(); ++i)
      EXPECT_GT(percents[i] / 10, percents[i - 1] / 10) << command << " line " << i;
    EXPECT_EQ(run.out.find("progress"), std::string::npos) << "status lines stay clean";
  }
}

TEST_F(DeviceCli, CtrlCStopsTheOperationWithoutWaitingForTheWriter) {
  // The Writer falls silent in the middle of the program memory; Ctrl-C comes well before the
  // three-second time-out would.
  RunOptions options;
  options.interruptWhen = [](const KvxwRun& r) {
    return r.err.find("progress: 50") != std::string::npos;
  };
  const KvxwRun run = RunKvxw({"program", "--port", "sim", "--device", "KVX-01", "--file",
                               Path("p01.bin"), "--sim-fault", "silent-after=1500"},
                              options);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.status, 130) << run.out << run.err;
  EXPECT_NE(run.err.find("kvxw program: stopped"), std::string::npos);
  EXPECT_EQ(run.out.find("Connect Timeout!!"), std::string::npos);
}

// ---- auto and download -------------------------------------------------------------------------

TEST_F(DeviceCli, AutoProgramsChipAfterChipStampingTheNextSerialNumber) {
  const KvxwRun run =
      RunKvxw({"auto", "--port", "sim", "--device", "KVX-01", "--file", Path("p01.bin"), "--option",
               kOption01, "--count", "3", "--serial-start", "100", "--serial-bytes", "2",
               "--serial-value", "00FF"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(HasLinesInOrder(
      run.out, {"StaticText1: Auto-Program", "EraseMsg: Erase End", "Label1: Blank Check ..... OK.",
                "Label2: Data program & verify OK!!", "Label3: ID & Checksum verify OK!!",
                "Label4: OPTION program & verify OK!!", "Pass Count: 1", "Serial No.: 0100",
                "Label4: OPTION program & verify OK!!", "Pass Count: 2", "Serial No.: 0101",
                "Label4: OPTION program & verify OK!!", "Pass Count: 3", "Serial No.: 0102"}));
}

TEST_F(DeviceCli, AutoStopsAtTheFirstPassThatFails) {
  struct Case {
    std::string fault;
    int exit;
    std::string line;
  };
  for (const Case& c :
       {Case{"write-fail-at=100", 1, "Label2: Data program fail !! [error]"},
        Case{"no-chip", 3, "EraseMsg: Nothing in socket or type error!! [error]"}}) {
    const KvxwRun run =
        RunKvxw({"auto", "--port", "sim", "--device", "KVX-01", "--file", Path("p01.bin"),
                 "--option", kOption01, "--count", "3", "--sim-fault", c.fault});
    EXPECT_EQ(run.status, c.exit) << c.fault << "\n" << run.out;
    EXPECT_TRUE(HasLinesInOrder(run.out, {c.line, "Pass Count: 0"})) << c.fault;
    const auto lines = Lines(run.out);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("Pass Count:", 0) == 0; }),
              1)
        << "one pass only: " << c.fault;
  }
}

// An ID or OPTION read-back that differs is a red line, yet the chip counts: the run stops there
// with status 1, so that a script does not take the chip as good.
TEST_F(DeviceCli, AutoCountsAChipWithARedReadBackAndExitsOne) {
  for (const auto& [fault, line] :
       {std::pair{"option-unwritten", "Label4: OPTION verify Fail!! [error]"},
        std::pair{"id-unwritten", "Label3: Checksum verify fail!! [error]"}}) {
    const KvxwRun run =
        RunKvxw({"auto", "--port", "sim", "--device", "KVX-01", "--file", Path("p01.bin"),
                 "--option", kOption01, "--count", "2", "--sim-fault", fault});
    EXPECT_EQ(run.status, 1) << fault << "\n" << run.out << run.err;
    EXPECT_TRUE(HasLinesInOrder(run.out, {line, "Pass Count: 1"})) << fault;
    EXPECT_EQ(run.out.find("Pass Count: 2"), std::string::npos) << fault;
  }
}

// One QTP record: a 1-byte number at word address 0100 (or `high` 00: at 0000).
std::string QtpRecord(int value, int high = 0x01) {
  const int sum = 2 + 0x00 + 0x00 + value + 0x31;  // only the address's low byte counts
  char text[32];
  std::snprintf(text, sizeof text, ":02%02X0000%02X31%02X\r\n", high, value,
                (0x100 - (sum & 0xFF)) & 0xFF);
  return text;
}

TEST_F(DeviceCli, AutoTakesNumbersFromAQtpFileAndEndsWithItsEndRecord) {
  std::ofstream(Path("numbers.txt"), std::ios::binary)
      << QtpRecord(0x41) << QtpRecord(0x42) << ":00000001FF";
  const KvxwRun run =
      RunKvxw({"auto", "--port", "sim", "--device", "KVX-01", "--file", Path("p01.bin"), "--option",
               kOption01, "--count", "5", "--qtp", Path("numbers.txt")});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  // The end record is read after the pass that programmed the last number, which still counts.
  EXPECT_TRUE(HasLinesInOrder(run.out, {"Pass Count: 1", "Serial No.: 42",
                                        "Message: QTP Program Finished!", "Pass Count: 2"}));
  EXPECT_EQ(run.out.find("Pass Count: 3"), std::string::npos);
}

// Serial words that are not RTIW refuse the program (status 1) whether the numbers come from the
// serial-number settings or from a QTP file.
TEST_F(DeviceCli, AutoRefusesSerialWordsThatAreNotRtiw) {
  std::ofstream(Path("at0000.txt"), std::ios::binary) << QtpRecord(0x41, 0x00) << ":00000001FF";
  const struct {
    std::vector<std::string> numbers;
    const char* message;
  } cases[] = {
      {{"--serial-start", "0000"}, "The program memory is not 'RTIW'. Serial No. will be disable!"},
      {{"--qtp", Path("at0000.txt")}, "The program memory is not 'RTIW'"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv{"auto", "--port", "sim", "--device", "KVX-01", "--file",
                                  Path("p01.bin"), "--option", kOption01};
    argv.insert(argv.end(), c.numbers.begin(), c.numbers.end());
    const KvxwRun run = RunKvxw(argv);
    EXPECT_EQ(run.status, 1) << c.numbers[0] << "\n" << run.err;
    EXPECT_TRUE(HasLinesInOrder(run.out, {std::string("Message: ") + c.message})) << run.out;
    EXPECT_EQ(run.out.find("StaticText1"), std::string::npos);
  }
}

TEST_F(DeviceCli, DownloadSendsTheTickedDevicesInCatalogueOrder) {
  const KvxwRun defaults = RunKvxw({"download", "--port", "sim"});
  EXPECT_EQ(defaults.status, 0) << defaults.out << defaults.err;
  EXPECT_TRUE(HasLinesInOrder(
      defaults.out, {"Total selected devices : 16", "Slot 1: KVX-03", "Slot 16: KVX-37"}));

  const KvxwRun named = RunKvxw({"download", "--port", "sim", "--device", "KVX-43", "--device",
                                 "KVX-01", "--device", "KVX-43"});
  EXPECT_EQ(named.status, 0);
  EXPECT_TRUE(HasLinesInOrder(named.out,
                              {"Total selected devices : 2", "Slot 1: KVX-01", "Slot 2: KVX-43"}));

  std::vector<std::string> seventeen = {"download", "--port", "sim"};
  for (int i = 1; i <= 17; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "KVX-%02d", i);
    seventeen.insert(seventeen.end(), {"--device", name});
  }
  const KvxwRun tooMany = RunKvxw(seventeen);
  EXPECT_EQ(tooMany.status, 2);
  EXPECT_NE(tooMany.err.find("Already selected 16 devices"), std::string::npos);

  const KvxwRun refused = RunKvxw({"download", "--port", "sim", "--sim-fault", "wrong-writer"});
  EXPECT_EQ(refused.status, 3);
  EXPECT_TRUE(HasLinesInOrder(refused.out, {"Message: Writer Error!! [error]"}));
}

}  // namespace kvx::cli::test
