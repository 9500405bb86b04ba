#include "cli/stop_signals.h"

#include <signal.h>

#include <atomic>

namespace kvx::cli {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Written by the signal handler, read by the waiting thread: a lock-free atomic is safe there.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free);

// Scopes are made and ended on the main thread only.
int depth = 0;
struct sigaction previous[sizeof kStopSignals / sizeof kStopSignals[0]];

extern "C" void OnStopSignal(int signal) {
  int none = 0;
  received.compare_exchange_strong(none, signal);
  ::signal(signal, SIG_DFL);  // the next one takes the default way out
}

}  // namespace

StopSignalScope::StopSignalScope() {
  if (depth++ > 0) return;
  received.store(0);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
    ::sigaction(kStopSignals[i], &action, &previous[i]);
}

StopSignalScope::~StopSignalScope() {
  if (--depth > 0) return;
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
    ::sigaction(kStopSignals[i], &previous[i], nullptr);
}

int StopSignal() { return received.load(); }

int StoppedExitStatus() {
  const int signal = StopSignal();
  return 128 + (signal != 0 ? signal : SIGINT);
}

}  // namespace kvx::cli
