#include "core/link/port_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "core/printers.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

// A stand-in for /dev with the entries a test puts in it.
class FakeDev {
 public:
  FakeDev() : root_(fs::temp_directory_path() / ("kvx_ports_" + std::to_string(::getpid()))) {
    fs::remove_all(root_);
    fs::create_directories(root_ / "serial" / "by-id");
  }
  ~FakeDev() { fs::remove_all(root_); }
  void Device(const std::string& name) { std::ofstream(root_ / name).put('\0'); }
  void Remove(const std::string& name) { fs::remove(root_ / name); }
  void ById(const std::string& link, const std::string& device) {
    fs::create_symlink(fs::path("../..") / device, root_ / "serial" / "by-id" / link);
  }
  std::string Path(const std::string& name) const { return (root_ / name).string(); }
  std::string Root() const { return root_.string(); }

 private:
  fs::path root_;
};

const char* NoEnv(const char*) { return nullptr; }

TEST(PortListTest, FixedNamesThenUsbDevicesByTheirStableNames) {
  FakeDev dev;
  for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyUSBx", "tty", "null"})
    dev.Device(name);
  dev.ById("usb-FTDI_FT232R_A1B2C3-if00-port0", "ttyUSB2");
  // A second link to the same adapter (a udev rule of its own): the first in name order names it.
  dev.ById("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", "ttyUSB2");
  dev.ById("usb-Gone_Adapter-if00", "ttyUSB7");  // a link left behind by an unplugged device

  const auto env = [](const char* name) -> const char* {
    return std::strcmp(name, "KVXW_COM2") == 0 ? "sim" : nullptr;
  };
  const std::vector<PortChoice> ports = ListPorts(dev.Root(), env);
  ASSERT_EQ(ports.size(), 11u);
  EXPECT_EQ(ports[0], (PortChoice{"Com1", "/dev/ttyS0"}));
  EXPECT_EQ(ports[1], (PortChoice{"Com2", "sim"}));
  EXPECT_EQ(ports[7], (PortChoice{"Com8", "/dev/ttyS7"}));
  EXPECT_EQ(ports[8], (PortChoice{dev.Path("ttyACM0"), dev.Path("ttyACM0")}));
  EXPECT_EQ(ports[9], (PortChoice{dev.Path("serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0"),
                                  dev.Path("ttyUSB2")}));
  EXPECT_EQ(ports[10], (PortChoice{dev.Path("ttyUSB10"), dev.Path("ttyUSB10")}));
}

TEST(PortListTest, FollowsPluggingAndUnplugging) {
  FakeDev dev;
  EXPECT_EQ(ListPorts(dev.Root(), NoEnv).size(), 8u);
  dev.Device("ttyUSB0");
  ASSERT_EQ(ListPorts(dev.Root(), NoEnv).size(), 9u);
  EXPECT_EQ(ListPorts(dev.Root(), NoEnv).back().device, dev.Path("ttyUSB0"));
  dev.Remove("ttyUSB0");
  EXPECT_EQ(ListPorts(dev.Root(), NoEnv).size(), 8u);
  // A folder that cannot be read still leaves the fixed names.
  EXPECT_EQ(ListPorts(dev.Path("no-such-folder"), NoEnv).size(), 8u);
}

}  // namespace
}  // namespace kvx
