// The pass-time model against the simulated Writer: the bytes it counts are the bytes a pass
// exchanges, the Writer check's round trip predicts the pass at each adapter latency, and a slow
// port's warning names its knob and the pass it predicts.
#include "core/production/pass_time.h"

#include <gtest/gtest.h>

#include "core/link/fake_sysfs.h"
#include "core/ops/op_bench.h"
#include "core/production/auto_program.h"

namespace kvx {
namespace {

using testing::Bench;

// The simulated Writer's port, counting what passes: bytes each way, the waits for an answer
// (a write followed by a read) and the CTS checks.
class CountingPort final : public SerialPort {
 public:
  explicit CountingPort(SerialPort& inner) : inner_(inner) {}
  bool Enabled() const override { return inner_.Enabled(); }
  int Read(std::uint8_t* buffer, int count) override {
    const int n = inner_.Read(buffer, count);
    if (n > 0) {
      counted.writerBytes += n;
      if (std::exchange(wrote_, false)) ++counted.roundTrips;
    }
    return n;
  }
  int Write(const std::uint8_t* buffer, int count) override {
    const int n = inner_.Write(buffer, count);
    if (n > 0) counted.hostBytes += n;
    wrote_ = wrote_ || n > 0;
    return n;
  }
  int InQueCount() override { return inner_.InQueCount(); }
  int OutQueCount() override { return inner_.OutQueCount(); }
  void PurgeIn() override { inner_.PurgeIn(); }
  void PurgeOut() override { inner_.PurgeOut(); }
  bool GetModemState(int line) override {
    if (line == 1) ++ctsChecks;
    return inner_.GetModemState(line);
  }
  bool WaitReadable(Millis max) override { return inner_.WaitReadable(max); }
  void WaitModemChange(Millis max) override { inner_.WaitModemChange(max); }

  PassExchange counted;
  long ctsChecks = 0;

 private:
  SerialPort& inner_;
  bool wrote_ = false;
};

struct PassRun {
  AutoPassResult result;
  PassExchange counted;
  long ctsChecks = 0;
  std::chrono::duration<double> took{};
};

PassRun RunPass(Bench& b, bool blankCheck) {
  b.ws.command.SkipBlankCheck = !blankCheck;
  b.ws.command.EraseRequested = b.ws.device.IsFlash();
  CountingPort port(b.sim);
  b.view.Open(AutoProgramDialog());
  OperationContext ctx{b.ws, port, b.clock, b.view, b.stop.get_token()};
  const TimePoint start = b.clock.Now();
  PassRun run;
  run.result = AutoProgramPass(ctx);
  run.took = b.clock.Now() - start;
  run.counted = port.counted;
  run.ctsChecks = port.ctsChecks;
  return run;
}

TEST(PassTime, TheModelCountsTheBytesAPassExchanges) {
  const struct Case {
    const char* device;
    bool blankCheck;
  } cases[] = {{"KVX-03", true}, {"KVX-01", true} /* flash: erased first */, {"KVX-43", true},
               {"KVX-43", false}, {"KVX-50", true} /* 11-bit words */};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.device) + (c.blankCheck ? "" : " without blank check"));
    Bench b(c.device);
    b.LoadProgram();
    const PassRun run = RunPass(b, c.blankCheck);
    ASSERT_EQ(run.result.outcome, OpOutcome::Ok);
    EXPECT_EQ(AutoPassExchange(b.ws, c.blankCheck), run.counted);
    // Clear-to-send is looked at before every byte the program sends.
    EXPECT_EQ(run.ctsChecks, run.counted.hostBytes);
  }
}

// Every byte takes its wire time at 115200 baud and the adapter holds each answer 0, 1 or 16 ms:
// the round trip of the pass's own Writer check predicts the whole pass.
TEST(PassTime, TheWriterChecksRoundTripPredictsThePassAtEachAdapterLatency) {
  for (const long delayMs : {0L, 1L, 16L}) {
    SCOPED_TRACE(delayMs);
    Bench b("KVX-43");
    b.LoadProgram();
    b.writer.Faults().BaudDelay = true;
    b.writer.Faults().AnswerDelayMs = delayMs;
    const PassRun run = RunPass(b, true);
    ASSERT_EQ(run.result.outcome, OpOutcome::Ok);
    const double predicted = PredictedPassTime(b.ws).count();
    EXPECT_NEAR(predicted / run.took.count(), 1.0, 0.15)
        << "predicted " << predicted << " s, took " << run.took.count() << " s";
    // The model from the adapter's setting alone says the same.
    const auto hold = std::chrono::milliseconds(delayMs);
    EXPECT_NEAR(PassTime(AutoPassExchange(b.ws), hold).count() / run.took.count(), 1.0, 0.15);
  }
}

TEST(PassTime, ASlowPortWarnsWithItsKnobAndThePassItPredicts) {
  test::FakeSysfs sys;
  sys.Tty("ttyUSB0", "ftdi_sio", "latency_timer", "16");
  sys.Tty("ttyUSB1", "ftdi_sio", "latency_timer", "1");
  sys.Tty("ttyS0", "serial8250", "rx_trig_bytes", "8");
  sys.Tty("ttyUSB2", "cp210x");
  Bench b("KVX-43");
  const std::pair<const char*, const char*> cases[] = {
      {"ttyUSB0",
       "COM1 (ftdi_sio) holds each answer about 16 ms (latency_timer 16 ms): a KVX-43 pass will "
       "take about 3 min 21 s instead of 4.3 s; setting latency_timer to 1 fixes it (README, "
       "\"USB adapters\")"},
      {"ttyS0",
       "COM1 (serial8250) holds each answer about 0.35 ms (rx_trig_bytes 8): a KVX-43 pass will "
       "take about 8.6 s instead of 4.3 s; setting rx_trig_bytes to 1 fixes it (README, \"USB "
       "adapters\")"},
      {"ttyUSB1", ""},  // tuned already
      {"ttyUSB2", ""},  // nothing to turn
  };
  for (const auto& [tty, warning] : cases) {
    SCOPED_TRACE(tty);
    const PortFacts facts = ReadPortFacts(std::string("/dev/") + tty, sys.Root());
    EXPECT_EQ(SlowPortWarning(facts, "COM1", b.ws), warning);
  }
}

}  // namespace
}  // namespace kvx
