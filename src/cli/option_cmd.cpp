// kvxw option: the status panel's OPTION lines for a device and an OPTION word.
#include <memory>
#include <string>

#include "cli/command.h"
#include "core/device/catalogue.h"
#include "core/device/status_panel.h"
#include "core/device/workspace.h"

namespace kvx::cli {
namespace {

// LLHH: four hex digits, the two stored 7-bit bytes OptionLow and OptionHigh.
bool ParseOptionWord(const std::string& text, std::uint8_t& low, std::uint8_t& high) {
  long value = 0;
  if (text.size() != 4 || text.find_first_of("xX") != std::string::npos ||
      !ParseHex(text, value))
    return false;
  low = static_cast<std::uint8_t>(value >> 8);
  high = static_cast<std::uint8_t>(value & 0xFF);
  return low <= 0x7F && high <= 0x7F;
}

int RunOption(const Args& args, std::ostream& out, std::ostream& err) {
  const std::string device = args.Get("--device");
  if (FindDevice(device) < 0) return UsageError("option", "unknown device " + device, err);
  std::uint8_t low = 0;
  std::uint8_t high = 0;
  if (!ParseOptionWord(args.Get("--option"), low, high))
    return UsageError("option", "--option wants LLHH: two stored bytes 00-7F in hex", err);

  auto ws = std::make_unique<Workspace>();
  ws->SelectedDevice = device;
  ws->DeviceIndex = GetICInfo(*ws, device);
  ws->OptionLow = low;
  ws->OptionHigh = high;
  const PanelState panel = RefreshData(*ws);
  for (const PanelLine& line : panel.lines)
    out << line.caption << ' ' << (line.greyed ? "-" : line.text) << '\n';
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
