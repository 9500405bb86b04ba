// kvxw sim: the simulated Writer on a pseudo-terminal, so that the program (or kvxw with
// KVXW_COM1=PATH) talks to it through a real terminal device.
#include <pthread.h>
#include <signal.h>

#include <fstream>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

#include "cli/command.h"
#include "cli/port_open.h"
#include "core/device/catalogue.h"
#include "sim/chip_model.h"
#include "sim/pty_server.h"
#include "sim/sim_writer.h"

namespace kvx::cli {
namespace {

// The answer to the Writer check, by the name the operator knows the models by.
struct WriterTypeName {
  const char* name;
  std::uint8_t byte;
};
constexpr WriterTypeName kWriterTypes[] = {
    {"B2", 0xB2},  // Writer of type 1
    {"B3", 0xB3},  // Writer of type 2
    {"B4", 0xB4},  // the Writer that serves every device
};

bool ParseWriterType(const std::string& text, std::uint8_t& byte) {
  for (const auto& t : kWriterTypes) {
    if (text == t.name) return byte = t.byte, true;
  }
  return false;
}

// Sets up the Writer from the options; a usage error text on a bad value.
bool Configure(const Args& args, sim::SimWriter& writer, std::string& error) {
  sim::ChipContent content = sim::ChipContent::Blank;
  if (args.Has("--chip") && !sim::ParseChipContent(args.Get("--chip"), content)) {
    error = "unknown chip content " + args.Get("--chip") + " (blank, programmed, protected, empty)";
    return false;
  }
  if (args.Has("--chip")) writer.InsertChip(content);
  if (args.Has("--fresh-chip-each-pass")) writer.SetFreshChipEachPass(true, content);
  return SwitchOnFaults(writer, args.GetAll("--fault"), "--fault", error);
}

// `--chip-log FILE`: every chip that took a write, as it leaves the socket, one line each after
// its link's path, flushed at once, so a test can check what really reached the chips.
class ChipLogFile {
 public:
  bool Open(const std::string& path) {
    file_.open(path, std::ios::app);
    return file_.good();
  }
  sim::SimWriter::ChipLog For(const std::string& link) {
    return [this, link](int number, const sim::ChipModel& chip) {
      std::lock_guard lock(mutex_);
      file_ << link << ' ' << sim::ChipLogLine(number, chip) << std::endl;
    };
  }

 private:
  std::mutex mutex_;
  std::ofstream file_;
};

int RunSim(const Args& args, std::ostream& out, std::ostream& err) {
  const std::string device = args.Get("--device", "KVX-01");
  const int index = FindDevice(device);
  if (index < 0) return UsageError("sim", "unknown device " + device, err);
  std::uint8_t typeByte = 0xB4;
  if (args.Has("--writer-type") && !ParseWriterType(args.Get("--writer-type"), typeByte))
    return UsageError("sim", "unknown Writer type " + args.Get("--writer-type") + " (B2, B3, B4)", err);
  // One Writer, with its own chip, behind each link.
  ChipLogFile chipLog;
  if (args.Has("--chip-log") && !chipLog.Open(args.Get("--chip-log"))) {
    err << "kvxw sim: cannot write " << args.Get("--chip-log") << '\n';
    return kExitFailed;
  }
  std::vector<std::unique_ptr<sim::SimWriter>> writers;
  for (const std::string& link : args.GetAll("--link")) {
    writers.push_back(std::make_unique<sim::SimWriter>(index, typeByte));
    std::string error;
    if (!Configure(args, *writers.back(), error)) return UsageError("sim", error, err);
    if (args.Has("--chip-log")) writers.back()->SetChipLog(chipLog.For(link));
  }

  // Block the stop signals before the servers' threads start, so only sigwait() below sees them.
  // SIGHUP too: a closed terminal must not leave the link behind.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::vector<std::unique_ptr<sim::PtyServer>> servers;
  for (std::size_t i = 0; i < writers.size(); ++i) {
    servers.push_back(std::make_unique<sim::PtyServer>(*writers[i]));
    std::string error;
    if (!servers.back()->Start(args.GetAll("--link")[i], error)) {
      err << "kvxw sim: " << error << '\n';
      return kExitFailed;  // the servers already started stop and remove their links
    }
  }
  for (const auto& server : servers) {
    out << "kvxw sim: " << device << " Writer listening on " << server->LinkPath() << " ("
        << server->SlaveName() << "); stop with Ctrl+C" << std::endl;
  }
  int received = 0;
  sigwait(&stopSignals, &received);
  for (const auto& server : servers) server->Stop();
  for (const auto& writer : writers) writer->LogChipInSocket();
  return kExitOk;
}

const bool registered = RegisterCommand({
    .name = "sim",
    .summary = "Serve the simulated Writer on a pseudo-terminal until interrupted.",
    .options =
        {
            {.name = "--link", .value = "PATH",
             .help = "symbolic link to create to the terminal; given several times, one Writer "
                     "(with its own chip) behind each",
             .repeatable = true,
             .required = true},
            {.name = "--device", .value = "NAME", .help = "the chip in the socket (default KVX-01)"},
            {.name = "--fault", .value = "F",
             .help = "switch on a fault: no-chip, adapter-error, cts-inactive, silent-after=N, "
                     "wrong-writer, bad-reply, write-fail-at=N, baud-delay, option-unwritten, "
                     "id-unwritten, answer-delay=MS (each answer held as a USB adapter's latency "
                     "timer holds it)",
             .repeatable = true},
            {.name = "--chip", .value = "CONTENT",
             .help = "what the chip holds: blank, programmed, protected or empty"},
            {.name = "--writer-type", .value = "B2|B3|B4",
             .help = "the Writer's answer to the Writer check (default B4)"},
            {.name = "--fresh-chip-each-pass",
             .help = "insert a fresh chip after each programmed one, as between Auto Program "
                     "passes: the first Writer check after a chip was programmed (the next pass, "
                     "or any later command) finds a new chip"},
            {.name = "--chip-log", .value = "FILE",
             .help = "append a line to FILE for every chip that took a write, as it leaves the "
                     "socket or the server stops: the link, the chip's number and its program, "
                     "OPTION and ID words in hexadecimal"},
        },
    .run = RunSim,
    .details = "Point a port at the link to use it: KVXW_COM1=PATH kvxw writer --port Com1.\n"
               "The link is removed when the server stops (SIGINT or SIGTERM).",
});

}  // namespace
}  // namespace kvx::cli
