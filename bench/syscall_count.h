// Counts the system calls one thread makes through the C library's wrappers, whatever else the
// machine is doing: the benchmark defines read, write, poll, ioctl and the sleeps itself, counts
// each call made on a thread that has counting on, and passes it to the C library's own.
// Include it in exactly one source file of a benchmark program.
#pragma once

#include <dlfcn.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdarg>

namespace kvx::bench {

struct SyscallCount {
  long reads = 0;
  long writes = 0;
  long polls = 0;
  long ioctls = 0;
  long sleeps = 0;
  long Total() const { return reads + writes + polls + ioctls + sleeps; }
};

inline thread_local bool countingOn = false;
inline thread_local SyscallCount counted;

// Counts the calls the current thread makes while it lives.
class CountSyscalls {
 public:
  CountSyscalls() { counted = {}, countingOn = true; }
  ~CountSyscalls() { countingOn = false; }
  CountSyscalls(const CountSyscalls&) = delete;
  CountSyscalls& operator=(const CountSyscalls&) = delete;
  SyscallCount Now() const { return counted; }
};

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

}  // namespace kvx::bench

extern "C" {

ssize_t read(int fd, void* buffer, size_t count) {
  static const auto next = kvx::bench::Next<ssize_t (*)(int, void*, size_t)>("read");
  if (kvx::bench::countingOn) ++kvx::bench::counted.reads;
  return next(fd, buffer, count);
}

ssize_t write(int fd, const void* buffer, size_t count) {
  static const auto next = kvx::bench::Next<ssize_t (*)(int, const void*, size_t)>("write");
  if (kvx::bench::countingOn) ++kvx::bench::counted.writes;
  return next(fd, buffer, count);
}

int poll(struct pollfd* fds, nfds_t n, int timeout) {
  static const auto next = kvx::bench::Next<int (*)(struct pollfd*, nfds_t, int)>("poll");
  if (kvx::bench::countingOn) ++kvx::bench::counted.polls;
  return next(fds, n, timeout);
}

int ioctl(int fd, unsigned long request, ...) noexcept {
  static const auto next = kvx::bench::Next<int (*)(int, unsigned long, void*)>("ioctl");
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  if (kvx::bench::countingOn) ++kvx::bench::counted.ioctls;
  return next(fd, request, argument);
}

// tcflush is one ioctl inside the C library, where the wrapper above does not see it.
int tcflush(int fd, int queue) noexcept {
  static const auto next = kvx::bench::Next<int (*)(int, int)>("tcflush");
  if (kvx::bench::countingOn) ++kvx::bench::counted.ioctls;
  return next(fd, queue);
}

int nanosleep(const struct timespec* duration, struct timespec* rest) {
  static const auto next =
      kvx::bench::Next<int (*)(const struct timespec*, struct timespec*)>("nanosleep");
  if (kvx::bench::countingOn) ++kvx::bench::counted.sleeps;
  return next(duration, rest);
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec* duration,
                    struct timespec* rest) {
  static const auto next = kvx::bench::Next<int (*)(clockid_t, int, const struct timespec*,
                                                    struct timespec*)>("clock_nanosleep");
  if (kvx::bench::countingOn) ++kvx::bench::counted.sleeps;
  return next(clock, flags, duration, rest);
}

}  // extern "C"
