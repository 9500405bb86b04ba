#include "core/link/port_facts.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/link/port_select.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using std::chrono::microseconds;

// FTDI's latency timer when the driver does not say; the chips' own default.
constexpr int kFtdiDefaultLatencyMs = 16;
// A USB adapter without a latency timer still answers on the next USB frame at the soonest.
constexpr microseconds kUsbFrameHold{1000};
// A 16550's receive FIFO passes on bytes below its trigger level only after four character
// times without another byte.
constexpr int kFifoTimeoutChars = 4;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// A sysfs attribute's number; -1 when the file is missing or holds none.
int ReadNumber(const fs::path& file) {
  std::ifstream in(file);
  int value = -1;
  if (!(in >> value)) return -1;
  return value;
}

// The name of the driver bound to `device`, or empty. Since Linux 6.5 a UART's tty device is a
// port of the serial core (driver "port", under a "ctrl" device); the UART's own driver
// (serial8250, or serial for a PnP or PCI port) is bound to the device above those.
std::string DriverOf(const fs::path& ttyDevice) {
  std::error_code ec;
  fs::path device = fs::canonical(ttyDevice, ec);
  if (ec) return {};
  for (int up = 0; up < 3 && device.has_relative_path(); ++up, device = device.parent_path()) {
    const fs::path target = fs::read_symlink(device / "driver", ec);
    if (ec) return {};
    const std::string name = target.filename().string();
    if (name != "port" && name != "ctrl") return name;
  }
  return {};
}

PortKind KindOf(const std::string& resolved, const std::string& tty, bool inSysfs) {
  if (!inSysfs && (StartsWith(resolved, "/dev/pts/") || resolved == "/dev/ptmx"))
    return PortKind::Pseudo;
  if (StartsWith(tty, "ttyUSB")) return PortKind::UsbAdapter;
  if (StartsWith(tty, "ttyACM")) return PortKind::UsbModem;
  return inSysfs ? PortKind::NativeUart : PortKind::Unknown;
}

// The hold to expect from what was found, and the knob that would shorten it.
void Judge(PortFacts& f, int byteRate) {
  if (f.tty.empty()) return;  // sysfs does not know it: no guess
  if (f.kind == PortKind::UsbAdapter || f.kind == PortKind::UsbModem) {
    if (f.driver == "ftdi_sio") {
      const int ms = f.latencyTimerMs > 0 ? f.latencyTimerMs : kFtdiDefaultLatencyMs;
      f.answerHold = std::chrono::milliseconds(ms);
      if (ms > 1) f.knob = "latency_timer";
    } else {
      f.answerHold = kUsbFrameHold;  // cp210x, ch341, pl2303, cdc_acm: nothing to turn
    }
    return;
  }
  if (f.kind == PortKind::NativeUart && f.rxTrigBytes > 1 && byteRate > 0) {
    f.answerHold = microseconds(kFifoTimeoutChars * 1'000'000LL / byteRate);
    f.knob = "rx_trig_bytes";
  }
}

std::string_view KindText(PortKind kind) {
  switch (kind) {
    case PortKind::Pseudo: return "pseudo-terminal";
    case PortKind::NativeUart: return "UART";
    case PortKind::UsbAdapter: return "USB adapter";
    case PortKind::UsbModem: return "USB modem-class device";
    case PortKind::Unknown: break;
  }
  return "serial device";
}

}  // namespace

PortFacts ReadPortFacts(const std::string& device, const std::string& sysRoot, int byteRate) {
  PortFacts f;
  std::error_code ec;
  std::string resolved = fs::weakly_canonical(device, ec).string();
  if (ec) resolved = device;
  // A by-id link names the device it leads to; sysfs knows the tty by that device's name (or,
  // for a link kept elsewhere, by the link's own).
  const fs::path ttyClass = fs::path(sysRoot) / "class" / "tty";
  std::string name;
  for (const std::string& candidate : {fs::path(resolved).filename().string(),
                                       fs::path(device).filename().string()}) {
    if (!candidate.empty() && fs::exists(ttyClass / candidate / "device", ec)) {
      name = candidate;
      break;
    }
  }
  f.kind = KindOf(resolved, name.empty() ? fs::path(resolved).filename().string() : name,
                  !name.empty());
  if (f.kind == PortKind::Pseudo) return f;  // no device, nothing held
  if (!name.empty()) {
    f.tty = name;
    f.driver = DriverOf(ttyClass / name / "device");
    f.rxTrigBytes = ReadNumber(ttyClass / name / "rx_trig_bytes");
    if (f.kind == PortKind::UsbAdapter) {
      f.latencyTimerMs =
          ReadNumber(fs::path(sysRoot) / "bus" / "usb-serial" / "devices" / name / "latency_timer");
    }
  }
  Judge(f, byteRate);
  return f;
}

std::string HoldText(microseconds hold) {
  char text[32];
  if (hold.count() % 1000 == 0)
    std::snprintf(text, sizeof text, "%lld ms", static_cast<long long>(hold.count() / 1000));
  else
    std::snprintf(text, sizeof text, "%.2f ms", static_cast<double>(hold.count()) / 1000.0);
  return text;
}

std::string DescribePort(const PortFacts& f) {
  if (f.kind == PortKind::Pseudo) return "pseudo-terminal: no device, answers at once";
  std::string text = f.driver.empty() ? std::string() : f.driver + " ";
  text += KindText(f.kind);
  if (f.latencyTimerMs >= 0) text += ", latency_timer " + std::to_string(f.latencyTimerMs) + " ms";
  if (f.rxTrigBytes >= 0) text += ", rx_trig_bytes " + std::to_string(f.rxTrigBytes);
  if (f.lowLatency == LowLatency::On) text += ", low latency on";
  if (f.tty.empty()) return text + ": nothing known of its latency";
  if (f.answerHold.count() == 0) return text + ": answers without delay";
  return text + ": about " + HoldText(f.answerHold) + " per answered byte";
}

}  // namespace kvx

namespace kvx {

std::string DescribePortDevice(const std::string& device, const std::string& sysRoot) {
  if (IsSimPort(device)) return "the simulated Writer, in-process: answers without delay";
  return DescribePort(ReadPortFacts(device, sysRoot));
}

}  // namespace kvx
