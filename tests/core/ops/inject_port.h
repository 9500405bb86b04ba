// The simulated Writer's port with a hand on the line: the Writer's answer to a chosen host byte
// can be replaced by other bytes (a reply no fault switch produces, such as 0xFD in the middle of
// a stream, or an early 0xB0).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "sim/sim_writer.h"

namespace kvx::testing {

class InjectPort final : public kvx::SerialPort {
 public:
  explicit InjectPort(kvx::sim::SimPort& inner) : inner_(inner) {}

  // Host byte `index` (counted from 0 over the port's life) is answered by `bytes` instead.
  void ReplaceAnswer(long index, std::vector<std::uint8_t> bytes) { replace_[index] = std::move(bytes); }
  long BytesWritten() const { return written_; }
  // Runs inside every wait of the host (to close the dialog while the worker waits, ...).
  std::function<void()> onWait;

  bool Enabled() const override { return inner_.Enabled(); }
  int Read(std::uint8_t* buffer, int count) override {
    int n = 0;
    while (n < count && !queue_.empty()) {
      buffer[n++] = queue_.front();
      queue_.pop_front();
    }
    return n + (n < count ? inner_.Read(buffer + n, count - n) : 0);
  }
  int Write(const std::uint8_t* buffer, int count) override {
    for (int i = 0; i < count; ++i) {
      inner_.Write(&buffer[i], 1);
      const auto r = replace_.find(written_++);
      if (r == replace_.end()) continue;
      inner_.PurgeIn();  // the Writer's own answer never reaches the host
      queue_.insert(queue_.end(), r->second.begin(), r->second.end());
    }
    return count;
  }
  int InQueCount() override { return static_cast<int>(queue_.size()) + inner_.InQueCount(); }
  int OutQueCount() override { return inner_.OutQueCount(); }
  void PurgeIn() override {
    queue_.clear();
    inner_.PurgeIn();
  }
  void PurgeOut() override { inner_.PurgeOut(); }
  bool GetModemState(int line) override { return inner_.GetModemState(line); }
  bool WaitReadable(kvx::Millis max) override {
    if (onWait) onWait();
    return !queue_.empty() || inner_.WaitReadable(max);
  }
  void WaitModemChange(kvx::Millis max) override {
    if (onWait) onWait();
    inner_.WaitModemChange(max);
  }

 private:
  kvx::sim::SimPort& inner_;
  std::map<long, std::vector<std::uint8_t>> replace_;
  std::deque<std::uint8_t> queue_;
  long written_ = 0;
};

}  // namespace kvx::testing
