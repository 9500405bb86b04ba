#include "cli/port_lines.h"

#include <algorithm>
#include <map>
#include <streambuf>
#include <utility>


namespace kvx::cli {

namespace {
constexpr int kBarWidth = 20;
constexpr std::string_view kProgress = "progress: ";
}  // namespace

// Collects one port's characters until a line end, then hands the whole line over.
class PortLines::LineBuf final : public std::streambuf {
 public:
  LineBuf(PortLines& owner, std::size_t port, bool err) : owner_(owner), port_(port), err_(err) {}
  void FlushPartial() {
    if (!line_.empty()) owner_.Line(port_, err_, std::exchange(line_, {}));
  }

 protected:
  int_type overflow(int_type ch) override {
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    const char c = traits_type::to_char_type(ch);
    if (c == '\n') {
      owner_.Line(port_, err_, std::exchange(line_, {}));
    } else if (c != '\r') {  // a bar's own carriage returns have no place between ports
      line_ += c;
    }
    return ch;
  }

 private:
  PortLines& owner_;
  std::size_t port_;
  bool err_;
  std::string line_;
};

PortLines::PortLines(std::ostream& out, std::ostream& err, bool errIsTerminal,
                     std::vector<std::string> ports)
    : out_(out), err_(err), terminal_(errIsTerminal), ports_(std::move(ports)),
      percent_(ports_.size(), -1), lastTenth_(ports_.size(), -1) {
  for (std::size_t p = 0; p < ports_.size(); ++p) {
    for (bool isErr : {false, true}) {
      bufs_.push_back(std::make_unique<LineBuf>(*this, p, isErr));
      streams_.push_back(std::make_unique<std::ostream>(bufs_.back().get()));
    }
  }
}

PortLines::~PortLines() { Finish(); }

std::ostream& PortLines::Out(std::size_t port) { return *streams_[2 * port]; }
std::ostream& PortLines::Err(std::size_t port) { return *streams_[2 * port + 1]; }

void PortLines::Finish() {
  for (auto& buf : bufs_) buf->FlushPartial();
  std::lock_guard lock(mutex_);
  ClearBars();
}

void PortLines::Progress(std::size_t port, int percent) {
  std::lock_guard lock(mutex_);
  percent = std::clamp(percent, 0, 100);
  if (!terminal_) {
    if (percent / 10 < lastTenth_[port]) lastTenth_[port] = -1;  // a new transfer
    if (percent / 10 == lastTenth_[port]) return;
    lastTenth_[port] = percent / 10;
    err_ << kProgress << ports_[port] << ' ' << percent << '\n' << std::flush;
    return;
  }
  // A finished transfer takes its bar away.
  percent_[port] = percent >= 100 ? -1 : percent;
  DrawBars();
}

void PortLines::Line(std::size_t port, bool err, const std::string& text) {
  std::lock_guard lock(mutex_);
  const bool bars = barsShown_;
  ClearBars();
  (err ? err_ : out_) << '[' << ports_[port] << "] " << text << '\n' << std::flush;
  if (bars) DrawBars();
}

void PortLines::DrawBars() {
  if (std::all_of(percent_.begin(), percent_.end(), [](int p) { return p < 0; })) {
    ClearBars();
    return;
  }
  std::string line = "\r";
  for (std::size_t p = 0; p < ports_.size(); ++p) {
    if (percent_[p] < 0) continue;
    const int filled = percent_[p] * kBarWidth / 100;
    line += ports_[p] + " [" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') +
            "] " + std::to_string(percent_[p]) + "%  ";
  }
  err_ << line << "\x1b[K" << std::flush;
  barsShown_ = true;
}

void PortLines::ClearBars() {
  if (!barsShown_) return;
  err_ << "\r\x1b[K" << std::flush;
  barsShown_ = false;
}

std::vector<std::string> PortLines::DistinctNames(const std::vector<std::string>& shown) {
  std::map<std::string, int> seen;
  std::vector<std::string> names;
  for (const std::string& name : shown) {
    const int n = ++seen[name];
    names.push_back(n == 1 ? name : name + "#" + std::to_string(n));
  }
  return names;
}

}  // namespace kvx::cli
