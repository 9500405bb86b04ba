#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <thread>

#include "sim/sim_bench.h"

namespace kvx::sim {
namespace {

using namespace test;

// ---- Fault texts ------------------------------------------------------------------------------------

TEST(SimFaultText, RefusesUnknownFaultsAndBadCounts) {
  for (const char* text : {"", "no_chip", "silent-after", "silent-after=", "silent-after=-1",
                           "write-fail-at=x", "write-fail-at=3x", "baud-delay=3",
                           "answer-delay", "answer-delay=-1", "answer-delay=1001"}) {
    FaultSet f;
    std::string error;
    EXPECT_FALSE(ParseFault(text, f, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(f.SilentAfter, -1);
    EXPECT_EQ(f.WriteFailAt, -1);
    EXPECT_EQ(f.AnswerDelayMs, 0);
  }
}

// ---- Faults on the link -----------------------------------------------------------------------------

TEST(SimFault, EachFaultShowsAsTheHostSeesIt) {
  struct Case {
    const char* fault;
    LinkResult check;   // the Writer check
    LinkResult first;   // programming the OPTION word
    LinkResult second;  // and once more
  };
  const Case cases[] = {
      {"no-chip", LinkResult::WriterAny, LinkResult::NoDevice, LinkResult::NoDevice},
      {"adapter-error", LinkResult::WriterAny, LinkResult::AdapterError, LinkResult::AdapterError},
      {"bad-reply", LinkResult::WriterAny, LinkResult::BadReply, LinkResult::WriteOk},      // one header only
      {"write-fail-at=1", LinkResult::WriterAny, LinkResult::WriteFail, LinkResult::WriteOk},  // fires once
      {"silent-after=5", LinkResult::WriterAny, LinkResult::Timeout, LinkResult::Timeout},
      {"cts-inactive", LinkResult::Timeout, LinkResult::Timeout, LinkResult::Timeout},
      {"wrong-writer", LinkResult::WrongWriter, LinkResult::WriteOk, LinkResult::WriteOk},
  };
  for (const Case& c : cases) {
    Bench b;  // KVX-03: a Writer of type 1
    std::string error;
    ASSERT_TRUE(ParseFault(c.fault, b.writer.Faults(), error)) << c.fault;
    b.ws.results.FailIndex = -1;
    EXPECT_EQ(b.link.CheckWriter(false), c.check) << c.fault;
    EXPECT_EQ(b.ProgramOption(0x3FF0), c.first) << c.fault;
    EXPECT_EQ(b.ProgramOption(0x3FF0), c.second) << c.fault;
    EXPECT_EQ(b.ws.results.FailIndex, c.first == LinkResult::WriteFail ? 1 : -1) << c.fault;
  }
}

TEST(SimFault, CtsInactiveTimesOutWithoutSendingAByte) {
  Bench b;
  b.writer.Faults().CtsInactive = true;
  const TimePoint t = b.clock.Now();
  EXPECT_EQ(b.link.CheckWriter(false), LinkResult::Timeout);
  EXPECT_GT(b.Since(t), Millis(2000));
  EXPECT_LE(b.Since(t), Millis(3000));
  EXPECT_TRUE(b.port.Sent().empty());
}

TEST(SimFault, BaudDelayCostsTheWireTimeOfEveryByte) {
  Bench b("KVX-19");
  b.writer.Faults().BaudDelay = true;
  EXPECT_EQ(b.writer.ByteDelay(), kByteWireTime);
  TimePoint t = b.clock.Now();
  ASSERT_EQ(b.link.CheckWriter(false), LinkResult::WriterAny);
  EXPECT_EQ(b.Since(t), 2 * kByteWireTime);  // the check byte out, the type byte back

  t = b.clock.Now();
  b.link.GetHeader(AreaProgram, ActionRead);
  ASSERT_EQ(b.link.Read7BitData(b.ws.device.ProgramBytes, true), LinkResult::Done);
  const auto bytes = 10 + b.ws.device.ProgramBytes + 1;  // header, the words, the end marker
  EXPECT_GE(b.Since(t), bytes * kByteWireTime);
  EXPECT_LE(b.Since(t), (bytes + 1) * kByteWireTime);
}

// An adapter's latency timer: a lone answer waits the whole delay, and a stream is held once,
// its later bytes going along with the first rather than each waiting again.
TEST(SimFault, AnswerDelayHoldsALoneAnswerAndAStreamOnceAndTheLinkKeepsTheShortestCheck) {
  Bench b("KVX-19");
  std::string error;
  ASSERT_TRUE(ParseFault("baud-delay", b.writer.Faults(), error));
  ASSERT_TRUE(ParseFault("answer-delay=16", b.writer.Faults(), error)) << error;
  EXPECT_EQ(b.writer.AnswerHold(), Millis(16));
  TimePoint t = b.clock.Now();
  ASSERT_EQ(b.link.CheckWriter(false), LinkResult::WriterAny);
  EXPECT_EQ(b.Since(t), 2 * kByteWireTime + Millis(16));

  t = b.clock.Now();
  b.link.GetHeader(AreaProgram, ActionRead);
  ASSERT_EQ(b.link.Read7BitData(b.ws.device.ProgramBytes, true), LinkResult::Done);
  const auto wire = (10 + b.ws.device.ProgramBytes + 1) * kByteWireTime;
  EXPECT_GT(b.Since(t), wire);
  EXPECT_LE(b.Since(t), wire + Millis(16) + kByteWireTime);

  // The link keeps the shortest check as what a byte costs: a faster one replaces the first, a
  // slower one (a busy machine waking up) does not.
  for (const long delayMs : {0L, 5L}) {
    b.writer.Faults().AnswerDelayMs = delayMs;
    b.clock.Advance(Millis(20));  // the adapter has passed on what it held
    ASSERT_EQ(b.link.CheckWriter(false), LinkResult::WriterAny);
    EXPECT_EQ(b.ws.link.RoundTrip, 2 * kByteWireTime);
  }
}

// ---- The in-process port ----------------------------------------------------------------------------

// Forwards to the simulated port and pulls the plug after `unplugAfter` host bytes.
class VanishingPort final : public SerialPort {
 public:
  VanishingPort(SimPort& inner, std::size_t unplugAfter) : inner_(inner), after_(unplugAfter) {}
  bool Enabled() const override { return inner_.Enabled(); }
  int Read(std::uint8_t* b, int n) override { return inner_.Read(b, n); }
  int Write(const std::uint8_t* b, int n) override {
    const int r = inner_.Write(b, n);
    if (inner_.Sent().size() >= after_) inner_.Unplug();
    return r;
  }
  int InQueCount() override { return inner_.InQueCount(); }
  int OutQueCount() override { return inner_.OutQueCount(); }
  void PurgeIn() override { inner_.PurgeIn(); }
  void PurgeOut() override { inner_.PurgeOut(); }
  bool GetModemState(int line) override { return inner_.GetModemState(line); }
  bool WaitReadable(Millis max) override { return inner_.WaitReadable(max); }
  void WaitModemChange(Millis max) override { inner_.WaitModemChange(max); }

 private:
  SimPort& inner_;
  std::size_t after_;
};

TEST(SimPortTest, WriterVanishingMidTransferTimesOutTheWrite) {
  Bench b;
  b.writer.Faults().BaudDelay = true;  // the answer to the last byte is still on the wire
  VanishingPort vanishing(b.port, 14);
  WriterLink link(b.ws, vanishing, b.clock);
  link.GetHeader(AreaProgram, ActionProgram);
  ASSERT_EQ(link.SendHeader(10), LinkResult::Ready);
  b.ws.link.LinkBuffer.fill(0x7F);
  const TimePoint t = b.clock.Now();
  EXPECT_EQ(link.WriteData(b.ws.device.ProgramBytes, true), LinkResult::Timeout);
  EXPECT_EQ(b.port.Sent().size(), 14u);
  EXPECT_LE(b.Since(t), Millis(3000) + 8 * kByteWireTime);  // three bytes' turn-around, then 3 s
}

TEST(SimPortTest, WithoutAClockAWaitForWhatNeverComesPausesInsteadOfSpinning) {
  SimWriter writer(FindDevice("KVX-03"));
  writer.Faults().SilentAfter = 0;
  SimPort port(writer);  // real time, as kvxw --port sim runs it
  const std::uint8_t check = kWriterCheck;
  ASSERT_EQ(port.Write(&check, 1), 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.WaitReadable(Millis(20)));
  port.WaitModemChange(Millis(20));
  EXPECT_GE(std::chrono::steady_clock::now() - start, Millis(8));
}

TEST(SimPortTest, WriterForgetsAHalfCommandAfterTheHostFellSilent) {
  Bench b;
  const std::uint8_t half[] = {0xA1, 0x00, 0x00, 0x02};
  b.port.Write(half, 4);
  b.clock.Advance(std::chrono::seconds(2));
  EXPECT_EQ(b.link.CheckWriter(false), LinkResult::WriterAny);
}

// ---- Stopping from another thread --------------------------------------------------------------------

// A port whose waits block until the test thread lets them go, so that a stop arrives while the
// link is waiting for an answer that will never come.
class HeldPort final : public SerialPort {
 public:
  explicit HeldPort(SimPort& inner) : inner_(inner) {}
  std::future<void> Waiting() { return waiting_.get_future(); }
  void Release() {
    std::lock_guard lock(mu_);
    released_ = true;
    cv_.notify_all();
  }

  bool Enabled() const override { return true; }
  int Read(std::uint8_t* b, int n) override { return inner_.Read(b, n); }
  int Write(const std::uint8_t* b, int n) override { return inner_.Write(b, n); }
  int InQueCount() override { return inner_.InQueCount(); }
  int OutQueCount() override { return 0; }
  void PurgeIn() override { inner_.PurgeIn(); }
  void PurgeOut() override {}
  bool GetModemState(int line) override { return inner_.GetModemState(line); }
  bool WaitReadable(Millis) override {
    std::unique_lock lock(mu_);
    if (!signalled_) {
      signalled_ = true;
      waiting_.set_value();
    }
    cv_.wait(lock, [&] { return released_; });
    return false;
  }
  void WaitModemChange(Millis max) override { WaitReadable(max); }

 private:
  SimPort& inner_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool released_ = false;
  bool signalled_ = false;
  std::promise<void> waiting_;
};

TEST(SimStop, StopFromAnotherThreadEndsTheWaitAndSendsNothingMore) {
  Bench b;
  b.writer.Faults().SilentAfter = 9;  // the header is never answered
  HeldPort held(b.port);
  auto waiting = held.Waiting();
  std::stop_source stop;
  LinkResult result = LinkResult::Done;  // anything but the result expected
  std::thread worker([&] {
    WriterLink link(b.ws, held, b.clock, stop.get_token());
    link.GetHeader(AreaProgram, ActionRead);
    result = link.Read7BitData(b.ws.device.ProgramBytes, true);
  });
  waiting.wait();
  stop.request_stop();
  held.Release();
  worker.join();
  EXPECT_EQ(result, LinkResult::Stopped);
  EXPECT_EQ(b.port.Sent().size(), 10u);
}

// On real time (kvxw's --port sim) a wait longer than a link's slice ends after the slice, so a
// reader that asked for a long one still sees its stop soon: with or without a clock, waiting for
// input that never comes or for the modem lines.
TEST(SimStop, ALongWaitOnRealTimeEndsWithinASliceSoAStopIsSeen) {
  SteadyClock clock;
  SimWriter writer(FindDevice("KVX-03"));
  SimPort timed(writer, clock), untimed(writer);
  const struct {
    const char* what;
    SimPort& port;
    bool modem;
  } cases[] = {{"input, real clock", timed, false},
               {"input, no clock", untimed, false},
               {"modem lines, real clock", timed, true}};
  constexpr std::chrono::seconds kLongWait{30};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::promise<void> ended;
    auto end = ended.get_future();
    std::jthread reader([&](std::stop_token stop) {
      do {  // at least one long wait, whenever the stop comes
        std::uint8_t byte = 0;
        if (c.modem)
          c.port.WaitModemChange(kLongWait);
        else
          EXPECT_EQ(c.port.ReadWithin(&byte, 1, kLongWait), 0);
      } while (!stop.stop_requested());
      ended.set_value();
    });
    reader.request_stop();
    // Many slices, yet far short of the long wait.
    EXPECT_TRUE(end.wait_for(50 * SerialPort::kReadTimer) == std::future_status::ready)
        << "the stop waited for the long wait";
  }
}

}  // namespace
}  // namespace kvx::sim

namespace kvx::sim {
namespace {

// A real-time clock the test moves by hand.
class HandClock final : public Clock {
 public:
  TimePoint Now() override { return now; }
  void SleepFor(Millis d) override { now += d; }
  TimePoint now{std::chrono::seconds(1)};
};

// On a real clock (kvxw's --port sim) the baud-delay fault paces the answers by their wire time,
// as the pseudo-terminal does; without it every answer is there at once.
TEST(SimFault, BaudDelayPacesAnswersOnARealClock) {
  for (const bool delay : {false, true}) {
    SCOPED_TRACE(delay ? "baud-delay" : "no fault");
    SimWriter writer(0);
    writer.Faults().BaudDelay = delay;
    HandClock clock;
    SimPort port(writer, clock);
    const std::uint8_t check = kWriterCheck;
    port.Write(&check, 1);
    EXPECT_EQ(port.InQueCount(), delay ? 0 : 1);
    clock.now += 2 * kByteWireTime - std::chrono::nanoseconds(1);
    EXPECT_EQ(port.InQueCount(), delay ? 0 : 1);
    clock.now += std::chrono::nanoseconds(1);
    EXPECT_EQ(port.InQueCount(), 1);
  }
}

}  // namespace
}  // namespace kvx::sim
