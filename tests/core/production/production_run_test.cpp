// Auto Program on several Writers at once through the core's ProductionRun, each Writer the
// in-process simulated one: one shared journal, a workspace per Writer that starts where the
// first does, events per Writer, and a stop for one Writer or all.
#include "core/production/production_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include "core/ops/op_bench.h"
#include "core/production/commands.h"
#include "core/production/qtp_file.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using testing::Bench;

constexpr int kSerialAt = 0x10;

class ProductionRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kvx-production-run-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::string error;
    ASSERT_TRUE(journal_.Open((dir_ / kJournalFileName).string(), error)) << error;
    // The lot: five two-byte numbers from 0100, one per record.
    Bench b;
    Program(b.ws);
    ASSERT_EQ(WriteQtpFile(b.ws, Lot(), 5), "");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Lot() const { return (dir_ / "lot.txt").string(); }

  // The bench's program with RTIW words for two-byte numbers from 0100 at kSerialAt.
  static void Program(Workspace& ws) {
    Bench shape;  // the program every Writer gets
    shape.LoadProgram();
    ws.device.SelectedDevice = shape.ws.device.SelectedDevice;
    GetICInfo(ws, ws.device.SelectedDevice);
    ws.image.ProgramBuffer = shape.ws.image.ProgramBuffer;
    ws.image.OptionLow = shape.ws.image.OptionLow;
    ws.image.OptionHigh = shape.ws.image.OptionHigh;
    ws.image.IdBuffer = shape.ws.image.IdBuffer;
    for (int k = 0; k < 2; ++k) {
      ws.image.ProgramBuffer[2 * (kSerialAt + k)] = 0x00;
      ws.image.ProgramBuffer[2 * (kSerialAt + k) + 1] = 0x62;
    }
    CalChecksum(ws);
    ws.production.SerialStartAddress = kSerialAt;
    ws.production.SerialByteCount = 2;
    ws.production.SerialValue = {0x00, 0x01};
  }
  // A workspace as kvxw builds one for each port: the program, then the QTP file loaded.
  bool Build(Workspace& ws, std::string& error) {
    Program(ws);
    if (LoadQtpFile(ws, Lot()).loaded) return true;
    error = "not loaded";
    return false;
  }

  // Rows of records 1..k, as an earlier run left them.
  void EarlierRun(const std::string& series, long k) {
    std::string error;
    for (long r = 1; r <= k; ++r) {
      PassRecord row;
      row.port = "EARLIER";
      row.series = series;
      row.serial = "010" + std::to_string(r - 1);
      row.record = r;
      ASSERT_EQ(journal_.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
      row.outcome = PassOutcome::Ok;
      row.counted = true;
      ASSERT_TRUE(journal_.Finish(row, error)) << error;
    }
  }

  // Counts the Writers' ends, as a GUI thread would hear of them.
  struct Ends {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::size_t, WriterOutcome> outcomes;
    void Add(std::size_t writer, const WriterOutcome& outcome) {
      std::lock_guard lock(mutex);
      EXPECT_TRUE(outcomes.emplace(writer, outcome).second) << writer << " ended twice";
      changed.notify_all();
    }
    void WaitFor(std::size_t count) {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return outcomes.size() >= count; });
    }
  };

  fs::path dir_;
  Journal journal_;
};

// Two Writers resume a QTP file after an earlier run's records 1 and 2: each record goes into
// one chip, the second Writer's chip carries a record after 2, and every row's number is its
// record's (a second Writer left at record 1 would stamp 0100 under record 3's row).
TEST_F(ProductionRunTest, TwoWritersResumeAQtpFileEachRecordIntoOneChip) {
  Bench b1, b2;
  std::string error;
  ASSERT_TRUE(Build(b1.ws, error)) << error;
  b1.writer.SetFreshChipEachPass(true);
  b2.writer.SetFreshChipEachPass(true);
  QtpFileState qtp = ReadQtpFileState(b1.ws);
  const std::string series = SerialSeriesOf(b1.ws, qtp.content);
  EarlierRun(series, 2);
  const RunStart start = DecideRunStart(journal_, series, b1.ws, qtp);
  ASSERT_EQ(start.verdict, RunStart::Verdict::QtpRecordsUsed);
  ASSERT_TRUE(MoveToRunStart(start, b1.ws, error)) << error;

  Ends ends;
  // Written by each Writer's own thread, read once both have ended.
  std::array<std::atomic<long>, 2> afterPasses{};
  std::atomic<int> passesWithoutRow = 0;
  ProductionRun run({.command = &MainCommand(CommandId::AutoProgram),
                     .passes = 1,  // one chip each: both Writers take a record
                     .journal = &journal_,
                     .start = start,
                     .build = [&](Workspace& ws, std::string& e) { return Build(ws, e); },
                     .afterPass =
                         [&](std::size_t w, const Workspace&, const PassReport& report) {
                           afterPasses.at(w) = report.pass;
                           // Each pass hands over its journal row, with the number it stamped.
                           if (!report.row || report.row->serial.empty()) ++passesWithoutRow;
                         },
                     .ended = [&](std::size_t w, const WriterOutcome& o) { ends.Add(w, o); }});
  EXPECT_EQ(run.Add(b1.ws, {"COM1", b1.port, b1.clock, b1.view}), 0u);
  std::size_t second = 0;
  ASSERT_TRUE(run.Add({"COM2", b2.port, b2.clock, b2.view}, second, error)) << error;
  EXPECT_EQ(second, 1u);
  run.Start();  // returns at once; the ends say when the Writers are done
  ends.WaitFor(2);
  const std::vector<WriterOutcome> outcomes = run.Wait();

  ASSERT_EQ(outcomes.size(), 2u);
  long chips = 0;
  for (std::size_t w = 0; w < 2; ++w) {
    SCOPED_TRACE(w);
    EXPECT_EQ(outcomes[w].outcome, OpOutcome::Ok);
    EXPECT_EQ(outcomes[w].journalError, "");
    EXPECT_EQ(ends.outcomes[w].passes, outcomes[w].passes);
    EXPECT_EQ(afterPasses.at(w).load(), outcomes[w].passes);
    chips += outcomes[w].passes;
  }
  EXPECT_FALSE(b2.view.Lines().empty()) << "the second Writer's lines went to its own view";
  EXPECT_EQ(passesWithoutRow, 0);
  std::set<long> records;
  std::map<std::string, long> perPort, lastRecord;
  for (const PassRecord& r : journal_.Passes({}, error)) {
    if (r.port == "EARLIER" || r.outcome != PassOutcome::Ok) continue;
    SCOPED_TRACE(r.record);
    EXPECT_TRUE(records.insert(r.record).second) << "record " << r.record << " twice";
    EXPECT_EQ(r.serial, "010" + std::to_string(r.record - 1)) << "its record's number";
    EXPECT_GT(r.record, 2);
    ++perPort[r.port];
    lastRecord[r.port] = r.record;
  }
  EXPECT_EQ(records, (std::set<long>{3, 4}));
  EXPECT_GE(perPort["COM2"], 1) << "both Writers took records";
  EXPECT_GE(perPort["COM1"], 1);
  // The second Writer's last chip carries its last record's number.
  EXPECT_EQ(b2.writer.ReadBackWord(kSerialAt + 1), 0x3100 + lastRecord["COM2"] - 1);
  EXPECT_EQ(chips, 2);
}

TEST_F(ProductionRunTest, OneWriterStopsAloneAndAStopBeforeTheStartSendsNothing) {
  struct Case {
    bool stopAllFirst;
    OpOutcome first, second;
    long firstPasses, secondPasses;
  };
  for (const Case c : {Case{false, OpOutcome::Ok, OpOutcome::Stopped, 3, 1},
                       Case{true, OpOutcome::Stopped, OpOutcome::Stopped, 0, 0}}) {
    SCOPED_TRACE(c.stopAllFirst);
    Bench b1, b2;
    b1.LoadProgram();
    b1.writer.SetFreshChipEachPass(true);
    b2.writer.SetFreshChipEachPass(true);
    Ends ends;
    ProductionRun* self = nullptr;
    ProductionRun run({.command = &MainCommand(CommandId::AutoProgram),
                       .passes = 3,
                       .journal = &journal_,
                       .build = [&](Workspace& ws, std::string&) {
                         Program(ws);
                         return true;
                       },
                       // The second Writer is stopped after its first chip.
                       .afterPass = [&](std::size_t w, const Workspace&, const PassReport&) {
                         if (w == 1) self->Stop(1);
                       },
                       .ended = [&](std::size_t w, const WriterOutcome& o) { ends.Add(w, o); }});
    self = &run;
    run.Add(b1.ws, {"COM1", b1.port, b1.clock, b1.view});
    std::size_t index = 0;
    std::string error;
    ASSERT_TRUE(run.Add({"COM2", b2.port, b2.clock, b2.view}, index, error)) << error;
    if (c.stopAllFirst) run.StopAll();
    run.Start();
    ends.WaitFor(2);
    const auto outcomes = run.Wait();
    EXPECT_EQ(outcomes[0].outcome, c.first);
    EXPECT_EQ(outcomes[1].outcome, c.second);
    EXPECT_EQ(outcomes[0].passes, c.firstPasses);
    EXPECT_EQ(outcomes[1].passes, c.secondPasses);
    if (c.stopAllFirst) {
      EXPECT_EQ(b1.writer.BytesReceived() + b2.writer.BytesReceived(), 0);
    }
  }
}

// The production window's tiles: each start takes the series' next free number on the Writer's
// own thread, whatever an earlier run or the Writer before took, and a start that cannot be
// taken (a port that does not open, a series used up) ends at once with the reason, nothing sent
// and nothing recorded.
TEST_F(ProductionRunTest, EachStartAtTheNextFreeNumberOrNotAtAllWithTheReason) {
  std::string error;
  Bench probe;
  Program(probe.ws);
  probe.ws.production.SerialNoMode = true;
  const std::string counted = SerialSeriesOf(probe.ws);
  EarlierRun(counted, 1);  // 0100 went out before

  struct Case {
    const char* name;
    long qtpUsed;      // >0: the workspace holds the lot's QTP file, records 1..qtpUsed used
    bool portOpens;
    OpOutcome outcome;
    std::string serial;  // the chip's number; empty: none
    std::string reason;  // a part of notStarted
    bool optionBlank = false;  // the OPTION word's fields are blank: refused before any chip
  };
  const Case cases[] = {
      {"first", 0, true, OpOutcome::Ok, "0101", ""},
      {"second", 0, true, OpOutcome::Ok, "0102", ""},
      {"option blank", 0, true, OpOutcome::Refused, "", "Some Options are Blank!", true},
      {"port", 0, false, OpOutcome::LinkFailed, "", "Open  COM9 Port Error!!"},
      // Record 4's number: not record 1's, and not record 3's (0102), which the counted
      // series' second chip carries at the same place.
      {"qtp resumed", 2, true, OpOutcome::Ok, "0103", ""},
      {"qtp used up", 5, true, OpOutcome::Refused, "", "every record of the QTP file went out"},
  };
  bool lotStarted = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b;
    if (c.qtpUsed > 0) {
      ASSERT_TRUE(Build(b.ws, error)) << error;
      const std::string lot = SerialSeriesOf(b.ws, ReadQtpFileState(b.ws).content);
      if (!lotStarted) EarlierRun(lot, 2);
      lotStarted = true;
      for (long r = 3; r <= c.qtpUsed; ++r) {  // the rest of the lot, where the chips left it
        PassRecord row{.port = "EARLIER", .series = lot, .serial = "010" + std::to_string(r - 1),
                       .record = r};
        ASSERT_NE(journal_.Reserve(row, error), Journal::ReserveResult::Failed) << error;
      }
    } else {
      Program(b.ws);  // at 0100, as every tile's copy of the loaded workspace is
      b.ws.production.SerialNoMode = true;
      if (c.optionBlank) b.ws.results.OptionStatus = 1;
    }
    const std::size_t rowsBefore = journal_.Passes({}, error).size();
    Ends ends;
    ProductionRun run({.command = &MainCommand(CommandId::AutoProgram),
                       .journal = &journal_,
                       .ended = [&](std::size_t w, const WriterOutcome& o) { ends.Add(w, o); },
                       .startAtNextFree = true});
    run.Add(b.ws, {"COM9", b.port, b.clock, b.view, [&](std::string& reason) -> SerialPort* {
                     if (c.portOpens) return &b.port;
                     reason = "Open  COM9 Port Error!!";
                     return nullptr;
                   }});
    run.Start();
    ends.WaitFor(1);
    const WriterOutcome o = run.Wait().at(0);
    EXPECT_EQ(o.outcome, c.outcome);
    EXPECT_EQ(o.lastSerial, c.serial);
    if (c.reason.empty()) {
      EXPECT_EQ(o.notStarted, "");
      // The chip carries the number its row names (two bytes, most significant first).
      EXPECT_EQ(b.writer.ReadBackWord(kSerialAt + 1), 0x3100 + std::stoi(c.serial.substr(2)));
      EXPECT_EQ(journal_.Passes({}, error).size(), rowsBefore + 1);
    } else {
      EXPECT_NE(o.notStarted.find(c.reason), std::string::npos) << o.notStarted;
      EXPECT_EQ(b.writer.BytesReceived(), 0);
      EXPECT_EQ(journal_.Passes({}, error).size(), rowsBefore);
    }
  }
}

}  // namespace
}  // namespace kvx
