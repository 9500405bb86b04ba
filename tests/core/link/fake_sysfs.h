// A stand-in for /sys with the tty devices a test puts in it, laid out as the kernel does: the
// tty's class entry with its device and that device's driver link, a 16550's rx_trig_bytes
// beside it, and a USB serial port's latency_timer under bus/usb-serial.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kvx::test {

class FakeSysfs {
 public:
  FakeSysfs()
      : root_(std::filesystem::temp_directory_path() /
              ("kvx_sysfs_" + std::to_string(::getpid()) + "_" + std::to_string(++made_))) {
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
  }
  ~FakeSysfs() { std::filesystem::remove_all(root_); }
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  // A tty bound to `driver`; `attribute` (rx_trig_bytes, latency_timer) holds `value` where the
  // driver keeps it, unless `value` is empty.
  void Tty(const std::string& tty, const std::string& driver, const std::string& attribute = {},
           const std::string& value = {}) {
    namespace fs = std::filesystem;
    const fs::path device = root_ / "class" / "tty" / tty / "device";
    fs::create_directories(device);
    fs::create_symlink("../../../../bus/platform/drivers/" + driver, device / "driver");
    if (value.empty()) return;
    const fs::path where = attribute == "latency_timer"
                               ? root_ / "bus" / "usb-serial" / "devices" / tty
                               : root_ / "class" / "tty" / tty;
    fs::create_directories(where);
    std::ofstream(where / attribute) << value << '\n';
  }
  // A UART as Linux 6.5 and later show it: the tty's device is a port of the serial core
  // (driver "port") under a controller (driver "ctrl") under the UART bound to `driver`.
  void SerialCoreTty(const std::string& tty, const std::string& driver, const std::string& rxTrig) {
    namespace fs = std::filesystem;
    const fs::path uart = root_ / "devices" / "pnp0" / ("00:0" + std::to_string(++made_));
    const fs::path ctrl = uart / (uart.filename().string() + ":0");
    const fs::path port = ctrl / (ctrl.filename().string() + ".0");
    fs::create_directories(port);
    fs::create_symlink("../../../bus/pnp/drivers/" + driver, uart / "driver");
    fs::create_symlink("../../../../bus/serial-base/drivers/ctrl", ctrl / "driver");
    fs::create_symlink("../../../../../bus/serial-base/drivers/port", port / "driver");
    const fs::path ttyDir = root_ / "class" / "tty" / tty;
    fs::create_directories(ttyDir);
    fs::create_symlink(port, ttyDir / "device");
    std::ofstream(ttyDir / "rx_trig_bytes") << rxTrig << '\n';
  }
  std::string Root() const { return root_.string(); }

 private:
  static inline int made_ = 0;
  std::filesystem::path root_;
};

}  // namespace kvx::test
