// kvxw download: the "Device select" window's Download: the parameter records of up to 16
// ticked catalogue devices go to the newer Writer model.
#include <unistd.h>

#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/op_run.h"
#include "cli/json_lines.h"
#include "cli/op_view.h"
#include "cli/port_open.h"
#include "core/device/catalogue.h"
#include "core/link/download.h"

namespace kvx::cli {
namespace {

// What the window would show, as lines: each record as it goes, the gauge as progress.
class DownloadLines final : public DownloadView {
 public:
  DownloadLines(const DeviceDownload& list, std::ostream& out, std::ostream& err, JsonLines* json)
      : list_(list), out_(out), progress_(err, ::isatty(STDERR_FILENO) == 1), json_(json) {}

  void SelectLine(int index) override {
    const DeviceLine& line = list_.Lines()[index];
    if (!line.Ticked) return;
    progress_.Clear();
    out_ << "Slot " << ++slot_ << ": " << line.Name << "\n" << std::flush;
  }
  void SetGauge(int percent) override {
    progress_.Update(percent);
    if (json_ != nullptr) json_->Progress({}, percent);
  }
  void ShowMessage(std::string_view text) override {
    progress_.Clear();
    out_ << "Message: " << text << " [error]\n" << std::flush;
  }
  void End() { progress_.End(); }

 private:
  const DeviceDownload& list_;
  std::ostream& out_;
  ProgressOutput progress_;
  JsonLines* json_;
  int slot_ = 0;
};

// --device NAME ticks exactly the named devices instead of the catalogue's default ticks.
bool TickNamed(const Args& args, DeviceDownload& list, std::ostream& err) {
  auto refuse = [&](const std::string& message) {
    UsageError("download", message, err);
    return false;
  };
  const auto names = args.GetAll("--device");
  if (names.empty()) return true;
  for (int i = 0; i < list.ListedCount(); ++i)
    if (list.Lines()[i].Ticked) list.CheckListBox1ClickCheck(i);
  for (const auto& name : names) {
    const int index = FindDevice(name);
    if (index < 0 || index >= list.ListedCount())
      return refuse("unknown device " + name + " (see 'kvxw devices')");
    if (list.Lines()[index].Ticked) continue;  // named twice: ticked once
    if (const std::string refusal = list.CheckListBox1ClickCheck(index); !refusal.empty())
      return refuse(refusal);
  }
  return true;
}

int RunDownload(const Args& args, std::ostream& people, std::ostream& err) {
  StatusLineStream statusLines(people, args.json);  // with --json each line is a status object too
  std::ostream& out = statusLines.Stream();
  DeviceDownload list;
  if (!TickNamed(args, list, err)) return kExitUsage;
  auto ws = std::make_unique<Workspace>();
  CliPort port;
  if (!OpenCliPort(args, ws->device.SelectedDevice, port, err)) return port.failureExit();

  out << "Total selected devices : " << list.TickedCount() << "\n";
  DownloadLines lines(list, out, err, args.json);
  const OpOutcome outcome = RunInterruptible(*ws, [&](std::stop_token stop) {
    WriterLink link(*ws, port.port(), port.clock(), stop);
    const std::string message = list.DownLoadClick(link, lines);
    if (stop.stop_requested()) return OpOutcome::Stopped;
    return message.empty() ? OpOutcome::Ok : OpOutcome::LinkFailed;
  });
  lines.End();
  if (outcome == OpOutcome::Stopped) err << "kvxw download: stopped\n";
  return ExitStatus(outcome, false);
}

std::vector<OptionSpec> DownloadOptions() {
  std::vector<OptionSpec> options = PortOptions();
  options.push_back({"--device", "NAME",
                     "tick this device (up to 16); without any, the catalogue's default ticks",
                     true});
  return options;
}

const bool registered = RegisterCommand({
    .name = "download",
    .summary = "Send device parameter records to the Writer (DownLoad).",
    .options = DownloadOptions(),
    .run = RunDownload,
    .details =
        "The Writer must be the model that takes device records, with firmware V3.09 or later.\n"
        "The ticked devices get the slots 1, 2, ... in catalogue order. Prints 'Total selected\n"
        "devices : N', then 'Slot K: NAME' as each record goes; a message box of the window is\n"
        "printed as 'Message: TEXT [error]'. Progress goes to standard error as in the other\n"
        "device commands.\n"
        "Exit status: 0 every record was taken; 2 usage error; 3 the Writer refused or did not\n"
        "answer ('Writer Error!!', 'Connect Timeout!!', the firmware or model messages); 128 +\n"
        "the signal's number when stopped by Ctrl-C, SIGTERM or SIGHUP.",
    .json = true,
});

}  // namespace
}  // namespace kvx::cli
