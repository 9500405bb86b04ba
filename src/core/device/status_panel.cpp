#include "core/device/status_panel.h"

#include "core/device/checksum.h"
#include "core/device/option_layout.h"

namespace kvx {
namespace {

// Decode one field into its panel label; false when the device has no such field, so the line
// is greyed and keeps its old text.
bool DrawLine(Workspace& ws, OptionField field) {
  const FieldVariant* v = FindFieldVariant(field, ws.OptionFieldSelect[field]);
  if (v == nullptr) return false;
  const int slot = PanelLabelSlot(field);
  if (v->panelCaption != nullptr) ws.OptionCaptionText[slot] = v->panelCaption;
  if (v->panelCaptionLeft != 0) ws.PrdCaptionLeft = v->panelCaptionLeft;
  const DecodedField decoded = DecodeField(*v, ws.OptionLow, ws.OptionHigh);
  ws.OptionLabelText[slot] = std::string(decoded.panel);
  if (decoded.panel == "Blank") ws.OptionStatus |= 1;
  if (!decoded.listed) ws.OptionStatus |= 2;
  return true;
}

}  // namespace

PanelState RefreshData(Workspace& ws) {
  ForceOptionBits(ws);
  ws.OptionStatus = 0;
  ws.OptionCaptionText[PanelLabelSlot(OscField)] = "OSC Type:";

  PanelState state;
  for (int f = OscField; f <= SecurityField; ++f) {
    const auto field = static_cast<OptionField>(f);
    state.lines[f].greyed = !DrawLine(ws, field);
    const int slot = PanelLabelSlot(field);
    state.lines[f].caption = ws.OptionCaptionText[slot];
    state.lines[f].text = ws.OptionLabelText[slot];
  }
  // Layouts with an oscillator start-up time (OST 1-3) show no PRD line.
  const int ost = ws.OptionFieldSelect[OstField];
  if (ost >= 1 && ost <= 3) state.lines[PrdField].greyed = true;
  state.optionStatus = ws.OptionStatus;
  CalChecksum(ws);
  return state;
}

}  // namespace kvx
