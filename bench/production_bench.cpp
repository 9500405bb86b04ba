// Several Writers at once, on a production line's timing: simulated Writers on pseudo-terminals
// with the 115200-baud wire timing (the baud-delay fault), KVX-43 in every socket.
//
//   pacing     one program-memory stream per Writer, 1 and then 4 Writers at once, each from a
//              host thread of its own: how far from its wire-time deadline each answer left the
//              simulated Writer, on average. Target: within 2% of a byte's wire time (the
//              Writers must keep the wire's pace without spinning, also when there are more of
//              them than cores). The time per acknowledged byte is shown too: it adds the host's
//              turnaround and every wake-up of the machine to the wire time.
//   kvxw auto  one chip on one port, then one chip on each of 4 ports (kvxw auto --port given
//              4 times, every chip a fresh blank one), best of three runs each: the wall time of
//              the 4 against the one, and kvxw's CPU per port (its CPU time over the wall time,
//              divided by 4). Targets: 1.15 or below; 5% of one core per port or less.
//
// Usage: production_bench [PATH-OF-KVXW]   (the second part is left out without kvxw)
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pty_link.h"
#include "spawn_quiet.h"


namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr const char* kDevice = "KVX-43";

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One simulated Writer at the wire's pace on a pseudo-terminal, and a host on its terminal side.
struct Line : kvx::bench::PtyLink {
  Line() : PtyLink(kDevice) { writer.Faults().BaudDelay = true; }
  // Seconds per acknowledged byte of one whole program-memory stream; 0 on a failure.
  double Stream() {
    const int bytes = 2 * ws.device.ProgramWords();
    for (int i = 0; i < bytes; ++i) ws.link.LinkBuffer[i] = static_cast<std::uint8_t>(i & 0x7F);
    writer.InsertChip(kvx::sim::ChipContent::Blank);
    link.GetHeader(kvx::AreaProgram, kvx::ActionProgram);
    if (link.SendHeader(10) != kvx::LinkResult::Ready) return 0;
    const auto start = Clock::now();
    if (link.WriteData(bytes, true) != kvx::LinkResult::WriteOk) return 0;
    return Seconds(Clock::now() - start) / bytes;
  }
};

struct PacingResult {
  double perByte = 0;   // worst time per acknowledged byte, in wire times (one byte each way)
  double meanLate = 0;  // worst mean lateness of an answer against its deadline, in wire times
  double meanAbs = 0;   // the same, early or late alike
  double delayed = 0;   // share of the answers the busy machine delayed by a wire time or more
};

// `count` Writers streaming at once, each to a host thread of its own.
PacingResult Pacing(const fs::path& dir, int count) {
  std::vector<std::unique_ptr<Line>> lines;
  for (int i = 0; i < count; ++i) {
    lines.push_back(std::make_unique<Line>());
    if (!lines.back()->Open((dir / ("pace" + std::to_string(i))).string(), "production_bench"))
      return {};
  }
  std::vector<double> perByte(static_cast<std::size_t>(count));
  std::vector<std::thread> hosts;
  for (int i = 0; i < count; ++i)
    hosts.emplace_back([&, i] { perByte[static_cast<std::size_t>(i)] = lines[i]->Stream(); });
  for (auto& h : hosts) h.join();
  const double wire = std::chrono::duration<double>(kvx::sim::kByteWireTime).count();
  PacingResult result;
  for (int i = 0; i < count; ++i) {
    if (perByte[static_cast<std::size_t>(i)] == 0) return {};
    const auto pacing = lines[i]->server.PacingSoFar();
    result.perByte = std::max(result.perByte, perByte[static_cast<std::size_t>(i)] / (2 * wire));
    const double late = std::chrono::duration<double>(pacing.meanLate).count() / wire;
    if (std::abs(late) > std::abs(result.meanLate)) result.meanLate = late;
    result.meanAbs =
        std::max(result.meanAbs, std::chrono::duration<double>(pacing.meanAbsLate).count() / wire);
    const double all = static_cast<double>(pacing.answers + pacing.delayed);
    if (all > 0) result.delayed = std::max(result.delayed, static_cast<double>(pacing.delayed) / all);
  }
  return result;
}

void PrintPacing(const char* what, const PacingResult& p) {
  const bool ok = p.perByte > 0 && std::abs(p.meanLate) <= 0.02;
  std::printf("pacing, %s: answers %+6.2f%% of a wire time from their deadlines on average "
              "(%.1f%% either way; target within 2%%) %s\n",
              what, 100 * p.meanLate, 100 * p.meanAbs, ok ? "ok" : "MISSED");
  std::printf("         %s: %.2f%% of the answers delayed a wire time or more by a busy machine; "
              "%.3f x the wire time per acknowledged byte, host turnaround included\n",
              what, 100 * p.delayed, p.perByte);
}

struct AutoRun {
  double wall = 0;  // seconds
  double cpu = 0;   // kvxw's CPU seconds, user and system
  int status = -1;
};

// kvxw auto on `ports` Writers served by this program, one chip each, no journal.
AutoRun RunAuto(const std::string& kvxw, const fs::path& dir, int ports) {
  std::vector<std::unique_ptr<kvx::sim::SimWriter>> writers;
  std::vector<std::unique_ptr<kvx::sim::PtyServer>> servers;
  std::vector<std::string> env = bench::Environment();
  std::vector<std::string> args = {kvxw, "auto", "--device", kDevice, "--file",
                                   (dir / "program.bin").string(), "--option", "155D",
                                   "--no-journal", "--ignore-blank-reset"};
  for (int i = 0; i < ports; ++i) {
    writers.push_back(std::make_unique<kvx::sim::SimWriter>(kvx::FindDevice(kDevice)));
    writers.back()->Faults().BaudDelay = true;
    servers.push_back(std::make_unique<kvx::sim::PtyServer>(*writers.back()));
    const std::string link = (dir / ("writer" + std::to_string(i))).string();
    std::string error;
    if (!servers.back()->Start(link, error)) return {};
    env.push_back("KVXW_COM" + std::to_string(i + 1) + "=" + link);
    args.push_back("--port");
    args.push_back("Com" + std::to_string(i + 1));
  }
  const auto start = Clock::now();
  const pid_t pid = bench::SpawnQuiet(args, env);
  if (pid < 0) return {};
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  AutoRun run;
  run.wall = Seconds(Clock::now() - start);
  const auto total = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  run.cpu = total(usage.ru_utime) + total(usage.ru_stime);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// A KVX-43 program: every word a non-blank instruction.
void WriteProgram(const fs::path& path) {
  kvx::Workspace ws;
  kvx::GetICInfo(ws, kDevice);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  for (int w = 0; w < ws.device.ProgramWords(); ++w) {
    const int word = (w * 7 + 1) & 0x3FFF;
    std::fputc(word & 0xFF, f);
    std::fputc(word >> 8, f);
  }
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = fs::temp_directory_path() / ("kvx_production_bench_" + std::to_string(::getpid()));
  fs::create_directories(dir);

  std::printf("Writers on pseudo-terminals, %s, 115200-baud timing, %u cores\n", kDevice,
              std::thread::hardware_concurrency());
  PrintPacing("1 Writer ", Pacing(dir, 1));
  PrintPacing("4 Writers", Pacing(dir, 4));

  if (argc > 1) {
    WriteProgram(dir / "program.bin");
    // The best of three runs each: the machine may be busy with other work in between.
    auto best = [&](int ports) {
      AutoRun result;
      for (int i = 0; i < 3; ++i) {
        const AutoRun run = RunAuto(argv[1], dir, ports);
        if (run.status != 0) return run;
        if (result.status != 0 || run.wall < result.wall) result = run;
      }
      return result;
    };
    const AutoRun single = best(1);
    const AutoRun multi = best(4);
    const double ratio = single.wall > 0 ? multi.wall / single.wall : 0;
    const double cpuPerPort = multi.wall > 0 ? 100.0 * multi.cpu / multi.wall / 4 : 0;
    std::printf("kvxw auto, 1 port:         %6.2f s (exit %d)\n", single.wall, single.status);
    std::printf("kvxw auto, 4 ports:        %6.2f s (exit %d)\n", multi.wall, multi.status);
    std::printf("4 ports / 1 port:          %6.3f   (target <= 1.15) %s\n", ratio,
                ratio > 0 && ratio <= 1.15 && multi.status == 0 ? "ok" : "MISSED");
    std::printf("kvxw CPU per port:         %6.2f%%  of one core (target <= 5%%) %s\n", cpuPerPort,
                cpuPerPort <= 5.0 && multi.status == 0 ? "ok" : "MISSED");
  }
  fs::remove_all(dir);
  return 0;
}
