// The host side of one simulated Writer for the tests: a workspace for `device`, a fake clock,
// the in-process port and the link, with a blank chip of the same device in the socket.
#pragma once

#include <vector>

#include "core/device/catalogue.h"
#include "core/link/writer_link.h"
#include "core/printers.h"
#include "sim/sim_writer.h"

namespace kvx::sim::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes StoredWords(std::initializer_list<int> words) {
  Bytes out;
  for (const int w : words) {
    const StoredWord s = SplitWord(w);
    out.insert(out.end(), {s.first, s.second});
  }
  return out;
}

struct Bench {
  explicit Bench(const char* device = "KVX-03", std::uint8_t typeByte = 0xB4)
      : writer(FindDevice(device), typeByte), port(writer, &clock), link(ws, port, clock) {
    ws.device.SelectedDevice = device;
    ws.device.DeviceIndex = GetICInfo(ws, device);
  }

  LinkResult Read(int area, int length) {
    link.GetHeader(area, ActionRead);
    return link.Read7BitData(length, true);
  }
  Bytes Received(int count) const { return Bytes(ws.link.LinkBuffer.begin(), ws.link.LinkBuffer.begin() + count); }
  // A program header, then the stream; the header's answer when it was not "ready".
  LinkResult Program(int area, int action, const Bytes& stream) {
    link.GetHeader(area, action);
    const LinkResult header = link.SendHeader(10);
    if (header != LinkResult::Ready) return header;
    std::copy(stream.begin(), stream.end(), ws.link.LinkBuffer.begin());
    return link.WriteData(static_cast<int>(stream.size()), true);
  }
  LinkResult ProgramOption(int word) { return Program(AreaOption, ActionProgram, StoredWords({word})); }
  std::chrono::nanoseconds Since(TimePoint t) { return clock.Now() - t; }

  Workspace ws;
  FakeClock clock;
  SimWriter writer;
  SimPort port;
  WriterLink link;
};

}  // namespace kvx::sim::test
