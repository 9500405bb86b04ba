// The command after a stopped transfer: the Writer still takes bytes as data until its idle
// reset, so the first Writer check waits that out once instead of failing.
#include <gtest/gtest.h>

#include "core/ops/op_bench.h"
#include "core/ops/workers.h"

namespace kvx {
namespace {

using testing::Bench;
using testing::ViewCall;

TEST(StoppedTransfer, TheNextCommandStartedAtOnceSucceeds) {
  for (bool reading : {false, true}) {
    SCOPED_TRACE(reading ? "read stream" : "program stream");
    Bench b("KVX-03", reading ? sim::ChipContent::Programmed : sim::ChipContent::Blank);
    b.LoadProgram();
    b.view.onCall = [&](const ViewCall& call) {
      if (call.kind == ViewCall::Text && call.control == "Label2" && call.text == "0100") b.stop.request_stop();
      if (call.kind == ViewCall::Gauge && call.value == 50) b.stop.request_stop();
    };
    EXPECT_EQ(reading ? b.Run(ReadWorker, ReadDialog()) : b.Run(ProgramMemoryWorker, ProgramMemoryDialog()),
              OpOutcome::Stopped);

    b.stop = std::stop_source();  // no pause: the next command comes at once
    b.view.onCall = nullptr;
    b.view.ClearRecord();
    const TimePoint start = b.clock.Now();
    EXPECT_EQ(b.Run(ReadWorker, ReadDialog()), OpOutcome::Ok) << b.view.Lines().back();
    EXPECT_TRUE(b.ws.results.ReadCompleted);
    EXPECT_FALSE(b.ws.results.WriterBusyHint);
    EXPECT_LT(b.clock.Now() - start, std::chrono::seconds(3));
  }
}

TEST(StoppedTransfer, AWriterThatNeverAnswersFailsAfterOneTimeOutAndOneThatStaysConfusedSaysWhy) {
  Bench silent;
  silent.writer.Faults().SilentAfter = 0;
  const TimePoint start = silent.clock.Now();
  EXPECT_EQ(silent.Run(VerifyWorker, VerifyDialog()), OpOutcome::LinkFailed);
  EXPECT_LT(silent.clock.Now() - start, std::chrono::seconds(4));  // one 3-second time-out
  EXPECT_FALSE(silent.ws.results.WriterBusyHint);

  for (int confusedChecks : {1, 2}) {
    SCOPED_TRACE(confusedChecks);
    Bench b;
    for (int i = 0; i < confusedChecks; ++i) b.port.ReplaceAnswer(i, {kAck});  // taken as data
    EXPECT_EQ(b.Run(ReadWorker, ReadDialog()), OpOutcome::Ok);  // the check alone stops nothing
    EXPECT_EQ(b.ws.results.WriterBusyHint, confusedChecks == 2);
  }
}

}  // namespace
}  // namespace kvx
