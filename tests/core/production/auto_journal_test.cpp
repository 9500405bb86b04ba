// Production passes through the journal against the simulated Writer: what the desktop's Auto
// Program and Force Write dialogs and kvxw auto all run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "core/ops/op_bench.h"
#include "core/production/auto_program.h"
#include "core/production/commands.h"
#include "core/production/journaled_passes.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using testing::Bench;

class AutoJournal : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = fs::temp_directory_path() / ("kvx-auto-journal-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".db");
    RemoveJournal();  // a process of an earlier run with the same pid may have left one
    std::string error;
    ASSERT_TRUE(journal_.Open(path_.string(), error)) << error;
  }
  void TearDown() override { RemoveJournal(); }
  void RemoveJournal() {
    for (const char* end : {"", "-wal", "-shm", ".witness"}) fs::remove(path_.string() + end);
  }

  // Serial numbers of two bytes from 0x1000 at word 0x10 (RTIW words there).
  static void SerialNumbers(Bench& b) {
    b.LoadProgram();
    for (int k = 0; k < 2; ++k) {
      b.ws.image.ProgramBuffer[2 * (0x10 + k)] = 0x00;
      b.ws.image.ProgramBuffer[2 * (0x10 + k) + 1] = 0x62;
    }
    b.ws.production.SerialNoMode = true;
    b.ws.production.SerialStartAddress = 0x10;
    b.ws.production.SerialByteCount = 2;
    b.ws.production.SerialValue = {0x00, 0x10};
    b.writer.SetFreshChipEachPass(true);
  }

  // The dialog of `dialog` open on the bench's view, and the context of a pass on it.
  static OperationContext Context(Bench& b, const DialogSpec& dialog) {
    b.view.Open(dialog);
    return {b.ws, b.port, b.clock, b.view, b.stop.get_token()};
  }

  std::vector<PassRecord> Rows() {
    std::string error;
    return journal_.Passes({}, error);
  }

  fs::path path_;
  Journal journal_;
};

TEST_F(AutoJournal, EachPassIsReservedBeforeAndFinishedAfterWithItsRedLine) {
  Bench b;
  SerialNumbers(b);
  PassJournal passes(&journal_, "COM1", SerialSeriesOf(b.ws));
  OperationContext ctx = Context(b, AutoProgramDialog());
  std::string error;
  // "Continue" comes on only once its pass's row is finished: a click cannot fall into the gap
  // while the worker still writes the row.
  int continues = 0;
  b.view.onCall = [&](const testing::ViewCall& call) {
    if (call.kind != testing::ViewCall::Enabled || call.control != "Button2" || call.value != 1) return;
    ++continues;
    EXPECT_NE(Rows().back().outcome, PassOutcome::Pending) << "Continue before the row's end";
  };
  long seen = 0;
  const PassResult last = RunJournaledPasses(
      MainCommand(CommandId::AutoProgram), ctx, 3, passes,
      [&](long n, const PassResult&) {
        ++seen;
        // The row of the pass is finished when the caller hears of it.
        if (n < 3) {
          EXPECT_EQ(Rows().back().outcome, PassOutcome::Ok) << n;
        }
        if (n == 2) b.writer.Faults().WriteFailAt = 40;  // the third chip fails
      },
      error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(continues, 3);
  EXPECT_TRUE(b.view.Enabled("Button1"));
  EXPECT_EQ(last.outcome, OpOutcome::ChipFailed);
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].serial, "1000");
  EXPECT_EQ(rows[1].serial, "1001");
  EXPECT_EQ(rows[2].serial, "1002");
  EXPECT_EQ(rows[2].outcome, PassOutcome::ChipFailed);
  EXPECT_FALSE(rows[2].counted);
  EXPECT_EQ(rows[2].redLine, "Data program fail !!");
  EXPECT_EQ(rows[1].passCount, 2);
  EXPECT_EQ(rows[0].device, b.ws.device.DeviceName);
  EXPECT_EQ(rows[0].writer, " ZQR640B V3.10") << "the Writer's identification, asked once";
}

TEST_F(AutoJournal, ForceWriteRecordsItsChipsWithoutANumber) {
  Bench b;
  SerialNumbers(b);
  PassJournal passes(&journal_, "COM2", SerialSeriesOf(b.ws));
  OperationContext ctx = Context(b, ForceWriteDialog());
  std::string error;
  const PassResult r = RunJournaledPass(MainCommand(CommandId::ForceWrite), ctx, 1, passes, error);
  EXPECT_EQ(r.outcome, OpOutcome::Ok) << error;
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].series, "");
  EXPECT_EQ(rows[0].serial, "");
  EXPECT_EQ(rows[0].outcome, PassOutcome::Ok);
  EXPECT_TRUE(rows[0].counted);
}

TEST_F(AutoJournal, ANumberAnotherPortTookIsSkippedAndTheChipGetsTheNextOne) {
  Bench b;
  SerialNumbers(b);
  const std::string series = SerialSeriesOf(b.ws);
  PassRecord taken;
  taken.series = series;
  taken.serial = "1000";
  std::string error;
  ASSERT_EQ(journal_.Reserve(taken, error), Journal::ReserveResult::Reserved);

  PassJournal passes(&journal_, "COM1", series);
  OperationContext ctx = Context(b, AutoProgramDialog());
  const PassResult r = RunJournaledPass(MainCommand(CommandId::AutoProgram), ctx, 1, passes, error);
  ASSERT_EQ(r.outcome, OpOutcome::Ok) << error;
  EXPECT_EQ(Rows().back().serial, "1001");
  // The chip carries 1001: MSB first at word 0x10.
  EXPECT_EQ(b.writer.ReadBackWord(0x10), 0x3110);
  EXPECT_EQ(b.writer.ReadBackWord(0x11), 0x3101);
}

}  // namespace
}  // namespace kvx
