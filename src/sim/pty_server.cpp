#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace kvx::sim {
namespace {

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
  transit_ = MeasureTransit();
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
  // Wake-ups close to their deadline matter for the wire timing; the default timer slack of
  // 50 us is more than half a byte's wire time. A small slack instead of none still lets the
  // kernel group nearby wake-ups of several Writers.
  ::prctl(PR_SET_TIMERSLACK, 2000UL);
  std::vector<std::uint8_t> answers;
  auto lastArrival = SteadyTime::now();
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
    const auto arrival = SteadyTime::now();
    if (arrival - lastArrival >= kWriterIdleReset) writer_.AbandonExchange();
    lastArrival = arrival;
    // The byte left the host one terminal transit ago and then took its wire time. A byte that
    // came after the last answer was written was sent by a host that had waited for that answer,
    // so on a real line it could not have started before the answer's last bit arrived: without
    // that bound a transit measured too long would let whole exchanges overlap and the stream
    // run ahead of the wire.
    const auto wire = writer_.ByteDelay();
    if (wire.count() > 0) {
      auto start = std::max(rxFree_, arrival - transit_);
      if (arrival >= lastAnswerWritten_) start = std::max(start, txFree_);
      rxFree_ = start + wire;
    }
    answers.clear();
    writer_.HostByte(byte, answers);
    Answer(answers);
  }
}

// When each answer byte is due to be written: the byte leaves the Writer when the line is free and
// the byte it answers is in, and reaches the host one wire time later; it is written one terminal
// transit before that moment. Deadlines are absolute, so a late wake-up is not carried into the
// next byte. Without the wire time or a hold every byte is due at once (an empty time point).
void PtyServer::Schedule(std::size_t count, std::vector<SteadyTime::time_point>& due) {
  const auto wire = writer_.ByteDelay();
  const auto hold = writer_.AnswerHold();
  const auto now = SteadyTime::now();
  due.assign(count, SteadyTime::time_point{});
  for (auto& at : due) {
    if (wire.count() > 0) txFree_ = std::max(txFree_, rxFree_) + wire;
    if (hold.count() > 0) {
      // A USB adapter's latency timer: an answer that finds its buffer empty starts it, and the
      // answers that come in before it runs out go along with it.
      const auto ready = wire.count() > 0 ? txFree_ : now;
      if (ready > holdEnd_) holdEnd_ = ready + hold;
      at = holdEnd_ - (wire.count() > 0 ? transit_ : std::chrono::nanoseconds{0});
    } else if (wire.count() > 0) {
      at = txFree_ - transit_;
    }
  }
}

// The answers go into the terminal in chunks, each when its last byte is due: a byte is never
// early, and a long answer (a read-back) costs one wake-up and one write per chunk instead of
// one per byte. A chunk takes the bytes due within a 16550's receive FIFO of its first one, as a
// real port hands them on; bytes a latency timer holds together go together whatever their number.
void PtyServer::Answer(const std::vector<std::uint8_t>& answers) {
  constexpr std::size_t kChunk = 16;
  const auto wire = writer_.ByteDelay();
  const auto hold = writer_.AnswerHold();
  Schedule(answers.size(), due_);
  const SteadyTime::time_point none{};
  for (std::size_t first = 0; first < answers.size();) {
    std::size_t end = first + 1;
    while (end < answers.size() &&
           (due_[end] == due_[first] ||
            (end - first < kChunk && due_[end] - due_[first] < kChunk * wire)))
      ++end;
    const auto deadline = due_[end - 1];
    if (deadline != none) {
      SleepUntil(deadline);
      lastAnswerWritten_ = SteadyTime::now();
      if (hold.count() == 0) NotePacing(lastAnswerWritten_ - deadline, wire);
    }
    if (!WriteAll(answers.data() + first, end - first)) return;
    first = end;
  }
}

// With the wire time alone: how late a chunk went into the terminal against its deadline.
void PtyServer::NotePacing(std::chrono::nanoseconds late, std::chrono::nanoseconds wire) {
  if (late >= wire) {
    pacedDelayed_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  pacedAnswers_.fetch_add(1, std::memory_order_relaxed);
  pacedLateNs_.fetch_add(late.count(), std::memory_order_relaxed);
  pacedAbsLateNs_.fetch_add(std::chrono::abs(late).count(), std::memory_order_relaxed);
}

// Writes `count` bytes into the terminal; false when the host stopped reading or the server is
// stopping (the rest of the answer is dropped).
bool PtyServer::WriteAll(const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t n = ::write(master_, bytes, count);
    if (n > 0) {
      bytes += n;
      count -= static_cast<std::size_t>(n);
    } else if (!(n < 0 && (errno == EINTR || (errno == EAGAIN && WaitWritable())))) {
      return false;
    }
  }
  return true;
}

// The time a byte takes from one end of the terminal to the other, reader woken up: the fastest
// trip of a short ping-pong through this server's own terminal, before any host has opened it.
// The wire timing counts it as part of each byte's wire time, so a host on the terminal sees the
// answers when a host on a real 115200-baud line would. The fastest trip, not a typical one: a
// trip measured while the machine was busy would make every later answer come early.
std::chrono::nanoseconds PtyServer::MeasureTransit() {
  constexpr int kRounds = 64;
  std::thread echo([this] {
    for (int i = 0; i < kRounds; ++i) {
      pollfd p{slave_, POLLIN, 0};
      if (::poll(&p, 1, 200) <= 0) return;
      std::uint8_t b;
      if (::read(slave_, &b, 1) != 1 || ::write(slave_, &b, 1) != 1) return;
    }
  });
  std::vector<std::chrono::nanoseconds> trips;
  for (int i = 0; i < kRounds; ++i) {
    const std::uint8_t b = 0x55;
    const auto start = SteadyTime::now();
    if (::write(master_, &b, 1) != 1) break;
    pollfd p{master_, POLLIN, 0};
    std::uint8_t back;
    if (::poll(&p, 1, 200) <= 0 || ::read(master_, &back, 1) != 1) break;
    trips.push_back(SteadyTime::now() - start);
  }
  echo.join();
  ::tcflush(slave_, TCIOFLUSH);
  ::tcflush(master_, TCIOFLUSH);
  if (trips.empty()) return std::chrono::nanoseconds{0};
  // One way is half the round trip. Never count more than half a byte's wire time: each
  // exchange can come early by at most two transits, so a whole stream never runs ahead of the
  // wire by more than one byte's time, however busy the machine was while this was measured.
  return std::min(*std::min_element(trips.begin(), trips.end()) / 2, kByteWireTime / 2);
}

// Sleeps until `deadline` without spinning, so that several simulated Writers cost next to
// nothing on a machine with fewer cores than Writers. A sleep to an absolute time wakes a little
// late (tens of microseconds, against a byte's 87); the sleep is aimed that much early, by the
// lateness measured so far, so that the answers leave at their deadlines on average and a stream
// keeps the wire's pace.
void PtyServer::SleepUntil(SteadyTime::time_point deadline) {
  const auto target = deadline - wakeLate_;
  if (target > SteadyTime::now()) {
    const auto since = target.time_since_epoch();
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(since);
    const timespec at{static_cast<time_t>(secs.count()),
                      static_cast<long>(std::chrono::nanoseconds(since - secs).count())};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
  }
  // Aim the next sleep earlier by 1/8 of how late this one left (later when it left early), so
  // that the answers leave at their deadlines on average; never earlier than a byte's wire time.
  // A wake-up later than a whole wire time is the machine being busy elsewhere, not the sleep's
  // usual lateness: it does not move the aim.
  const auto error = SteadyTime::now() - deadline;
  if (std::chrono::abs(error) < kByteWireTime) wakeLate_ += error / 8;
  wakeLate_ = std::clamp<std::chrono::nanoseconds>(wakeLate_, std::chrono::nanoseconds{0},
                                                   kByteWireTime);
}

PtyServer::Pacing PtyServer::PacingSoFar() const {
  Pacing pacing;
  pacing.answers = pacedAnswers_.load();
  pacing.delayed = pacedDelayed_.load();
  if (pacing.answers > 0) {
    pacing.meanLate = std::chrono::nanoseconds(pacedLateNs_.load() / pacing.answers);
    pacing.meanAbsLate = std::chrono::nanoseconds(pacedAbsLateNs_.load() / pacing.answers);
  }
  return pacing;
}

bool PtyServer::WaitWritable() {
  pollfd fds[2] = {{master_, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
  return ::poll(fds, 2, kAnswerWaitMs) > 0 && (fds[0].revents & POLLOUT) && fds[1].revents == 0;
}

}  // namespace kvx::sim
