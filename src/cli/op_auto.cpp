// kvxw auto: Auto Program, one pass per chip, with the serial-number settings of the "Serial No."
// dialog or the numbers of a QTP file.
#include <algorithm>
#include <memory>
#include <string>

#include "cli/auto_journal.h"
#include "cli/auto_ports.h"
#include "cli/command.h"
#include "cli/op_buffers.h"
#include "cli/op_run.h"
#include "cli/port_open.h"
#include "core/device/pass_count.h"
#include "core/device/catalogue.h"
#include "core/production/commands.h"
#include "core/production/pass_journal.h"
#include "core/production/qtp_file.h"
#include "core/production/serial_setup.h"

namespace kvx::cli {
namespace {

constexpr const char* kSerialOptions[] = {"--serial-start",     "--serial-bytes", "--serial-value",
                                          "--serial-increment", "--serial-mode",  "--serial-order"};

bool AnySerialOption(const Args& args) {
  return std::any_of(std::begin(kSerialOptions), std::end(kSerialOptions),
                     [&](const char* name) { return args.Has(name); });
}

// The dialog's fields take only the keys their filters let through.
bool FieldKeysOk(const std::string& text, std::size_t maxLength, char (*filter)(char)) {
  if (text.empty() || text.size() > maxLength) return false;
  return std::all_of(text.begin(), text.end(), [&](char ch) { return filter(ch) != '\0'; });
}

// Fills the dialog's fields from the options and presses "OK". Values that would be trimmed
// when the focus leaves a field are refused instead, so nothing typed is silently lost.
bool SetUpSerialNumbers(const Args& args, Workspace& ws, std::ostream& out, std::ostream& err,
                        bool& refusedForProgram) {
  auto refuse = [&](const std::string& message) {
    UsageError("auto", message, err);
    return false;
  };
  SerialSetupFields f = SerialSetupFromWorkspace(ws);
  if (args.Has("--serial-start")) f.StartAddress = args.Get("--serial-start");
  if (args.Has("--serial-bytes")) f.NoOfByte = args.Get("--serial-bytes");
  if (args.Has("--serial-increment")) f.Increment = args.Get("--serial-increment");
  if (!FieldKeysOk(f.StartAddress, 4, HexFieldKey))
    return refuse("--serial-start wants 1 to 4 hex digits (a word address)");
  if (!FieldKeysOk(f.NoOfByte, 1, ByteCountFieldKey)) return refuse("--serial-bytes wants 1 to 8");
  if (!FieldKeysOk(f.Increment, 3, DecimalFieldKey))
    return refuse("--serial-increment wants 1 to 255");
  const std::string mode =
      args.Get("--serial-mode", f.StepMode == 0 ? "sequential" : "pseudo-random");
  if (mode != "sequential" && mode != "pseudo-random")
    return refuse("--serial-mode wants sequential or pseudo-random");
  f.StepMode = mode == "sequential" ? 0 : 1;
  const std::string order = args.Get("--serial-order", f.ByteOrder == 0 ? "msb" : "lsb");
  if (order != "msb" && order != "lsb") return refuse("--serial-order wants msb or lsb");
  f.ByteOrder = order == "msb" ? 0 : 1;

  StartAddressExit(f);
  const std::size_t width = 2 * static_cast<std::size_t>(f.NoOfByte[0] - '0');
  if (args.Has("--serial-value")) {
    f.StartValue = args.Get("--serial-value");
    if (!FieldKeysOk(f.StartValue, 16, HexFieldKey))
      return refuse("--serial-value wants hex digits, two per byte");
    if (f.StartValue.size() > width) return refuse(kMsgStartValueOverflow);
    StartValueExit(f);
  } else {
    NoOfByteExit(f);  // the number the workspace held, fitted to the byte count
  }
  const SetupOutcome ok = SerialSetupOk(ws, f);
  if (ok.message.empty()) return true;
  out << "Message: " << ok.message << "\n";
  refuse("serial-number settings refused");
  // Serial words that do not hold RTIW are the program's fault, not the command line's: the
  // same status as a QTP file refused for that reason.
  refusedForProgram = ok.message == kMsgSetupNotRtiw;
  return false;
}

// --qtp FILE as Load QTP File: the first record is read and stamped at once.
bool LoadQtp(const std::string& path, Workspace& ws, std::ostream& out, std::ostream& err) {
  const QtpLoadResult result = LoadQtpFile(ws, path);
  for (const auto& message : result.messages) out << "Message: " << message << "\n";
  if (!result.loaded) err << "kvxw auto: the QTP file " << path << " was not loaded\n";
  return result.loaded;
}

// After each pass (one per chip; the later ones are "Continue"): the main window's two lines.
void NotePassCountAndSerial(TerminalView& view, const Workspace& ws, long) {
  view.Note("Pass Count", PassCountText(ws), Step::PassCount);
  view.Note("Serial No.", ws.production.SerialText, Step::SerialNumber);
}

// The workspace of one port: the program, the OPTION word, the ID, the serial numbers or the QTP
// file.
int BuildAutoWorkspace(const Args& args, const BufferInputs& inputs, Workspace& ws,
                       std::ostream& out, std::ostream& err) {
  if (int status = FillWorkspace("auto", inputs, ws, out, err); status != kExitOk) return status;
  bool notRtiw = false;
  if (AnySerialOption(args) && !SetUpSerialNumbers(args, ws, out, err, notRtiw))
    return notRtiw ? kExitFailed : kExitUsage;
  if (args.Has("--qtp") && !LoadQtp(args.Get("--qtp"), ws, out, err)) return kExitFailed;
  return kExitOk;
}

int RunAuto(const Args& args, std::ostream& out, std::ostream& err) {
  BufferInputs inputs;
  if (!ParseBufferInputs("auto", args, inputs, err)) return kExitUsage;
  long passes = 1;
  if (!ParseCount("auto", args, passes, err)) return kExitUsage;
  if (args.Has("--qtp") && AnySerialOption(args))
    return UsageError("auto", "--qtp and the --serial-* settings exclude each other", err);
  const std::vector<std::string> ports = args.GetAll("--port");
  const bool severalPorts = ports.size() > 1;
  if (severalPorts && args.Has("--no-journal") && (args.Has("--qtp") || AnySerialOption(args)))
    return UsageError("auto", "several --port with serial numbers need the journal, which hands "
                              "each number to one port only", err);

  auto ws = std::make_unique<Workspace>();
  if (int status = BuildAutoWorkspace(args, inputs, *ws, out, err); status != kExitOk)
    return status;
  const kvx::Command& command = MainCommand(args.Has("--no-blank-check")
                                               ? CommandId::AutoProgramWithoutBlankCheck
                                               : CommandId::AutoProgram);
  AutoJournal journal;
  if (int status = OpenRunJournal("auto", command, args, *ws, journal, out, err);
      status != kExitOk)
    return status;

  const AutoPortsPlan plan{
      .ports = ports,
      .device = inputs.device,
      .command = command,
      .passes = passes,
      .build = [&](Workspace& w, std::ostream& o, std::ostream& e) {
        return BuildAutoWorkspace(args, inputs, w, o, e);
      },
      .afterPass = NotePassCountAndSerial,
  };
  if (!severalPorts) return RunAutoPort(args, plan, *ws, journal, out, err);
  if (!ResetAddressAccepted("auto", *ws, args, out, err)) return kExitFailed;
  return RunAutoPorts(args, plan, *ws, journal, out, err);
}

std::vector<OptionSpec> AutoOptions() {
  std::vector<OptionSpec> options = PortOptions();
  for (OptionSpec& o : options) {
    if (o.name != "--port") continue;
    o.repeatable = true;  // one Auto Program per port, all at once
    o.help += "; given several times, one Auto Program per port, all at once";
  }
  options.insert(
      options.end(),
      {DeviceOption(),
       FileOption(true),
       OptionWordOption(),
       IdOption(),
       CountOption("passes, the next chip each time (default 1)"),
       {"--no-blank-check", "", "Auto Program without Blank Check: no erase, no blank check"},
       {"--serial-start", "HEX", "serial numbers: word address of the first serial word"},
       {"--serial-bytes", "N", "serial numbers: bytes per number, 1 to 8 (default 1)"},
       {"--serial-value", "HEX", "serial numbers: the first number, two hex digits per byte"},
       {"--serial-increment", "N", "serial numbers: added after each chip, 1 to 255"},
       {"--serial-mode", "MODE", "serial numbers: sequential or pseudo-random"},
       {"--serial-order", "ORDER", "serial numbers: msb (MSB->LSB) or lsb (LSB->MSB)"},
       {"--qtp", "FILE", "serial numbers from a QTP file, one record per chip"},
       IgnoreBlankResetOption()});
  const std::vector<OptionSpec> journal = JournalOptions(MainCommand(CommandId::AutoProgram));
  options.insert(options.end(), journal.begin(), journal.end());
  return options;
}

const bool registered = RegisterCommand({
    .name = "auto",
    .summary = "Auto Program: erase, blank-check, program and verify chip after chip.",
    .options = AutoOptions(),
    .run = RunAuto,
    .details =
        std::string(
            "Each pass runs the whole sequence of the Auto Program dialog on the chip in the\n"
            "socket; with --port sim every pass finds a fresh chip (blank, or of --sim-chip).\n"
            "After each pass 'Pass Count: N' and 'Serial No.: HEX' are printed. The passes stop\n"
            "at the first one with a red line or a chip whose OPTION word is not blank (exit 1\n"
            "or 3) and at the end of a QTP file.\n"
            "Any --serial-* option switches serial-number mode on as the \"Serial No.\" dialog's\n"
            "OK does: the words from --serial-start on must hold the RTIW instruction (exit 1\n"
            "otherwise, as for a QTP file whose words are not RTIW), and the number is stamped\n"
            "into them before each pass and advanced after each counted one.\n"
            "A pseudo-random start value of all F is taken as all 0, as the dialog does.\n"
            "Refused before the first pass when the word at the device's reset address is blank,\n"
            "unless --ignore-blank-reset is given.\n"
            "Every pass is written to the production journal (kvx-journal.db, see kvxw journal);\n"
            "a serial number is reserved there before it is stamped. A run whose first number\n"
            "(or QTP record) already went out is refused, naming the next free one; --resume\n"
            "starts there. A journal that cannot be opened, read or written stops the run before\n"
            "the first chip; one that stops taking writes ends it after the pass under way (exit\n"
            "1). A number stays used once a byte of it may have reached the Writer: after a later\n"
            "failure the next chip gets the next number.\n"
            "With --port given several times every port runs its own Auto Program, --count\n"
            "chips each, all drawing numbers from the one series through the journal. Each\n"
            "line then starts with '[PORT] ', progress lines read 'progress: PORT P', a port\n"
            "that fails stops only itself, and the exit status is the worst of the ports'.\n\n") +
        kDeviceOutputHelp,
    .json = true,
});

}  // namespace
}  // namespace kvx::cli
