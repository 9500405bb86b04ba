// A pseudo-terminal standing in for a serial adapter: the test keeps the master side (the
// Writer's end of the cable) and `name` is the side the port code opens.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kvx::test {

class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    char buf[128];
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0 &&
        ::ptsname_r(master_, buf, sizeof buf) == 0)
      name = buf;
  }
  ~Pty() { CloseMaster(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  // The adapter is pulled: the port side sees a hang-up.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  void Send(const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Everything that arrives within `max`, up to `want` bytes.
  std::vector<std::uint8_t> Receive(size_t want,
                                    std::chrono::milliseconds max = std::chrono::seconds(2)) {
    std::vector<std::uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + max;
    while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 20) != 1) continue;
      std::uint8_t buf[4096];
      const ssize_t n = ::read(master_, buf, std::min(sizeof buf, want - got.size()));
      if (n > 0) got.insert(got.end(), buf, buf + n);
    }
    return got;
  }
  int master() const { return master_; }
  std::string name;

 private:
  int master_ = -1;
};

}  // namespace kvx::test
