#include "cli/auto_journal.h"

#include <algorithm>

#include "core/production/commands.h"
#include "core/production/journal_settings.h"
#include "core/production/journaled_passes.h"

namespace kvx::cli {

namespace {

// The start verdict on the terminal: a used start is refused unless --resume was given.
int PresentRunStart(std::string_view name, const Args& args, Workspace& ws, const RunStart& start,
                    std::ostream& log, std::ostream& err) {
  if (start.verdict == RunStart::Verdict::StartHere) return kExitOk;
  if (!start.CanResume()) {
    err << "kvxw " << name << ": " << RunStartRefusal(start)
        << (start.qtp && start.verdict == RunStart::Verdict::SeriesUsedUp ? " (see kvxw journal)" : "") << '\n';
    return kExitFailed;
  }
  if (!args.Has("--resume")) {
    err << "kvxw " << name << ": " << RunStartFacts(start) << ": give --resume to start there\n";
    return kExitFailed;
  }
  std::string message;
  if (!MoveToRunStart(start, ws, message)) {
    err << "kvxw " << name << ": " << message << '\n';
    return kExitFailed;
  }
  log << "Resume: ";
  if (start.qtp) log << "QTP record " << start.nextRecord << ", ";
  log << "serial number " << ws.production.SerialText << "\n";
  return kExitOk;
}

}  // namespace

std::vector<OptionSpec> JournalOptions(const kvx::Command& command) {
  std::vector<OptionSpec> options = {
      {"--journal", "FILE|URI",
       "the production journal: a file (default kvx-journal.db in the current folder) or one "
       "shared by several stations on PostgreSQL (postgresql://USER@HOST/DB, service=NAME, or "
       "libpq's key=value pairs such as 'dbname=DB host=HOST'; ./NAME for a file whose name "
       "looks like one of these)"},
      {"--no-journal", "", "run without the journal: nothing records the chips, nothing keeps "
                           "a serial number from going out twice"},
      {"--journal-timeout", "SECONDS",
       "how long a call may wait for a shared journal's server (default 15): one that does not "
       "answer in time ends the run, naming the server"},
      {"--lot", "LOT", "the production lot every journal row of the run names"},
      {"--operator", "NAME", "the operator every journal row of the run names"},
      {"--accept-journal-loss", "",
       "go on, on purpose, with a shared journal that knows less than this station's witness "
       "of it (emptied, restored from an older copy) or that is another journal under the same "
       "name; its numbers the journal forgot may be in chips"},
  };
  if (!JournalPolicyOf(command.id).numbered) return options;
  options.push_back(
      {"--resume", "",
       "when the first serial number already went out, start from the next free one (a QTP "
       "file: after the last record used)"});
  return options;
}

int OpenRunJournal(std::string_view name, const kvx::Command& command, const Args& args,
                   Workspace& ws, AutoJournal& j, std::ostream& log, std::ostream& err) {
  if (args.Has("--no-journal")) {
    if (args.Has("--journal") || args.Has("--journal-timeout") || args.Has("--resume") ||
        args.Has("--lot") || args.Has("--operator"))
      return UsageError(name,
                        "--no-journal excludes --journal, --journal-timeout, --resume, --lot and "
                        "--operator",
                        err);
    return kExitOk;
  }
  // What a scanner or a typist may put in a row: printable text on one line.
  for (const char* label : {"--lot", "--operator"}) {
    const std::string text = args.Get(label);
    if (std::any_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
      return UsageError(name, std::string(label) + " wants printable text on one line", err);
  }
  j.journal = std::make_unique<Journal>();
  std::string error;
  if (args.Has("--journal-timeout")) {
    std::chrono::milliseconds timeout{};
    if (!ParseJournalTimeout(args.Get("--journal-timeout"), "--journal-timeout", timeout, error))
      return UsageError(name, error, err);
    j.journal->SetTimeout(timeout);
  }
  j.journal->SetAcceptJournalLoss(args.Has("--accept-journal-loss"));
  j.journal->SetLotAndOperator(args.Get("--lot"), args.Get("--operator"));
  if (!j.journal->Open(args.Get("--journal", kJournalFileName), error)) {
    err << "kvxw " << name << ": " << NoChipProgrammed(error) << " (--no-journal runs without it)\n";
    return kExitFailed;
  }
  j.start = DecideCommandStart(*j.journal, command, ws);
  if (const std::string notice = DeadRunNotice(j.start); !notice.empty())
    err << "kvxw " << name << ": " << notice << '\n';
  return PresentRunStart(name, args, ws, j.start, log, err);
}

}  // namespace kvx::cli
