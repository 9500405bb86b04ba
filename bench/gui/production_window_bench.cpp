// The production window on a production line's timing: eight simulated Writers on
// pseudo-terminals (`kvxw sim`, a process of its own, with the 115200-baud wire timing and a
// fresh blank KVX-43 in every socket for every pass), driven from the window's tiles.
//
//   wall time  one chip on one Writer, then one chip on each of 8 at once ("Start all"): the 8
//              against the one. Target: 1.15 or below.
//   GUI stall  the longest the GUI thread went without running a 5 ms timer during the 8-Writer
//              run, beyond the timer's own period. Target: under 50 ms.
//   host CPU   this process's CPU time over the wall time of the 8-Writer run, per Writer (the
//              simulated Writers run in their own process). Target: 3% of a core or less.
//   sim CPU    the simulated Writers' process, the same way: below the host's, or the run
//              measures the simulator rather than the window.
//
// Usage: production_window_bench PATH-OF-KVXW   (runs offscreen unless QT_QPA_PLATFORM is set)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../spawn_quiet.h"
#include "core/device/catalogue.h"
#include "core/device/status_panel.h"
#include "core/device/workspace.h"
#include "core/device/workspace_ops.h"
#include "gui/app/production_window.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

using namespace kvx::gui;

namespace {

constexpr int kWriters = 8;

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto total = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return total(usage.ru_utime) + total(usage.ru_stime);
}

// CPU seconds a child has used so far, from /proc (it is still running); -1 when unreadable.
double ChildCpuSeconds(pid_t pid) {
  std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  if (f == nullptr) return -1;
  char text[1024] = {};
  const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  // Fields after the command's closing parenthesis: state is field 3, utime 14 and stime 15.
  const char* p = std::strrchr(text, ')');
  if (n == 0 || p == nullptr) return -1;
  unsigned long ticks[2] = {};
  if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &ticks[0],
                  &ticks[1]) != 2)
    return -1;
  return static_cast<double>(ticks[0] + ticks[1]) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

pid_t StartSimulators(const std::string& kvxw, const std::vector<std::string>& links) {
  std::vector<std::string> args = {kvxw, "sim", "--device", "KVX-43", "--fresh-chip-each-pass",
                                   "--fault", "baud-delay"};
  for (const std::string& link : links) args.insert(args.end(), {"--link", link});
  return bench::SpawnQuiet(args, bench::Environment(), /*keepErrors=*/true);
}

// KVX-43 with a program in every word and an OPTION word without blank or erroneous fields.
void LoadProgram(kvx::Workspace& ws) {
  ws.device.SelectedDevice = "KVX-43";
  ws.device.DeviceIndex = kvx::GetICInfo(ws, ws.device.SelectedDevice);
  kvx::ResetData(ws);
  for (int i = 0; i < ws.device.ProgramWords(); ++i) {
    const kvx::StoredWord w = kvx::SplitWord(0x0A00 + (i & 0xFF));
    ws.image.ProgramBuffer[2 * static_cast<std::size_t>(i)] = w.first;
    ws.image.ProgramBuffer[2 * static_cast<std::size_t>(i) + 1] = w.second;
  }
  for (int high = 0; high < 0x80 && kvx::RefreshData(ws).optionStatus != 0; ++high)
    for (int low = 0; low < 0x80 && kvx::RefreshData(ws).optionStatus != 0; ++low) {
      ws.image.OptionLow = static_cast<std::uint8_t>(low);
      ws.image.OptionHigh = static_cast<std::uint8_t>(high);
    }
}

struct Run {
  double wall = 0;
  double cpu = 0;
  double stallMs = 0;
  int ok = 0;
};

// One chip on each of `writers` tiles at once.
Run RunChips(kvx::Workspace& ws, const std::vector<std::string>& links, const QString& dir,
             int writers) {
  ProductionOptions options;
  options.journalPath = QDir(dir).filePath("kvx-journal.db").toStdString();
  static std::vector<std::string> names;  // KVXW_COMn values, alive while the window looks them up
  names = links;
  options.env = [](const char* name) -> const char* {
    const std::string n(name);
    if (n.rfind("KVXW_COM", 0) != 0) return nullptr;
    const std::size_t index = static_cast<std::size_t>(std::atoi(name + 8)) - 1;
    return index < names.size() ? names[index].c_str() : nullptr;
  };
  options.writers = writers;
  Prompter prompter;
  ProductionWindow window(ws, options, prompter);
  window.show();
  QApplication::processEvents();

  Run run;
  QElapsedTimer sinceTick;
  QTimer ticker;
  ticker.setInterval(5);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    run.stallMs = std::max(run.stallMs, static_cast<double>(sinceTick.restart()) - 5.0);
  });
  const double cpu0 = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  window.StartAll();
  sinceTick.start();
  ticker.start();
  // The one-argument form blocks until an event comes; the form with a time limit drops
  // WaitForMoreEvents and would spin, charging the bench's own loop to the window.
  while (window.AnyRunning()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  ticker.stop();
  run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpu = CpuSeconds() - cpu0;
  for (int t = 0; t < window.Tiles(); ++t) run.ok += static_cast<int>(window.Tile(t).ChipsOk());
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: production_window_bench PATH-OF-KVXW\n");
    return 2;
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QTemporaryDir dir;
  std::vector<std::string> links;
  for (int i = 0; i < kWriters; ++i)
    links.push_back(QDir(dir.path()).filePath(QString("writer%1").arg(i + 1)).toStdString());
  const pid_t sim = StartSimulators(argv[1], links);
  if (sim < 0) {
    std::fprintf(stderr, "production_window_bench: could not start %s sim\n", argv[1]);
    return 1;
  }
  for (int i = 0; i < 500; ++i) {
    if (std::all_of(links.begin(), links.end(),
                    [](const std::string& l) { return std::filesystem::exists(l); }))
      break;
    ::usleep(10000);
  }

  kvx::Workspace ws;
  LoadProgram(ws);
  const double simCpu0 = ChildCpuSeconds(sim);
  const Run one = RunChips(ws, links, dir.path(), 1);
  const double simCpu1 = ChildCpuSeconds(sim);
  const Run all = RunChips(ws, links, dir.path(), kWriters);
  const double simCpu2 = ChildCpuSeconds(sim);
  ::kill(sim, SIGTERM);
  ::waitpid(sim, nullptr, 0);

  const double ratio = one.wall > 0 ? all.wall / one.wall : 0;
  const double perWriter = all.wall > 0 ? 100.0 * all.cpu / all.wall / kWriters : 0;
  std::printf("one Writer:               %6.2f s, %d chip ok\n", one.wall, one.ok);
  std::printf("%d Writers:                %6.2f s, %d chips ok\n", kWriters, all.wall, all.ok);
  std::printf("wall time 8 / 1:          %6.2f   (target <= 1.15) %s\n", ratio,
              ratio > 0 && ratio <= 1.15 && all.ok == kWriters ? "ok" : "MISSED");
  std::printf("longest GUI stall:        %6.1f ms (target < 50)   %s\n", all.stallMs,
              all.stallMs < 50 ? "ok" : "MISSED");
  std::printf("host CPU per Writer:      %6.2f%%  (target <= 3%%)   %s\n", perWriter,
              perWriter <= 3.0 ? "ok" : "MISSED");
  if (simCpu0 >= 0 && simCpu2 >= 0) {
    const double simOne = one.wall > 0 ? 100.0 * (simCpu1 - simCpu0) / one.wall : 0;
    const double simPerWriter = all.wall > 0 ? 100.0 * (simCpu2 - simCpu1) / all.wall / kWriters : 0;
    std::printf("sim CPU per Writer:       %6.2f%%  (one Writer alone %.2f%%; target below the "
                "host's) %s\n",
                simPerWriter, simOne, simPerWriter < perWriter ? "ok" : "MISSED");
  }
  return 0;
}
