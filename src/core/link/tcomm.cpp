#include "core/link/tcomm.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <limits>
#include <thread>

namespace kvx {
namespace {

// Speeds by TBaudrate position; 0 where the terminal interface has no such rate.
constexpr speed_t kSpeeds[] = {
    B110,  B300,   B600, B1200,  B2400,   B4800, B9600,
    0,     B19200, B38400, 0,    B57600,  B115200, 0, 0,
};
// The flow-control characters of fcSoftware.
constexpr cc_t kXon = 0x11;
constexpr cc_t kXoff = 0x13;
// Character sizes by TDatabits position; terminals know no 4-bit characters.
constexpr tcflag_t kCharSizes[] = {0, CS5, CS6, CS7, CS8};

std::string WithCode(const std::string& text, int code) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, " (Error: %d) ", code);
  return text + suffix;
}

int MillisLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()));
}

// A poll() time-out from a wait's length.
int PollMillis(Millis d) {
  return static_cast<int>(std::clamp<long long>(d.count(), 0, std::numeric_limits<int>::max()));
}

// Modem-line ioctls fail on a device that has no modem lines; the link does not depend on them.
void ModemLines(int fd, unsigned long request, int bits) { (void)::ioctl(fd, request, &bits); }

class TerminalOutputQueue final : public OutputQueue {
 public:
  int Count(int fd) override {
    int n = 0;
    return ::ioctl(fd, TIOCOUTQ, &n) == 0 ? n : 0;
  }
  void Discard(int fd) override { ::tcflush(fd, TCOFLUSH); }
};

class TerminalSerialFlags final : public SerialFlags {
 public:
  bool ReadLowLatency(int fd, bool& on) override {
    serial_struct serial {};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
    on = (serial.flags & ASYNC_LOW_LATENCY) != 0;
    return true;
  }
  bool RequestLowLatency(int fd) override {
    serial_struct serial {};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
  }
};

TerminalOutputQueue terminalQueue;
TerminalSerialFlags terminalFlags;
SteadyClock steadyClock;

}  // namespace

TComm::TComm() : queue_(&terminalQueue), clock_(&steadyClock), flags_(&terminalFlags) {}

TComm::TComm(OutputQueue& queue, Clock& clock, SerialFlags* flags)
    : queue_(&queue), clock_(&clock), flags_(flags != nullptr ? flags : &terminalFlags) {}

ECommError::ECommError(const std::string& text, int code)
    : std::runtime_error(WithCode(text, code)), code_(code) {}

TComm::~TComm() { Close(); }

void TComm::Open() {
  RequireClosed();
  lastError_ = 0;
  lowLatency_ = LowLatency::NotOffered;
  gone_ = false;
  noModemLines_ = false;
  const int fd = ::open(deviceName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    lastError_ = errno;
    return;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
    lastError_ = ENOTTY;
    ::close(fd);
    return;
  }
  // TIOCEXCL refuses later opens by other programs, but not by root; the lock refuses every
  // second open, including one from this program. A character device that is no terminal
  // fails TIOCEXCL and is refused here.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    lastError_ = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return;
  }
  fd_ = fd;
  // Opened before TIOCEXCL would refuse it; without it ReadWithin polls, then reads.
  waitFd_ = ::open(deviceName_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (::ioctl(fd, TIOCEXCL) != 0) {
    lastError_ = errno;
    CloseDevice();
    return;
  }
  RequestLowLatency();
  try {
    ApplyLineSettings();
  } catch (const ECommError&) {
    CloseDevice();  // never leave a port open with settings the link did not ask for
    throw;
  }
}

// USB serial adapters hold each received byte for their latency timer (16 ms on the common
// ones) before passing it on. The Writer answers every byte the host sends, so without low
// latency each acknowledged byte would cost 16 ms instead of a fraction of a millisecond.
// Drivers without the setting (and pseudo-terminals) refuse the request; that is harmless. Some
// drivers accept it and do nothing, so the flag is read back: the port's description and its
// warning say what really took.
void TComm::RequestLowLatency() {
  bool on = false;
  if (!flags_->ReadLowLatency(fd_, on)) {
    lowLatency_ = LowLatency::NotOffered;
    return;
  }
  const bool asked = on || flags_->RequestLowLatency(fd_);
  lowLatency_ = asked && flags_->ReadLowLatency(fd_, on) && on ? LowLatency::On : LowLatency::Refused;
}

void TComm::Close() {
  std::lock_guard lock(mutex_);  // not while a Read or Write is under way on another thread
  if (fd_ < 0) return;
  PurgeIn();
  PurgeOut();
  CloseDevice();
}

// The exclusive mark belongs to the terminal, not to this process: on a terminal another side
// keeps open (a pseudo-terminal, some adapters) it would outlive the process and refuse every
// later open by a user who is not root. So every close clears it; the lock dies with the process
// by itself. kvxw turns the stop signals into an orderly close for the same reason.
void TComm::CloseDevice() {
  ::ioctl(fd_, TIOCNXCL);
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
  if (waitFd_ >= 0) ::close(waitFd_);
  waitFd_ = -1;
}

void TComm::ApplyLineSettings() {
  termios t {};
  if (::tcgetattr(fd_, &t) != 0) throw ECommError("Error updating DataControlBlock", errno);
  // Positions outside the enumerations can come from a stored configuration.
  const bool known = baudRate_ >= br110 && baudRate_ <= br256000 && databits_ >= da4 &&
                     databits_ <= da8 && parity_ >= paNone && parity_ <= paSpace &&
                     stopbits_ >= sb10 && stopbits_ <= sb20;
  const speed_t speed = known ? kSpeeds[baudRate_] : 0;
  const tcflag_t size = known ? kCharSizes[databits_] : 0;
  if (speed == 0 || size == 0) throw ECommError("Error updating DataControlBlock", EINVAL);

  // Binary mode: every byte passes unchanged in both directions, reads never wait.
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | INPCK);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  t.c_cflag |= CREAD | CLOCAL | size;
  // A read returns what is there; on the blocking descriptor it waits up to the read timer for
  // the first byte (the non-blocking one never waits).
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = static_cast<cc_t>(kReadTimer.count() / 100);
  ::cfsetispeed(&t, speed);
  ::cfsetospeed(&t, speed);

  if (parity_ != paNone) t.c_cflag |= PARENB;
  if (parity_ == paOdd || parity_ == paMark) t.c_cflag |= PARODD;
  if (parity_ == paMark || parity_ == paSpace) t.c_cflag |= CMSPAR;
  if (stopbits_ != sb10) t.c_cflag |= CSTOPB;  // with 5 data bits the UART sends 1.5
  t.c_cc[VSTART] = kXon;
  t.c_cc[VSTOP] = kXoff;

  // Terminals come up with XON/XOFF on, which would swallow the data bytes 0x11 and 0x13, so
  // only fcSoftware has it; fcDefault keeps the port's own hardware handshake. Terminals have no
  // DSR output flow control: fcDTR only raises DTR for the peer to see.
  t.c_iflag &= ~(IXON | IXOFF | IXANY);
  if (flowControl_ != fcDefault) t.c_cflag &= ~CRTSCTS;
  if (flowControl_ == fcCTS) t.c_cflag |= CRTSCTS;
  if (flowControl_ == fcSoftware) t.c_iflag |= IXON | IXOFF;
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) throw ECommError("Error updating DataControlBlock", errno);
  ApplyModemLines();
}

// fcNone drops DTR and RTS; fcCTS hands RTS to the hardware handshake; fcDTR raises DTR.
void TComm::ApplyModemLines() {
  switch (flowControl_) {
    case fcNone: ModemLines(fd_, TIOCMBIC, TIOCM_DTR | TIOCM_RTS); break;
    case fcCTS: ModemLines(fd_, TIOCMBIS, TIOCM_RTS); ModemLines(fd_, TIOCMBIC, TIOCM_DTR); break;
    case fcDTR: ModemLines(fd_, TIOCMBIS, TIOCM_DTR); ModemLines(fd_, TIOCMBIC, TIOCM_RTS); break;
    case fcSoftware: ModemLines(fd_, TIOCMBIC, TIOCM_DTR | TIOCM_RTS); break;
    case fcDefault: break;
  }
}

int TComm::Read(std::uint8_t* buffer, int count) {
  std::lock_guard lock(mutex_);
  if (fd_ < 0) return -1;  // a worker thread may be reading still; an exception would end it
  if (count <= 0) return 0;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, static_cast<size_t>(count));
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) break;  // EIO: the peer closed or the adapter was pulled
    // Nothing waiting. A hung-up terminal also reads as empty; poll tells the two apart.
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) break;
    return 0;
  }
  gone_ = true;
  return -1;
}

int TComm::Write(const std::uint8_t* buffer, int count) {
  std::lock_guard lock(mutex_);
  if (fd_ < 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + Millis(writeTimeout_);
  int done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, buffer + done, static_cast<size_t>(count - done));
    if (n > 0) {
      done += static_cast<int>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      // The driver's buffer is full (flow control holds it): wait for room, never drop the byte.
      if (!WaitWritable(MillisLeft(deadline))) return -1;
    } else {
      gone_ = true;
      return -1;
    }
  }
  return done;
}

bool TComm::WaitWritable(int timeoutMs) {
  pollfd p{fd_, POLLOUT, 0};
  const int r = ::poll(&p, 1, timeoutMs);
  return r == 1 && (p.revents & POLLOUT) && !(p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

int TComm::InQueCount() {
  if (fd_ < 0) return -1;
  int n = 0;
  return ::ioctl(fd_, FIONREAD, &n) == 0 ? n : 0;
}

int TComm::OutQueCount() { return fd_ < 0 ? -1 : queue_->Count(fd_); }

void TComm::PurgeIn() {
  if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
}

// Discarding the output queue at once would throw away bytes already written but not yet on the
// wire (on a pseudo-terminal: not yet read by the peer, however long ago they were written).
// The bytes the host wrote are the Writer's, so let them go out first, up to WriteTimeout, and
// discard only what is still held back after that (a Writer that never raises CTS).
void TComm::PurgeOut() {
  if (fd_ < 0) return;
  const TimePoint deadline = clock_->Now() + Millis(writeTimeout_);
  while (OutQueCount() > 0 && clock_->Now() < deadline) clock_->SleepFor(Millis(1));
  if (OutQueCount() > 0) queue_->Discard(fd_);
}

bool TComm::GetModemState(int line) {
  if (fd_ < 0) return false;
  // Pseudo-terminals and some USB adapters have no modem lines to query (ENOTTY, EINVAL).
  // The link sends only while CTS is active, so such a device reports CTS active: the host
  // then relies on the Writer's answers alone, which pace every byte anyway.
  if (noModemLines_) return line == 1;
  int bits = 0;
  if (::ioctl(fd_, TIOCMGET, &bits) != 0) {
    noModemLines_ = errno == ENOTTY || errno == EINVAL;
    if (!noModemLines_) gone_ = true;  // EIO and the like: the device has hung up
    return line == 1 && noModemLines_;
  }
  switch (line) {
    case 1: return bits & TIOCM_CTS;
    case 2: return bits & TIOCM_DSR;
    case 3: return bits & TIOCM_RNG;
    case 4: return bits & TIOCM_CAR;
    default: return false;
  }
}

bool TComm::WaitReadable(Millis max) {
  // A closed or vanished port has nothing to wait for; sleep a short while rather than spin.
  const Millis idle = std::min(max, Millis(50));
  if (fd_ < 0 || gone_) {
    std::this_thread::sleep_for(idle);
    return false;
  }
  pollfd p{fd_, POLLIN, 0};
  const int r = ::poll(&p, 1, PollMillis(max));
  if (r == 1 && (p.revents & POLLIN)) return true;
  if (r == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
    gone_ = true;
    std::this_thread::sleep_for(idle);
  }
  return false;
}

int TComm::ReadWithin(std::uint8_t* buffer, int count, Millis max) {
  if (waitFd_ < 0 || max < kReadTimer || count <= 0) return SerialPort::ReadWithin(buffer, count, max);
  std::lock_guard lock(mutex_);
  if (fd_ < 0 || gone_) return -1;
  const ssize_t n = ::read(waitFd_, buffer, static_cast<size_t>(count));
  if (n > 0) return static_cast<int>(n);
  if (n < 0 && errno == EINTR) return 0;
  // Nothing within the timer, or a hang-up (EIO, or an end of file at once): poll tells.
  pollfd p{fd_, POLLIN, 0};
  if (n < 0 || (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))) {
    gone_ = true;
    return -1;
  }
  return 0;
}

int TComm::ByteRate() const {
  constexpr int kBauds[] = {110,   300,   600,   1200,   2400,   4800,   9600,  14400,
                            19200, 38400, 56000, 57600, 115200, 128000, 256000};
  if (baudRate_ < br110 || baudRate_ > br256000 || databits_ < da4 || databits_ > da8) return 0;
  const int bits = 1 + (4 + databits_) + (parity_ == paNone ? 0 : 1) + (stopbits_ == sb10 ? 1 : 2);
  return kBauds[baudRate_] / bits;
}

// Modem-line changes cannot be awaited on every device (TIOCMIWAIT fails on pseudo-terminals),
// so the CTS wait simply looks again after a short pause.
void TComm::WaitModemChange(Millis max) { std::this_thread::sleep_for(std::min(max, Millis(1))); }

void TComm::RequireClosed() const {
  if (fd_ >= 0) throw ECommError("Port already assigned (open)", -1);
}

void TComm::SetDeviceName(const std::string& name) { RequireClosed(); deviceName_ = name; }
// The terminal driver sizes its own queues; the sizes are kept for the program to read back.
void TComm::SetReadBufSize(int bytes) { RequireClosed(); readBufSize_ = bytes; }
void TComm::SetWriteBufSize(std::uint32_t bytes) { RequireClosed(); writeBufSize_ = bytes; }

void TComm::SetBaudRate(TBaudrate rate) { baudRate_ = rate; if (fd_ >= 0) ApplyLineSettings(); }
void TComm::SetParity(TParity parity) { parity_ = parity; if (fd_ >= 0) ApplyLineSettings(); }
void TComm::SetStopbits(TStopbits bits) { stopbits_ = bits; if (fd_ >= 0) ApplyLineSettings(); }
void TComm::SetDatabits(TDatabits bits) { databits_ = bits; if (fd_ >= 0) ApplyLineSettings(); }
void TComm::SetFlowControl(TFlowControl flow) { flowControl_ = flow; if (fd_ >= 0) ApplyLineSettings(); }

}  // namespace kvx
