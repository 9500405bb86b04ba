#include "cli/command.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "build_info.h"
#include "cli/json_lines.h"
#include "core/production/sqlite_db.h"

namespace kvx::cli {

namespace {
std::vector<Command>& Table() {
  static std::vector<Command> table;
  return table;
}

const OptionSpec* FindOption(const Command& command, std::string_view name) {
  for (const auto& o : command.options)
    if (o.name == name) return &o;
  return nullptr;
}
}  // namespace

bool Args::Has(std::string_view name) const { return values_.find(name) != values_.end(); }

std::string Args::Get(std::string_view name, std::string_view fallback) const {
  auto it = values_.find(name);
  if (it == values_.end() || it->second.empty()) return std::string(fallback);
  return it->second.back();
}

std::vector<std::string> Args::GetAll(std::string_view name) const {
  auto it = values_.find(name);
  return it == values_.end() ? std::vector<std::string>{} : it->second;
}

bool RegisterCommand(Command command) {
  if (command.json) {
    command.options.push_back(
        {"--json", "",
         "JSON Lines on standard output (see 'kvxw --help'); the lines for people go to "
         "standard error"});
  }
  Table().push_back(std::move(command));
  return true;
}

const std::vector<Command>& Commands() {
  auto& table = Table();
  std::sort(table.begin(), table.end(),
            [](const Command& a, const Command& b) { return a.name < b.name; });
  return table;
}

int UsageError(std::string_view command, std::string_view message, std::ostream& err) {
  err << "kvxw " << command << ": " << message << " (see 'kvxw " << command << " --help')\n";
  return kExitUsage;
}

bool ParseArgs(const Command& command, const std::vector<std::string>& argv, Args& args,
               std::ostream& err) {
  bool optionsEnded = false;  // after "--" every word is an argument, "-x.bin" too
  for (std::size_t i = 0; i < argv.size(); ++i) {
    std::string word = argv[i];
    if (!optionsEnded && word == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && word.size() > 1 && word[0] == '-') {
      std::string value;
      bool inlineValue = false;
      if (auto eq = word.find('='); word.rfind("--", 0) == 0 && eq != std::string::npos) {
        value = word.substr(eq + 1);
        word.resize(eq);
        inlineValue = true;
      }
      const OptionSpec* option = FindOption(command, word);
      if (option == nullptr) {
        UsageError(command.name, "unknown option " + word, err);
        return false;
      }
      if (option->value.empty()) {
        if (inlineValue) {
          UsageError(command.name, word + " takes no value", err);
          return false;
        }
      } else if (!inlineValue) {
        if (i + 1 >= argv.size()) {
          UsageError(command.name, word + " needs a value " + option->value, err);
          return false;
        }
        value = argv[++i];
      }
      auto& slot = args.values_[option->name];
      if (!slot.empty() && !option->repeatable) {
        UsageError(command.name, word + " given twice", err);
        return false;
      }
      slot.push_back(value);
    } else {
      args.positional_.push_back(word);
    }
  }
  if (static_cast<int>(args.positional_.size()) != command.positionalCount) {
    if (command.positionalCount == 0)
      UsageError(command.name, "unexpected argument " + args.positional_.front(), err);
    else
      UsageError(command.name, "expects " + command.positional, err);
    return false;
  }
  for (const auto& o : command.options) {
    if (o.required && !args.Has(o.name)) {
      UsageError(command.name, "missing " + o.name + " " + o.value, err);
      return false;
    }
  }
  return true;
}

namespace {
// Writes `text` as words filling lines of at most kHelpWidth columns, every line after the first
// indented by `indent` (the first continues where the caller left the cursor, at `indent`).
constexpr std::size_t kHelpWidth = 96;
void PrintWrapped(const std::string& text, std::size_t indent, std::ostream& out) {
  std::size_t column = indent;
  std::size_t i = 0;
  bool first = true;
  while (i < text.size()) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const std::size_t start = i;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (start == i) break;
    const std::size_t length = i - start;
    if (!first && column + 1 + length > kHelpWidth) {
      out << "\n" << std::string(indent, ' ');
      column = indent;
    } else if (!first) {
      out << ' ';
      ++column;
    }
    out.write(text.data() + start, static_cast<std::streamsize>(length));
    column += length;
    first = false;
  }
  out << "\n";
}
}  // namespace

void PrintCommandHelp(const Command& command, std::ostream& out) {
  // The usage line, wrapped under the command's name; a bracketed option stays on one line.
  const std::string lead = "usage: kvxw " + command.name;
  std::vector<std::string> parts;
  if (!command.positional.empty()) parts.push_back(command.positional);
  for (const auto& o : command.options) {
    std::string shown = o.name + (o.value.empty() ? "" : " " + o.value);
    parts.push_back(o.required ? shown : "[" + shown + "]");
  }
  out << lead;
  std::size_t column = lead.size();
  for (const auto& part : parts) {
    if (column + 1 + part.size() > kHelpWidth) {
      out << "\n" << std::string(lead.size(), ' ');
      column = lead.size();
    }
    out << ' ' << part;
    column += 1 + part.size();
  }
  out << "\n\n" << command.summary << "\n";
  if (!command.options.empty()) {
    out << "\noptions:\n";
    for (const auto& o : command.options) {
      std::string shown = o.name + (o.value.empty() ? "" : " " + o.value);
      out << "  " << shown;
      if (shown.size() < 24) out << std::string(24 - shown.size(), ' ');
      else out << "\n" << std::string(26, ' ');
      PrintWrapped(o.help + (o.repeatable ? " (repeatable)" : ""), 26, out);
    }
  }
  if (!command.details.empty()) out << "\n" << command.details << "\n";
}

static void PrintMainHelp(std::ostream& out) {
  out << "usage: kvxw COMMAND [OPTIONS]\n\n"
         "The command-line tool of KVX Writer: load and inspect program images, and drive the\n"
         "Writer (or the simulated Writer) to erase, blank-check, read, program and verify chips.\n\n"
         "commands:\n";
  for (const auto& c : Commands()) {
    out << "  " << c.name;
    if (c.name.size() < 16) out << std::string(16 - c.name.size(), ' ');
    out << c.summary << "\n";
  }
  out << "\n'kvxw COMMAND --help' describes a command's options. '--' ends the options: a file\n"
         "whose name starts with '-' is given after it.\n\n"
         "Exit status: 0 done, 1 the chip failed or a file did not load, 2 usage error,\n"
         "3 the link to the Writer failed, 128 + the signal's number when stopped by Ctrl-C (130),\n"
         "SIGTERM (143) or SIGHUP (129).\n\n"
         "With --json (the device commands, auto, journal, writer and download) standard output\n"
         "carries JSON Lines, one object a line, and the lines for people go to standard error.\n"
         "Each object has a \"type\": \"status\" (port, step, state, text, red) for every status\n"
         "line of an operation (step: blank check, erase, program, verify, ID, OPTION, serial\n"
         "number, connect, ...; state: running, position, ok or failed; kvxw writer's and\n"
         "download's own lines carry a label instead), \"progress\" (port, percent) at most once\n"
         "per percent, \"chip\" (port, pass, outcome: ok, chip failed, link failed, no chip,\n"
         "stopped, journal failed, not started or refused; reason, the line that ended a failed chip;\n"
         "counted, serial, qtp_record, red_line, data_checksum, option, id_checksum,\n"
         "duration_ms, predicted_ms: an Auto Program pass's time on this port as the Writer\n"
         "check's round trip predicts it; stepped_over: values other series' chips carry) after\n"
         "each chip, \"pass\"\n"
         "and \"group\" for kvxw journal's rows, and last \"summary\" (exit, outcome, chips,\n"
         "ok, failed, and signal when stopped by one); its outcome: ok, failed, usage error,\n"
         "link failed or stopped.\n\n"
         "'kvxw --version' names the version, the commit it was built from and SQLite's version.\n";
}

// kvxw does not link Qt: its own version and SQLite's.
static void PrintVersion(std::ostream& out) {
  out << "kvxw " << KVX_VERSION << "\n"
      << "commit " << KVX_GIT_COMMIT << "\n"
      << "SQLite " << SqliteLibraryVersion() << "\n";
}

int RunCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
  if (argv.empty() || argv[0] == "--help" || argv[0] == "-h" || argv[0] == "help") {
    PrintMainHelp(out);
    return argv.empty() ? kExitUsage : kExitOk;
  }
  if (argv[0] == "--version") {
    PrintVersion(out);
    return kExitOk;
  }
  const auto& table = Commands();
  auto it = std::find_if(table.begin(), table.end(),
                         [&](const Command& c) { return c.name == argv[0]; });
  if (it == table.end()) {
    err << "kvxw: unknown command '" << argv[0] << "' (see 'kvxw --help')\n";
    return kExitUsage;
  }
  std::vector<std::string> rest(argv.begin() + 1, argv.end());
  const auto options = rest.begin() + (std::find(rest.begin(), rest.end(), "--") - rest.begin());
  if (std::find(rest.begin(), options, "--help") != options ||
      std::find(rest.begin(), options, "-h") != options) {
    PrintCommandHelp(*it, out);
    return kExitOk;
  }
  Args args;
  const bool json = it->json && std::find(rest.begin(), options, "--json") != options;
  if (!ParseArgs(*it, rest, args, err)) {
    if (json) JsonLines(out).Summary(kExitUsage);
    return kExitUsage;
  }
  if (!json) return it->run(args, out, err);
  // Standard output carries JSON only: whatever the command prints for people goes to err.
  JsonLines lines(out);
  args.json = &lines;
  const int status = it->run(args, err, err);
  lines.Summary(status);
  return status;
}

bool ParseHex(std::string_view text, long& value) {
  if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) text.remove_prefix(2);
  if (text.empty()) return false;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return ec == std::errc() && p == text.data() + text.size();
}

}  // namespace kvx::cli
