// TComm's line settings as the terminal keeps them, the output purge against a line that drains
// slowly or never, and the Read/Write contract on ports that are closed or vanish mid-stream.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/link/tcomm.h"
#include "core/link/test_pty.h"

namespace kvx {
namespace {

using test::Pty;

TEST(TCommLineTest, EachParityReachesTheTerminal) {
  struct Case {
    TParity parity;
    bool odd;    // PARODD
    bool stick;  // CMSPAR: the parity bit is always 1 (with PARODD) or always 0
  } cases[] = {
      {paEven, false, false}, {paOdd, true, false}, {paMark, true, true}, {paSpace, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parity);
    Pty pty;
    TComm comm;
    comm.SetDeviceName(pty.name);
    comm.SetParity(c.parity);
    comm.Open();
    ASSERT_TRUE(comm.Enabled());
    // A second handle on the terminal side reads back what TComm wrote. A pseudo-terminal
    // drops PARENB but keeps the two bits that tell the four parities apart.
    const int view = ::open(pty.name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(view, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(view, &t), 0);
    ::close(view);
    EXPECT_EQ((t.c_cflag & PARODD) != 0, c.odd);
    EXPECT_EQ((t.c_cflag & CMSPAR) != 0, c.stick);
  }
}

// A line whose queue empties by one byte per millisecond of the fake clock, or never.
class FakeQueue final : public OutputQueue {
 public:
  explicit FakeQueue(FakeClock& clock) : clock_(clock) {}
  int Count(int) override {
    if (!stuck_) {
      const auto gone = (clock_.Now() - start_) / Millis(1);
      bytes_ = std::max<long>(0, static_cast<long>(filled_ - gone));
    }
    return static_cast<int>(bytes_);
  }
  void Discard(int) override {
    ++discards_;
    bytes_ = 0;
    filled_ = 0;
  }
  void Fill(long bytes, bool stuck) {
    start_ = clock_.Now();
    filled_ = bytes_ = bytes;
    stuck_ = stuck;
  }
  int discards_ = 0;

 private:
  FakeClock& clock_;
  TimePoint start_{};
  long filled_ = 0, bytes_ = 0;
  bool stuck_ = false;
};

TEST(TCommLineTest, PurgeOutLetsQueuedBytesGoOutUpToTheWriteTimeoutThenDiscards) {
  struct Case {
    const char* name;
    long queued;
    bool stuck;
    Millis waited;  // fake time PurgeOut took
    int discards;
  } cases[] = {
      {"nothing queued", 0, false, Millis(0), 0},
      {"drains in time", 40, false, Millis(40), 0},
      {"held back for good", 5, true, Millis(250), 1},
      {"drains too slowly", 400, false, Millis(250), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pty pty;
    FakeClock clock;
    FakeQueue queue(clock);
    TComm comm(queue, clock);
    comm.SetDeviceName(pty.name);
    comm.SetWriteTimeout(250);
    comm.Open();
    ASSERT_TRUE(comm.Enabled());
    queue.Fill(c.queued, c.stuck);
    const TimePoint start = clock.Now();
    comm.PurgeOut();
    EXPECT_EQ(clock.Now() - start, c.waited);
    EXPECT_EQ(queue.discards_, c.discards);
    EXPECT_EQ(comm.OutQueCount(), 0);
  }
}

// Workers read and write from their own thread, where an exception would end the program.
TEST(TCommLineTest, ReadAndWriteGiveMinusOneNotAnExceptionOnAClosedOrVanishedPort) {
  TComm closed;
  std::uint8_t byte = 0xA0;
  EXPECT_EQ(closed.Read(&byte, 1), -1);
  EXPECT_EQ(closed.Write(&byte, 1), -1);

  for (bool reading : {false, true}) {
    SCOPED_TRACE(reading ? "reading" : "writing");
    Pty pty;
    TComm comm;
    comm.SetDeviceName(pty.name);
    comm.SetWriteTimeout(200);
    comm.Open();
    ASSERT_TRUE(comm.Enabled());
    std::atomic<long> calls = 0;
    std::atomic<bool> threw = false, failed = false;
    std::thread worker([&] {
      try {
        std::uint8_t b = 0x55;
        for (int i = 0; i < 200'000 && !failed; ++i, ++calls) {
          const int n = reading ? comm.Read(&b, 1) : comm.Write(&b, 1);
          if (n < 0) failed = true;
        }
      } catch (...) {
        threw = true;
      }
    });
    while (calls < 100 && !failed) std::this_thread::yield();
    pty.CloseMaster();  // the adapter is pulled mid-stream
    worker.join();
    EXPECT_FALSE(threw);
    EXPECT_TRUE(failed);
    comm.Close();
    EXPECT_EQ(comm.Read(&byte, 1), -1);
    EXPECT_EQ(comm.Write(&byte, 1), -1);
  }
}

// Drivers that have no low-latency flag, refuse it, accept it and ignore it, or take it: TComm
// asks once and reads the flag back, and reports only what took.
class CountingFlags final : public SerialFlags {
 public:
  enum class Driver { NoSetting, Refuses, Ignores, Takes, AlreadyOn };
  explicit CountingFlags(Driver driver) : driver_(driver), on_(driver == Driver::AlreadyOn) {}
  bool ReadLowLatency(int, bool& on) override {
    ++reads;
    on = on_;
    return driver_ != Driver::NoSetting;
  }
  bool RequestLowLatency(int) override {
    ++requests;
    if (driver_ == Driver::Takes) on_ = true;
    return driver_ == Driver::Takes || driver_ == Driver::Ignores;
  }
  int reads = 0, requests = 0;

 private:
  Driver driver_;
  bool on_;
};

TEST(TCommLineTest, TheLowLatencyRequestIsReadBackAndOnlyWhatTookCounts) {
  using Driver = CountingFlags::Driver;
  const struct Case {
    Driver driver;
    LowLatency state;
    int reads, requests;
  } cases[] = {
      {Driver::NoSetting, LowLatency::NotOffered, 1, 0},  // a pseudo-terminal: ENOTTY, no warning
      {Driver::Refuses, LowLatency::Refused, 1, 1},
      {Driver::Ignores, LowLatency::Refused, 2, 1},
      {Driver::Takes, LowLatency::On, 2, 1},
      {Driver::AlreadyOn, LowLatency::On, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.driver));
    Pty pty;
    FakeClock clock;
    FakeQueue queue(clock);
    CountingFlags flags(c.driver);
    TComm comm(queue, clock, &flags);
    comm.SetDeviceName(pty.name);
    comm.Open();
    ASSERT_TRUE(comm.Enabled());
    EXPECT_EQ(comm.LowLatencyState(), c.state);
    EXPECT_EQ(flags.reads, c.reads);
    EXPECT_EQ(flags.requests, c.requests);
  }
  // The terminal's own driver: a pseudo-terminal has no such setting.
  Pty pty;
  TComm comm;
  comm.SetDeviceName(pty.name);
  comm.Open();
  EXPECT_EQ(comm.LowLatencyState(), LowLatency::NotOffered);
}

}  // namespace
}  // namespace kvx
