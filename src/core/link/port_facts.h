// What a serial port is and how long it will hold the Writer's answers. Every acknowledged byte
// waits for its one-byte answer, so on real hardware a pass's speed is set by how long a lone
// answer byte takes to reach the program, not by the baud rate: an FTDI adapter holds it for its
// latency timer (16 ms unless tuned), a 16550 UART whose receive FIFO triggers at more than one
// byte holds it for the FIFO's time-out (about four characters). Both are read from sysfs.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace kvx {

enum class PortKind {
  Pseudo,      // a pseudo-terminal (the simulated Writer's link): no device behind it
  NativeUart,  // a UART on the board or a card (ttyS*)
  UsbAdapter,  // a USB serial adapter (ttyUSB*)
  UsbModem,    // a modem-class USB device (ttyACM*)
  Unknown,     // nothing in sysfs says
};

// Whether the driver took the low-latency flag TComm asks for on opening.
enum class LowLatency {
  NotOffered,  // the driver has no such setting (pseudo-terminals, most USB drivers)
  Refused,     // the request failed, or the flag read back off
  On,
};

struct PortFacts {
  PortKind kind = PortKind::Unknown;
  std::string tty;          // "ttyUSB0"; empty when the device is no tty sysfs knows
  std::string driver;       // "ftdi_sio", "serial8250", "cp210x", ...; empty when sysfs has none
  int latencyTimerMs = -1;  // an FTDI adapter's latency_timer; -1 where the driver has none
  int rxTrigBytes = -1;     // a 16550's receive FIFO trigger; -1 where the UART has none
  LowLatency lowLatency = LowLatency::NotOffered;
  // How long each lone answer byte is held before the program sees it, beyond its wire time.
  std::chrono::microseconds answerHold{0};
  // The setting that would shorten the hold, when it is not at its best: "latency_timer" or
  // "rx_trig_bytes"; empty when there is none to turn.
  std::string_view knob;

  bool Slow() const { return !knob.empty(); }
};

// Finds what `device` is (symbolic links followed) from the sysfs tree under `sysRoot`.
// `byteRate`: bytes per second on the line, for a FIFO's time-out (11520 at 115200 8N1).
PortFacts ReadPortFacts(const std::string& device, const std::string& sysRoot = "/sys",
                        int byteRate = 11520);

// One line for the port list and the port chooser's tooltip:
// "ftdi_sio USB adapter, latency_timer 16 ms: about 16 ms per answered byte".
std::string DescribePort(const PortFacts& facts);

// The description of a port as the port list shows it: DescribePort of its facts, or what the
// simulated Writer's port is.
std::string DescribePortDevice(const std::string& device, const std::string& sysRoot = "/sys");

// "0.35 ms", "16 ms": a hold as the descriptions show it.
std::string HoldText(std::chrono::microseconds hold);

}  // namespace kvx
