#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace kvx::sim {
namespace {

// A host that falls silent this long in the middle of a command has given up on it; the Writer
// forgets the half-received command so the next header is read as one.
constexpr std::chrono::seconds kWriterIdleReset{1};
// How long an answer may wait for room before the server gives up on a host that stopped reading.
constexpr int kAnswerWaitMs = 1000;
// While the Writer holds CTS inactive the host's bytes stay unread; look again this often.
constexpr int kCtsRecheckMs = 5;

std::string Reason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool MakeRaw(int fd) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return false;
  ::cfmakeraw(&t);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

PtyServer::PtyServer(SimWriter& writer) : writer_(writer) {}

PtyServer::~PtyServer() { Stop(); }

bool PtyServer::Start(const std::string& linkPath, std::string& error) {
  if (Running()) {
    error = "already serving on " + linkPath_;
    return false;
  }
  if (!OpenTerminal(error) || !MakeLink(linkPath, error)) {
    CloseAll();
    return false;
  }
  thread_ = std::thread([this] { Serve(); });
  return true;
}

bool PtyServer::OpenTerminal(std::string& error) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) return error = Reason("posix_openpt"), false;
  char name[128];
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
      ::ptsname_r(master_, name, sizeof name) != 0) {
    return error = Reason("pseudo-terminal set-up"), false;
  }
  slaveName_ = name;
  // Holding the terminal side open keeps the master from reporting a hang-up whenever no host
  // has it open; raw mode on both sides passes every byte unchanged and echoes nothing.
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave_ < 0 || !MakeRaw(slave_) || !MakeRaw(master_)) {
    return error = Reason(slaveName_.c_str()), false;
  }
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return error = Reason("pipe"), false;
  return true;
}

bool PtyServer::MakeLink(const std::string& linkPath, std::string& error) {
  struct stat st {};
  if (::lstat(linkPath.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = linkPath + " exists and is not a symbolic link; not replacing it";
      return false;
    }
    ::unlink(linkPath.c_str());
  }
  if (::symlink(slaveName_.c_str(), linkPath.c_str()) != 0) {
    error = Reason(linkPath.c_str());
    return false;
  }
  linkPath_ = linkPath;
  return true;
}

void PtyServer::Stop() {
  if (thread_.joinable()) {
    const char stop = 1;
    (void)!::write(wake_[1], &stop, 1);
    thread_.join();
  }
  CloseAll();
}

void PtyServer::CloseAll() {
  if (!linkPath_.empty()) {
    // Remove the link only while it is still ours (another server may have taken the name).
    char target[256];
    const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n >= 0 && slaveName_ == std::string(target, static_cast<size_t>(n)))
      ::unlink(linkPath_.c_str());
    linkPath_.clear();
  }
  CloseFd(master_);
  CloseFd(slave_);
  CloseFd(wake_[0]);
  CloseFd(wake_[1]);
}

void PtyServer::Serve() {
  std::vector<std::uint8_t> answers;
  auto lastArrival = std::chrono::steady_clock::now();
  for (;;) {
    // A Writer that holds CTS inactive takes no bytes: they wait in the terminal, unread.
    const bool cts = writer_.Cts();
    pollfd fds[2] = {{master_, static_cast<short>(cts ? POLLIN : 0), 0}, {wake_[0], POLLIN, 0}};
    const int r = ::poll(fds, 2, cts ? -1 : kCtsRecheckMs);
    if (r < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) return;
    if (fds[0].revents & (POLLERR | POLLNVAL)) return;
    if (!(fds[0].revents & POLLIN)) {
      // Only a hang-up without input: wait a little instead of spinning on it.
      if (fds[0].revents & POLLHUP) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    // One byte at a time: the host sends no more before it has its answer, and a byte left in
    // the terminal is not lost when the Writer drops CTS in between.
    std::uint8_t byte = 0;
    if (!writer_.Cts() || ::read(master_, &byte, 1) != 1) continue;
    const auto arrival = std::chrono::steady_clock::now();
    if (arrival - lastArrival >= kWriterIdleReset) writer_.AbandonExchange();
    lastArrival = arrival;
    Delay();
    answers.clear();
    writer_.HostByte(byte, answers);
    Answer(answers);
  }
}

void PtyServer::Answer(const std::vector<std::uint8_t>& answers) {
  for (std::uint8_t byte : answers) {
    Delay();
    for (;;) {
      const ssize_t n = ::write(master_, &byte, 1);
      if (n == 1) break;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN && WaitWritable()) continue;
      return;  // the host stopped reading, or the server is stopping: drop the rest
    }
  }
}

// With the baud-delay fault each byte takes its time on the wire, in real time.
void PtyServer::Delay() {
  const auto delay = writer_.ByteDelay();
  if (delay.count() > 0) std::this_thread::sleep_for(delay);
}

bool PtyServer::WaitWritable() {
  pollfd fds[2] = {{master_, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
  return ::poll(fds, 2, kAnswerWaitMs) > 0 && (fds[0].revents & POLLOUT) && fds[1].revents == 0;
}

}  // namespace kvx::sim
