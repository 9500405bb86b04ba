// Production runs you can trust: kvxw auto writes every pass to the journal, never stamps a
// serial number twice (also after a run was killed half-way), and kvxw journal reads it back.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_support.h"

namespace kvx::cli::test {
namespace {

using std::chrono::seconds;
using Row = std::map<std::string, std::string>;

class JournalCli : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Write("p01.bin", WordBytes(SampleProgramWords(true)));
  }

  // kvxw auto on KVX-01 with four-byte serial numbers from 00001000, and `more`.
  std::vector<std::string> AutoArgs(const std::string& port, const std::string& more) const {
    std::vector<std::string> args = {"auto",           "--port",         port,
                                     "--device",       "KVX-01",         "--file",
                                     Path("p01.bin"),  "--option",       "155D",
                                     "--serial-start", "0100",           "--serial-bytes",
                                     "4",              "--serial-value", "00001000"};
    for (const auto& a : SplitArgs(more)) args.push_back(a);
    return args;
  }

  // lot.txt: five two-byte numbers from 0100 for the RTIW words at 0100.
  bool WriteLot() {
    return RunKvxw({"qtp", "--program", Path("p01.bin"), "--device", "KVX-01",
                    "--start-address", "100", "--bytes", "2", "--value", "0100", "--parts", "5",
                    "-o", Path("lot.txt")})
               .status == 0;
  }

  // The journal's passes, one map of column to value per row.
  std::vector<Row> Passes(const std::string& journal = "kvx-journal.db") {
    const KvxwRun run = RunKvxw({"journal", "--csv", "--journal", journal});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<Row> rows;
    const auto lines = Lines(run.out);
    if (lines.empty()) return rows;
    auto fields = [](std::string line) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::vector<std::string> out(1);
      for (char c : line) {
        if (c == ',')
          out.emplace_back();
        else
          out.back() += c;
      }
      return out;
    };
    const auto header = fields(lines[0]);
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const auto values = fields(lines[i]);
      Row row;
      for (std::size_t c = 0; c < header.size() && c < values.size(); ++c)
        row[header[c]] = values[c];
      rows.push_back(row);
    }
    return rows;
  }
};

// The serial numbers that went into a chip (or may have): no two rows may share one.
void ExpectNoNumberTwice(const std::vector<Row>& rows) {
  std::set<std::string> used;
  for (const Row& r : rows) {
    EXPECT_NE(r.at("outcome"), "pending") << r.at("serial");
    const bool free = r.at("counted") == "0" &&
                      (r.at("outcome") == "chip failed" || r.at("outcome") == "link failed");
    if (!free) {
      EXPECT_TRUE(used.insert(r.at("serial")).second) << r.at("serial") << " twice";
    }
  }
}

}  // namespace

TEST_F(JournalCli, EveryPassIsRecordedAndAUsedFirstNumberIsRefusedUntilResumed) {
  KvxwRun run = RunKvxw(AutoArgs("sim", "--count 3"));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  auto rows = Passes();
  ASSERT_EQ(rows.size(), 3u);
  const char* serials[] = {"00001000", "00001001", "00001002"};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(rows[i]["serial"], serials[i]);
    EXPECT_EQ(rows[i]["outcome"], "ok");
    EXPECT_EQ(rows[i]["pass_count"], std::to_string(i + 1));
    EXPECT_EQ(rows[i]["port"], "SIM");
    EXPECT_EQ(rows[i]["device"], "KVX-01");
    EXPECT_EQ(rows[i]["option"], "1555");  // as programmed: the device's fixed bits forced
    EXPECT_EQ(rows[i]["series"], "KVX-01 @0100 x4 sequential+1 msb");
    EXPECT_NE(rows[i]["ended"], "");
  }

  // The same start again: refused before any chip, naming the number, its port and the next.
  run = RunKvxw(AutoArgs("sim", "--count 2"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.find("Label"), std::string::npos) << run.out;
  for (const char* part : {"00001000", "SIM", rows[0]["started"].c_str(), "00001003", "--resume"})
    EXPECT_NE(run.err.find(part), std::string::npos) << part << " in " << run.err;

  run = RunKvxw(AutoArgs("sim", "--count 2 --resume --lot L-7 --operator Ann"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Resume: serial number 00001003\n"), std::string::npos) << run.out;
  rows = Passes();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[3]["serial"], "00001003");
  EXPECT_EQ(rows[4]["serial"], "00001004");
  ExpectNoNumberTwice(rows);
  EXPECT_EQ(rows[0]["lot"] + rows[0]["operator"], "");
  EXPECT_EQ(rows[4]["lot"] + " " + rows[4]["operator"], "L-7 Ann");
  run = RunKvxw({"journal", "--lot", "L-7"});
  EXPECT_NE(run.out.find("LOT  OPERATOR  RED LINE\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("L-7  Ann"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("00001000"), std::string::npos) << "another lot's pass:\n" << run.out;

  // The summary and the filters.
  run = RunKvxw({"journal", "--summary"});
  EXPECT_NE(run.out.find("KVX-01  5       5   0       0        0        100.0%"), std::string::npos)
      << run.out;
  // As the journal writes the time, and as an operator types it (a space for the "T").
  std::string typed = rows[3]["started"];
  std::replace(typed.begin(), typed.end(), 'T', ' ');
  for (const std::string& since : {rows[3]["started"], typed}) {
    run = RunKvxw({"journal", "--csv", "--since", since});
    EXPECT_EQ(Lines(run.out).size(), 3u) << since << '\n' << run.out;
  }
  run = RunKvxw({"journal", "--csv", "--series", "another"});
  EXPECT_EQ(Lines(run.out).size(), 1u) << run.out;
}

TEST_F(JournalCli, AFailedPassGivesItsNumberBackAndTheJournalSaysWhy) {
  KvxwRun run = RunKvxw(AutoArgs("sim", "--count 2 --sim-fault write-fail-at=100"));
  EXPECT_EQ(run.status, 1) << run.out;
  run = RunKvxw(AutoArgs("sim", "--count 1"));  // the number of the failed chip is free again
  ASSERT_EQ(run.status, 0) << run.err;
  const auto rows = Passes();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at("outcome"), "chip failed");
  EXPECT_EQ(rows[0].at("red_line"), "Data program fail !!");
  EXPECT_EQ(rows[0].at("counted"), "0");
  EXPECT_EQ(rows[1].at("serial"), "00001000");
  EXPECT_EQ(rows[1].at("outcome"), "ok");
}

TEST_F(JournalCli, AJournalThatCannotBeOpenedStopsTheRunBeforeTheFirstChip) {
  WriteFile(Path("corrupt.db"), std::string(8192, 'x'));
  for (const std::string& journal : {Path("missing/kvx-journal.db"), Path("corrupt.db")}) {
    const KvxwRun run = RunKvxw(AutoArgs("sim", "--journal " + journal));
    EXPECT_EQ(run.status, 1) << journal;
    EXPECT_EQ(run.out.find("Label"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(journal), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("no chip was programmed"), std::string::npos) << run.err;
  }
  // Without the journal the run goes on, and nothing is written.
  const KvxwRun run = RunKvxw(AutoArgs("sim", "--no-journal"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(Exists(Path("kvx-journal.db")));
  EXPECT_EQ(RunKvxw(AutoArgs("sim", "--no-journal --resume")).status, 2);
}

// A run killed (SIGKILL, in a child process) at several points of a pass, then a second run:
// no number goes into two chips, and the journal says what happened to each.
TEST_F(JournalCli, AKilledRunNeverLetsANumberIntoTwoChips) {
  struct KillPoint {
    std::string line;  // killed as soon as this line is out
    bool midPass;
  };
  const KillPoint killPoints[] = {
      {"Label1: Blank Check ..... OK.\n", true},         // programming the chip
      {"Label2: Data program & verify OK!!\n", true},   // the program memory is in, OPTION not
      {"Pass Count: 1\n", false},                        // between two chips
  };
  int n = 0;
  for (const KillPoint& point : killPoints) {
    const std::string journal = Path("j" + std::to_string(++n) + ".db");
    {
      // The Writer on a terminal at the wire's pace, so the kill lands inside the pass.
      const std::string link = Path("w" + std::to_string(n));
      SimServer server(link, {"--device", "KVX-01", "--fresh-chip-each-pass", "--fault",
                              "baud-delay"});
      ASSERT_TRUE(server.Ready()) << server.Output();
      KvxwProcess first(AutoArgs("Com1", "--count 3 --journal " + journal),
                        {.env = {"KVXW_COM1=" + link}});
      ASSERT_TRUE(first.WaitForOutput(point.line, seconds(30))) << point.line << first.SoFar().out;
      first.Signal(SIGKILL);
      first.Stop(0, seconds(10));
    }
    // Reading the journal after the run died already shows its open pass as unknown.
    const auto killed = Passes(journal);
    ASSERT_FALSE(killed.empty()) << point.line;
    if (point.midPass) {
      EXPECT_EQ(killed.back().at("outcome"), "unknown") << point.line;
    }
    ExpectNoNumberTwice(killed);

    const KvxwRun second = RunKvxw(AutoArgs("sim", "--count 2 --resume --journal " + journal));
    ASSERT_EQ(second.status, 0) << point.line << second.out << second.err;
    const auto rows = Passes(journal);
    ASSERT_EQ(rows.size(), killed.size() + 2) << point.line;
    for (std::size_t i = 0; i < killed.size(); ++i)
      EXPECT_EQ(rows[i].at("outcome"), killed[i].at("outcome"));
    ExpectNoNumberTwice(rows);
  }
}

TEST_F(JournalCli, AQtpRunResumesAfterTheLastRecordUsed) {
  ASSERT_TRUE(WriteLot());
  auto qtpRun = [&](const std::string& more) {
    std::vector<std::string> args = {"auto",   "--port", "sim", "--device", "KVX-01", "--file",
                                     Path("p01.bin"), "--option", "155D", "--qtp",
                                     Path("lot.txt")};
    for (const auto& a : SplitArgs(more)) args.push_back(a);
    return RunKvxw(args);
  };
  ASSERT_EQ(qtpRun("--count 2").status, 0);
  KvxwRun run = qtpRun("--count 2");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("QTP record 1 (serial number 0100)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("record 3"), std::string::npos) << run.err;
  run = qtpRun("--count 5 --resume");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Resume: QTP record 3, serial number 0102\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Message: QTP Program Finished!"), std::string::npos) << run.out;
  const auto rows = Passes();
  ASSERT_EQ(rows.size(), 5u);
  for (std::size_t i = 0; i < rows.size(); ++i)
    EXPECT_EQ(rows[i].at("qtp_record"), std::to_string(i + 1));
  ExpectNoNumberTwice(rows);
}

}  // namespace kvx::cli::test

namespace kvx::cli::test {

// Two Writers behind one `kvxw sim`, driven at once by one kvxw auto: every line says its port,
// both ports draw from the one series, and no number goes into two chips.
TEST_F(JournalCli, TwoPortsAtOnceShareTheSeriesWithoutSharingANumber) {
  const std::string a = Path("writer-a"), b = Path("writer-b");
  SimServer server(a, {"--link", b, "--device", "KVX-01", "--fresh-chip-each-pass"});
  ASSERT_TRUE(server.Ready()) << server.Output();
  ASSERT_TRUE(Exists(b)) << server.Output();
  const RunOptions env{.env = {"KVXW_COM1=" + a, "KVXW_COM2=" + b}};

  KvxwRun run = RunKvxw(AutoArgs("Com1", "--port Com2 --count 4"), env);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  for (const std::string& line : Lines(run.out)) {
    EXPECT_TRUE(line.starts_with("[COM1] ") || line.starts_with("[COM2] ")) << line;
  }
  for (const std::string& line : Lines(run.err)) {
    EXPECT_TRUE(line.starts_with("progress: COM1 ") || line.starts_with("progress: COM2 "))
        << line;
  }
  auto rows = Passes();
  ASSERT_EQ(rows.size(), 8u);
  std::map<std::string, int> perPort;
  for (const Row& r : rows) ++perPort[r.at("port")];
  EXPECT_EQ(perPort["COM1"], 4);
  EXPECT_EQ(perPort["COM2"], 4);
  ExpectNoNumberTwice(rows);

  // A port that fails stops only itself; the exit status is the worst of the two.
  run = RunKvxw(AutoArgs("Com1", "--port Com2 --port Com7 --count 2 --resume"),
                {.env = {"KVXW_COM1=" + a, "KVXW_COM2=" + b, "KVXW_COM7=" + Path("nothing")}});
  EXPECT_EQ(run.status, 3) << run.out << run.err;
  EXPECT_NE(run.err.find("[COM7] "), std::string::npos) << run.err;
  rows = Passes();
  EXPECT_EQ(rows.size(), 12u);
  ExpectNoNumberTwice(rows);
}

}  // namespace kvx::cli::test

namespace kvx::cli::test {

// Two ports on one QTP file: each record goes into one chip, and both ports stop at its end.
TEST_F(JournalCli, TwoPortsShareAQtpFileRecordByRecord) {
  ASSERT_TRUE(WriteLot());
  const KvxwRun run =
      RunKvxw({"auto", "--port", "sim", "--port", "sim", "--device", "KVX-01", "--file",
               Path("p01.bin"), "--option", "155D", "--qtp", Path("lot.txt"), "--count", "9"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const auto rows = Passes();
  std::set<std::string> records;
  for (const Row& r : rows) {
    if (r.at("outcome") == "ok") {
      EXPECT_TRUE(records.insert(r.at("qtp_record")).second) << r.at("qtp_record") << " twice";
    }
  }
  EXPECT_EQ(records, (std::set<std::string>{"1", "2", "3", "4", "5"}));
  ExpectNoNumberTwice(rows);
}

// A chip that failed after its serial bytes went in keeps the number: the next run starts from
// the next one, and a run that cannot reserve its first number says no chip was programmed.
TEST_F(JournalCli, AChipThatFailedLateKeepsItsNumberAndJournalFailuresExitAsFailures) {
  // Byte 600 of the program stream is past the serial words (bytes 512 to 519).
  KvxwRun run = RunKvxw(AutoArgs("sim", "--count 2 --sim-fault write-fail-at=600"));
  EXPECT_EQ(run.status, 1) << run.out;
  run = RunKvxw(AutoArgs("sim", "--count 1"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("serial number 00001000 went out"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("(chip failed); the next free one is 00001001"), std::string::npos)
      << run.err;
  run = RunKvxw(AutoArgs("sim", "--count 1 --resume"));
  ASSERT_EQ(run.status, 0) << run.err;
  auto rows = Passes();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at("outcome"), "chip failed");
  EXPECT_EQ(rows[1].at("serial"), "00001001");

  // The witness cannot be written: the first reservation fails, nothing is programmed.
  std::filesystem::remove(Path("kvx-journal.db.witness"));
  std::filesystem::create_symlink("/dev/full", Path("kvx-journal.db.witness"));
  run = RunKvxw(AutoArgs("sim", "--count 2 --resume"));
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("kvx-journal.db.witness cannot be written"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("; no chip was programmed"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("Blank Check"), std::string::npos) << run.out;
  std::filesystem::remove(Path("kvx-journal.db.witness"));

  // A file that is not a journal is refused and left alone.
  WriteFile(Path("empty.db"), "");
  run = RunKvxw(AutoArgs("sim", "--journal " + Path("empty.db")));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("is an empty file, not a journal"), std::string::npos) << run.err;
  EXPECT_EQ(std::filesystem::file_size(Path("empty.db")), 0u);
  run = RunKvxw({"journal", "--journal", Path("empty.db")});
  EXPECT_EQ(run.status, 1);
}

TEST_F(JournalCli, ReadingAJournalThatIsNotThereSaysSo) {
  const KvxwRun run = RunKvxw({"journal", "--journal", Path("none.db")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("there is no journal " + Path("none.db")), std::string::npos) << run.err;
  EXPECT_FALSE(Exists(Path("none.db")));
}

}  // namespace kvx::cli::test

namespace kvx::cli::test {

// Ctrl-C stops every port between two bytes; each says so, and the journal keeps the passes as
// stopped, their numbers used.
TEST_F(JournalCli, CtrlCStopsEveryPortAndTheJournalSaysStopped) {
  const std::string a = Path("writer-a"), b = Path("writer-b");
  SimServer server(a, {"--link", b, "--device", "KVX-01", "--fresh-chip-each-pass", "--fault",
                       "baud-delay"});
  ASSERT_TRUE(server.Ready()) << server.Output();
  RunOptions options{.env = {"KVXW_COM1=" + a, "KVXW_COM2=" + b}};
  options.interruptWhen = [](const KvxwRun& r) {
    return r.err.find("progress: COM1 50") != std::string::npos;
  };
  const KvxwRun run = RunKvxw(AutoArgs("Com1", "--port Com2 --count 3"), options);
  EXPECT_EQ(run.status, 130) << run.out << run.err;
  for (const char* port : {"[COM1] kvxw auto: stopped", "[COM2] kvxw auto: stopped"}) {
    EXPECT_NE(run.err.find(port), std::string::npos) << run.err;
  }
  const auto rows = Passes();
  const auto stopped = std::count_if(rows.begin(), rows.end(),
                                     [](const Row& r) { return r.at("outcome") == "stopped"; });
  EXPECT_GE(stopped, 1) << "COM1 was stopped half-way through its chip";
  ExpectNoNumberTwice(rows);
  // The summary counts the stops apart: no chip failed.
  const std::string summary = RunKvxw({"journal", "--summary"}).out;
  EXPECT_NE(summary.find("KVX-01  " + std::to_string(rows.size()) + "       0   0       " +
                         std::to_string(stopped)),
            std::string::npos)
      << summary;
}

}  // namespace kvx::cli::test

namespace kvx::cli::test {

// Two ports resume a QTP file after an earlier run used records 1 and 2: the second port starts
// at the first port's record, so its chip carries a record after 2, and no row holds another
// record's number.
TEST_F(JournalCli, TwoPortsResumeAQtpFileAfterTheRecordsUsed) {
  ASSERT_TRUE(WriteLot());
  const std::vector<std::string> qtpArgs = {"--device", "KVX-01", "--file", Path("p01.bin"),
                                            "--option", "155D",   "--qtp",  Path("lot.txt")};
  auto withQtp = [&](std::vector<std::string> args) {
    args.insert(args.end(), qtpArgs.begin(), qtpArgs.end());
    return args;
  };
  ASSERT_EQ(RunKvxw(withQtp({"auto", "--port", "sim", "--count", "2"})).status, 0);

  const std::string a = Path("writer-a"), b = Path("writer-b");
  SimServer server(a, {"--link", b, "--device", "KVX-01", "--fresh-chip-each-pass"});
  ASSERT_TRUE(server.Ready()) << server.Output();
  const KvxwRun run =
      RunKvxw(withQtp({"auto", "--port", "Com1", "--port", "Com2", "--resume", "--count", "1"}),
              {.env = {"KVXW_COM1=" + a, "KVXW_COM2=" + b}});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Resume: QTP record 3, serial number 0102\n"), std::string::npos)
      << run.out;
  std::set<std::string> records;
  for (const Row& r : Passes()) {
    const long record = std::stol(r.at("qtp_record"));
    char number[8];
    std::snprintf(number, sizeof number, "%04lX", 0x0100 + record - 1);
    EXPECT_EQ(r.at("serial"), number) << "record " << record << " on " << r.at("port");
    if (r.at("port") == "COM2") {
      EXPECT_GT(record, 2) << "COM2 started before the records used";
    }
    if (r.at("port") != "SIM") records.insert(r.at("port") + " " + r.at("qtp_record"));
  }
  EXPECT_EQ(records.size(), 2u);
  EXPECT_TRUE(records.count("COM1 3") + records.count("COM1 4") == 1 &&
              records.count("COM2 3") + records.count("COM2 4") == 1)
      << ::testing::PrintToString(records);
}

}  // namespace kvx::cli::test
