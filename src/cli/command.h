// kvxw's command table and option parsing. Every command lives in the file of its group and
// registers itself; main() only dispatches.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kvx::cli {

class JsonLines;

// Exit statuses shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the chip failed, or a file load stopped
inline constexpr int kExitUsage = 2;
inline constexpr int kExitLink = 3;  // the port, a time-out, the Writer

struct OptionSpec {
  std::string name;   // "--device", "-o"
  std::string value;  // placeholder shown in help ("NAME"); empty for a flag
  std::string help;
  bool repeatable = false;
  bool required = false;
};

// The parsed command line of one command.
class Args {
 public:
  bool Has(std::string_view name) const;
  std::string Get(std::string_view name, std::string_view fallback = {}) const;
  std::vector<std::string> GetAll(std::string_view name) const;
  const std::vector<std::string>& Positional() const { return positional_; }

  std::map<std::string, std::vector<std::string>, std::less<>> values_;
  std::vector<std::string> positional_;
  // With --json: where the command's JSON Lines go (standard output); null otherwise.
  JsonLines* json = nullptr;
};

struct Command {
  std::string name;
  std::string summary;      // one line for `kvxw --help`
  std::string positional;   // e.g. "FILE"; empty when the command takes none
  int positionalCount = 0;  // exact number of positional arguments
  std::vector<OptionSpec> options;
  int (*run)(const Args& args, std::ostream& out, std::ostream& err) = nullptr;
  std::string details;  // extra help text after the options
  // Takes --json: its lines for people then go to standard error, and standard output gets
  // JSON Lines (cli/json_lines.h) ending in a summary with the exit status.
  bool json = false;
};

// Called from a static initialiser in each command file.
bool RegisterCommand(Command command);
const std::vector<Command>& Commands();

// Parses argv (after the command name) against the command's options. On a usage error writes
// one line to err and returns false.
bool ParseArgs(const Command& command, const std::vector<std::string>& argv, Args& args,
               std::ostream& err);
void PrintCommandHelp(const Command& command, std::ostream& out);
int RunCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err);

// A one-line usage error for `command`: "kvxw CMD: MESSAGE" and the exit status 2.
int UsageError(std::string_view command, std::string_view message, std::ostream& err);

// A hexadecimal option value, "0x" in front allowed; false when the text is not one. Decimal
// values go through kvx::ParseDecimal (core/device/text_convert.h).
bool ParseHex(std::string_view text, long& value);

}  // namespace kvx::cli
