// kvxw info, dump and save-bin: load a program file as File > Open does for one device, then
// show the messages and sums, list the words, or save the program memory image.
#include <memory>

#include "cli/command.h"
#include "cli/load_program.h"
#include "core/device/text_convert.h"
#include "core/files/program_save.h"

namespace kvx::cli {
namespace {

const OptionSpec kDeviceOption{"--device", "NAME", "catalogue name of the device, e.g. KVX-03",
                               false, true};

// Loads the positional FILE for --device; nullptr after a usage error.
std::unique_ptr<Workspace> Load(std::string_view command, const Args& args, LoadReport& report,
                                std::ostream& err) {
  return LoadProgramForDevice(command, args.Positional().front(), args.Get("--device"), report,
                              err);
}

int RunInfo(const Args& args, std::ostream& out, std::ostream& err) {
  LoadReport report;
  auto ws = Load("info", args, report, err);
  if (!ws) return kExitUsage;
  PrintLoadMessages(report, out);
  out << "checksum: " << ws->panel.ChecksumText << '\n'
      << "option-sum: " << ws->panel.OptChecksumText << '\n'
      << "protect-sum: " << ws->panel.ProtectSumText << '\n';
  return report.stopped ? kExitFailed : kExitOk;
}

int RunDump(const Args& args, std::ostream& out, std::ostream& err) {
  LoadReport report;
  auto ws = Load("dump", args, report, err);
  if (!ws) return kExitUsage;
  PrintLoadMessages(report, err);
  if (report.stopped) return kExitFailed;
  for (int address = 0; address < ws->device.ProgramWords(); ++address) {
    const auto i = static_cast<std::size_t>(2 * address);
    if (address % 8 == 0) out << "0x" << HexDigits(address, 4);
    out << ' ' << HexDigits(JoinWord(ws->image.ProgramBuffer[i], ws->image.ProgramBuffer[i + 1]), 4);
    if (address % 8 == 7 || address + 1 == ws->device.ProgramWords()) out << '\n';
  }
  return kExitOk;
}

int RunSaveBin(const Args& args, std::ostream&, std::ostream& err) {
  LoadReport report;
  auto ws = Load("save-bin", args, report, err);
  if (!ws) return kExitUsage;
  PrintLoadMessages(report, err);
  if (report.stopped) return kExitFailed;
  if (std::string message = SaveProgramMemory(*ws, args.Get("-o")); !message.empty()) {
    err << "message: " << message << '\n';
    return kExitFailed;
  }
  return kExitOk;
}

const bool registeredInfo = RegisterCommand({
    .name = "info",
    .summary = "Load a program file for a device and show the messages and the three sums.",
    .positional = "FILE",
    .positionalCount = 1,
    .options = {kDeviceOption},
    .run = RunInfo,
    .details = "FILE is read by its extension as File > Open reads it (bin, obj, kvh, hex, cfg),\n"
               "with a blank OPTION word. Each message the program would show is printed as\n"
               "'message: TEXT', then 'checksum:', 'option-sum:' and 'protect-sum:'.\n"
               "Exit status 1 when the load stopped.",
});

const bool registeredDump = RegisterCommand({
    .name = "dump",
    .summary = "Load a program file for a device and list its words, 8 per line.",
    .positional = "FILE",
    .positionalCount = 1,
    .options = {kDeviceOption},
    .run = RunDump,
    .details = "Each line: 0x + the first word's address, then 8 words, 4 hex digits each.\n"
               "Messages of the load go to standard error.",
});

const bool registeredSaveBin = RegisterCommand({
    .name = "save-bin",
    .summary = "Load a program file for a device and save its program memory as a bin image.",
    .positional = "FILE",
    .positionalCount = 1,
    .options = {kDeviceOption, {"-o", "OUT", "the bin file to write", false, true}},
    .run = RunSaveBin,
    .details = "OUT holds the device's words, low byte first; it is replaced only once the\n"
               "new image is completely written.",
});

}  // namespace
}  // namespace kvx::cli
