// kvxw's journaled commands (auto, force-write: the core's JournalPolicyOf) and the production
// journal: opening it before the first chip and presenting the core's start verdict: a run whose
// first serial number (QTP record) already went out is refused, naming the next free one, unless
// --resume was given.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "core/device/workspace.h"
#include "core/ops/command.h"
#include "core/production/journal.h"
#include "core/production/run_start.h"

namespace kvx::cli {

// The options a journaled command takes for the journal: --journal FILE, --no-journal, and
// --resume when its chips take a number.
std::vector<OptionSpec> JournalOptions(const kvx::Command& command);

struct AutoJournal {
  std::unique_ptr<Journal> journal;  // null with --no-journal
  RunStart start;                    // the run's series and where its passes start
};

// Opens the journal and asks the core where a run of `command` starts. With --resume a used
// first number (QTP record) is replaced by the next free one, and the workspace stamped with it.
// Returns kExitOk, or the exit status after saying (as "kvxw NAME: ...") what stopped the run.
int OpenRunJournal(std::string_view name, const kvx::Command& command, const Args& args,
                   Workspace& ws, AutoJournal& out, std::ostream& log, std::ostream& err);

}  // namespace kvx::cli
