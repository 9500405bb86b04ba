#include "gui/app/sim_bench.h"

namespace kvx::gui {

std::unique_ptr<kvx::SerialPort> SimBench::OpenPort(int deviceIndex) {
  if (deviceIndex < 0) return nullptr;
  if (!writer_ || deviceIndex != deviceIndex_) {
    writer_ = std::make_unique<kvx::sim::SimWriter>(deviceIndex);
    deviceIndex_ = deviceIndex;
  }
  return std::make_unique<kvx::sim::SimPort>(*writer_, clock_);
}

}  // namespace kvx::gui
