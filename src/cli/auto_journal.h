// kvxw auto and the production journal: opening it before the first chip and presenting the
// core's start verdict: a run whose first serial number (QTP record) already went out is refused,
// naming the next free one, unless --resume was given.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "core/device/workspace.h"
#include "core/production/journal.h"
#include "core/production/run_start.h"

namespace kvx::cli {

// The options kvxw auto takes for the journal: --journal FILE, --no-journal, --resume.
std::vector<OptionSpec> JournalOptions();

struct AutoJournal {
  std::unique_ptr<Journal> journal;  // null with --no-journal
  RunStart start;                    // the run's series and where its passes start
};

// Opens the journal and asks the core where the run starts. With --resume a used first number
// (QTP record) is replaced by the next free one, and the workspace stamped with it. Returns
// kExitOk, or the exit status after saying what stopped the run.
int OpenAutoJournal(const Args& args, Workspace& ws, AutoJournal& out, std::ostream& log,
                    std::ostream& err);

}  // namespace kvx::cli
