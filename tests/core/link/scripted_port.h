// A serial port that plays a script: after the host's byte number k (counted from 0 over the
// whole test) the Writer's answer bytes for k become readable. Time is a FakeClock, which the
// waits move on, so a time-out costs nothing.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "core/link/clock.h"
#include "core/link/serial_port.h"
#include "core/printers.h"

namespace kvx::test {

class ScriptedPort final : public SerialPort {
 public:
  explicit ScriptedPort(FakeClock& clock) : clock_(clock) {}

  // The answer to host byte `index`.
  void AnswerAt(long index, std::vector<std::uint8_t> bytes) { answers_[index] = std::move(bytes); }
  // Bytes already waiting in the input queue (left over from an earlier exchange).
  void Preload(std::vector<std::uint8_t> bytes) { in_.insert(in_.end(), bytes.begin(), bytes.end()); }

  bool cts = true;
  long ctsDropsAfter = -1;  // CTS goes inactive once this many bytes were sent
  std::vector<std::uint8_t> sent;
  int waits = 0;
  int reads = 0;
  Millis longestWait{0};
  std::function<void()> onWait;  // runs inside every wait (to request a stop, ...)

  bool Enabled() const override { return true; }
  int Read(std::uint8_t* buffer, int count) override {
    ++reads;
    int n = 0;
    while (n < count && !in_.empty()) {
      buffer[n++] = in_.front();
      in_.pop_front();
    }
    return n;
  }
  int Write(const std::uint8_t* buffer, int count) override {
    for (int i = 0; i < count; ++i) {
      const auto answer = answers_.find(static_cast<long>(sent.size()));
      sent.push_back(buffer[i]);
      if (answer != answers_.end()) in_.insert(in_.end(), answer->second.begin(), answer->second.end());
    }
    return count;
  }
  int InQueCount() override { return static_cast<int>(in_.size()); }
  int OutQueCount() override { return 0; }
  void PurgeIn() override { in_.clear(); }
  void PurgeOut() override {}
  bool GetModemState(int line) override {
    const bool dropped = ctsDropsAfter >= 0 && static_cast<long>(sent.size()) >= ctsDropsAfter;
    return line == 1 && cts && !dropped;
  }
  bool WaitReadable(Millis max) override {
    Waited(max);
    if (!in_.empty()) return true;
    clock_.Advance(max);
    return false;
  }
  void WaitModemChange(Millis max) override {
    Waited(max);
    clock_.Advance(max);
  }

 private:
  void Waited(Millis max) {
    ++waits;
    longestWait = std::max(longestWait, max);
    if (onWait) onWait();
  }

  FakeClock& clock_;
  std::map<long, std::vector<std::uint8_t>> answers_;
  std::deque<std::uint8_t> in_;
};

}  // namespace kvx::test
