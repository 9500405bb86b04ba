// kvxw option: the status panel's OPTION lines for a device and an OPTION word.
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/op_buffers.h"
#include "core/device/catalogue.h"
#include "core/device/status_panel.h"
#include "core/device/workspace.h"

namespace kvx::cli {
namespace {

int RunOption(const Args& args, std::ostream& out, std::ostream& err) {
  const std::string device = args.Get("--device");
  if (FindDevice(device) < 0) return UsageError("option", "unknown device " + device, err);
  OptionWord word;
  if (!ParseOptionWord(args.Get("--option"), word))
    return UsageError("option", "--option wants LLHH: two stored bytes 00-7F in hex", err);

  auto ws = std::make_unique<Workspace>();
  ws->device.SelectedDevice = device;
  ws->device.DeviceIndex = GetICInfo(*ws, device);
  ws->image.OptionLow = word.low;
  ws->image.OptionHigh = word.high;
  const PanelState panel = RefreshData(*ws);
  const PanelCaptions captions = NextCaptions({}, *ws);  // as a panel freshly shown
  for (int f = OscField; f <= SecurityField; ++f) {
    const PanelLine& line = panel.lines[f];
    out << captions.For(static_cast<OptionField>(f)) << ' ' << (line.greyed ? "-" : line.text)
        << '\n';
  }
  out << "status: " << panel.optionStatus << '\n';
  return kExitOk;
}

const bool registered = RegisterCommand({
    .name = "option",
    .summary = "Decode an OPTION word as the status panel shows it.",
    .options = {{"--device", "NAME", "the device, as `kvxw devices` lists it", false, true},
                {"--option", "LLHH", "OptionLow then OptionHigh, two bytes 00-7F in hex", false,
                 true}},
    .run = RunOption,
    .details = "Prints the six OPTION lines in the panel's order (oscillator, PRD/MCLR, OST/PUT,\n"
               "WDT, PED, security) as CAPTION TEXT, or CAPTION - for a field the device does\n"
               "not have, then 'status: N' (bit 0: a field is Blank, bit 1: a field is Error).\n"
               "The device's fixed OPTION bits are forced before decoding.",
});

}  // namespace
}  // namespace kvx::cli
