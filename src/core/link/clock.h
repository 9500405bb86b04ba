// The time base of every link and operation time-out. The link code never reads the system clock
// itself: it is handed a Clock, so tests can run a 3-second time-out in no time with FakeClock.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace kvx {

using Millis = std::chrono::milliseconds;
using TimePoint = std::chrono::steady_clock::time_point;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual TimePoint Now() = 0;         // monotonic
  virtual void SleepFor(Millis d) = 0;  // a deliberate pause (between download records, ...)
};

class SteadyClock final : public Clock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  void SleepFor(Millis d) override { std::this_thread::sleep_for(d); }
};

// Simulated time: moves only when told to (or when a simulated port waits). Thread-safe.
class FakeClock final : public Clock {
 public:
  TimePoint Now() override { return TimePoint(std::chrono::nanoseconds(now_.load())); }
  void SleepFor(Millis d) override { Advance(d); }
  template <class Rep, class Period>
  void Advance(std::chrono::duration<Rep, Period> d) {
    now_ += std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
  }

 private:
  std::atomic<long long> now_{1'000'000'000LL};
};

}  // namespace kvx
