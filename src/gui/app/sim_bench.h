// The built-in simulated Writer behind the port name `sim` (KVXW_COM1=sim): a Writer with a chip
// of the selected device in its socket, answering in-process.
#pragma once

#include <memory>

#include "core/link/clock.h"
#include "core/link/serial_port.h"
#include "sim/sim_writer.h"

namespace kvx::gui {

class SimBench {
 public:
  // clock: simulated time for the Writer's answers and the port's waits (tests); null answers
  // at once and waits in real time.
  explicit SimBench(kvx::FakeClock* clock = nullptr) : clock_(clock) {}

  // A port to the Writer, whose socket holds a chip of `deviceIndex`: the same Writer (with its
  // chip and its faults) while the device stays the same, a fresh one for another device.
  std::unique_ptr<kvx::SerialPort> OpenPort(int deviceIndex);
  // The Writer of the last OpenPort, or null.
  kvx::sim::SimWriter* Writer() { return writer_.get(); }
  // The device of the chip in the socket, -1 before the first OpenPort.
  int DeviceIndex() const { return deviceIndex_; }

 private:
  kvx::FakeClock* clock_;
  int deviceIndex_ = -1;
  std::unique_ptr<kvx::sim::SimWriter> writer_;
};

}  // namespace kvx::gui
