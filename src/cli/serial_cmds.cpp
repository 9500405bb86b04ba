// kvxw serial-next and kvxw qtp: the serial numbers Auto Program stamps, and the QTP files the
// serial-number dialog's "QTP File" button writes.
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/load_program.h"
#include "core/device/text_convert.h"
#include "core/device/workspace.h"
#include "core/files/hex_text.h"
#include "core/production/qtp_file.h"
#include "core/production/serial_number.h"
#include "core/production/serial_setup.h"

namespace kvx::cli {
namespace {

bool IsHexDigits(const std::string& text) { return !text.empty() && HexToInt(text).valid; }

// The options both commands share, checked and turned into the dialog's fields (with the
// dialog's rules applied as the focus leaves each field). Empty text when fine, else the error.
std::string NumberFields(const Args& args, SerialSetupFields& f) {
  long bytes = 0;
  if (!ParseDecimal(args.Get("--bytes"), bytes) || bytes < 1 || bytes > kSerialSlots)
    return "--bytes wants a byte count from 1 to 8";
  const std::string value = args.Get("--value");
  if (!IsHexDigits(value)) return "--value wants hexadecimal digits";
  if (value.size() > static_cast<std::size_t>(2 * bytes))
    return std::string(kMsgStartValueOverflow) + " (--value has more than 2 x --bytes digits)";
  long increment = 0;
  if (!ParseDecimal(args.Get("--increment", "1"), increment) || increment < 1 || increment > 255)
    return "--increment wants a number from 1 to 255";
  const std::string mode = args.Get("--mode", "seq");
  if (mode != "seq" && mode != "random") return "--mode wants seq or random";
  const std::string order = args.Get("--order", "msb");
  if (order != "msb" && order != "lsb") return "--order wants msb or lsb";

  f.NoOfByte = std::to_string(bytes);
  f.StartValue = value;
  f.Increment = std::to_string(increment);
  f.StepMode = mode == "random" ? 1 : 0;
  f.ByteOrder = order == "lsb" ? 1 : 0;
  NoOfByteExit(f);
  StartValueExit(f);  // all-F in pseudo-random mode becomes all zeros, as in the dialog
  return {};
}

int RunSerialNext(const Args& args, std::ostream& out, std::ostream& err) {
  SerialSetupFields f;
  if (std::string problem = NumberFields(args, f); !problem.empty())
    return UsageError("serial-next", problem, err);
  long count = 0;
  if (!ParseDecimal(args.Get("--count"), count) || count < 0 || count > 10'000'000)
    return UsageError("serial-next", "--count wants a number from 0 to 10000000", err);

  auto ws = std::make_unique<Workspace>();
  ws->production.SerialByteCount = std::stoi(f.NoOfByte);
  SetSerialHexText(*ws, f.StartValue);
  ws->production.SerialIncrement = std::stoi(f.Increment);
  ws->production.SerialStepMode = f.StepMode;
  for (long i = 0; i < count; ++i) {
    SerialNoNext(*ws);
    out << SerialHexText(*ws) << '\n';
  }
  return kExitOk;
}

int RunQtp(const Args& args, std::ostream& out, std::ostream& err) {
  SerialSetupFields f;
  if (std::string problem = NumberFields(args, f); !problem.empty())
    return UsageError("qtp", problem, err);
  const std::string address = args.Get("--start-address");
  if (!IsHexDigits(address) || address.size() > 4)
    return UsageError("qtp", "--start-address wants 1 to 4 hexadecimal digits", err);
  f.StartAddress = address;
  StartAddressExit(f);
  f.NoOfPart = args.Get("--parts");
  long parts = 0;
  if (!ParseDecimal(f.NoOfPart, parts) || parts < 1 || parts > kMaxQtpParts)
    return UsageError("qtp", std::string(kMsgNoOfPartOverflow) + " (--parts wants 1 to 100000)", err);

  LoadReport report;
  const auto ws = LoadProgramForDevice("qtp", args.Get("--program"), args.Get("--device"), report, err);
  if (!ws) return kExitUsage;
  PrintLoadMessages(report, out);
  if (report.stopped) return kExitFailed;

  const SetupOutcome checked = PrepareQtpFile(*ws, f, parts);
  if (!checked.message.empty() && !checked.errorBox) return UsageError("qtp", checked.message, err);
  if (!checked.message.empty()) {
    err << "kvxw qtp: " << checked.message << "\n";
    return kExitFailed;
  }
  const std::string path = args.Get("-o");
  if (std::string message = WriteQtpFile(*ws, path, parts); !message.empty()) {
    err << "kvxw qtp: " << message << " (" << path << ")\n";
    return kExitFailed;
  }
  return kExitOk;
}

const std::vector<OptionSpec> kNumberOptions = {
    {"--bytes", "N", "bytes in the number, 1 to 8", false, true},
    {"--value", "HEX", "the start value, at most 2N hexadecimal digits", false, true},
    {"--increment", "I", "added per step in sequential mode, 1 to 255 (default 1)"},
    {"--mode", "seq|random", "sequential (default) or the pseudo-random shift register"},
};

std::vector<OptionSpec> QtpOptions() {
  std::vector<OptionSpec> options = {
      {"--program", "FILE", "the program file, loaded as `kvxw info` loads it", false, true},
      {"--device", "NAME", "the device, as `kvxw devices` lists it", false, true},
      {"--start-address", "HEX", "word address of the first serial word", false, true}};
  options.insert(options.end(), kNumberOptions.begin(), kNumberOptions.end());
  options.push_back({"--order", "msb|lsb", "MSB->LSB (default) or LSB->MSB into the words"});
  options.push_back({"--parts", "K", "records to write, 1 to 100000", false, true});
  options.push_back({"-o", "OUT", "the QTP file to write", false, true});
  return options;
}

const bool registeredNext = RegisterCommand({
    .name = "serial-next",
    .summary = "Print the serial numbers that follow a start value.",
    .options = [] {
      auto options = kNumberOptions;
      options.push_back({"--count", "K", "how many numbers to print", false, true});
      return options;
    }(),
    .run = RunSerialNext,
    .details = "Prints the next K numbers, one a line, as 2N upper-case hexadecimal digits,\n"
               "most significant byte first. In random mode a start value of all F digits is\n"
               "taken as all zeros, as the serial-number dialog does.",
});

const bool registeredQtp = RegisterCommand({
    .name = "qtp",
    .summary = "Write a QTP file of serial numbers for a program.",
    .options = QtpOptions(),
    .run = RunQtp,
    .details = "Writes K records, one per number starting from --value, then the end record\n"
               ":00000001FF. Every serial word must hold an RTIW instruction in the program.\n"
               "Exit status 1 when the words are not RTIW or the file cannot be written.",
});

}  // namespace
}  // namespace kvx::cli
