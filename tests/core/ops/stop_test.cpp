// Closing the dialog: the worker ends at once, sends nothing more, and the port serves the next
// operation.
#include <gtest/gtest.h>

#include "core/ops/op_bench.h"
#include "core/ops/workers.h"

namespace kvx {
namespace {

using testing::Bench;
using testing::ViewCall;

TEST(Stop, ClosingDuringTheProgramStreamEndsAtOnce) {
  Bench b;
  b.LoadProgram();
  long sentAtStop = -1;
  std::size_t callsAtStop = 0;
  b.When("Label2", "0040", [&] {
    b.stop.request_stop();
    sentAtStop = b.port.BytesWritten();
    callsAtStop = b.view.Calls().size();
  });
  EXPECT_EQ(b.Run(ProgramMemoryWorker, ProgramMemoryDialog()), OpOutcome::Stopped);
  EXPECT_EQ(b.port.BytesWritten(), sentAtStop);
  EXPECT_EQ(b.view.Calls().size(), callsAtStop);  // not a line more, not even "OK"

  b.Pause();
  b.stop = std::stop_source();
  b.view.onCall = nullptr;
  b.view.ClearRecord();
  EXPECT_EQ(b.Run(ProgramMemoryWorker, ProgramMemoryDialog()), OpOutcome::Ok);
  EXPECT_EQ(b.view.Lines().back(), "Label2: Data verify OK!!");
}

TEST(Stop, ClosingDuringTheReadStreamStoresNothing) {
  Bench b("KVX-03", sim::ChipContent::Programmed);
  const auto before = b.ws.image.ProgramBuffer;
  b.view.onCall = [&](const ViewCall& call) {
    if (call.kind == ViewCall::Gauge && call.value == 50) b.stop.request_stop();
  };
  EXPECT_EQ(b.Run(ReadWorker, ReadDialog()), OpOutcome::Stopped);
  EXPECT_FALSE(b.ws.results.ReadCompleted);
  EXPECT_EQ(b.ws.image.ProgramBuffer, before);
  EXPECT_EQ(b.view.GaugeValues().back(), 50);

  b.Pause();
  b.stop = std::stop_source();
  b.view.onCall = nullptr;
  EXPECT_EQ(b.Run(ReadWorker, ReadDialog()), OpOutcome::Ok);
  EXPECT_TRUE(b.ws.results.ReadCompleted);
}

TEST(Stop, ClosingBetweenStepsSendsNoFurtherHeader) {
  Bench b;
  b.LoadProgram();
  long sentAtStop = -1;
  b.When("Label1", "Program Ok!!", [&] {
    b.stop.request_stop();
    sentAtStop = b.port.BytesWritten();
  });
  EXPECT_EQ(b.Run(ProgramMemoryWorker, ProgramMemoryDialog()), OpOutcome::Stopped);
  EXPECT_EQ(b.port.BytesWritten(), sentAtStop);
  EXPECT_FALSE(b.view.Enabled("Button1"));
}

TEST(Stop, ClosingTheEepromDialogWhileTheWriterIsSilent) {
  Bench b("KVX-01");
  b.LoadProgram();
  b.writer.Faults().SilentAfter = 40;  // the write hangs; the operator uses the close box
  long sentAtStop = -1;
  b.port.onWait = [&] {
    if (b.stop.stop_requested()) return;
    b.stop.request_stop();
    sentAtStop = b.port.BytesWritten();
  };
  const TimePoint start = b.clock.Now();
  EXPECT_EQ(b.Run(ProgramEepromWorker, ProgramEepromDialog()), OpOutcome::Stopped);
  EXPECT_LT(b.clock.Now() - start, std::chrono::seconds(1));  // did not wait out the time-out
  EXPECT_EQ(b.port.BytesWritten(), sentAtStop);
  EXPECT_TRUE(b.view.Lines().empty());
}

}  // namespace
}  // namespace kvx
