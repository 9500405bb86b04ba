#include <algorithm>
#include <deque>
#include <thread>

#include "sim/sim_writer.h"

namespace kvx::sim {

namespace {

// A real-time wait for something the simulated Writer will not send by itself (it answers only
// the host, who is waiting here): the whole wait in one sleep, no longer than the slice a link
// asks for at a time, so that a stop request is still seen within it.
void IdlePause(Millis max) {
  std::this_thread::sleep_for(std::clamp(max, Millis{0}, SerialPort::kReadTimer));
}

struct Pending {
  TimePoint ready;  // when the byte has fully arrived at the host
  std::uint8_t byte;
};

}  // namespace

struct SimPort::Impl {
  SimWriter writer;
  Clock* clock;     // null: every answer at once
  FakeClock* fake;  // the same clock when it is simulated time: waiting moves it on

  std::mutex mu;
  std::deque<Pending> input;
  std::vector<std::uint8_t> sent;
  TimePoint hostLineFree{};    // the host's transmit line is busy until then
  TimePoint writerLineFree{};  // the Writer's transmit line is busy until then
  TimePoint holdEnd{};         // the adapter passes on what it holds then (answer-delay)
  TimePoint lastArrival{};
  bool anyArrival = false;
  bool unplugged = false;

  Impl(SimWriter w, Clock* c, FakeClock* f) : writer(std::move(w)), clock(c), fake(f) {}

  // A wait of `d` on the port's clock. On real time a long wait is cut to a link's slice so
  // that the caller sees a stop request promptly; it asks again.
  void Pass(Millis d) {
    if (fake) {
      fake->Advance(d);
    } else {
      IdlePause(d);
    }
  }

  // Without a clock every byte is there at once.
  TimePoint Now() const { return clock ? clock->Now() : TimePoint::max(); }
  TimePoint WireNow() const { return clock ? clock->Now() : TimePoint{}; }

  bool Ready() const { return !input.empty() && input.front().ready <= Now(); }

  int ReadyCount() const {
    const TimePoint now = Now();
    return static_cast<int>(std::count_if(input.begin(), input.end(),
                                          [&](const Pending& p) { return p.ready <= now; }));
  }

  void HostByte(std::uint8_t byte) {
    sent.push_back(byte);
    if (unplugged) return;
    const auto delay = writer.ByteDelay();
    const TimePoint arrival = std::max(WireNow(), hostLineFree) + delay;
    hostLineFree = arrival;
    if (clock && anyArrival && arrival - lastArrival >= kWriterIdleReset) writer.AbandonExchange();
    lastArrival = arrival;
    anyArrival = true;

    std::vector<std::uint8_t> answers;
    writer.HostByte(byte, answers);
    const auto hold = clock ? writer.AnswerHold() : std::chrono::nanoseconds{0};
    for (const std::uint8_t a : answers) {
      TimePoint ready = std::max(arrival, writerLineFree) + delay;
      writerLineFree = ready;
      if (hold.count() > 0) {
        // An answer that finds the adapter's buffer empty starts its latency timer; the answers
        // that come in before it runs out go along with it.
        if (ready > holdEnd) holdEnd = ready + hold;
        ready = holdEnd;
      }
      input.push_back({ready, a});
    }
  }
};

SimPort::SimPort(SimWriter& writer, FakeClock* clock)
    : impl_(std::make_shared<Impl>(writer, clock, clock)) {}

SimPort::SimPort(SimWriter& writer, Clock& realTime)
    : impl_(std::make_shared<Impl>(writer, &realTime, nullptr)) {}

bool SimPort::Enabled() const { return true; }

int SimPort::Read(std::uint8_t* buffer, int count) {
  std::lock_guard lock(impl_->mu);
  int n = 0;
  while (n < count && impl_->Ready()) {
    buffer[n++] = impl_->input.front().byte;
    impl_->input.pop_front();
  }
  return n;
}

int SimPort::Write(const std::uint8_t* buffer, int count) {
  std::lock_guard lock(impl_->mu);
  for (int i = 0; i < count; ++i) impl_->HostByte(buffer[i]);
  return count;
}

int SimPort::InQueCount() {
  std::lock_guard lock(impl_->mu);
  return impl_->ReadyCount();
}

int SimPort::OutQueCount() { return 0; }

void SimPort::PurgeIn() {
  // Only what has arrived is discarded; bytes still on the wire come in afterwards.
  std::lock_guard lock(impl_->mu);
  const TimePoint now = impl_->Now();
  while (!impl_->input.empty() && impl_->input.front().ready <= now) impl_->input.pop_front();
}

void SimPort::PurgeOut() {}  // every byte is handed to the Writer as it is written

bool SimPort::GetModemState(int line) {
  std::lock_guard lock(impl_->mu);
  return line == 1 && !impl_->unplugged && impl_->writer.Cts();
}

bool SimPort::WaitReadable(Millis max) {
  std::unique_lock lock(impl_->mu);
  if (impl_->Ready()) return true;
  if (!impl_->clock) {
    // Without a clock every answer is there at once, so nothing more will come: pause rather
    // than let the caller spin through its whole time limit.
    lock.unlock();
    IdlePause(max);
    return false;
  }
  const TimePoint now = impl_->clock->Now();
  if (!impl_->input.empty() && impl_->input.front().ready - now <= max) {
    const auto until = impl_->input.front().ready - now;
    if (impl_->fake) {
      impl_->fake->Advance(until);
    } else {
      lock.unlock();
      std::this_thread::sleep_for(until);
    }
    return true;
  }
  lock.unlock();
  impl_->Pass(max);
  return false;
}

void SimPort::WaitModemChange(Millis max) {
  if (impl_->clock)
    impl_->Pass(max);
  else
    IdlePause(max);
}

const std::vector<std::uint8_t>& SimPort::Sent() const { return impl_->sent; }

void SimPort::Unplug() {
  std::lock_guard lock(impl_->mu);
  impl_->unplugged = true;
  // What is still on the wire never arrives.
  const TimePoint now = impl_->Now();
  std::erase_if(impl_->input, [&](const Pending& p) { return p.ready > now; });
}

}  // namespace kvx::sim
