// kvxw auto and the production journal: opening it before the first chip, refusing a run whose
// first serial number already went out (or, with --resume, starting from the next free one).
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "core/device/workspace.h"
#include "core/production/journal.h"

namespace kvx::cli {

// The options kvxw auto takes for the journal: --journal FILE, --no-journal, --resume.
std::vector<OptionSpec> JournalOptions();

struct AutoJournal {
  std::unique_ptr<Journal> journal;  // null with --no-journal
  std::string series;                // the run's serial-number series; empty when none
  long firstRecord = 1;              // the QTP record the workspaces hold at the start
};

// Opens the journal and checks the workspace's first number against it. With --resume a used
// first number (QTP record) is replaced by the next free one, and the workspace stamped with it.
// Returns kExitOk, or the exit status after saying what stopped the run. `qtpPath`: the --qtp
// file, empty when none.
int OpenAutoJournal(const Args& args, Workspace& ws, const std::string& qtpPath, AutoJournal& out,
                    std::ostream& log, std::ostream& err);

// Moves a workspace built like the first one to the first one's starting point: `serial` (its
// number after OpenAutoJournal), or the same QTP record.
void StartAt(const AutoJournal& journal, Workspace& ws, const std::string& serial);

}  // namespace kvx::cli
