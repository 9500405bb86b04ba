// A workspace with one device selected, as the main window has it after choosing the device.
#pragma once

#include <memory>
#include <string>

#include "core/device/catalogue.h"
#include "core/device/workspace.h"

namespace kvx::test {

inline std::unique_ptr<Workspace> WorkspaceFor(const std::string& device, std::uint8_t low = 0x7F,
                                               std::uint8_t high = 0x7F) {
  auto ws = std::make_unique<Workspace>();
  ws->device.SelectedDevice = device;
  ws->device.DeviceIndex = GetICInfo(*ws, device);
  for (int i = 1; i < kProgramBufferBytes; i += 2) ws->image.ProgramBuffer[i] = ws->device.BlankHigh;
  ws->image.OptionLow = low;
  ws->image.OptionHigh = high;
  return ws;
}

}  // namespace kvx::test
