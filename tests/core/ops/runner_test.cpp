// The operation runner: the worker runs on its own thread, a stop from another thread ends it,
// the end is reported last and the workspace is free by then; progress arrives as typed events.
#include "core/ops/runner.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>

#include "core/device/pass_count.h"
#include "core/ops/op_bench.h"

namespace kvx {
namespace {

using testing::Bench;
using testing::Op;

// Work that waits until it is asked to stop.
OpOutcome UntilStopped(std::stop_token stop) {
  std::mutex mutex;
  std::condition_variable_any cv;
  std::unique_lock lock(mutex);
  cv.wait(lock, stop, [] { return false; });
  return OpOutcome::Stopped;
}

TEST(Runner, RunsAPassOnItsOwnThreadAndReportsTheEndLast) {
  Bench b;
  b.LoadProgram();
  OperationRunner runner;
  std::promise<PassResult> ended;
  bool viewCalledAfterEnd = false;
  std::atomic<bool> endedSeen{false};
  b.view.onCall = [&](const testing::ViewCall&) { viewCalledAfterEnd = endedSeen.load(); };
  const std::thread::id caller = std::this_thread::get_id();
  std::thread::id worker;
  bool runningAtEnd = true, busyAtEnd = true;
  ASSERT_TRUE(runner.Start(OperationCommands()[static_cast<int>(CommandId::ProgramMemory)],
                           {b.ws, b.port, b.clock, b.view}, 1, [&](const PassResult& r) {
                             worker = std::this_thread::get_id();
                             runningAtEnd = runner.Running();
                             busyAtEnd = WorkspaceInUse(b.ws);
                             endedSeen = true;
                             ended.set_value(r);
                           }));
  const PassResult r = ended.get_future().get();
  EXPECT_EQ(runner.Wait(), OpOutcome::Ok);
  EXPECT_EQ(r.outcome, OpOutcome::Ok);
  EXPECT_FALSE(r.redLine);
  EXPECT_NE(worker, caller);
  EXPECT_FALSE(runningAtEnd);
  EXPECT_FALSE(busyAtEnd);
  EXPECT_FALSE(viewCalledAfterEnd);
  EXPECT_EQ(b.view.Text("Label2"), "Data verify OK!!");
}

TEST(Runner, OneWorkerPerWorkspaceAndAStopFromAnotherThreadEndsIt) {
  Workspace ws;
  OperationRunner first, second;
  ASSERT_TRUE(first.Start(ws, UntilStopped));
  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(WorkspaceInUse(ws));
  EXPECT_FALSE(first.Start(ws, UntilStopped));   // this runner is busy
  EXPECT_FALSE(second.Start(ws, UntilStopped));  // the workspace is held
  EXPECT_FALSE(first.WaitFor(std::chrono::milliseconds(0)));
  std::thread([&] { first.RequestStop(); }).join();
  EXPECT_EQ(first.Wait(), OpOutcome::Stopped);
  EXPECT_FALSE(WorkspaceInUse(ws));
  EXPECT_TRUE(second.Start(ws, [](std::stop_token) { return OpOutcome::ChipFailed; }));
  EXPECT_EQ(second.Wait(), OpOutcome::ChipFailed);
  // A runner going away stops and joins its worker.
  {
    OperationRunner leaving;
    ASSERT_TRUE(leaving.Start(ws, UntilStopped));
  }
  EXPECT_FALSE(WorkspaceInUse(ws));
}

// Unattended passes: chip after chip until the count, or the first chip that failed.
TEST(Runner, PassesRunToTheCountOrTheFirstFailure) {
  struct Case {
    long failAtPass;  // 0: none
    long count;
    long passesRun;
    OpOutcome outcome;
  };
  for (const Case& c : {Case{0, 3, 3, OpOutcome::Ok}, Case{2, 4, 2, OpOutcome::NoChip}}) {
    Bench b;
    b.LoadProgram();
    b.writer.SetFreshChipEachPass(true);
    std::vector<std::string> counts;
    OperationRunner runner;
    ASSERT_TRUE(runner.StartPasses(OperationCommands()[static_cast<int>(CommandId::ForceWrite)],
                                   {b.ws, b.port, b.clock, b.view}, c.count,
                                   [&](long pass, const PassResult&) {
                                     counts.push_back(PassCountText(b.ws));
                                     if (pass + 1 == c.failAtPass) b.writer.Faults().NoChip = true;
                                   }));
    EXPECT_EQ(runner.Wait(), c.outcome);
    EXPECT_EQ(static_cast<long>(counts.size()), c.passesRun);
    EXPECT_EQ(counts.front(), "1");
  }
}

// Progress as events: from the gauge where the dialog has one, from the stream's position
// otherwise; never backwards, never past the total, ending at the total.
TEST(Runner, TransfersReportTypedProgressUpToTheirTotal) {
  struct Case {
    Op op;
    Transfer what;
  };
  for (const Case& c : {Case{Op::ProgramMemory, Transfer::ProgramMemoryWrite},
                        Case{Op::ForceWrite, Transfer::ProgramMemoryWrite},
                        Case{Op::Read, Transfer::ProgramMemoryRead}}) {
    Bench b;
    b.LoadProgram();
    ASSERT_EQ(b.Run(c.op), OpOutcome::Ok);
    const auto& events = b.view.ProgressEvents();
    ASSERT_GE(events.size(), 10u);
    long done = 0;
    for (const ProgressEvent& e : events) {
      EXPECT_EQ(e.what, c.what);
      EXPECT_EQ(e.total, b.ws.device.ProgramBytes);
      EXPECT_GE(e.done, done);
      EXPECT_LE(e.done, e.total);
      done = e.done;
    }
    EXPECT_EQ(done, b.ws.device.ProgramBytes);
  }
}

// The reason of a pass: the last red line, whichever of its colour and text came first, or for a
// failure shown in the normal colour the line that ended it.
TEST(ReasonWatchTest, RemembersTheRedLineOrTheLineThatEndedAFailedPass) {
  NullOperationView null;
  ReasonWatch view(null);
  view.SetText("Label2", "Program Data...");
  EXPECT_EQ(view.ReasonFor(OpOutcome::Ok), "");
  view.SetText("Label2", "Data program fail !!");
  view.SetColour("Label2", LineColour::Red);
  EXPECT_EQ(view.ReasonFor(OpOutcome::ChipFailed), "Data program fail !!");
  ReasonWatch next(null);
  next.SetColour("Label4", LineColour::Red);
  next.SetText("Label4", "OPTION verify Fail!!");
  EXPECT_EQ(next.ReasonFor(OpOutcome::Ok), "OPTION verify Fail!!");
  EXPECT_TRUE(next.SawRed());
  ReasonWatch normal(null);
  normal.SetText("Label1", "OPTION ....... Not Blank!!");
  EXPECT_EQ(normal.ReasonFor(OpOutcome::ChipFailed), "OPTION ....... Not Blank!!");
  EXPECT_EQ(normal.ReasonFor(OpOutcome::Stopped), "");
  EXPECT_FALSE(normal.SawRed());
}

}  // namespace
}  // namespace kvx
