// The stop signals a kvxw command that talks to the Writer answers as it answers Ctrl-C: SIGINT,
// SIGTERM (timeout, kill, service managers) and SIGHUP (a closed terminal). While a scope lives,
// the first of them is only recorded: the operation's runner sees it and stops between two bytes,
// nothing more is sent, the port is closed on the way out and the command ends with 128 + the
// signal's number. A second signal of the same kind ends the program at once (its default
// action), in case the operation does not come back.
#pragma once

namespace kvx::cli {

class StopSignalScope {
 public:
  StopSignalScope();   // the outermost scope installs the handlers and forgets earlier signals
  ~StopSignalScope();  // the outermost scope puts the previous handlers back
  StopSignalScope(const StopSignalScope&) = delete;
  StopSignalScope& operator=(const StopSignalScope&) = delete;
};

// The stop signal that arrived while a scope lived; 0 when none did.
int StopSignal();
// The exit status of a command that was stopped: 128 + StopSignal(), 130 (Ctrl-C) when none.
int StoppedExitStatus();

}  // namespace kvx::cli
