// How long an Auto Program pass takes on a given line. Every acknowledged byte waits for its
// answer, so a pass costs its bytes' wire time plus, for every round trip (a byte and its
// answer, or a header and the first byte of what it asks for), however long the port holds the
// answer. The round trips of a pass are counted once from its steps (AutoPassExchange); the hold
// comes from what the port is (PortFacts) or, better, from timing the Writer check's own byte.
#pragma once

#include <chrono>
#include <string>

#include "core/device/workspace.h"
#include "core/link/port_facts.h"

namespace kvx {

struct PassExchange {
  long hostBytes = 0;    // bytes the program sends
  long writerBytes = 0;  // bytes the Writer sends
  long roundTrips = 0;   // waits for an answer after sending
  bool operator==(const PassExchange&) const = default;
};

// The bytes of one Auto Program pass of the workspace's device: the Writer check, the erase of a
// flash part and the blank check (unless `blankCheck` is false), then ID, program memory and
// OPTION word, each written and read back.
PassExchange AutoPassExchange(const Workspace& ws, bool blankCheck = true);

// One byte on the line at 115200 baud, 8N1: a start bit, 8 data bits and a stop bit.
inline constexpr std::chrono::nanoseconds kLineByteTime{10'000'000'000LL / 115'200};

// The pass's time when every answer is held `hold` beyond its wire time.
std::chrono::duration<double> PassTime(const PassExchange& pass, std::chrono::nanoseconds hold,
                                       std::chrono::nanoseconds byteTime = kLineByteTime);
// The pass's time from a measured round trip of one byte and its one-byte answer (the Writer
// check's): every round trip of the pass costs that, the other bytes their wire time.
std::chrono::duration<double> PassTimeFromRoundTrip(const PassExchange& pass,
                                                    std::chrono::nanoseconds roundTrip,
                                                    std::chrono::nanoseconds byteTime = kLineByteTime);
// The pass's time predicted from the port's shortest measured round trip (ws.link.RoundTrip);
// negative before the Writer has been checked.
std::chrono::duration<double> PredictedPassTime(const Workspace& ws);

// "4.3 s", "3 min 20 s".
std::string DurationText(std::chrono::duration<double> d);

// The one line said when a port is opened whose answers will be slow, empty when they will not:
// what holds them, the knob that would not, where the README tells how, and what a pass of the
// workspace's device will take. `port` is the name the messages show ("COM1").
std::string SlowPortWarning(const PortFacts& facts, const std::string& port, const Workspace& ws);

}  // namespace kvx
