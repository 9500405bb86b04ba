// kvxw auto with --port given more than once: one Auto Program per port, each on a thread of its
// own with its own copy of the workspace, all drawing serial numbers from one series through the
// journal. A port that fails stops only itself; the exit status is the worst of the ports'.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/auto_journal.h"
#include "cli/command.h"
#include "cli/op_run.h"
#include "core/device/workspace.h"
#include "core/production/pass_journal.h"

namespace kvx::cli {

// What kvxw auto hands each port: how to build its workspace and what to run on it.
struct AutoPortsPlan {
  std::vector<std::string> ports;  // as given with --port
  std::string device;
  const kvx::Command& command;  // Auto Program, with or without the blank check
  long passes = 1;              // per port
  // Fills a workspace as the first one was filled (program, OPTION word, ID, serial numbers or
  // QTP file); its messages go to the streams given. Returns kExitOk or the failure's status.
  std::function<int(Workspace& ws, std::ostream& out, std::ostream& err)> build;
  AfterPass afterPass;  // the pass count and serial number lines
};

// `first` is the workspace built (and started from the journal) for the first port; `journal`
// the opened journal. Returns the worst exit status of the ports.
int RunAutoPorts(const Args& args, const AutoPortsPlan& plan, Workspace& first,
                 const AutoJournal& journal, std::ostream& out, std::ostream& err);

// The worse of two exit statuses: a stop, then a link failure, then a chip failure.
int WorseExit(int a, int b);

}  // namespace kvx::cli
