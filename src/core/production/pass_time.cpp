#include "core/production/pass_time.h"

#include <cmath>
#include <cstdio>

namespace kvx {
namespace {

using std::chrono::nanoseconds;

// The steps of a pass, counted byte for byte on the simulated Writer: each read or write is a
// ten-byte header; reads end with the Writer's end marker, writes with a few bytes past the data.
// `PerProgramByte` scales with the device's program memory.
struct StepBytes {
  long host, writer, trips;
  long hostPerProgramByte, writerPerProgramByte, tripsPerProgramByte;
};
// The Writer check: 0xA0 and its one answer.
constexpr StepBytes kWriterCheck{1, 1, 1, 0, 0, 0};
// Erase of a flash part: a header and its answer.
constexpr StepBytes kErase{10, 1, 1, 0, 0, 0};
// Blank check: three reads (OPTION, ID, program memory).
constexpr StepBytes kBlankCheck{30, 41, 3, 0, 1, 0};
// ID written and read back, program memory streamed (every byte answered) and read back, the
// ID verified, the OPTION word written and read back.
constexpr StepBytes kProgramAndVerify{78, 62, 24, 1, 2, 1};

void Add(PassExchange& pass, const StepBytes& step, long programBytes) {
  pass.hostBytes += step.host + step.hostPerProgramByte * programBytes;
  pass.writerBytes += step.writer + step.writerPerProgramByte * programBytes;
  pass.roundTrips += step.trips + step.tripsPerProgramByte * programBytes;
}

}  // namespace

PassExchange AutoPassExchange(const Workspace& ws, bool blankCheck) {
  PassExchange pass;
  const long n = ws.device.ProgramBytes;
  Add(pass, kWriterCheck, n);
  if (blankCheck) {
    if (ws.device.IsFlash()) Add(pass, kErase, n);
    Add(pass, kBlankCheck, n);
  }
  Add(pass, kProgramAndVerify, n);
  return pass;
}

std::chrono::duration<double> PassTime(const PassExchange& pass, nanoseconds hold,
                                       nanoseconds byteTime) {
  const double wire = static_cast<double>(pass.hostBytes + pass.writerBytes) *
                      static_cast<double>(byteTime.count());
  const double held = static_cast<double>(pass.roundTrips) * static_cast<double>(hold.count());
  return std::chrono::duration<double>((wire + held) / 1e9);
}

std::chrono::duration<double> PassTimeFromRoundTrip(const PassExchange& pass, nanoseconds roundTrip,
                                                    nanoseconds byteTime) {
  // A round trip is the byte's wire time, its answer's and the hold; what is left is the hold.
  return PassTime(pass, std::max(nanoseconds{0}, roundTrip - 2 * byteTime), byteTime);
}

std::chrono::duration<double> PredictedPassTime(const Workspace& ws) {
  if (ws.link.RoundTrip.count() <= 0) return std::chrono::duration<double>(-1);
  return PassTimeFromRoundTrip(AutoPassExchange(ws), ws.link.RoundTrip);
}

std::string DurationText(std::chrono::duration<double> d) {
  char text[48];
  const double s = d.count();
  if (s < 60) {
    std::snprintf(text, sizeof text, "%.1f s", s);
  } else {
    const long whole = std::lround(s);
    std::snprintf(text, sizeof text, "%ld min %ld s", whole / 60, whole % 60);
  }
  return text;
}

std::string SlowPortWarning(const PortFacts& facts, const std::string& port, const Workspace& ws) {
  if (!facts.Slow()) return {};
  const std::string what = facts.driver.empty() ? port : port + " (" + facts.driver + ")";
  const std::string setting =
      facts.knob == "latency_timer"
          ? "latency_timer " + std::to_string(facts.latencyTimerMs > 0 ? facts.latencyTimerMs : 16) + " ms"
          : "rx_trig_bytes " + std::to_string(facts.rxTrigBytes);
  const PassExchange pass = AutoPassExchange(ws);
  return what + " holds each answer about " + HoldText(facts.answerHold) + " (" + setting +
         "): a " + ws.device.SelectedDevice + " pass will take about " +
         DurationText(PassTime(pass, facts.answerHold)) + " instead of " +
         DurationText(PassTime(pass, nanoseconds{0})) + "; setting " + std::string(facts.knob) +
         " to 1 fixes it (README, \"USB adapters\")";
}

}  // namespace kvx
