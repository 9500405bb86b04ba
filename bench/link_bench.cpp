// How fast the host's side of the link is over a real terminal, and how little it costs while it
// waits. The simulated Writer runs on a pseudo-terminal served from a thread of this program
// (PtyServer); the host talks to it through TComm and the link primitives, as kvxw does.
//
//   floor      a bare poll()-based one-byte ping-pong over a pseudo-terminal: what one answered
//              byte costs on this machine at the least
//   per byte   the host's time per acknowledged byte in a WriteData stream
//   waiting    CPU the link uses during a real 3-second answer time-out
//   wire time  per acknowledged byte with the simulated Writer's baud-delay fault: what a real
//              115200-baud line takes (two bytes' wire time), never less
//   calls      system calls the host's thread makes per acknowledged byte of a WriteData stream,
//              and per byte of the read-back that follows it: counted, so the number does not
//              depend on how busy the machine is
//   empty read a one-byte read with nothing waiting: returns at once, not after a read time-out
//   hang-up    the next exchange after the Writer's side has hung up: fails at once
//
// Targets: per byte within 1.2 times the floor; under 5% of one core while waiting; with the
// baud delay at least the wire time and at most one floor round trip more; at most 3 system
// calls per acknowledged byte.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "pty_link.h"
#include "syscall_count.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double ThreadCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  const auto total = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return total(usage.ru_utime) + total(usage.ru_stime);
}

bool Raw(int fd) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return false;
  ::cfmakeraw(&t);
  return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

// Seconds per round trip of `rounds` one-byte exchanges: the host writes a byte to the terminal
// side, an echo thread on the master side answers it, the host waits for it with poll().
double PingPongFloor(int rounds) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  char name[128];
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
      ::ptsname_r(master, name, sizeof name) != 0)
    return 0;
  const int host = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
  Raw(host);
  Raw(master);
  std::thread echo([&] {
    for (int i = 0; i < rounds; ++i) {
      pollfd p{master, POLLIN, 0};
      std::uint8_t b;
      if (::poll(&p, 1, 2000) != 1 || ::read(master, &b, 1) != 1) return;
      (void)!::write(master, &b, 1);
    }
  });
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    std::uint8_t b = static_cast<std::uint8_t>(i);
    (void)!::write(host, &b, 1);
    pollfd p{host, POLLIN, 0};
    if (::poll(&p, 1, 2000) != 1 || ::read(host, &b, 1) != 1) break;
  }
  const double perRound = Seconds(Clock::now() - start) / rounds;
  echo.join();
  ::close(host);
  ::close(master);
  return perRound;
}

using LinkSetup = kvx::bench::PtyLink;

// Best seconds per acknowledged byte over `passes` program-memory streams.
double PerAcknowledgedByte(LinkSetup& s, int passes) {
  const int bytes = 2 * s.ws.device.ProgramWords();
  for (int i = 0; i < bytes; ++i) s.ws.link.LinkBuffer[i] = static_cast<std::uint8_t>(i & 0x7F);
  double best = 1e9;
  for (int pass = 0; pass < passes; ++pass) {
    s.writer.InsertChip(kvx::sim::ChipContent::Blank);
    s.link.GetHeader(kvx::AreaProgram, kvx::ActionProgram);
    if (s.link.SendHeader(10) != kvx::LinkResult::Ready) return 0;
    const auto start = Clock::now();
    const kvx::LinkResult result = s.link.WriteData(bytes, true);
    const double elapsed = Seconds(Clock::now() - start);
    if (result != kvx::LinkResult::WriteOk) {
      std::fprintf(stderr, "link_bench: WriteData returned %d\n", kvx::LinkResultNumber(result));
      return 0;
    }
    best = std::min(best, elapsed / bytes);
  }
  return best;
}

struct StreamCalls {
  double perAcknowledgedByte = 0;
  double perReadByte = 0;
};

// System calls of one program-memory stream and of reading the memory back, per byte.
StreamCalls CountStreamCalls(LinkSetup& s) {
  const int bytes = 2 * s.ws.device.ProgramWords();
  s.writer.InsertChip(kvx::sim::ChipContent::Blank);
  s.link.GetHeader(kvx::AreaProgram, kvx::ActionProgram);
  if (s.link.SendHeader(10) != kvx::LinkResult::Ready) return {};
  StreamCalls calls;
  {
    kvx::bench::CountSyscalls count;
    if (s.link.WriteData(bytes, true) != kvx::LinkResult::WriteOk) return {};
    calls.perAcknowledgedByte = static_cast<double>(count.Now().Total()) / bytes;
  }
  s.link.GetHeader(kvx::AreaProgram, kvx::ActionRead);
  kvx::bench::CountSyscalls count;
  if (s.link.Read7BitData(bytes, false) != kvx::LinkResult::Done) return {};
  calls.perReadByte = static_cast<double>(count.Now().Total()) / bytes;
  return calls;
}

}  // namespace

int main() {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("kvx_link_bench_" + std::to_string(::getpid())))
                               .string();
  LinkSetup s("KVX-43");
  if (!s.Open(path, "link_bench")) return 1;

  double floor = 1e9;  // best of five, as the stream is
  for (int i = 0; i < 5; ++i) floor = std::min(floor, PingPongFloor(5000));
  const double perByte = PerAcknowledgedByte(s, 5);
  std::printf("simulated Writer: PtyServer in a thread of this program\n");
  std::printf("floor (poll ping-pong):   %8.1f us per round trip\n", floor * 1e6);
  std::printf("WriteData:                %8.1f us per acknowledged byte (%d bytes a stream)\n",
              perByte * 1e6, 2 * s.ws.device.ProgramWords());

  const StreamCalls calls = CountStreamCalls(s);
  std::printf("system calls:             %8.2f per acknowledged byte, %.2f per byte read back\n",
              calls.perAcknowledgedByte, calls.perReadByte);

  s.writer.Faults().BaudDelay = true;
  const double wired = PerAcknowledgedByte(s, 5);
  s.writer.Faults().BaudDelay = false;
  const double wireTime = 2 * std::chrono::duration<double>(kvx::sim::kByteWireTime).count();
  std::printf("WriteData, baud delay:    %8.1f us per acknowledged byte (wire: %.1f us)\n",
              wired * 1e6, wireTime * 1e6);

  // A Writer that stops answering: the link waits its full time-out for the answer.
  s.writer.Faults().SilentAfter = s.writer.BytesReceived();
  const double cpu0 = ThreadCpuSeconds();
  const auto start = Clock::now();
  const kvx::LinkResult result = s.link.CheckWriter(false);
  const double wall = Seconds(Clock::now() - start);
  const double cpu = ThreadCpuSeconds() - cpu0;
  std::printf("time-out wait:            %8.3f s, result %d, %.3f s CPU\n", wall, kvx::LinkResultNumber(result), cpu);

  const double ratio = floor > 0 ? perByte / floor : 0;
  const double busy = wall > 0 ? 100.0 * cpu / wall : 0;
  std::printf("per byte / floor:         %8.2f   (target <= 1.20) %s\n", ratio,
              ratio > 0 && ratio <= 1.2 ? "ok" : "MISSED");
  std::printf("CPU while waiting:        %8.2f%%  (target < 5%%)    %s\n", busy,
              busy < 5.0 ? "ok" : "MISSED");
  const double wireRatio = wired / wireTime;
  const double wireLimit = (wireTime + floor) / wireTime;
  std::printf("baud delay / wire time:   %8.2f   (target 1.00-%.2f) %s\n", wireRatio, wireLimit,
              wireRatio >= 1.0 && wireRatio <= wireLimit ? "ok" : "MISSED");
  // The stream's own start (the purge of both queues) adds a few calls to the whole stream.
  const bool fewCalls = calls.perAcknowledgedByte > 0 && calls.perAcknowledgedByte < 3.005;
  std::printf("calls per acknowledged byte: %5.2f   (target <= 3)    %s\n",
              calls.perAcknowledgedByte, fewCalls ? "ok" : "MISSED");

  // A one-byte read with nothing waiting returns at once, not after the port's read time-out.
  s.writer.Faults().SilentAfter = -1;
  s.comm.PurgeIn();
  std::uint8_t none = 0;
  const auto readStart = Clock::now();
  const int got = s.comm.Read(&none, 1);
  const double emptyRead = Seconds(Clock::now() - readStart);
  std::printf("empty one-byte read:      %8.3f ms, %d bytes  (target < 100 ms) %s\n", emptyRead * 1e3,
              got, got == 0 && emptyRead < 0.1 ? "ok" : "MISSED");

  // The Writer's side hangs up: the next exchange fails at once rather than after the time-out.
  s.server.Stop();
  const auto hangStart = Clock::now();
  const kvx::LinkResult hungUp = s.link.CheckWriter(false);
  const double hang = Seconds(Clock::now() - hangStart);
  std::printf("after a hang-up:          %8.3f s, result %d  (target < 1 s) %s\n", hang,
              kvx::LinkResultNumber(hungUp), hungUp == kvx::LinkResult::Timeout && hang < 1.0 ? "ok" : "MISSED");
  s.comm.Close();
  return 0;
}
