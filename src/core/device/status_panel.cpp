#include "core/device/status_panel.h"

#include "core/device/checksum.h"
#include "core/device/option_layout.h"

namespace kvx {
namespace {

// Decode one field into its panel label; false when the device has no such field, so the line
// is greyed and keeps its old text.
bool DrawLine(Workspace& ws, OptionField field) {
  const FieldVariant* v = FindFieldVariant(field, ws.device.OptionFieldSelect[field]);
  if (v == nullptr) return false;
  const int slot = PanelLabelSlot(field);
  const DecodedField decoded = DecodeField(*v, ws.image.OptionLow, ws.image.OptionHigh);
  ws.panel.OptionLabelText[slot] = std::string(decoded.panel);
  if (decoded.panel == "Blank") ws.results.OptionStatus |= 1;
  if (!decoded.listed) ws.results.OptionStatus |= 2;
  return true;
}

}  // namespace

PanelState RefreshData(Workspace& ws) {
  ForceOptionBits(ws);
  ws.results.OptionStatus = 0;

  PanelState state;
  for (int f = OscField; f <= SecurityField; ++f) {
    const auto field = static_cast<OptionField>(f);
    state.lines[f].greyed = !DrawLine(ws, field);
    state.lines[f].text = ws.panel.OptionLabelText[PanelLabelSlot(field)];
  }
  // Layouts with an oscillator start-up time (OST 1-3) show no PRD line.
  const int ost = ws.device.OptionFieldSelect[OstField];
  if (ost >= 1 && ost <= 3) state.lines[PrdField].greyed = true;
  state.optionStatus = ws.results.OptionStatus;
  CalChecksum(ws);
  return state;
}

PanelCaptions NextCaptions(PanelCaptions shown, const Workspace& ws) {
  shown.text[PanelLabelSlot(OscField)] = "OSC Type:";
  for (int f = OscField; f <= SecurityField; ++f) {
    const auto field = static_cast<OptionField>(f);
    const FieldVariant* v = FindFieldVariant(field, ws.device.OptionFieldSelect[field]);
    if (v == nullptr) continue;
    if (v->panelCaption != nullptr) shown.text[PanelLabelSlot(field)] = v->panelCaption;
    if (v->panelCaptionLeft != 0) shown.prdLeft = v->panelCaptionLeft;
  }
  return shown;
}

}  // namespace kvx
