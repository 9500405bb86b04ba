// kvxw writer: which Writer is on the port, and its identification.
#include <memory>

#include "cli/command.h"
#include "cli/json_lines.h"
#include "cli/op_run.h"
#include "cli/port_open.h"
#include "core/device/catalogue.h"
#include "core/device/workspace.h"
#include "core/link/port_select.h"
#include "core/link/writer_link.h"

namespace kvx::cli {
namespace {

int RunWriter(const Args& args, std::ostream& people, std::ostream& err) {
  StatusLineStream lines(people, args.json);  // with --json each line is a status object too
  std::ostream& out = lines.Stream();
  const std::string device = args.Get("--device", "KVX-01");
  auto ws = std::make_unique<Workspace>();
  if (GetICInfo(*ws, device) < 0) return UsageError("writer", "unknown device " + device, err);
  ws->device.SelectedDevice = device;

  CliPort port;
  if (!OpenCliPort(args, device, port, err)) return port.failureExit();
  LinkResult result = LinkResult::Stopped;
  const OpOutcome outcome = RunInterruptible(*ws, [&](std::stop_token stop) {
    WriterLink link(*ws, port.port(), port.clock(), stop);
    result = link.CheckWriterSettled(true);
    return result == LinkResult::Stopped ? OpOutcome::Stopped : OpOutcome::Ok;
  });
  if (outcome == OpOutcome::Stopped) {
    err << "kvxw writer: stopped\n";
    return ExitStatus(outcome, false);
  }
  out << "result: " << LinkResultNumber(result) << '\n';
  out << "writer-id: " << ws->results.WriterId << '\n';
  switch (result) {
    case LinkResult::WriterType1:
    case LinkResult::WriterType2:
    case LinkResult::WriterAny:
      return kExitOk;
    case LinkResult::Timeout:
      err << ConnectTimeoutMessage(port.shownName()) << '\n';
      return kExitLink;
    default:  // the wrong Writer or an unexpected answer: a link failure, as for the device commands
      err << kConnectFail << '\n';
      if (ws->results.WriterBusyHint) err << kWriterBusyHint << '\n';
      return kExitLink;
  }
}

std::vector<OptionSpec> WriterOptions() {
  std::vector<OptionSpec> options = PortOptions();
  options.push_back({.name = "--device",
                     .value = "NAME",
                     .help = "the device whose Writer type is expected (default KVX-01)"});
  return options;
}

const bool registered = RegisterCommand({
    .name = "writer",
    .summary = "Ask the Writer on a port for its type and identification.",
    .options = WriterOptions(),
    .run = RunWriter,
    .details = "Prints 'result: N' (the link result: 3 or 4 a Writer of the device's type,\n"
               "5 a Writer that serves every device, 6 the wrong Writer type, 7 an unexpected\n"
               "answer, 8 no answer in time) and 'writer-id: TEXT'. Exit status 0 for 3, 4\n"
               "and 5; 3 (a link failure, as for the device commands) when the port did not\n"
               "open, the Writer did not answer, is of the wrong type or answered unexpectedly.",
    .json = true,
});

}  // namespace
}  // namespace kvx::cli
