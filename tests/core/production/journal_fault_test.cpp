// The journal's promise under faults: a pass that fails late keeps its number, a journal that
// stops taking writes (at the reservation, at the pass's end, at a checkpoint, at the witness)
// stops the run with its name, never leaves a chip with a number that is not on disk, and a
// healthy journal afterwards goes on without a duplicate. Against the simulated Writer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "core/ops/op_bench.h"
#include "core/production/auto_program.h"
#include "core/production/commands.h"
#include "core/production/journaled_passes.h"
#include "faulty_vfs.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using testing::Bench;
using testing::FaultyVfs;

constexpr int kSerialWord = 0x40;
// The runs of a test share its process: each one opening the journal takes the earlier ones as
// ended, as a new process would.
const Journal::RunAlive kEarlierRunsDied = [](const std::string&, long) { return false; };  // the serial words are program-stream bytes 0x80 and on

class JournalFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kvx-journal-faults-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Db() const { return (dir_ / kJournalFileName).string(); }

  // Two-byte serial numbers from 0x1000 at kSerialWord; a fresh blank chip after each one
  // programmed.
  static void SerialNumbers(Bench& b) {
    b.LoadProgram();
    for (int k = 0; k < 2; ++k) {
      b.ws.image.ProgramBuffer[2 * (kSerialWord + k)] = 0x00;
      b.ws.image.ProgramBuffer[2 * (kSerialWord + k) + 1] = 0x62;
    }
    b.ws.production.SerialNoMode = true;
    b.ws.production.SerialStartAddress = kSerialWord;
    b.ws.production.SerialByteCount = 2;
    b.ws.production.SerialValue = {0x00, 0x10};
    b.writer.SetFreshChipEachPass(true);
  }

  struct Run {
    PassResult last;
    std::string error;
    long passes = 0;
  };
  // `count` Auto Program passes through a journal opened on Db() (healthy when it opens).
  Run AutoProgram(Bench& b, long count, const std::function<void()>& beforeFirst = {}) {
    Run run;
    Journal journal;
    if (!journal.Open(Db(), run.error, kEarlierRunsDied)) return run;
    PassJournal passes(&journal, "COM1", SerialSeriesOf(b.ws));
    if (beforeFirst) beforeFirst();
    b.view.Open(AutoProgramDialog());
    OperationContext ctx{b.ws, b.port, b.clock, b.view, b.stop.get_token()};
    run.last = RunJournaledPasses(MainCommand(CommandId::AutoProgram), ctx, count, passes,
                                  [&](long, const PassResult&) { ++run.passes; }, run.error);
    return run;
  }

  // Every row, as a healthy journal reads it.
  std::vector<PassRecord> Rows() {
    Journal journal;
    std::string error;
    EXPECT_TRUE(journal.Open(Db(), error, kEarlierRunsDied)) << error;
    return journal.Passes({}, error);
  }

  // A number kept used is in one row only, and every chip's number is in a row.
  void ExpectEachNumberOnce(const std::vector<PassRecord>& rows) {
    std::set<std::string> kept;
    for (const PassRecord& r : rows)
      if (r.keepsNumber) {
        EXPECT_TRUE(kept.insert(r.serial).second) << r.serial << " twice";
      }
  }

  fs::path dir_;
};

// The serial number is used from the moment its first byte may have reached the chip: a later
// failure keeps it, and the next chip gets the next number; a failure before gives it back.
TEST_F(JournalFaults, APassThatFailsAfterItsSerialBytesWentOutKeepsItsNumber) {
  struct Case {
    const char* name;
    std::function<void(Bench&, long bytesPerPass)> fault;  // on the second chip
    PassOutcome outcome;
    std::string nextChip;  // the number the third chip gets
  };
  const Case cases[] = {
      {"blank check", [](Bench& b, long) { b.writer.InsertChip(sim::ChipContent::Programmed); },
       PassOutcome::ChipFailed, "1001"},
      {"stream, the byte before the serial",
       [](Bench& b, long) { b.writer.Faults().WriteFailAt = 2 * kSerialWord - 1; },
       PassOutcome::ChipFailed, "1001"},
      {"stream, the serial's first byte",
       [](Bench& b, long) { b.writer.Faults().WriteFailAt = 2 * kSerialWord; },
       PassOutcome::ChipFailed, "1002"},
      {"the Writer silent after the stream",
       [](Bench& b, long perPass) {
         b.writer.Faults().SilentAfter = b.writer.BytesReceived() + perPass - 12;
       },
       PassOutcome::LinkFailed, "1002"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Bench b;
    SerialNumbers(b);
    Run first = AutoProgram(b, 1);
    ASSERT_EQ(first.last.outcome, OpOutcome::Ok) << first.error;
    const long perPass = b.writer.BytesReceived();
    c.fault(b, perPass);
    Run failed = AutoProgram(b, 1);
    b.writer.Faults() = {};
    b.writer.InsertChip(sim::ChipContent::Blank);
    b.Pause();
    Run next = AutoProgram(b, 1);
    ASSERT_EQ(next.last.outcome, OpOutcome::Ok) << next.error;

    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].serial, "1001");
    EXPECT_EQ(rows[1].outcome, c.outcome) << rows[1].redLine;
    EXPECT_EQ(rows[2].serial, c.nextChip);
    EXPECT_EQ(b.writer.ReadBackWord(kSerialWord + 1) & 0xFF, std::stoi(c.nextChip, nullptr, 16) & 0xFF);
    ExpectEachNumberOnce(rows);
  }
}

// The journal stops taking writes at one moment of the run. In every case the run stops with the
// journal's name and a failure, no chip carries a number that is not on disk, and once the disk
// is healthy again the run goes on with a number no chip has.
TEST_F(JournalFaults, AJournalThatStopsTakingWritesStopsTheRun) {
  struct Case {
    const char* name;
    // Arms the fault; the bench, the fault shim and the journal's path.
    std::function<void(Bench&, FaultyVfs&, const std::string&)> arm;
    const char* says;      // in the error
    long chipsProgrammed;  // chips that went through
    long okRows;           // rows of the stopped run that say "ok"
  };
  const Case cases[] = {
      {"at the reservation",
       [](Bench&, FaultyVfs& vfs, const std::string&) {
         vfs.FailAfter(FaultyVfs::Call::Write, FaultyVfs::kAllFiles);
       },
       "; no chip was programmed", 0, 0},
      {"at the reservation's sync",
       [](Bench&, FaultyVfs& vfs, const std::string&) {
         vfs.FailAfter(FaultyVfs::Call::Sync, FaultyVfs::kAllFiles);
       },
       "; no chip was programmed", 0, 0},
      {"at the pass's end",  // after the first reservation
       [](Bench& b, FaultyVfs& vfs, const std::string&) {
         b.When("Label1", "Blank Check.....",
                [&vfs] { vfs.FailAfter(FaultyVfs::Call::Write, FaultyVfs::kAllFiles); });
       },
       "; no more chips", 1, 0},
      {"at a checkpoint",
       [](Bench& b, FaultyVfs& vfs, const std::string&) {
         b.When("Label1", "Blank Check.....",
                [&vfs] { vfs.FailAfter(FaultyVfs::Call::Write, FaultyVfs::kMainDb); });
       },
       "(checkpoint)", 1, 1},
      {"at the witness",
       [](Bench&, FaultyVfs&, const std::string& db) {
         fs::remove(db + ".witness");
         fs::create_symlink("/dev/full", db + ".witness");
       },
       "; no chip was programmed", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Bench b;
    SerialNumbers(b);
    Run run;
    {
      FaultyVfs vfs;
      run = AutoProgram(b, 3, [&] { c.arm(b, vfs, Db()); });
    }
    if (fs::is_symlink(Db() + ".witness")) fs::remove(Db() + ".witness");
    EXPECT_EQ(run.passes, 1) << "the run stops after the pass the journal failed";
    EXPECT_NE(run.last.outcome, OpOutcome::Ok);
    EXPECT_TRUE(run.last.last) << "no further pass may start";
    EXPECT_NE(run.error.find(Db()), std::string::npos) << run.error;
    EXPECT_NE(run.error.find(c.says), std::string::npos) << run.error;
    if (c.chipsProgrammed == 0) {
      EXPECT_EQ(b.writer.BytesReceived(), 0) << "the Writer was asked";
    }

    // Healthy again: the chips of the run and the next ones never share a number.
    b.Pause();
    Run healthy = AutoProgram(b, 2);
    EXPECT_EQ(healthy.last.outcome, OpOutcome::Ok) << healthy.error;
    const auto rows = Rows();
    ExpectEachNumberOnce(rows);
    long ok = 0;
    for (const PassRecord& r : rows) {
      EXPECT_NE(r.outcome, PassOutcome::Pending) << r.serial;
      ok += r.outcome == PassOutcome::Ok;
    }
    EXPECT_EQ(ok, 2 + c.okRows);
    // The chip the stopped run programmed carries 1000, which its row keeps.
    if (c.chipsProgrammed == 1) {
      ASSERT_FALSE(rows.empty());
      EXPECT_EQ(rows[0].serial, "1000");
      EXPECT_TRUE(rows[0].keepsNumber);
    }
  }
}

// A run that died mid-stream on a port leaves the Writer taking bytes for its chip until the
// line is silent for a moment: the next run's first byte waits for that.
TEST_F(JournalFaults, ARunAfterOneThatDiedOnThePortWaitsForTheWriterFirst) {
  Bench b;
  SerialNumbers(b);
  b.writer.SetFreshChipEachPass(false);
  {
    Journal dying;
    std::string error;
    ASSERT_TRUE(dying.Open(Db(), error)) << error;
    PassRecord row;
    row.port = "COM1";
    ASSERT_EQ(dying.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
    // Its program stream got two words into the chip when the process was killed.
    WriterLink link(b.ws, b.port, b.clock);
    link.GetHeader(AreaProgram, ActionProgram);
    ASSERT_EQ(link.SendHeader(10), LinkResult::Ready);
    for (std::uint8_t byte : {std::uint8_t{0x01}, std::uint8_t{0x02}, std::uint8_t{0x03},
                            std::uint8_t{0x04}}) {
      std::uint8_t answer = 0;
      ASSERT_EQ(link.SendByte(byte), WriterLink::Wait::Ok);
      ASSERT_EQ(link.ReceiveByte(answer), WriterLink::Wait::Ok);
    }
  }
  const std::uint16_t third = b.writer.Chip().Program[2];
  Journal journal;
  std::string error;
  ASSERT_TRUE(journal.Open(Db(), error, kEarlierRunsDied));
  PassJournal passes(&journal, "COM1", SerialSeriesOf(b.ws));
  b.view.Open(AutoProgramDialog());
  OperationContext ctx{b.ws, b.port, b.clock, b.view, b.stop.get_token()};
  RunJournaledPass(MainCommand(CommandId::AutoProgram), ctx, 1, passes, error);
  EXPECT_EQ(b.writer.Chip().Program[2], third) << "the new run's bytes went into the old chip";
  EXPECT_FALSE(b.ws.results.WriterBusyHint);
}

}  // namespace
}  // namespace kvx
