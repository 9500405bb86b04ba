#include "cli/cli_support.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

extern char** environ;

namespace kvx::cli::test {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kRound{50};            // the longest single poll
constexpr std::size_t kMostPerRound = 1 << 20;  // bytes read from one pipe in one round

milliseconds Remaining(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
  return std::max(left, milliseconds(0));
}

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

void Close(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Reads what the pipe holds now; closes it (fd = -1) at its end.
void ReadAvailable(int& fd, std::string& into) {
  char buffer[4096];
  for (std::size_t total = 0; fd >= 0 && total < kMostPerRound;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
      total += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      if (n == 0 || errno != EAGAIN) Close(fd);
      return;
    }
  }
}

// Writes what the pipe takes now of `text` from `written` on; closes it once all is written or
// the reader has gone. A reader that has gone raises no SIGPIPE in this process.
void WriteAvailable(int& fd, const std::string& text, std::size_t& written) {
  if (fd < 0) return;
  sigset_t pipeSignal;
  sigset_t old;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      if (n < 0 && errno == EPIPE) {
        const timespec now{0, 0};
        ::sigtimedwait(&pipeSignal, nullptr, &now);  // the SIGPIPE the write raised
        written = text.size();
      }
      break;
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (written >= text.size()) Close(fd);
}

std::string VariableName(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// This process's environment with `extra` added; an entry of `extra` replaces one of the same name.
std::vector<std::string> Environment(const std::vector<std::string>& extra) {
  std::vector<std::string> names;
  for (const auto& e : extra) names.push_back(VariableName(e));
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::find(names.begin(), names.end(), VariableName(*e)) == names.end()) env.push_back(*e);
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

std::vector<char*> NullTerminated(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (auto& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

// ---- KvxwProcess --------------------------------------------------------------------------------

KvxwProcess::KvxwProcess(const std::vector<std::string>& args, const RunOptions& options) {
  const char* kvxw = options.program ? options.program->c_str() : std::getenv("KVXW");
  if (kvxw == nullptr) {
    run_.err = "KVXW is not set\n";
    return;
  }
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  int in[2] = {-1, -1};
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
      (options.input && ::pipe2(in, O_CLOEXEC) != 0)) {
    for (int fd : {out[0], out[1], err[0], err[1], in[0], in[1]})
      if (fd >= 0) ::close(fd);
    run_.err = std::string("pipe: ") + std::strerror(errno) + "\n";
    return;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.input)
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  else
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  if (!options.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());

  // kvxw starts with no signal blocked and the default action for the ones the tests send.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&defaults, s);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> argStrings = {kvxw};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<std::string> envStrings = Environment(options.env);
  const std::vector<char*> argv = NullTerminated(argStrings);
  const std::vector<char*> envp = NullTerminated(envStrings);
  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, kvxw, &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);

  for (int fd : {out[1], err[1], in[0]})
    if (fd >= 0) ::close(fd);
  outFd_ = out[0];
  errFd_ = err[0];
  inFd_ = in[1];
  if (failed != 0) {
    run_.err = std::string("posix_spawn ") + kvxw + ": " + std::strerror(failed) + "\n";
    Close(outFd_);
    Close(errFd_);
    Close(inFd_);
    return;
  }
  pid_ = pid;
  SetNonBlocking(outFd_);
  SetNonBlocking(errFd_);
  if (inFd_ >= 0) {
    SetNonBlocking(inFd_);
    input_ = *options.input;
    WriteAvailable(inFd_, input_, written_);
  }
}

KvxwProcess::~KvxwProcess() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &rawStatus_, 0);  // returns at once: SIGKILL cannot be caught
  }
  Close(outFd_);
  Close(errFd_);
  Close(inFd_);
}

bool KvxwProcess::Pump(milliseconds wait) {
  if (outFd_ < 0 && errFd_ < 0) {
    Close(inFd_);
    return false;
  }
  pollfd polls[3];
  nfds_t count = 0;
  for (int fd : {outFd_, errFd_})
    if (fd >= 0) polls[count++] = {fd, POLLIN, 0};
  if (inFd_ >= 0) polls[count++] = {inFd_, POLLOUT, 0};
  ::poll(polls, count, static_cast<int>(std::min(wait, kRound).count()));
  ReadAvailable(outFd_, run_.out);
  ReadAvailable(errFd_, run_.err);
  WriteAvailable(inFd_, input_, written_);
  return outFd_ >= 0 || errFd_ >= 0;
}

bool KvxwProcess::WaitForOutput(const std::string& want, milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (run_.out.find(want) == std::string::npos) {
    if (Clock::now() >= deadline || !Pump(Remaining(deadline)))
      return run_.out.find(want) != std::string::npos;
  }
  return true;
}

bool KvxwProcess::WaitForError(const std::string& want, milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (run_.err.find(want) == std::string::npos) {
    if (Clock::now() >= deadline || !Pump(Remaining(deadline)))
      return run_.err.find(want) != std::string::npos;
  }
  return true;
}

bool KvxwProcess::HasOpen(const std::string& path) const {
  std::error_code error;
  const auto target = std::filesystem::canonical(path, error);
  if (error) return false;
  const std::string fds = "/proc/" + std::to_string(pid_) + "/fd";
  for (const auto& fd : std::filesystem::directory_iterator(fds, error))
    if (std::filesystem::read_symlink(fd.path(), error) == target) return true;
  return false;
}

bool KvxwProcess::WaitForEnd(milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Pump(Remaining(deadline)))
    if (Clock::now() >= deadline) return false;
  return true;
}

bool KvxwProcess::Running() {
  if (pid_ <= 0 || reaped_) return false;
  const pid_t done = ::waitpid(pid_, &rawStatus_, WNOHANG);
  if (done == 0) return true;
  reaped_ = true;
  if (done < 0) rawStatus_ = -1;  // not ours to reap: no exit status
  return false;
}

void KvxwProcess::Signal(int signal) {
  if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

void KvxwProcess::Reap(Clock::time_point deadline) {
  while (Running()) {
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &rawStatus_, 0);  // returns at once: SIGKILL cannot be caught
      reaped_ = true;
      run_.timedOut = true;
      return;
    }
    std::this_thread::sleep_for(milliseconds(5));
  }
}

KvxwRun KvxwProcess::Stop(int signal, milliseconds limit) {
  if (pid_ <= 0) return run_;
  const auto deadline = Clock::now() + limit;
  if (signal != 0) Signal(signal);
  WaitForEnd(Remaining(deadline));
  Reap(deadline);
  Pump(milliseconds(0));  // what came between the last read and the end
  Close(outFd_);
  Close(errFd_);
  Close(inFd_);
  run_.status = !run_.timedOut && rawStatus_ != -1 && WIFEXITED(rawStatus_)
                    ? WEXITSTATUS(rawStatus_)
                    : -1;
  run_.signal = rawStatus_ != -1 && WIFSIGNALED(rawStatus_) ? WTERMSIG(rawStatus_) : 0;
  return run_;
}

KvxwRun RunKvxw(const std::vector<std::string>& args, const RunOptions& options) {
  KvxwProcess process(args, options);
  const auto deadline = Clock::now() + options.limit;
  if (options.interruptWhen) {
    while (Clock::now() < deadline && !process.WaitForEnd(std::min(kRound, Remaining(deadline)))) {
      if (options.interruptWhen(process.SoFar())) {
        process.Signal(SIGINT);
        break;
      }
    }
  }
  return process.Stop(0, Remaining(deadline));
}

// ---- SimServer ----------------------------------------------------------------------------------

namespace {

std::vector<std::string> SimArgs(const std::string& link, const std::vector<std::string>& options) {
  std::vector<std::string> args = {"sim", "--link", link};
  args.insert(args.end(), options.begin(), options.end());
  return args;
}

}  // namespace

SimServer::SimServer(const std::string& link, const std::vector<std::string>& options)
    : process_(SimArgs(link, options)) {
  ready_ = process_.WaitForOutput("listening", std::chrono::seconds(10)) && Exists(link);
}

SimServer::~SimServer() { Stop(); }

KvxwRun SimServer::Stop() { return process_.Stop(SIGTERM, std::chrono::seconds(5)); }

// ---- Text and files -----------------------------------------------------------------------------

std::vector<std::string> SplitArgs(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

std::string CommandLine(const std::vector<std::string>& args) {
  std::string line;
  for (const auto& a : args) line += (line.empty() ? "" : " ") + a;
  return line;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string WordBytes(const std::vector<int>& words) {
  std::string bytes;
  for (int w : words) {
    bytes += static_cast<char>(w & 0xFF);
    bytes += static_cast<char>((w >> 8) & 0xFF);
  }
  return bytes;
}

std::vector<int> SampleProgramWords(bool serialSlots) {
  std::vector<int> words(1024);
  for (int i = 0; i < 1024; ++i) words[i] = (i * 7 + 1) & 0x3FFF;
  if (serialSlots)
    for (int i = 0x100; i < 0x104; ++i) words[i] = 0x3100;
  return words;
}

// ---- CliTest ------------------------------------------------------------------------------------

void CliTest::SetUp() {
  // Without the binary every test would pass having checked nothing.
  ASSERT_NE(std::getenv("KVXW"), nullptr)
      << "KVXW is not set: run the command-line tests through ctest, or set KVXW to the path "
         "of the kvxw binary";
  std::string pattern = (std::filesystem::temp_directory_path() / "kvxw-cli-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
  dir_ = pattern;
  // kvxw runs in the test's own folder: what it writes beside itself (the production journal)
  // belongs to this test alone.
  previousDir_ = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
}

void CliTest::TearDown() {
  std::error_code ignored;
  if (!previousDir_.empty()) std::filesystem::current_path(previousDir_, ignored);
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

std::string CliTest::Path(const std::string& name) const { return (dir_ / name).string(); }

std::string CliTest::Write(const std::string& name, const std::string& bytes) const {
  WriteFile(Path(name), bytes);
  return Path(name);
}

std::string CliTest::Read(const std::string& name) const { return ReadFile(Path(name)); }

}  // namespace kvx::cli::test
