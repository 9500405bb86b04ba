// The status panel's OPTION lines, decoded from the workspace's OPTION word.
#pragma once

#include <array>
#include <string>

#include "core/device/catalogue.h"
#include "core/device/workspace.h"

namespace kvx {

struct PanelLine {
  std::string text;     // the value label's text
  bool greyed = false;  // the device has no such field: caption and value are disabled
};

// The six lines in drawing order: oscillator, PRD/MCLR, OST/PUT, WDT, PED, security (the
// order of OptionField).
struct PanelState {
  std::array<PanelLine, 6> lines;
  int optionStatus = 0;
};

// Where a field's value text lives in ws.panel.OptionLabelText (and its caption in
// PanelCaptions::text): the panel's label order Label5..Label10 is oscillator, OST/PUT, WDT,
// PED, security, PRD/MCLR.
constexpr int PanelLabelSlot(OptionField field) {
  constexpr int slots[6] = {0, 5, 1, 2, 3, 4};
  return slots[field];
}

// Redraw: force the OPTION word's fixed bits, decode the six fields (updating
// ws.panel.OptionLabelText and ws.results.OptionStatus), then CalChecksum. A greyed line keeps its
// previous text.
PanelState RefreshData(Workspace& ws);

// The captions of the six OPTION lines (StaticText2..StaticText7, in label order) and where a
// layout moved the PRD/MCLR caption (0 = not moved). Some layouts rename a line ("PUT:",
// "MCLR HI:", "PB4 Type:", "IRC freq.:"); a line the device does not have keeps the caption it had,
// so what a panel shows depends on what it showed before as well as on the device. The panel
// keeps its captions; NextCaptions says how they change.
struct PanelCaptions {
  std::array<std::string, 6> text{"OSC Type:", "OST:", "WDT:", "PED:", "Security:", "PRD:"};
  int prdLeft = 0;
  const std::string& For(OptionField field) const { return text[PanelLabelSlot(field)]; }
};

// The captions after a redraw for ws's device, on a panel that showed `shown`.
PanelCaptions NextCaptions(PanelCaptions shown, const Workspace& ws);

}  // namespace kvx
