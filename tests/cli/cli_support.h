// What the command-line tests share: running kvxw (its path in the environment variable KVXW)
// with every wait bounded, `kvxw sim` in the background, and a temporary directory per test.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kvx::cli::test {

// ---- Running kvxw -------------------------------------------------------------------------------

struct KvxwRun {
  int status = -1;        // exit status; -1 when it was killed, died of a signal or did not start
  bool timedOut = false;  // killed for running past its time limit
  int signal = 0;         // the signal that ended it, when one did
  std::string out;
  std::string err;
};

struct RunOptions {
  std::vector<std::string> env;       // NAME=VALUE entries added to (or replacing) the environment
  std::optional<std::string> input;   // standard input; without it, standard input is /dev/null
  std::chrono::milliseconds limit = std::chrono::seconds(60);  // then it is killed
  std::function<bool(const KvxwRun&)> interruptWhen;  // sends SIGINT once this holds
  std::string cwd;  // the working directory; empty for this process's own
  std::optional<std::string> program;  // another program to run instead of kvxw (a shell)
};

// kvxw with `args`, run to its end or to the time limit.
KvxwRun RunKvxw(const std::vector<std::string>& args, const RunOptions& options = {});

// kvxw running in the background. Reading its output and reaping it are bounded; the destructor
// kills and reaps it if Stop() has not.
class KvxwProcess {
 public:
  explicit KvxwProcess(const std::vector<std::string>& args, const RunOptions& options = {});
  ~KvxwProcess();
  KvxwProcess(const KvxwProcess&) = delete;
  KvxwProcess& operator=(const KvxwProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // Whether it has `path` (a link followed) open now, as another program looking for the
  // holder of a port would find it.
  bool HasOpen(const std::string& path) const;
  // What it has printed so far (status and timedOut are set by Stop()).
  const KvxwRun& SoFar() const { return run_; }
  // Reads its output until stdout holds `want`; false when the output ends or `limit` passes first.
  bool WaitForOutput(const std::string& want, std::chrono::milliseconds limit);
  // The same for its standard error.
  bool WaitForError(const std::string& want, std::chrono::milliseconds limit);
  // Waits up to `limit` for its output to end (it exits), reading it; true once it has ended.
  bool WaitForEnd(std::chrono::milliseconds limit);
  // Whether it is still running (it is reaped as soon as it is found to have exited).
  bool Running();
  void Signal(int signal);
  // Sends `signal` (none when 0), waits up to `limit` for it to end, killing it if it does not,
  // and returns its output and exit status.
  KvxwRun Stop(int signal, std::chrono::milliseconds limit);

 private:
  // One round: waits up to `wait` for output (or room for input), then reads (and writes) it.
  // False once stdout and stderr are both closed.
  bool Pump(std::chrono::milliseconds wait);
  void Reap(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  bool reaped_ = false;
  int rawStatus_ = 0;
  int outFd_ = -1;
  int errFd_ = -1;
  int inFd_ = -1;
  std::string input_;
  std::size_t written_ = 0;
  KvxwRun run_;
};

// `kvxw sim --link LINK OPTIONS...` in the background for one test. The constructor waits (bounded)
// until the server says it is listening and the link is there; the destructor stops and reaps it
// whatever the test did.
class SimServer {
 public:
  explicit SimServer(const std::string& link, const std::vector<std::string>& options = {});
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  bool Ready() const { return ready_; }
  const std::string& Output() const { return process_.SoFar().out; }
  // SIGTERM, then what it printed and how it ended (the same again when called once more).
  KvxwRun Stop();

 private:
  KvxwProcess process_;
  bool ready_ = false;
};

// ---- Text and files -----------------------------------------------------------------------------

// Splits at white space: "--bytes 2 --count 1" -> {"--bytes", "2", "--count", "1"}.
std::vector<std::string> SplitArgs(const std::string& text);
// The arguments separated by spaces, for messages.
std::string CommandLine(const std::vector<std::string>& args);
std::vector<std::string> Lines(const std::string& text);

// Anything at `path`, a dangling symbolic link too.
bool Exists(const std::string& path);
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Program words as a raw image: two bytes a word, low byte first.
std::string WordBytes(const std::vector<int>& words);
// A KVX-01 program whose every word differs from its neighbours; with `serialSlots`, words
// 0100-0103 hold RTIW instructions for serial numbers.
std::vector<int> SampleProgramWords(bool serialSlots);

// ---- Fixture ------------------------------------------------------------------------------------

// A kvxw test: fails when KVXW is not set; a fresh temporary directory, removed afterwards,
// which is the current directory (and kvxw's) while the test runs.
// A fixture that overrides SetUp() calls CliTest::SetUp() first and returns on a fatal failure.
class CliTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The path of `name` in the temporary directory.
  std::string Path(const std::string& name) const;
  // Writes `bytes` to `name`; returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;
  // What `name` holds; empty when it cannot be read.
  std::string Read(const std::string& name) const;

 private:
  std::filesystem::path dir_;
  std::filesystem::path previousDir_;
};

}  // namespace kvx::cli::test
