#include "cli/port_open.h"

#include "cli/stop_signals.h"
#include <cerrno>

#include "core/device/catalogue.h"
#include "core/device/workspace.h"
#include "core/link/port_select.h"
#include "core/production/pass_time.h"
#include "sim/sim_writer.h"

namespace kvx::cli {

struct CliPort::Impl {
  // From the open to the close: a stop signal never ends the program with the port still held.
  StopSignalScope stopSignals;
  Workspace ws;
  SteadyClock clock;
  std::unique_ptr<sim::SimWriter> simWriter;
  std::unique_ptr<PortSelector> selector;
  int failureExit = kExitLink;
  std::string warning;
};

CliPort::CliPort() : impl_(std::make_unique<Impl>()) {}
CliPort::CliPort(CliPort&&) noexcept = default;
CliPort& CliPort::operator=(CliPort&&) noexcept = default;
CliPort::~CliPort() {
  if (impl_ && impl_->selector) impl_->selector->CloseAtExit();
}

bool CliPort::ok() const { return impl_ && impl_->selector && !impl_->ws.results.PortError; }
SerialPort& CliPort::port() { return impl_->selector->Port(); }
Clock& CliPort::clock() { return impl_->clock; }
sim::SimWriter* CliPort::simWriter() { return impl_->simWriter.get(); }
std::string CliPort::shownName() const { return PortNameUpper(impl_->ws.settings.PortName); }
int CliPort::failureExit() const { return impl_->failureExit; }
const std::string& CliPort::warning() const { return impl_->warning; }

std::vector<OptionSpec> PortOptions() {
  return {
      {.name = "--port",
       .value = "PORT",
       .help = "Com1..Com8, a device path, or sim (default Com1); KVXW_COMn=DEVICE\n"
               "                          points Comn elsewhere"},
      {.name = "--sim-fault",
       .value = "F",
       .help = "with --port sim: a Writer fault to switch on (no-chip, adapter-error,\n"
               "                          cts-inactive, silent-after=N, wrong-writer, bad-reply,\n"
               "                          write-fail-at=N, baud-delay, option-unwritten,\n"
               "                          id-unwritten, answer-delay=MS)",
       .repeatable = true},
      {.name = "--sim-chip",
       .value = "CONTENT",
       .help = "with --port sim: the chip in the socket (blank, programmed,\n"
               "                          protected or empty)"},
  };
}

bool SwitchOnFaults(sim::SimWriter& writer, const std::vector<std::string>& faults,
                    std::string_view option, std::string& error) {
  for (const std::string& fault : faults) {
    std::string why;
    if (!sim::ParseFault(fault, writer.Faults(), why)) {
      error = std::string(option) + ": " + (why.empty() ? "unknown fault " + fault : why);
      return false;
    }
  }
  return true;
}

namespace {

// The simulated Writer for `--port sim`, set up from the --sim-* options.
bool MakeSimWriter(const PortOpenOptions& options, std::unique_ptr<sim::SimWriter>& writer,
                   std::string& error) {
  const int index = FindDevice(options.device);
  if (index < 0) {
    error = "unknown device " + options.device;
    return false;
  }
  writer = std::make_unique<sim::SimWriter>(index);
  if (!options.simChip.empty()) {
    sim::ChipContent content;
    if (!sim::ParseChipContent(options.simChip, content)) {
      error = "--sim-chip: unknown chip content " + options.simChip +
              " (blank, programmed, protected or empty)";
      return false;
    }
    writer->InsertChip(content);
  }
  return SwitchOnFaults(*writer, options.simFaults, "--sim-fault", error);
}

}  // namespace

bool OpenCliPort(const std::string& name, const PortOpenOptions& options, CliPort& port,
                 std::string& error) {
  CliPort::Impl& impl = *port.impl_;
  const std::string portName = name.empty() ? std::string(kPortNames[0]) : name;
  impl.ws.settings.PortName = portName;
  if (IsSimPort(ResolvePortDevice(portName)) &&
      !MakeSimWriter(options, impl.simWriter, error)) {
    impl.failureExit = kExitUsage;
    return false;
  }
  sim::SimWriter* writer = impl.simWriter.get();
  // On the link's own clock, so that the baud-delay fault paces the answers as on a terminal.
  Clock* clock = &impl.clock;
  auto factory = [writer, clock]() -> std::unique_ptr<SerialPort> {
    if (writer == nullptr) return nullptr;
    return std::make_unique<sim::SimPort>(*writer, *clock);
  };
  impl.selector = std::make_unique<PortSelector>(impl.ws, impl.clock, factory);
  if (impl.selector->Open(portName, options.handShake, error) != nullptr) {
    // The pass the warning predicts is one of the device the command programs.
    auto device = std::make_unique<Workspace>();
    device->device.SelectedDevice = options.device;
    device->device.DeviceIndex = GetICInfo(*device, options.device);
    impl.warning = SlowPortWarning(impl.selector->Facts(), port.shownName(), *device);
    return true;
  }
  impl.failureExit = kExitLink;
  return false;
}

bool OpenCliPort(const Args& args, const std::string& device, CliPort& port, std::ostream& err) {
  PortOpenOptions options;
  options.device = device;
  options.simFaults = args.GetAll("--sim-fault");
  options.simChip = args.Get("--sim-chip");
  std::string error;
  if (OpenCliPort(args.Get("--port", kPortNames[0]), options, port, error)) {
    if (!port.warning().empty()) err << "kvxw: " << port.warning() << '\n';
    return true;
  }
  err << error << '\n';
  return false;
}

}  // namespace kvx::cli
