// The floor soak: several stations of several Writers each (`kvxw auto` on `kvxw sim`'s
// pseudo-terminals, every chip in a chip log) draw numbers from one series of a shared journal on
// a PostgreSQL server of the soak's own, round after round, for a bounded time. Meanwhile, at
// random from a seed it prints, a station is killed (SIGKILL), a Writer's chip fails late in its
// write stream, the server crashes and starts again, and a station's network stalls, briefly or
// past its --journal-timeout. After each round the chips are held against the journal: no value
// is on two chips, each chip's value has a row of its station that keeps it used, and each value
// the journal has as ok is on a chip. Every wait is bounded and every process started is reaped.
//
//   floor_soak [--seed N] [--seconds S] [--stations K] [--ports P]
//
// It needs kvxw (KVXW) and PostgreSQL's server programs (KVX_TEST_PG, set by scripts/test.sh,
// says they are there). Exit 0 when every round held; 1 when one did not, or without a server in
// CI (CI=true); 77 (skipped) without a server elsewhere.
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_support.h"
#include "core/production/pg_db.h"
#include "pg_test_proxy.h"
#include "pg_test_server.h"

namespace kvx::soak {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using cli::test::KvxwProcess;
using cli::test::KvxwRun;
using cli::test::SimServer;

constexpr int kJournalTimeoutS = 3;
// A station stalled for good ends within its time-out, after the pass under way: this much more.
constexpr auto kStallGrace = 20s;

struct Options {
  std::uint64_t seed = std::random_device{}();
  int seconds = 100;
  int stations = 3;
  int ports = 2;
};

// The serial number a chip of a `kvxw sim --chip-log` line carries: program words 0100-0103, RTIW
// words (0x31nn) of one byte each, most significant first; empty unless all four were written.
std::string SerialOnChip(const std::string& line) {
  const std::size_t at = line.find(" program=");
  if (at == std::string::npos || line.size() < at + 9 + 0x104 * 4) return {};
  const std::string words = line.substr(at + 9 + 0x100 * 4, 4 * 4);
  std::string serial;
  for (std::size_t i = 0; i + 4 <= words.size(); i += 4)
    if ((std::stoi(words.substr(i, 4), nullptr, 16) & 0x3F00) == 0x3100)
      serial += words.substr(i + 2, 2);
  return serial.size() == 8 ? serial : "";
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The last `count` lines of a station's standard error, its progress lines left out.
std::string LastLines(const std::string& text, std::size_t count) {
  std::vector<std::string> lines;
  for (const std::string& line : cli::test::Lines(text))
    if (line.find("progress: ") == std::string::npos) lines.push_back(line);
  std::string out;
  for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
    out += "    " + lines[i] + "\n";
  return out;
}

struct Station {
  std::string name;
  fs::path chipLog;
  std::unique_ptr<SimServer> sim;
  std::unique_ptr<test::StallingProxy> proxy;
  std::unique_ptr<KvxwProcess> run;
  bool chipFault = false;  // a Writer of it fails a write
  bool killed = false;
  bool ended = false;
  std::optional<Clock::time_point> resumeAt;   // a brief stall ends then
  std::optional<Clock::time_point> mustEndBy;  // stalled for good: it must have ended by then
  std::string story;                           // what was done to it, for the report
};

class Floor {
 public:
  Floor(const Options& options, fs::path dir)
      : options_(options), dir_(std::move(dir)), rng_(options.seed) {}

  bool Run() {
    std::string error;
    if (!server_.Start(error)) return Fail("no server of the soak's own: " + error);
    cli::test::WriteFile(dir_ / "p01.bin",
                         cli::test::WordBytes(cli::test::SampleProgramWords(true)));
    const auto end = Clock::now() + std::chrono::seconds(options_.seconds);
    int round = 0;
    for (; Clock::now() + 5s < end; ++round) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
      if (!Round(round + 1, std::min<std::chrono::milliseconds>(left, Ms(6000, 15000))))
        return false;
    }
    std::cout << "floor soak: " << round << " rounds, " << onChips_.size()
              << " numbers on chips, none on two; seed " << options_.seed << "\n";
    return true;
  }

 private:
  std::chrono::milliseconds Ms(int low, int high) {
    return std::chrono::milliseconds(std::uniform_int_distribution<int>(low, high)(rng_));
  }
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
  bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }
  bool Fail(const std::string& what) {
    std::cout << "floor soak FAILED (seed " << options_.seed << "): " << what << "\n";
    return false;
  }

  // Its Writers (one `kvxw sim`, some slow, some failing a write late) and its run, whose journal
  // is reached through a proxy the soak can stall.
  bool StartStation(Station& st, const fs::path& dir) {
    st.chipLog = dir / (st.name + ".chips");
    std::vector<std::string> sim = {"--device", "KVX-01", "--fresh-chip-each-pass", "--chip-log",
                                    st.chipLog.string()};
    std::vector<std::string> env = {"KVXW_STATION=" + st.name, "KVXW_JOURNAL_LEASE_MS=5000",
                                    "XDG_STATE_HOME=" + (dir_ / "state" / st.name).string()};
    std::vector<std::string> args = {
        "auto", "--device", "KVX-01", "--file", (dir_ / "p01.bin").string(), "--option", "155D",
        "--serial-start", "0100", "--serial-bytes", "4", "--serial-value", "00001000", "--resume",
        "--journal-timeout", std::to_string(kJournalTimeoutS),
        "--count", std::to_string(Pick(2, 10))};
    std::string first;
    for (int p = 1; p <= options_.ports; ++p) {
      const std::string link = (dir / (st.name + "-com" + std::to_string(p))).string();
      if (p == 1) first = link;
      else sim.insert(sim.end(), {"--link", link});
      env.push_back("KVXW_COM" + std::to_string(p) + "=" + link);
      args.insert(args.end(), {"--port", "Com" + std::to_string(p)});
    }
    if (Chance(0.5)) {
      sim.insert(sim.end(), {"--fault", "baud-delay"});
      st.story += " slow";
    }
    if (Chance(0.3)) {
      // Each of its Writers fails once at this byte of a write stream: the program's, whose
      // serial words lie at bytes 0200-0207, or the OPTION word's.
      const int at = Chance(0.8) ? Pick(0, 0x7FF) : Pick(0, 1);
      sim.insert(sim.end(), {"--fault", "write-fail-at=" + std::to_string(at)});
      st.chipFault = true;
      st.story += " write-fail-at=" + std::to_string(at);
    }
    st.sim = std::make_unique<SimServer>(first, sim);
    if (!st.sim->Ready()) return Fail(st.name + "'s Writers did not start: " + st.sim->Output());
    st.proxy = std::make_unique<test::StallingProxy>(test::ServerSocketOf(server_.Uri()),
                                                     std::chrono::seconds(options_.seconds + 120));
    if (!st.proxy->Listening()) return Fail("no proxy for " + st.name);
    args.insert(args.end(), {"--journal", test::UriThroughPort(server_.Uri(), st.proxy->Port())});
    st.run = std::make_unique<KvxwProcess>(args, cli::test::RunOptions{.env = env});
    return st.run->Started() || Fail(st.name + " did not start: " + st.run->SoFar().err);
  }

  // One fault, now, at random: a station killed, a station's network stalled, the server crashed
  // and started again, or nothing.
  void Inject(std::vector<Station>& stations, const std::string& when) {
    std::vector<Station*> running;
    for (Station& st : stations)
      if (!st.ended && !st.killed && !st.resumeAt && !st.mustEndBy)
        running.push_back(&st);
    const int what = Pick(0, 9);
    if (running.empty() || what >= 8) return;
    Station& st = *running[static_cast<std::size_t>(Pick(0, static_cast<int>(running.size()) - 1))];
    if (what < 3) {
      st.run->Signal(SIGKILL);
      st.killed = true;
      st.story += " killed@" + when;
    } else if (what < 6) {
      st.proxy->Stall();
      if (Chance(0.5)) {
        st.resumeAt = Clock::now() + Ms(200, 1500);
        st.story += " stalled-briefly@" + when;
      } else {
        st.mustEndBy = Clock::now() + std::chrono::seconds(kJournalTimeoutS) + kStallGrace;
        st.story += " stalled@" + when;
      }
    } else {
      server_.Crash();
      server_.Restart();
      for (Station& s : stations) s.story += s.ended ? "" : " server-restarted@" + when;
    }
  }

  bool Round(int number, std::chrono::milliseconds length) {
    const fs::path dir = dir_ / ("round-" + std::to_string(number));
    fs::create_directories(dir);
    std::vector<Station> stations(static_cast<std::size_t>(options_.stations));
    for (std::size_t s = 0; s < stations.size(); ++s) {
      stations[s].name = "line-" + std::to_string(s + 1);
      if (!StartStation(stations[s], dir)) return false;
    }
    const auto start = Clock::now();
    auto next = start + Ms(300, 2500);
    for (bool any = true; any && Clock::now() < start + length;) {
      any = false;
      const auto now = Clock::now();
      for (Station& st : stations) {
        if (st.ended) continue;
        st.ended = st.run->WaitForEnd(0ms) || !st.run->Running();
        if (st.resumeAt && now >= *st.resumeAt) {
          st.proxy->Resume();
          st.resumeAt.reset();
        }
        if (!st.ended && st.mustEndBy && now > *st.mustEndBy)
          return Fail(st.name + " still runs " + std::to_string(kStallGrace.count()) +
                      " s past its time-out after its network stalled:\n" +
                      LastLines(st.run->SoFar().err, 8));
        any = any || !st.ended;
      }
      if (now >= next) {
        std::ostringstream when;
        when.precision(1);
        when << std::fixed << std::chrono::duration<double>(now - start).count() << "s";
        Inject(stations, when.str());
        next = Clock::now() + Ms(300, 2500);
      }
      std::this_thread::sleep_for(50ms);
    }
    return EndRound(number, stations) && Check(number, stations);
  }

  // Every station ended (SIGTERM for the ones still running) and how it ended held against what
  // was done to it; then its Writers stopped, handing their last chips to the logs.
  bool EndRound(int number, std::vector<Station>& stations) {
    bool held = true;
    for (Station& st : stations) {
      const bool terminated = !st.ended;
      const KvxwRun run = st.run->Stop(terminated ? SIGTERM : 0, 30s);
      st.sim->Stop();
      st.proxy.reset();
      const std::string who =
          "round " + std::to_string(number) + " " + st.name + " (" + st.story + " )";
      const std::string how =
          run.signal != 0 ? "signal " + std::to_string(run.signal) : std::to_string(run.status);
      if (run.timedOut)
        held = Fail(who + " did not end within 30 s of SIGTERM:\n" + LastLines(run.err, 8));
      // SIGTERM after its Writers' runs ended (while it lets go of the server) takes its default
      // way out: no chip is under way then.
      else if (st.killed || run.status == 0 || run.status == 128 + SIGTERM ||
               (terminated && run.signal == SIGTERM)) continue;
      else if (run.status == 1 && (st.chipFault || st.mustEndBy)) continue;
      else held = Fail(who + " ended with " + how + ":\n" + LastLines(run.err, 8));
    }
    return held;
  }

  bool Check(int number, const std::vector<Station>& stations) {
    PgDb db;
    if (!db.Open(server_.Uri())) return Fail("the journal cannot be read: " + db.Error());
    const PgResult rows =
        db.Exec("SELECT upper(serial), host, outcome, keeps_number::int FROM passes "
                "WHERE series <> ''");
    if (!rows.Ok()) return Fail("the journal cannot be read: " + db.Error());
    std::map<std::string, std::vector<int>> keptBy;  // value -> its rows that keep it used
    std::map<std::string, int> outcomes;
    for (int i = 0; i < rows.Rows(); ++i) {
      ++outcomes[rows.Text(i, 2)];
      if (rows.Text(i, 3) == "1") keptBy[rows.Text(i, 0)].push_back(i);
    }
    bool held = true;
    int chips = 0;
    for (const Station& st : stations) {
      for (const std::string& line : cli::test::Lines(cli::test::ReadFile(st.chipLog))) {
        const std::string serial = Upper(SerialOnChip(line));
        if (serial.empty()) continue;  // failed, or killed, before its number
        ++chips;
        const std::string chip = "round " + std::to_string(number) + " " + st.name + " " +
                                 line.substr(0, line.find(" program="));
        const auto [at, fresh] = onChips_.emplace(serial, chip);
        if (!fresh) held = Fail(serial + " is on two chips: " + at->second + " and " + chip);
        const auto& kept = keptBy[serial];
        bool mine = false;
        for (int i : kept) mine = mine || rows.Text(i, 1) == st.name;
        if (!mine)
          held = Fail(serial + " is on " + chip + " but no row of " + st.name + " keeps it used");
      }
    }
    for (const auto& [serial, kept] : keptBy) {
      if (kept.size() > 1)
        held = Fail("the journal keeps " + serial + " used in " + std::to_string(kept.size()) +
                    " rows");
      for (int i : kept)
        if (rows.Text(i, 2) == "ok" && !onChips_.contains(serial))
          held = Fail("the journal has " + serial + " ok (" + rows.Text(i, 1) +
                      ") but no chip carries it");
    }
    std::cout << "round " << number << ": " << chips << " chips;";
    for (const Station& st : stations) std::cout << " " << st.name << ":" << st.story;
    std::cout << "\n  journal:";
    for (const auto& [outcome, count] : outcomes)
      std::cout << " " << outcome << " " << count << ",";
    std::cout << (held ? " held" : " BROKEN") << std::endl;
    return held;
  }

  Options options_;
  fs::path dir_;
  std::mt19937_64 rng_;
  test::OwnServer server_;
  std::map<std::string, std::string> onChips_;  // value -> the chip that carries it
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    char* end = nullptr;
    const unsigned long long value = std::strtoull(argv[i + 1], &end, 10);
    if (*end != '\0' || end == argv[i + 1]) return false;
    if (name == "--seed") options.seed = value;
    else if (name == "--seconds" && value > 0) options.seconds = static_cast<int>(value);
    else if (name == "--stations" && value > 0 && value <= 16)
      options.stations = static_cast<int>(value);
    else if (name == "--ports" && value > 0 && value <= 8) options.ports = static_cast<int>(value);
    else return false;
  }
  return argc % 2 == 1;
}

}  // namespace
}  // namespace kvx::soak

int main(int argc, char** argv) {
  using namespace kvx::soak;
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::cerr << "usage: floor_soak [--seed N] [--seconds S] [--stations 1-16] [--ports 1-8]\n";
    return 2;
  }
  std::string why;
  if (kvx::test::TestServerUri(why).empty()) {
    std::cerr << "floor soak: " << why << "\n";
    return kvx::test::InCi() ? 1 : 77;
  }
  if (std::getenv("KVXW") == nullptr) {
    std::cerr << "floor soak: KVXW is not set: the path of kvxw (ctest sets it)\n";
    return 1;
  }
  ::signal(SIGPIPE, SIG_IGN);
  std::cout << "floor soak: seed " << options.seed << ", " << options.seconds << " s, "
            << options.stations << " stations of " << options.ports
            << " Writers (again: floor_soak --seed " << options.seed << " --seconds "
            << options.seconds << ")" << std::endl;
  std::string dir = (fs::temp_directory_path() / "kvx-floor-soak-XXXXXX").string();
  if (::mkdtemp(dir.data()) == nullptr) return std::cerr << "floor soak: no temporary folder\n", 1;
  bool held = false;
  {
    Floor floor(options, dir);
    held = floor.Run();
  }
  if (held) fs::remove_all(dir);
  else std::cout << "its files are kept in " << dir << "\n";
  return held ? 0 : 1;
}
