#include "core/link/port_facts.h"

#include <gtest/gtest.h>

#include "core/link/fake_sysfs.h"
#include "core/link/test_pty.h"

namespace kvx {
namespace {

using std::chrono::microseconds;
using test::FakeSysfs;

// Each kind of port, as sysfs shows it, and what the program makes of it: the driver, the
// setting read, how long each answer is held and the knob an operator could turn.
TEST(PortFactsTest, FindsTheDriverAndTheAnswerHoldOfEachKindOfPort) {
  const struct Case {
    const char* tty;
    const char* driver;
    const char* attribute;
    const char* value;
    PortKind kind;
    microseconds hold;
    const char* knob;
    const char* description;
  } cases[] = {
      {"ttyUSB0", "ftdi_sio", "latency_timer", "16", PortKind::UsbAdapter, microseconds(16000),
       "latency_timer", "ftdi_sio USB adapter, latency_timer 16 ms: about 16 ms per answered byte"},
      {"ttyUSB1", "ftdi_sio", "latency_timer", "1", PortKind::UsbAdapter, microseconds(1000), "",
       "ftdi_sio USB adapter, latency_timer 1 ms: about 1 ms per answered byte"},
      // An FTDI driver that does not show the timer: the chip's default.
      {"ttyUSB2", "ftdi_sio", "", "", PortKind::UsbAdapter, microseconds(16000), "latency_timer",
       "ftdi_sio USB adapter: about 16 ms per answered byte"},
      {"ttyUSB3", "cp210x", "", "", PortKind::UsbAdapter, microseconds(1000), "",
       "cp210x USB adapter: about 1 ms per answered byte"},
      {"ttyUSB4", "ch341-uart", "", "", PortKind::UsbAdapter, microseconds(1000), "",
       "ch341-uart USB adapter: about 1 ms per answered byte"},
      {"ttyUSB5", "pl2303", "", "", PortKind::UsbAdapter, microseconds(1000), "",
       "pl2303 USB adapter: about 1 ms per answered byte"},
      {"ttyACM0", "cdc_acm", "", "", PortKind::UsbModem, microseconds(1000), "",
       "cdc_acm USB modem-class device: about 1 ms per answered byte"},
      // A 16550 triggering at 8 bytes holds a lone byte four characters (347 us at 115200).
      {"ttyS0", "serial8250", "rx_trig_bytes", "8", PortKind::NativeUart, microseconds(347),
       "rx_trig_bytes", "serial8250 UART, rx_trig_bytes 8: about 0.35 ms per answered byte"},
      {"ttyS1", "serial8250", "rx_trig_bytes", "1", PortKind::NativeUart, microseconds(0), "",
       "serial8250 UART, rx_trig_bytes 1: answers without delay"},
      {"ttyS2", "serial", "", "", PortKind::NativeUart, microseconds(0), "",
       "serial UART: answers without delay"},
      // Linux 6.5 on: the UART's driver sits above the serial core's port and controller.
      {"ttyS4", "serial", "rx_trig_bytes", "8", PortKind::NativeUart, microseconds(347),
       "rx_trig_bytes", "serial UART, rx_trig_bytes 8: about 0.35 ms per answered byte"},
  };
  FakeSysfs sys;
  for (const Case& c : cases) {
    if (std::string_view(c.tty) == "ttyS4")
      sys.SerialCoreTty(c.tty, c.driver, c.value);
    else
      sys.Tty(c.tty, c.driver, c.attribute, c.value);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tty);
    const PortFacts f = ReadPortFacts(std::string("/dev/") + c.tty, sys.Root());
    EXPECT_EQ(f.kind, c.kind);
    EXPECT_EQ(f.driver, c.driver);
    EXPECT_EQ(f.answerHold, c.hold);
    EXPECT_EQ(f.knob, c.knob);
    EXPECT_EQ(f.Slow(), *c.knob != '\0');
    EXPECT_EQ(DescribePort(f), c.description);
  }
}

TEST(PortFactsTest, APseudoTerminalHasNoDeviceAndHoldsNothing) {
  test::Pty pty;
  ASSERT_FALSE(pty.name.empty());
  FakeSysfs sys;
  const PortFacts f = ReadPortFacts(pty.name, sys.Root());
  EXPECT_EQ(f.kind, PortKind::Pseudo);
  EXPECT_FALSE(f.Slow());
  EXPECT_EQ(DescribePort(f), "pseudo-terminal: no device, answers at once");
  // A name sysfs does not know is reported as such, without a guess.
  EXPECT_EQ(DescribePort(ReadPortFacts("/dev/ttyXYZ9", sys.Root())),
            "serial device: nothing known of its latency");
  const PortFacts unplugged = ReadPortFacts("/dev/ttyUSB7", sys.Root());
  EXPECT_FALSE(unplugged.Slow());
  EXPECT_EQ(DescribePort(unplugged), "USB adapter: nothing known of its latency");
}

}  // namespace
}  // namespace kvx
