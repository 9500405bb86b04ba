// The shared journal on a PostgreSQL server, on this machine:
//
//   round trip  6 ports reserving numbers at once from one series (3 stations of 2 ports, each
//               station one Journal its ports share, as kvxw auto does): the time of one
//               reservation (Reserve, which also renews the run's lease), p50 / p99 / worst.
//               Target: p99 under 20 ms.
//   kvxw auto   3 chips on one port alone, then 3 kvxw auto processes (stations) of 2 ports each,
//               3 chips a port, all at once against the shared journal; simulated Writers on
//               pseudo-terminals at 115200-baud timing, every chip a fresh blank one. The wall
//               time of the 6 ports against the one. Target: 1.2 or below.
//
// Usage: pg_journal_bench URI [PATH-OF-KVXW]   (URI: a database the user may create tables in;
//        KVX_TEST_PG when left out; the second part is left out without kvxw)
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "spawn_quiet.h"
#include "core/device/catalogue.h"
#include "core/production/journal.h"
#include "sim/pty_server.h"
#include "sim/sim_writer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Reservation times in milliseconds of 6 ports at once, `chips` numbers each.
std::vector<double> RoundTrips(const std::string& uri, int chips, std::string& error) {
  const std::string series = "BENCH " + std::to_string(::getpid()) + " " +
                             std::to_string(std::time(nullptr));
  std::vector<std::unique_ptr<kvx::Journal>> stations;
  for (int s = 0; s < 3; ++s) {
    stations.push_back(std::make_unique<kvx::Journal>());
    stations.back()->SetStation("bench-" + std::to_string(s + 1));
    if (!stations.back()->Open(uri, error)) return {};
  }
  std::vector<std::vector<double>> times(6);
  std::atomic<long> next{0};
  std::atomic<bool> failed{false};
  std::vector<std::thread> ports;
  for (int p = 0; p < 6; ++p) {
    ports.emplace_back([&, p] {
      kvx::Journal& journal = *stations[p / 2];
      for (int c = 0; c < chips && !failed; ++c) {
        // Each port tries the number it believes free, as PassJournal does: the next one after
        // the last it saw taken.
        for (long n = next.load();; ++n) {
          kvx::PassRecord row;
          row.port = "COM" + std::to_string(p % 2 + 1);
          row.series = series;
          row.serial = std::to_string(n);
          std::string e;
          const auto start = Clock::now();
          const auto result = journal.Reserve(row, e);
          times[p].push_back(1000 * Seconds(Clock::now() - start));
          if (result == kvx::Journal::ReserveResult::Failed) {
            failed = true;
            break;
          }
          if (result == kvx::Journal::ReserveResult::Used) continue;
          long seen = next.load();
          while (seen <= n && !next.compare_exchange_weak(seen, n + 1)) {
          }
          row.outcome = kvx::PassOutcome::Ok;
          row.counted = true;
          if (!journal.Finish(row, e)) failed = true;
          break;
        }
      }
    });
  }
  for (auto& t : ports) t.join();
  if (failed) error = "a reservation failed";
  std::vector<double> all;
  for (const auto& t : times) all.insert(all.end(), t.begin(), t.end());
  std::sort(all.begin(), all.end());
  return all;
}

// A KVX-01 program with RTIW words at 0100-0103 for four-byte serial numbers.
void WriteProgram(const fs::path& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  for (int w = 0; w < 1024; ++w) {
    const int word = w >= 0x100 && w < 0x104 ? 0x3100 : (w * 7 + 1) & 0x3FFF;
    std::fputc(word & 0xFF, f);
    std::fputc(word >> 8, f);
  }
  std::fclose(f);
}

// `stations` kvxw auto processes of `ports` ports each, `chips` chips a port, at once: seconds,
// or -1 when one failed.
double RunFloor(const std::string& kvxw, const std::string& uri, const fs::path& dir, int stations,
                int ports, int chips, const std::string& firstNumber) {
  std::vector<std::unique_ptr<kvx::sim::SimWriter>> writers;
  std::vector<std::unique_ptr<kvx::sim::PtyServer>> servers;
  std::vector<pid_t> pids;
  const auto start = Clock::now();
  for (int s = 0; s < stations; ++s) {
    std::vector<std::string> env = bench::Environment();
    env.push_back("KVXW_STATION=bench-" + std::to_string(s + 1));
    std::vector<std::string> args = {kvxw, "auto", "--device", "KVX-01", "--file",
                                     (dir / "program.bin").string(), "--option", "155D",
                                     "--serial-start", "0100", "--serial-bytes", "4",
                                     "--serial-value", firstNumber, "--journal", uri, "--resume",
                                     "--count", std::to_string(chips)};
    for (int p = 0; p < ports; ++p) {
      writers.push_back(std::make_unique<kvx::sim::SimWriter>(kvx::FindDevice("KVX-01")));
      writers.back()->Faults().BaudDelay = true;
      writers.back()->SetFreshChipEachPass(true);
      servers.push_back(std::make_unique<kvx::sim::PtyServer>(*writers.back()));
      const std::string link =
          (dir / ("writer" + std::to_string(s) + "-" + std::to_string(p))).string();
      std::string error;
      if (!servers.back()->Start(link, error)) return -1;
      env.push_back("KVXW_COM" + std::to_string(p + 1) + "=" + link);
      args.push_back("--port");
      args.push_back("Com" + std::to_string(p + 1));
    }
    const pid_t pid = bench::SpawnQuiet(args, env);
    if (pid >= 0) pids.push_back(pid);
  }
  bool ok = pids.size() == static_cast<std::size_t>(stations);
  for (pid_t pid : pids) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return ok ? Seconds(Clock::now() - start) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* env = std::getenv("KVX_TEST_PG");
  const std::string uri = argc > 1 ? argv[1] : env != nullptr ? env : "";
  if (uri.empty()) {
    std::fprintf(stderr, "usage: pg_journal_bench URI [PATH-OF-KVXW] (or KVX_TEST_PG)\n");
    return 2;
  }
  std::printf("Shared journal on %s, %u cores\n", uri.c_str(), std::thread::hardware_concurrency());
  std::string error;
  const auto times = RoundTrips(uri, 200, error);
  if (times.empty() || !error.empty()) {
    std::fprintf(stderr, "pg_journal_bench: %s\n", error.c_str());
    return 1;
  }
  auto at = [&](double q) {
    return times[static_cast<std::size_t>(q * static_cast<double>(times.size() - 1))];
  };
  std::printf("reservation, 6 ports at once: %zu calls, p50 %.2f ms, p99 %.2f ms, worst %.2f ms "
              "(target p99 < 20 ms) %s\n",
              times.size(), at(0.5), at(0.99), times.back(), at(0.99) < 20 ? "ok" : "MISSED");

  if (argc > 2) {
    const fs::path dir = fs::temp_directory_path() / ("kvx_pg_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    WriteProgram(dir / "program.bin");
    // A fresh stretch of the series for each run of the benchmark.
    char first[24];
    std::snprintf(first, sizeof first, "%08lX",
                  static_cast<unsigned long>(std::time(nullptr) % 0x100000) * 0x100);
    const double one = RunFloor(argv[2], uri, dir, 1, 1, 3, first);
    const double six = RunFloor(argv[2], uri, dir, 3, 2, 3, first);
    const double ratio = one > 0 && six > 0 ? six / one : 0;
    std::printf("kvxw auto, 1 port, 3 chips:               %6.2f s\n", one);
    std::printf("kvxw auto, 3 stations x 2 ports, 3 chips: %6.2f s\n", six);
    std::printf("6 ports / 1 port:                         %6.3f   (target <= 1.2) %s\n", ratio,
                ratio > 0 && ratio <= 1.2 ? "ok" : "MISSED");
    fs::remove_all(dir);
  }
  return 0;
}
