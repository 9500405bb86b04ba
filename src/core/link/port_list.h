// The ports an operator can pick the Writer from: the eight fixed names, and every USB serial
// device plugged in now (USB serial adapters, /dev/ttyUSB*, and modem-class devices such as a
// Writer with a USB port of its own, /dev/ttyACM*). A USB device is named by its stable link in
// /dev/serial/by-id when it has one, so the same Writer keeps its name whichever socket it is in.
#pragma once

#include <string>
#include <vector>

#include "core/link/port_select.h"

namespace kvx {

struct PortChoice {
  std::string name;    // what the chooser shows and what is remembered: "Com1", a by-id path
  std::string device;  // where it leads now: "/dev/ttyS0", "/dev/ttyUSB0", "sim"
  bool operator==(const PortChoice&) const = default;
};

// Com1 .. Com8 (each where KVXW_COMn or the default leads), then the USB serial devices under
// `devRoot` in the order of their device names (ttyACM0 .. ttyUSB2 .. ttyUSB10).
std::vector<PortChoice> ListPorts(const std::string& devRoot = "/dev", const EnvLookup& env = {});

}  // namespace kvx
