// The status panel's OPTION lines, decoded from the workspace's OPTION word.
#pragma once

#include <array>
#include <string>

#include "core/device/catalogue.h"
#include "core/device/workspace.h"

namespace kvx {

struct PanelLine {
  std::string caption;  // "OSC Type:", "PRD:", ...
  std::string text;     // the value label's text
  bool greyed = false;  // the device has no such field: caption and value are disabled
};

// The six lines in drawing order: oscillator, PRD/MCLR, OST/PUT, WDT, PED, security (the
// order of OptionField).
struct PanelState {
  std::array<PanelLine, 6> lines;
  int optionStatus = 0;
};

// Where a field's value text lives in ws.OptionLabelText (and its caption in
// ws.OptionCaptionText): the panel's label order Label5..Label10 is oscillator, OST/PUT, WDT,
// PED, security, PRD/MCLR.
constexpr int PanelLabelSlot(OptionField field) {
  constexpr int slots[6] = {0, 5, 1, 2, 3, 4};
  return slots[field];
}

// Redraw: force the OPTION word's fixed bits, decode the six fields (updating
// ws.OptionLabelText, ws.OptionCaptionText, ws.PrdCaptionLeft and ws.OptionStatus), then
// CalChecksum. A greyed line keeps its previous text.
PanelState RefreshData(Workspace& ws);

}  // namespace kvx
