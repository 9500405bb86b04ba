// The OPTION word's field layouts: for each of the six fields (oscillator, PRD/MCLR HI, OST/PUT,
// WDT, PED, security) the variants a device may use, with the bits each reads, the codes and
// the texts the status panel and the option editor show, and the masks and codes the editor
// writes back. The status panel decodes through these; the option editor decodes and encodes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/device/catalogue.h"

namespace kvx {

// A run of bits of the OPTION word W = OptionLow + 128 * OptionHigh.
struct BitRange {
  std::uint8_t shift = 0;
  std::uint8_t width = 0;  // 0: unused
};

// One choice of a field: its code as read, the panel's and the editor's text, and the bits
// the editor ORs into (EditLow, EditHigh) after clearing the field.
struct OptionChoice {
  std::uint8_t code = 0;
  const char* panel = nullptr;  // nullptr ends the list
  const char* editor = nullptr;
  std::uint8_t orLow = 0;
  std::uint8_t orHigh = 0;
};

inline constexpr int kMaxChoices = 6;

struct FieldVariant {
  OptionField field;
  int variant;
  const char* panelCaption;   // nullptr: the panel keeps its caption
  const char* editorCaption;  // nullptr: the editor keeps its resource caption
  int panelCaptionLeft;       // 0: the caption control stays where it is
  // The code is read[0]'s bits, then read[1]'s above them.
  std::array<BitRange, 2> read;
  std::uint8_t clearLow;   // AND masks that clear exactly the field's bits
  std::uint8_t clearHigh;
  std::array<OptionChoice, kMaxChoices> choices;  // in the editor's order; item 0 first

  constexpr int Count() const {
    int n = 0;
    while (n < kMaxChoices && choices[n].panel != nullptr) ++n;
    return n;
  }
};

// The variant `variant` of `field`, or nullptr for 0 and any value not in the vocabulary.
const FieldVariant* FindFieldVariant(OptionField field, int variant);

// The field's code as read from the two stored bytes.
int ReadFieldCode(const FieldVariant& v, std::uint8_t low, std::uint8_t high);

struct DecodedField {
  int item = 0;             // the editor's selection: an unlisted code selects item 0
  std::string_view panel;   // the panel's text: "Error" for an unlisted code
  bool listed = false;
};
DecodedField DecodeField(const FieldVariant& v, std::uint8_t low, std::uint8_t high);

// The editor's change of a list: clear the field's bits, then OR in the chosen item's code. An
// item outside the list writes item 0's code.
void EncodeField(const FieldVariant& v, int item, std::uint8_t& low, std::uint8_t& high);
// The same by variant number; variant 0 (the device has no such field) changes nothing.
void EncodeField(OptionField field, int variant, int item, std::uint8_t& low, std::uint8_t& high);

// The bits of W the field owns (what its clear masks clear).
int FieldBits(const FieldVariant& v);

// ---- The option editor's window, as its resource defines it ------------------------------------
struct EditorControls {
  const char* labelControl;
  const char* labelCaption;  // default caption
  const char* listControl;
  std::array<const char*, 5> items;  // the list in the window resource; nullptr ends it
};
// Indexed by OptionField.
extern const std::array<EditorControls, 6> OptionEditorControls;

// The read-only note below the lists (Memo1), line by line.
extern const std::array<const char*, 13> OptionEditorNote;

}  // namespace kvx
