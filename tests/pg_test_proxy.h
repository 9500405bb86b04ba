// A network that stalls, for the tests of the shared journal: a TCP proxy on 127.0.0.1 in front
// of the test server's Unix socket. Stall() stops all forwarding while every connection stays
// open (and new ones are accepted and held), as a link that drops packets leaves its client
// waiting. The proxy runs on a thread of its own for at most `life`; its end (or its destructor)
// closes every connection, so nothing it held waits beyond it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kvx::test {

// The value of `key` in a URI's query ("host" of "postgresql:///db?host=/x&user=u"), or empty.
inline std::string UriQueryValue(const std::string& uri, const std::string& key) {
  const auto query = uri.find('?');
  if (query == std::string::npos) return {};
  for (std::size_t at = query + 1; at < uri.size();) {
    const auto end = std::min(uri.find('&', at), uri.size());
    const std::string pair = uri.substr(at, end - at);
    if (pair.starts_with(key + "=")) return pair.substr(key.size() + 1);
    at = end + 1;
  }
  return {};
}

// The Unix socket of the server a test URI ("postgresql:///db?host=DIR&user=u") names.
inline std::string ServerSocketOf(const std::string& uri) {
  return UriQueryValue(uri, "host") + "/.s.PGSQL.5432";
}

// The same database and user as `uri`, reached over TCP on 127.0.0.1:port.
inline std::string UriThroughPort(const std::string& uri, int port) {
  const auto slashes = uri.find(":///");
  const auto query = uri.find('?');
  const std::string db = uri.substr(slashes + 4, query - slashes - 4);
  return "postgresql://" + UriQueryValue(uri, "user") + "@127.0.0.1:" + std::to_string(port) +
         "/" + db;
}

class StallingProxy {
 public:
  explicit StallingProxy(std::string serverSocket,
                         std::chrono::seconds life = std::chrono::seconds(180))
      : socket_(std::move(serverSocket)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listen_, 64) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      if (listen_ >= 0) ::close(listen_);
      listen_ = -1;
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, life] { Run(life); });
  }
  ~StallingProxy() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  StallingProxy(const StallingProxy&) = delete;
  StallingProxy& operator=(const StallingProxy&) = delete;

  bool Listening() const { return port_ > 0; }
  int Port() const { return port_; }
  // From its return on nothing is forwarded either way.
  void Stall() {
    stalled_ = true;
    std::unique_lock lock(mutex_);
    held_.wait(lock, [this] { return stallSeen_ || !running_; });
  }
  // Forwarding again, as a link that came back: the connections it held while stalled were
  // never joined to the server, and are closed as soon as their client sends.
  void Resume() {
    std::lock_guard lock(mutex_);
    stalled_ = false;
    stallSeen_ = false;
    holding_ = false;
  }
  // Waits up to `limit` until, stalled, the proxy holds back something a client sent: a client
  // is waiting for the server.
  bool WaitForHeldRequest(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return held_.wait_for(lock, limit, [this] { return holding_; });
  }

 private:
  struct Pair {
    int client;
    int server;  // -1: accepted while stalled, never connected on
  };

  int ConnectServer() const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket_.c_str(), sizeof address.sun_path - 1);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
      return fd;
    if (fd >= 0) ::close(fd);
    return -1;
  }

  // Copies what `from` has to `to`; false when `from` closed or either failed.
  static bool Forward(int from, int to) {
    char buffer[65536];
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got <= 0) return false;
    for (ssize_t sent = 0; sent < got;) {
      const ssize_t n = ::write(to, buffer + sent, static_cast<std::size_t>(got - sent));
      if (n <= 0) return false;
      sent += n;
    }
    return true;
  }

  void Run(std::chrono::seconds life) {
    std::vector<Pair> pairs;
    const auto end = std::chrono::steady_clock::now() + life;
    while (!done_ && std::chrono::steady_clock::now() < end) {
      const bool stalled = stalled_;
      bool holding = false;
      {
        std::lock_guard lock(mutex_);
        holding = holding_;
        if (stalled && !stallSeen_) {
          stallSeen_ = true;
          held_.notify_all();
        }
      }
      std::vector<pollfd> fds{{listen_, POLLIN, 0}};
      // Stalled, the clients are only watched until one is seen waiting.
      if (!stalled || !holding)
        for (const Pair& p : pairs) {
          fds.push_back({p.client, POLLIN, 0});
          fds.push_back({p.server, static_cast<short>(stalled ? 0 : POLLIN), 0});
        }
      if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
      if (fds[0].revents & POLLIN) {
        const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
          const int server = stalled ? -1 : ConnectServer();
          if (!stalled && server < 0)
            ::close(client);
          else
            pairs.push_back({client, server});
        }
      }
      std::vector<Pair> open;
      for (std::size_t i = 0; i + 1 < fds.size(); i += 2) {
        Pair p = pairs[i / 2];
        const short clientReady = fds[i + 1].revents, serverReady = fds[i + 2].revents;
        bool alive = true;
        if (stalled && clientReady != 0) {
          std::lock_guard lock(mutex_);
          holding_ = true;
          held_.notify_all();
        } else if (!stalled) {
          if (clientReady != 0) alive = Forward(p.client, p.server);
          if (alive && serverReady != 0) alive = Forward(p.server, p.client);
        }
        if (alive) {
          open.push_back(p);
        } else {
          ::close(p.client);
          ::close(p.server);
        }
      }
      if (fds.size() > 1) open.insert(open.end(), pairs.begin() + (fds.size() - 1) / 2, pairs.end());
      else open = pairs;
      pairs = std::move(open);
    }
    for (const Pair& p : pairs) {
      ::close(p.client);
      if (p.server >= 0) ::close(p.server);
    }
    ::close(listen_);
    std::lock_guard lock(mutex_);
    running_ = false;
    held_.notify_all();
  }

  std::string socket_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stalled_{false};
  std::atomic<bool> done_{false};
  std::mutex mutex_;
  std::condition_variable held_;
  bool holding_ = false;
  bool stallSeen_ = false;  // the thread forwards nothing more
  bool running_ = true;
  std::thread thread_;
};

}  // namespace kvx::test
