#include "sim/pty_server.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace kvx::sim {
namespace {

using SteadyTime = std::chrono::steady_clock;

// How long an answer may wait for room before the server gives up on a host that stopped reading.
constexpr std::chrono::seconds kAnswerWait{1};
// While the Writer holds CTS inactive the host's bytes stay unread; look again this often.
constexpr std::chrono::milliseconds kCtsRecheck{5};
// A terminal that reports a hang-up without input is looked at again after this.
constexpr std::chrono::milliseconds kHangUpPause{10};
// A chunk of answer bytes: what a 16550's receive FIFO holds.
constexpr std::size_t kChunk = 16;

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

timespec Timeout(SteadyTime::duration d) {
  const auto ns = std::max<std::chrono::nanoseconds>(d, std::chrono::nanoseconds{0});
  const auto secs = std::chrono::duration_cast<std::chrono::seconds>(ns);
  return {static_cast<time_t>(secs.count()), static_cast<long>((ns - secs).count())};
}

}  // namespace

// The thread that serves every PtyServer of the process: one poll() over all their terminals,
// its time limit the earliest deadline of an answer, so that it sleeps until a host sends a byte
// or an answer is due and never ticks. It starts with the first server and stays (idle, without
// a time limit) for the life of the process.
class ServeLoop {
 public:
  static ServeLoop& Shared() {
    static ServeLoop* loop = new ServeLoop;  // never destroyed: servers may outlive statics
    return *loop;
  }

  bool Add(PtyServer* server, std::string& error) {
    std::lock_guard lock(mu_);
    if (wake_[0] < 0 && ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
      return error = Reason("pipe"), false;
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    servers_.push_back(server);
    Wake();
    return true;
  }

  // Once this returns the loop no longer touches `server` nor waits on its terminal.
  void Remove(PtyServer* server) {
    std::unique_lock lock(mu_);
    std::erase(servers_, server);
    const long pass = passes_;
    Wake();
    passed_.wait(lock, [&] { return passes_ > pass; });
  }

 private:
  void Wake() {
    const char byte = 1;
    (void)!::write(wake_[1], &byte, 1);
  }

  void Run() {
    // Wake-ups close to their deadline matter for the wire timing; the default timer slack of
    // 50 us is more than half a byte's wire time. A small slack instead of none still lets the
    // kernel group nearby deadlines.
    ::prctl(PR_SET_TIMERSLACK, 2000UL);
    std::vector<pollfd> fds;
    std::vector<PtyServer*> polled;
    std::unique_lock lock(mu_);
    for (;;) {
      const auto now = SteadyTime::now();
      auto wakeAt = SteadyTime::time_point::max();
      fds.assign(1, pollfd{wake_[0], POLLIN, 0});
      polled = servers_;
      for (PtyServer* server : polled) fds.push_back(server->Poll(now, wakeAt));
      lock.unlock();
      timespec limit{};
      if (wakeAt != SteadyTime::time_point::max()) limit = Timeout(wakeAt - SteadyTime::now());
      const int r = ::ppoll(fds.data(), fds.size(),
                            wakeAt == SteadyTime::time_point::max() ? nullptr : &limit, nullptr);
      lock.lock();
      if (r > 0 && fds[0].revents != 0) {
        char drain[64];
        while (::read(wake_[0], drain, sizeof drain) > 0) {
        }
      }
      // A server removed meanwhile is still alive (its Remove waits for this pass) but is left.
      for (std::size_t i = 0; i < polled.size(); ++i) {
        if (std::find(servers_.begin(), servers_.end(), polled[i]) != servers_.end())
          polled[i]->Serve(r > 0 ? fds[i + 1].revents : 0);
      }
      ++passes_;
      passed_.notify_all();
    }
  }

  std::mutex mu_;
  std::condition_variable passed_;
  std::vector<PtyServer*> servers_;
  long passes_ = 0;
  int wake_[2] = {-1, -1};
  std::thread thread_;
};

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
  if (!ServeLoop::Shared().Add(this, error)) {
    CloseAll();
    return false;
  }
  serving_ = true;
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
  if (serving_) ServeLoop::Shared().Remove(this);
  serving_ = false;
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
}

pollfd PtyServer::Poll(SteadyTime::time_point now, SteadyTime::time_point& wakeAt) const {
  const auto until = [&](SteadyTime::time_point t) { wakeAt = std::min(wakeAt, t); };
  if (failed_) return {-1, 0, 0};
  if (written_ < answer_.size()) {
    // The host sends no more before it has its answer: only the answer's deadline counts, or
    // room in a full terminal.
    if (writeBlocked_) {
      until(blockedSince_ + kAnswerWait);
      return {master_, POLLOUT, 0};
    }
    const auto deadline = due_[ChunkEnd(written_) - 1];
    until(deadline == SteadyTime::time_point{} ? now : deadline - wakeLate_);
    return {-1, 0, 0};
  }
  if (now < quietUntil_) {
    until(quietUntil_);
    return {-1, 0, 0};
  }
  // A Writer that holds CTS inactive takes no bytes: they wait in the terminal, unread.
  if (!writer_.Cts()) {
    until(now + kCtsRecheck);
    return {master_, 0, 0};
  }
  return {master_, POLLIN, 0};
}

void PtyServer::Serve(short revents) {
  if (failed_) return;
  if (revents & (POLLERR | POLLNVAL)) {
    failed_ = true;
    return;
  }
  if (written_ < answer_.size()) {
    WriteDue();
  } else if (revents & POLLIN) {
    ReadByte();
  } else if (revents & POLLHUP) {
    // Only a hang-up without input: wait a little instead of spinning on it.
    quietUntil_ = SteadyTime::now() + kHangUpPause;
  }
}

void PtyServer::ReadByte() {
  // One byte at a time: the host sends no more before it has its answer, and a byte left in
  // the terminal is not lost when the Writer drops CTS in between.
  std::uint8_t byte = 0;
  if (!writer_.Cts() || ::read(master_, &byte, 1) != 1) return;
  const auto arrival = SteadyTime::now();
  if (arrival - lastArrival_ >= kWriterIdleReset) writer_.AbandonExchange();
  lastArrival_ = arrival;
  // The byte left the host one terminal transit ago and then took its wire time. A byte that
  // came after the last answer was written was sent by a host that had waited for that answer,
  // so on a real line it could not have started before the answer's last bit arrived: without
  // that bound a transit measured too long would let whole exchanges overlap and the stream
  // run ahead of the wire.
  answerWire_ = writer_.ByteDelay();
  answerHold_ = writer_.AnswerHold();
  if (answerWire_.count() > 0) {
    auto start = std::max(rxFree_, arrival - transit_);
    if (arrival >= lastAnswerWritten_) start = std::max(start, txFree_);
    rxFree_ = start + answerWire_;
  }
  answer_.clear();
  written_ = 0;
  writer_.HostByte(byte, answer_);
  Schedule(answer_.size(), due_);
  WriteDue();
}

// The bytes of the chunk that starts at `first`: those due within a 16550's receive FIFO of the
// first one, as a real port hands them on; bytes a latency timer holds together go together
// whatever their number.
std::size_t PtyServer::ChunkEnd(std::size_t first) const {
  std::size_t end = first + 1;
  while (end < answer_.size() &&
         (due_[end] == due_[first] ||
          (end - first < kChunk && due_[end] - due_[first] < kChunk * answerWire_)))
    ++end;
  return end;
}

// The answer goes into the terminal in chunks, each when its last byte is due: a byte is never
// early, and a long answer (a read-back) costs one wake-up and one write per chunk instead of
// one per byte. What is not due yet waits for the serving thread's next pass.
void PtyServer::WriteDue() {
  while (written_ < answer_.size()) {
    const std::size_t end = ChunkEnd(written_);
    const auto deadline = due_[end - 1];
    const auto now = SteadyTime::now();
    if (writeBlocked_ && now - blockedSince_ >= kAnswerWait) break;  // the host stopped reading
    if (!writeBlocked_ && deadline != SteadyTime::time_point{}) {
      if (now < deadline - wakeLate_) return;
      AimAt(now - deadline);
      lastAnswerWritten_ = now;
      if (answerHold_.count() == 0) NotePacing(now - deadline, answerWire_);
    }
    const ssize_t n = ::write(master_, answer_.data() + written_, end - written_);
    if (n > 0) {
      written_ += static_cast<std::size_t>(n);
      writeBlocked_ = false;
    } else if (n < 0 && errno == EAGAIN) {
      if (!writeBlocked_) blockedSince_ = now;
      writeBlocked_ = true;
      return;
    } else if (!(n < 0 && errno == EINTR)) {
      break;
    }
  }
  // Written, or dropped: the host hung up or stopped reading.
  answer_.clear();
  written_ = 0;
  writeBlocked_ = false;
}

// A wake-up for a deadline comes a little late (tens of microseconds, against a byte's 87); the
// next one is aimed that much early, by 1/8 of the lateness seen (later when it came early), so
// that the answers leave at their deadlines on average and a stream keeps the wire's pace; never
// earlier than a byte's wire time. A wake-up later than a whole wire time is the machine being
// busy elsewhere, not the usual lateness: it does not move the aim.
void PtyServer::AimAt(std::chrono::nanoseconds error) {
  if (std::chrono::abs(error) < kByteWireTime) wakeLate_ += error / 8;
  wakeLate_ = std::clamp<std::chrono::nanoseconds>(wakeLate_, std::chrono::nanoseconds{0},
                                                   kByteWireTime);
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

}  // namespace kvx::sim
