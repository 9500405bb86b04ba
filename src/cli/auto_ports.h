// kvxw auto on its ports: one --port, or several at once (kvxw force-write, journaled too, on
// one). The core's ProductionRun runs the
// Writers (a thread and a workspace each, one journal for all); this side only opens the ports,
// prints each port's lines and turns each port's outcome into an exit status. With several
// ports every line starts with the port's name, a port that fails stops only itself, and the
// exit status is the worst of the ports'.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/auto_journal.h"
#include "cli/command.h"
#include "cli/op_run.h"
#include "core/device/workspace.h"

namespace kvx::cli {

// What kvxw auto hands its ports: how to build a workspace and what to run on it.
struct AutoPortsPlan {
  std::vector<std::string> ports;  // as given with --port
  std::string device;
  const kvx::Command& command;  // Auto Program, with or without the blank check
  long passes = 1;              // per port
  // Fills a workspace as the first one was filled (program, OPTION word, ID, serial numbers or
  // QTP file); its messages go to the streams given. Returns kExitOk or the failure's status.
  std::function<int(Workspace& ws, std::ostream& out, std::ostream& err)> build;
  AfterPass afterPass;  // the pass count and serial number lines
  std::string_view name = "auto";  // the command, as its error lines name it
};

// One port (plan.ports[0]), its lines as they are, on `first`, the workspace built (and started
// from the journal). Returns the exit status.
int RunAutoPort(const Args& args, const AutoPortsPlan& plan, Workspace& first,
                const AutoJournal& journal, std::ostream& out, std::ostream& err);
// Several ports at once, the first on `first`. Returns the worst exit status of the ports.
int RunAutoPorts(const Args& args, const AutoPortsPlan& plan, Workspace& first,
                 const AutoJournal& journal, std::ostream& out, std::ostream& err);

// The worse of two exit statuses: a stop, then a link failure, then a chip failure.
int WorseExit(int a, int b);

}  // namespace kvx::cli
