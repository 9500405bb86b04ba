// kvxw blank-check, erase, read, program, program-option, program-id, verify, verify-protect,
// write-eeprom, force-write: one device operation each, run against the Writer on --port with
// its dialog's status lines printed as the worker writes them.
#include <memory>
#include <sstream>
#include <string>
#include <utility>

#include "cli/auto_journal.h"
#include "cli/auto_ports.h"
#include "cli/command.h"
#include "cli/json_lines.h"
#include "cli/op_buffers.h"
#include "cli/op_run.h"
#include "cli/port_open.h"
#include "core/device/pass_count.h"
#include "core/device/catalogue.h"
#include "core/production/commands.h"

namespace kvx::cli {
namespace {

// What a command needs besides the port and the device.
enum Needs : unsigned {
  kFile = 1u << 0,           // --file, optional
  kFileRequired = 1u << 1,   // --file, required
  kOptionWord = 1u << 2,     // --option
  kId = 1u << 3,             // --id
  kEeprom = 1u << 4,         // --eeprom
  kReadOutput = 1u << 5,     // -o OUT and the OPTION and ID lines after a read
};

// A command of the core table; whether it is flash-only, asks about a blank reset word or
// repeats ("Continue", here --count) comes from the table.
struct DeviceOp {
  const char* name;
  const char* summary;
  CommandId command;
  unsigned needs;
  const char* details;
};

const DeviceOp kOps[] = {
    {"blank-check", "Blank-check the chip in the socket (Program > Blank Check).", CommandId::BlankCheck, 0,
     "The OPTION word, the ID and checksum words and the program memory must read as blank.\n"
     "A chip that is not blank exits with 1."},
    {"erase", "Erase a flash chip, then blank-check it (toolbar Erase).", CommandId::Erase, 0,
     "Only for devices with EEPROM (flash devices)."},
    {"read", "Read the chip: OPTION, ID, program memory and EEPROM (Program > Read).", CommandId::Read,
     kReadOutput,
     "After a read without a red line it prints 'OPTION: LLHH' and 'ID: hex:...' in the forms\n"
     "--option and --id take. With -o OUT it writes the program memory to OUT as a bin image\n"
     "(word 0 first, two bytes per word, low byte first) and, for a device with EEPROM, the\n"
     "EEPROM bytes to OUT.eeprom as a raw binary (what --eeprom takes).\n"
     "A read that failed writes no file, so an earlier OUT is never replaced by part of a chip."},
    {"program", "Program the program memory and verify it (Program > Program Memory).",
     CommandId::ProgramMemory, kFileRequired,
     "Refused before the dialog when the word at the device's reset address is blank, unless\n"
     "--ignore-blank-reset is given."},
    {"program-option", "Program and verify the OPTION word only (Program > OPTION).",
     CommandId::ProgramOption, kFile | kOptionWord,
     "The OPTION word comes from --option, or from a cfg file given with --file. An OPTION\n"
     "word with a blank or invalid field is refused before the Writer is asked."},
    {"program-id", "Program and verify the ID and checksum words (Program > ID and Checksum).",
     CommandId::ProgramId, kFileRequired | kId,
     "The checksum words carry the data checksum of the program file."},
    {"verify", "Compare the chip with the buffers (Program > Verify).", CommandId::Verify,
     kFileRequired | kOptionWord | kId | kEeprom,
     "OPTION, ID and checksum, program memory and (flash devices) EEPROM. Without --option the\n"
     "OPTION word of the file is compared (blank for bin, obj, kvh and hex files)."},
    {"verify-protect", "Verify a code-protected chip (Program > Verify with Protect).",
     CommandId::VerifyWithProtect, kFileRequired | kOptionWord | kId | kEeprom,
     "The chip must be protected; only bits 5 and 6 of each stored byte are compared."},
    {"write-eeprom", "Program and verify the EEPROM (toolbar Write EEPROM).", CommandId::WriteEeprom,
     kFile | kEeprom,
     "Only for devices with EEPROM. The bytes come from --eeprom, or from a cfg file given with\n"
     "--file; one of the two is needed."},
    {"force-write", "Program memory without check, chip after chip (toolbar Force Write).",
     CommandId::ForceWrite, kFileRequired,
     "No blank check and no buffer check; the verify compares bits 5 and 6 of each stored byte.\n"
     "--count K programs K chips (with --port sim a fresh chip each time), as \"Continue\" does,\n"
     "and stops at the first chip that failed (a red line, or a verify mismatch, which the\n"
     "dialog shows in the normal colour). The pass count is printed after each chip.\n"
     "Every chip is written to the production journal as kvxw auto writes it (see kvxw\n"
     "journal), without a serial number: Force Write stamps none."},
};

std::vector<OptionSpec> OptionsFor(const DeviceOp& op) {
  const kvx::Command& command = MainCommand(op.command);
  std::vector<OptionSpec> options = PortOptions();
  options.push_back(DeviceOption());
  if (op.needs & (kFile | kFileRequired)) options.push_back(FileOption(op.needs & kFileRequired));
  if (op.needs & kOptionWord) options.push_back(OptionWordOption());
  if (op.needs & kId) options.push_back(IdOption());
  if (op.needs & kEeprom) options.push_back(EepromOption());
  if (command.resetCheck) options.push_back(IgnoreBlankResetOption());
  if (op.needs & kReadOutput)
    options.push_back({"-o", "OUT", "write the program memory read to OUT (and OUT.eeprom)"});
  if (command.repeats) options.push_back(CountOption("chips to program, one after another"));
  if (JournalPolicyOf(op.command).journaled) {
    const std::vector<OptionSpec> journal = JournalOptions(command);
    options.insert(options.end(), journal.begin(), journal.end());
  }
  return options;
}

int RunDeviceOp(const DeviceOp& op, const Args& args, std::ostream& out, std::ostream& err) {
  const kvx::Command& command = MainCommand(op.command);
  BufferInputs inputs;
  if (!ParseBufferInputs(op.name, args, inputs, err)) return kExitUsage;
  const DeviceRow& row = Catalogue[FindDevice(inputs.device)];
  if (command.flashOnly && !row.IsFlash())
    return UsageError(op.name, inputs.device + " is not a flash device", err);
  if ((op.needs & kEeprom) && (op.needs & kFile) && inputs.file.empty() && inputs.eeprom.empty())
    return UsageError(op.name, "needs --eeprom FILE or --file FILE", err);
  long chips = 1;
  if (command.repeats && !ParseCount(op.name, args, chips, err)) return kExitUsage;

  auto ws = std::make_unique<Workspace>();
  if (int status = FillWorkspace(op.name, inputs, *ws, out, err); status != kExitOk) return status;
  // A repeated command counts chips: the pass count after each.
  AfterPass afterPass;
  if (command.repeats)
    afterPass = [](TerminalView& view, const Workspace& w, long) {
      view.Note("Pass Count", PassCountText(w), Step::PassCount);
    };
  // A command whose chips go to the journal runs as kvxw auto does, through the production run.
  if (JournalPolicyOf(op.command).journaled) {
    AutoJournal journal;
    if (int status = OpenRunJournal(op.name, command, args, *ws, journal, out, err);
        status != kExitOk)
      return status;
    const AutoPortsPlan plan{.ports = {args.Get("--port")},
                             .device = inputs.device,
                             .command = command,
                             .passes = chips,
                             .afterPass = afterPass,
                             .name = op.name};
    return RunAutoPort(args, plan, *ws, journal, out, err);
  }
  CliPort port;
  if (!OpenCliPort(args, inputs.device, port, err)) return port.failureExit();
  if (command.resetCheck && !ResetAddressAccepted(op.name, *ws, args, out, err))
    return kExitFailed;
  if (chips > 1) FreshChipsForSim(port, command, args);

  const int status =
      RunDialogPasses(op.name, command, *ws, port, chips, afterPass, out, err, args.json);
  if ((op.needs & kReadOutput) && status == kExitOk) {
    // The lines after a read ("OPTION: LLHH", "ID: hex:...") are status lines in JSON too.
    std::ostringstream lines;
    const bool written = WriteReadResult(op.name, *ws, args.Get("-o"), lines, err);
    out << lines.str();
    if (args.json != nullptr) {
      std::istringstream in(lines.str());
      for (std::string line; std::getline(in, line);) {
        const std::size_t colon = line.find(": ");
        if (colon == std::string::npos) continue;
        args.json->Status(port.shownName(), line.substr(0, colon), line.substr(colon + 2), false);
      }
    }
    if (!written) return kExitFailed;
  }
  return status;
}

template <std::size_t I>
int RunOp(const Args& args, std::ostream& out, std::ostream& err) {
  return RunDeviceOp(kOps[I], args, out, err);
}

template <std::size_t... I>
bool RegisterAll(std::index_sequence<I...>) {
  (RegisterCommand({
       .name = kOps[I].name,
       .summary = kOps[I].summary,
       .options = OptionsFor(kOps[I]),
       .run = RunOp<I>,
       .details = std::string(kOps[I].details) + "\n\n" + kDeviceOutputHelp,
       .json = true,
   }),
   ...);
  return true;
}

const bool registered = RegisterAll(std::make_index_sequence<std::size(kOps)>{});

}  // namespace
}  // namespace kvx::cli
