// How close `kvxw auto` comes to the wire: one Auto Program pass of the largest device (KVX-43)
// against `kvxw sim` with 115200-baud timing, compared with the time its bytes need on the line
// (10 bit times each, every acknowledged byte followed by its one-byte answer).
//
//   auto_bench [PASSES] [LATENCIES]
//       PASSES: default 2; LATENCIES: adapter latencies in ms, default 0,1,16
//       (kvxw is taken from KVXW or from beside this program)
//   auto_bench --writers [N]
//       one pass on one Writer, then one on each of N (default 16) at once: one `kvxw sim` serving
//       N links and one `kvxw auto` with N ports. Prints the wall time of the N against the one
//       (target 1.15 or below) and the CPU each process used per Writer: the simulated Writers
//       should cost less than the program they serve, or the run measures the simulator.
//
// The floor is measured by running the same pass in-process against the simulated Writer on a
// simulated clock, where every byte takes exactly its wire time and the host takes none.
//
// Then one pass at each adapter latency (`kvxw sim --fault answer-delay=MS`: every answer held
// as an FTDI adapter's latency timer holds it) against the model (the wire time plus the
// latency for every round trip of the pass) and against what kvxw itself predicts from the
// Writer check's round trip (the "predicted_ms" of its --json chip line).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/device/catalogue.h"
#include "core/device/status_panel.h"
#include "core/files/program_file.h"
#include "core/production/auto_program.h"
#include "core/production/pass_time.h"
#include "sim/sim_writer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kDevice = "KVX-43";
constexpr const char* kOption = "7D7F";  // 6 MHz oscillator: a complete OPTION word for KVX-43
constexpr int kWords = 0x1800;

std::string KvxwPath() {
  if (const char* env = std::getenv("KVXW")) return env;
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kvxw").string();
}

// A KVX-43 program in every word.
void WriteProgram(const std::string& file) {
  std::ofstream out(file, std::ios::binary);
  for (int i = 0; i < kWords; ++i) {
    const int word = (i * 7 + 1) & 0x3FFF;
    out.put(static_cast<char>(word & 0xFF)).put(static_cast<char>(word >> 8));
  }
}

// A child kvxw with its standard output on a pipe.
struct Child {
  pid_t pid = -1;
  int out = -1;
};

Child Spawn(const std::vector<std::string>& args, const std::string& env) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], STDOUT_FILENO);
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, STDERR_FILENO);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    if (!env.empty()) ::putenv(const_cast<char*>(env.c_str()));
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  return {pid, pipeFds[0]};
}

// Reads the child's output until `want` shows up, the pipe closes or `limit` passes.
bool ReadUntil(int fd, const std::string& want, std::chrono::seconds limit, std::string& text) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (!want.empty() && text.find(want) != std::string::npos) return true;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return want.empty();
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return false;
}

void Stop(Child& child, int signal) {
  if (child.pid <= 0) return;
  ::kill(child.pid, signal);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (::waitpid(child.pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      ::kill(child.pid, SIGKILL);
      ::waitpid(child.pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::close(child.out);
  child.pid = -1;
}

// The pass in-process on a simulated clock: only the wire takes time.
double FloorSeconds(const std::string& file, long& hostBytes) {
  auto ws = std::make_unique<kvx::Workspace>();
  ws->device.SelectedDevice = kDevice;
  ws->device.DeviceIndex = kvx::GetICInfo(*ws, kDevice);
  if (kvx::OpenProgramFile(*ws, file).stopped) return -1;
  ws->image.OptionLow = 0x7D;
  ws->image.OptionHigh = 0x7F;
  kvx::RefreshData(*ws);
  kvx::sim::SimWriter writer(ws->device.DeviceIndex);
  writer.Faults().BaudDelay = true;
  kvx::FakeClock clock;
  kvx::sim::SimPort port(writer, &clock);
  kvx::NullOperationView view;
  kvx::OperationContext ctx{*ws, port, clock, view, {}};
  const auto start = clock.Now();
  if (kvx::AutoProgramPass(ctx).outcome != kvx::OpOutcome::Ok) return -1;
  hostBytes = static_cast<long>(port.Sent().size());
  return std::chrono::duration<double>(clock.Now() - start).count();
}

// `kvxw auto --count passes` against `kvxw sim` on a pseudo-terminal; seconds per pass.
// `answerDelayMs` >= 0 holds each answer that long; `predictedMs` then gets kvxw's own
// prediction of the pass (from its --json chip line).
double PassSeconds(const std::string& kvxw, const std::string& dir, const std::string& file,
                   long passes, bool baudDelay, long answerDelayMs = -1,
                   long* predictedMs = nullptr) {
  const std::string link = dir + "/writer";
  std::vector<std::string> simArgs = {
      kvxw, "sim", "--link", link, "--device", kDevice, "--fresh-chip-each-pass"};
  if (baudDelay) simArgs.insert(simArgs.end(), {"--fault", "baud-delay"});
  if (answerDelayMs >= 0)
    simArgs.insert(simArgs.end(), {"--fault", "answer-delay=" + std::to_string(answerDelayMs)});
  Child sim = Spawn(simArgs, "");
  std::string banner;
  if (!ReadUntil(sim.out, "listening", std::chrono::seconds(10), banner)) {
    Stop(sim, SIGKILL);
    return -1;
  }
  const auto start = Clock::now();
  // Without the journal: the pass is timed on the link alone, and no kvx-journal.db is left
  // in the folder the bench was started from.
  std::vector<std::string> autoArgs = {kvxw,     "auto",   "--port",  "Com1",
                                       "--device", kDevice, "--file", file,
                                       "--option", kOption, "--count", std::to_string(passes),
                                       "--no-journal"};
  if (predictedMs != nullptr) autoArgs.push_back("--json");
  Child run = Spawn(autoArgs, "KVXW_COM1=" + link);
  std::string output;
  // A minute a pass, and at an adapter's latency the time that adds (12,316 round trips).
  const long limit = 60 * passes * (1 + std::max(0L, answerDelayMs) / 4);
  const bool ended = ReadUntil(run.out, "", std::chrono::seconds(limit), output);
  int status = -1;
  if (ended)
    ::waitpid(run.pid, &status, 0);
  else
    Stop(run, SIGKILL);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (ended) ::close(run.out);
  Stop(sim, SIGTERM);
  const bool ok = ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ok) std::fprintf(stderr, "kvxw auto failed:\n%s\n", output.c_str());
  if (predictedMs != nullptr) {
    const std::string key = "\"predicted_ms\":";
    const auto at = output.find(key);
    *predictedMs = at == std::string::npos ? -1 : std::strtol(output.c_str() + at + key.size(), nullptr, 10);
  }
  return ok ? seconds / static_cast<double>(passes) : -1;
}

double CpuSeconds(const rusage& usage) {
  const auto total = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return total(usage.ru_utime) + total(usage.ru_stime);
}

// Waits for a child that was asked to stop (or ends by itself); its CPU seconds, -1 on a failure.
double Reap(Child& child, bool& ok) {
  int status = 0;
  rusage usage{};
  ::wait4(child.pid, &status, 0, &usage);
  ::close(child.out);
  child.pid = -1;
  ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return CpuSeconds(usage);
}

struct ScaleRun {
  double wall = -1;     // seconds for the one pass on every Writer
  double kvxwCpu = 0;   // CPU seconds of kvxw auto
  double simCpu = 0;    // CPU seconds of kvxw sim, start-up and the terminals' transit included
};

// One pass on each of `writers` Writers: one kvxw sim with a link each, one kvxw auto with a port
// each (the links' paths, so that more than eight can be named).
ScaleRun RunWriters(const std::string& kvxw, const std::string& dir, const std::string& file,
                    int writers) {
  std::vector<std::string> simArgs = {kvxw, "sim", "--device", kDevice, "--fresh-chip-each-pass",
                                      "--fault", "baud-delay"};
  std::vector<std::string> autoArgs = {kvxw,     "auto",  "--device", kDevice, "--file", file,
                                       "--option", kOption, "--no-journal"};
  for (int i = 0; i < writers; ++i) {
    const std::string link = dir + "/scale" + std::to_string(i);
    simArgs.insert(simArgs.end(), {"--link", link});
    autoArgs.insert(autoArgs.end(), {"--port", link});
  }
  Child sim = Spawn(simArgs, "");
  std::string banner;
  ScaleRun run;
  const std::string last = dir + "/scale" + std::to_string(writers - 1) + " ";
  if (!ReadUntil(sim.out, last, std::chrono::seconds(10), banner)) {
    Stop(sim, SIGKILL);
    return run;
  }
  const auto start = Clock::now();
  Child pass = Spawn(autoArgs, "");
  std::string output;
  ReadUntil(pass.out, "", std::chrono::seconds(120), output);
  bool passOk = false;
  run.kvxwCpu = Reap(pass, passOk);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  ::kill(sim.pid, SIGTERM);
  bool simOk = false;
  run.simCpu = Reap(sim, simOk);
  if (passOk) run.wall = wall;
  return run;
}

int RunScaling(const std::string& kvxw, const std::filesystem::path& dir, const std::string& file,
               int writers) {
  const ScaleRun one = RunWriters(kvxw, dir.string(), file, 1);
  const ScaleRun many = RunWriters(kvxw, dir.string(), file, writers);
  if (one.wall <= 0 || many.wall <= 0) {
    std::fprintf(stderr, "auto_bench: a pass did not complete\n");
    return 1;
  }
  std::printf("device %s, one pass per Writer at 115200 baud, %u cores\n", kDevice,
              std::thread::hardware_concurrency());
  std::printf("Writers   wall       kvxw CPU per Writer   sim CPU per Writer   sim / kvxw\n");
  for (const auto& [n, run] : {std::pair{1, one}, std::pair{writers, many}}) {
    const double kvxwShare = 100 * run.kvxwCpu / run.wall / n;
    const double simShare = 100 * run.simCpu / run.wall / n;
    std::printf("%5d  %7.3f s     %6.2f%% of a core      %6.2f%% of a core     %5.2f\n", n,
                run.wall, kvxwShare, simShare, simShare / kvxwShare);
  }
  const double ratio = many.wall / one.wall;
  std::printf("%d Writers / 1:  %.3f  (target 1.15 or below) %s\n", writers, ratio,
              ratio <= 1.15 ? "ok" : "MISSED");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--writers") {
    const long writers = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 16;
    if (writers < 1 || writers > 64) {
      std::fprintf(stderr, "usage: auto_bench --writers [N, 1 to 64]\n");
      return 2;
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("kvxw_auto_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "kvx43.bin").string();
    WriteProgram(file);
    const int status = RunScaling(KvxwPath(), dir, file, static_cast<int>(writers));
    std::filesystem::remove_all(dir);
    return status;
  }
  const long passes = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 2;
  std::vector<long> latencies;
  for (const char* p = argc > 2 ? argv[2] : "0,1,16"; *p != '\0';) {
    char* end = nullptr;
    latencies.push_back(std::strtol(p, &end, 10));
    if (end == p || latencies.back() < 0) latencies = {-1};
    if (end == p || *end == '\0') break;
    p = end + 1;
  }
  if (passes < 1 || (!latencies.empty() && latencies[0] < 0)) {
    std::fprintf(stderr, "usage: auto_bench [PASSES] [LATENCIES, as in 0,1,16]\n");
    return 2;
  }
  const std::string kvxw = KvxwPath();
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kvxw_auto_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "kvx43.bin").string();
  WriteProgram(file);

  long hostBytes = 0;
  const double floor = FloorSeconds(file, hostBytes);
  const double bare = PassSeconds(kvxw, dir.string(), file, passes, false);
  const double timed = PassSeconds(kvxw, dir.string(), file, passes, true);
  if (floor <= 0 || bare < 0 || timed < 0) {
    std::filesystem::remove_all(dir);
    std::fprintf(stderr, "auto_bench: a pass did not complete\n");
    return 1;
  }
  std::printf("device %s, %ld pass(es), host bytes per pass %ld\n", kDevice, passes, hostBytes);
  std::printf("wire-time floor       %8.3f s\n", floor);
  std::printf("pass, no wire time    %8.3f s  (host and terminal overhead)\n", bare);
  std::printf("pass at 115200 baud   %8.3f s\n", timed);
  std::printf("ratio                 %8.3f  (target 1.10 or below)\n", timed / floor);
  std::fflush(stdout);

  // The model's bytes and round trips for the device, from a workspace of its own.
  auto ws = std::make_unique<kvx::Workspace>();
  ws->device.SelectedDevice = kDevice;
  ws->device.DeviceIndex = kvx::GetICInfo(*ws, kDevice);
  const kvx::PassExchange exchange = kvx::AutoPassExchange(*ws);
  if (!latencies.empty()) {
    std::printf("\nadapter latency (answer-delay), one pass each; model: %ld round trips\n",
                exchange.roundTrips);
    std::printf("latency    model     measured  measured/model  kvxw predicted  predicted/measured\n");
  }
  int status = 0;
  for (const long ms : latencies) {
    long predictedMs = -1;
    const double model = kvx::PassTime(exchange, std::chrono::milliseconds(ms)).count();
    const double measured = PassSeconds(kvxw, dir.string(), file, 1, true, ms, &predictedMs);
    if (measured < 0 || predictedMs < 0) {
      std::printf("%4ld ms    a pass did not complete\n", ms);
      status = 1;
      continue;
    }
    const double predicted = static_cast<double>(predictedMs) / 1000.0;
    std::printf("%4ld ms  %8.3f s  %8.3f s  %8.3f       %8.3f s      %8.3f  (target within 0.15 of 1)\n",
                ms, model, measured, measured / model, predicted, predicted / measured);
    std::fflush(stdout);
  }
  std::filesystem::remove_all(dir);
  return status;
}
