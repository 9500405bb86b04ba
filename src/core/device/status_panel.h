// The status panel's OPTION lines, decoded from the workspace's OPTION word.
#pragma once

#include <array>
#include <string>

#include "core/device/workspace.h"

namespace kvx {

struct PanelLine {
  std::string caption;  // "OSC Type:", "PRD:", ...
  std::string text;     // the value label's text
  bool greyed = false;  // the device has no such field
};

// The six lines in drawing order: oscillator, PRD/MCLR, OST/PUT, WDT, PED, security.
struct PanelState {
  std::array<PanelLine, 6> lines;
  int optionStatus = 0;
};

// Redraw: force the OPTION word's fixed bits, decode the six fields (updating
// ws.OptionLabelText and ws.OptionStatus), then CalChecksum.
PanelState RefreshData(Workspace& ws);

}  // namespace kvx
