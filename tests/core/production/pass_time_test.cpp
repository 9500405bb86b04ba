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
  explicit CountingPort(SerialPort& inner) : in_(inner) {}
  bool Enabled() const override { return in_.Enabled(); }
  int Read(std::uint8_t* buffer, int count) override {
    const int n = in_.Read(buffer, count);
    if (n > 0) counted.writerBytes += n, counted.roundTrips += std::exchange(wrote_, false);
    return n;
  }
  int Write(const std::uint8_t* buffer, int count) override {
    const int n = in_.Write(buffer, count);
    if (n > 0) counted.hostBytes += n, wrote_ = true;
    return n;
  }
  int InQueCount() override { return in_.InQueCount(); }
  int OutQueCount() override { return in_.OutQueCount(); }
  void PurgeIn() override { in_.PurgeIn(); }
  void PurgeOut() override { in_.PurgeOut(); }
  bool GetModemState(int line) override { return ctsChecks += line == 1, in_.GetModemState(line); }
  bool WaitReadable(Millis max) override { return in_.WaitReadable(max); }
  void WaitModemChange(Millis max) override { in_.WaitModemChange(max); }

  PassExchange counted;
  long ctsChecks = 0;

 private:
  SerialPort& in_;
  bool wrote_ = false;
};

// One Auto Program pass through a counting port; the port and the simulated time it took.
std::chrono::duration<double> RunPass(Bench& b, CountingPort& port, bool blankCheck = true) {
  b.ws.command.SkipBlankCheck = !blankCheck;
  b.ws.command.EraseRequested = b.ws.device.IsFlash();
  b.view.Open(AutoProgramDialog());
  OperationContext ctx{b.ws, port, b.clock, b.view, b.stop.get_token()};
  const TimePoint start = b.clock.Now();
  EXPECT_EQ(AutoProgramPass(ctx).outcome, OpOutcome::Ok);
  return b.clock.Now() - start;
}

TEST(PassTime, TheModelCountsTheBytesAPassExchanges) {
  const std::pair<const char*, bool> cases[] = {  // device, blank check
      {"KVX-03", true}, {"KVX-01", true} /* flash: erased first */, {"KVX-43", true},
      {"KVX-43", false}, {"KVX-50", true} /* 11-bit words */};
  for (const auto& [device, blankCheck] : cases) {
    SCOPED_TRACE(std::string(device) + (blankCheck ? "" : " without blank check"));
    Bench b(device);
    b.LoadProgram();
    CountingPort port(b.sim);
    RunPass(b, port, blankCheck);
    EXPECT_EQ(AutoPassExchange(b.ws, blankCheck), port.counted);
    EXPECT_EQ(port.ctsChecks, port.counted.hostBytes);  // CTS looked at before every byte sent
  }
}

// Every byte takes its wire time at 115200 baud and the adapter holds each answer 0, 1 or 16 ms:
// the round trip of the pass's own Writer check predicts the whole pass, as does the model from
// the adapter's setting alone.
TEST(PassTime, TheWriterChecksRoundTripPredictsThePassAtEachAdapterLatency) {
  for (const long delayMs : {0L, 1L, 16L}) {
    SCOPED_TRACE(delayMs);
    Bench b("KVX-43");
    b.LoadProgram();
    b.writer.Faults().BaudDelay = true;
    b.writer.Faults().AnswerDelayMs = delayMs;
    CountingPort port(b.sim);
    const double took = RunPass(b, port).count();
    EXPECT_NEAR(PredictedPassTime(b.ws).count() / took, 1.0, 0.15) << took << " s";
    const auto hold = std::chrono::milliseconds(delayMs);
    EXPECT_NEAR(PassTime(AutoPassExchange(b.ws), hold).count() / took, 1.0, 0.15);
  }
}

// A measured round trip is the byte's wire time, its answer's and the hold; every wait for an
// answer in the pass costs that hold on top of the pass's bytes.
TEST(PassTime, TheHoldIsTheRoundTripLessTwoWireTimes) {
  using std::chrono::microseconds;
  const PassExchange pass{100, 50, 10};  // 150 bytes on the line, 10 waits for an answer
  const struct {
    microseconds roundTrip, byteTime;
    double seconds;
  } cases[] = {
      {microseconds(200), microseconds(100), 0.015},   // nothing held: the bytes' wire time
      {microseconds(1200), microseconds(100), 0.025},  // 1 ms held at each wait
      {microseconds(150), microseconds(100), 0.015},   // measured short: never a negative hold
      {microseconds(2000), microseconds(0), 0.020},    // no wire time: the trip is all hold
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.roundTrip.count());
    EXPECT_NEAR(PassTimeFromRoundTrip(pass, c.roundTrip, c.byteTime).count(), c.seconds, 1e-9);
  }
  Bench b("KVX-43");
  EXPECT_LT(PredictedPassTime(b.ws).count(), 0);  // the Writer not checked yet
  const auto hold = std::chrono::milliseconds(16);
  b.ws.link.RoundTrip = 2 * kLineByteTime + hold;
  EXPECT_NEAR(PredictedPassTime(b.ws).count(), PassTime(AutoPassExchange(b.ws), hold).count(),
              1e-9);
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
