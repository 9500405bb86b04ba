#include "core/device/option_layout.h"

namespace kvx {
namespace {

// A choice whose panel and editor texts agree, and one where they differ.
constexpr OptionChoice Same(int code, const char* text, int orLow, int orHigh) {
  return {static_cast<std::uint8_t>(code), text, text, static_cast<std::uint8_t>(orLow),
          static_cast<std::uint8_t>(orHigh)};
}
constexpr OptionChoice Two(int code, const char* panel, const char* editor, int orLow, int orHigh) {
  return {static_cast<std::uint8_t>(code), panel, editor, static_cast<std::uint8_t>(orLow),
          static_cast<std::uint8_t>(orHigh)};
}

constexpr BitRange Bits(int first, int last) {
  return {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(last - first + 1)};
}

// Masks that leave a byte alone.
constexpr std::uint8_t Keep = 0xFF;

constexpr std::array<FieldVariant, 28> Variants{{
    // ---- Oscillator ---------------------------------------------------------------------------
    {OscField, 1, "OSC Type:", "Oscillator Type", 0, {Bits(0, 3)}, 0xF0, Keep,
     {Same(0xF, "Blank", 0x0F, 0), Same(0x5, "HF", 0x05, 0), Same(0x6, "XT", 0x06, 0),
      Same(0x9, "LF", 0x09, 0), Same(0xA, "RC", 0x0A, 0)}},
    {OscField, 2, "OSC Type:", "Oscillator Type", 0, {Bits(0, 5)}, 0x40, Keep,
     {Same(0x3F, "Blank", 0x3F, 0), Same(0x15, "HF", 0x15, 0), Same(0x16, "XT", 0x16, 0),
      Same(0x19, "LF", 0x19, 0), Two(0x1A, "RC, PB4", "RC & PB4", 0x1A, 0),
      Two(0x2A, "RC, CLK", "RC & CLK", 0x2A, 0)}},
    // Read from bits 4-5 only, but written as the whole of bits 0-5.
    {OscField, 3, "PB4 Type:", "PB4 Type", 0, {Bits(4, 5)}, 0x40, Keep,
     {Same(3, "Blank", 0x3F, 0), Same(1, "PB4", 0x1A, 0), Same(2, "CLKOUT", 0x2A, 0)}},
    {OscField, 4, "OSC Type:", "Oscillator Type", 0, {Bits(0, 5)}, 0x40, Keep,
     {Same(0x3F, "Blank", 0x3F, 0), Same(0x15, "HF", 0x15, 0), Same(0x16, "XT", 0x16, 0),
      Same(0x19, "LF", 0x19, 0), Same(0x1A, "RC", 0x1A, 0), Same(0x2A, "ECLK", 0x2A, 0)}},
    {OscField, 5, "OSC Type:", "Oscillator Type", 0, {Bits(0, 3)}, 0xF0, Keep,
     {Same(0xF, "Blank", 0x0F, 0), Same(0x6, "6MHz", 0x06, 0), Same(0x9, "18MHz", 0x09, 0),
      Same(0xA, "24MHz", 0x0A, 0)}},
    {OscField, 6, "OSC Type:", "Oscillator Type", 0, {Bits(0, 1)}, 0xFC, Keep,
     {Same(3, "Blank", 0x03, 0), Same(1, "6MHz", 0x01, 0), Same(2, "12MHz", 0x02, 0)}},
    {OscField, 7, "OSC Type:", "Oscillator Type", 0, {Bits(4, 5)}, 0x4F, Keep,
     {Same(3, "Blank", 0x30, 0), Same(1, "4MHz", 0x10, 0), Same(2, "8MHz", 0x20, 0)}},
    {OscField, 8, "IRC freq.:", "Internal RC freq.", 0, {Bits(0, 3)}, 0xF0, Keep,
     {Same(0xF, "Blank", 0x0F, 0), Same(0x5, "8MHz", 0x05, 0), Same(0x6, "4MHz", 0x06, 0),
      Same(0x9, "1MHz", 0x09, 0), Same(0xA, "455KHz", 0x0A, 0)}},

    // ---- PRD / MCLR HI ------------------------------------------------------------------------
    {PrdField, 1, "PRD:", "PRD:", 72, {Bits(4, 5)}, 0x4F, Keep,
     {Same(3, "Blank", 0x30, 0), Same(2, "Disable", 0x20, 0), Same(1, "Enable", 0x10, 0)}},
    {PrdField, 2, "MCLR HI:", "MCLR HI:", 40, {Bits(10, 11)}, Keep, 0x67,
     {Same(3, "Blank", 0, 0x18), Same(2, "Disable", 0, 0x10), Same(1, "Enable", 0, 0x08)}},

    // ---- OST / PUT ----------------------------------------------------------------------------
    {OstField, 1, "OST:", "OST", 0, {Bits(4, 7)}, 0x0F, 0x7E,
     {Same(0xF, "Blank", 0x70, 0x01), Same(0xA, "150uS", 0x20, 0x01),
      Same(0x9, "20mS", 0x10, 0x01), Same(0x6, "40mS", 0x60, 0), Same(0x5, "80mS", 0x50, 0)}},
    {OstField, 2, "OST:", "OST", 0, {Bits(4, 7)}, 0x0F, 0x7E,
     {Same(0xF, "Blank", 0x70, 0x01), Same(0x9, "20mS", 0x10, 0x01), Same(0x6, "40mS", 0x60, 0),
      Same(0x5, "80mS", 0x50, 0)}},
    {OstField, 3, "OST:", "OST", 0, {Bits(6, 9)}, 0x3F, 0x78,
     {Same(0xF, "Blank", 0x40, 0x07), Same(0x9, "20mS", 0x40, 0x04), Same(0x6, "40mS", 0, 0x03),
      Same(0x5, "80mS", 0x40, 0x02)}},
    {OstField, 4, "PUT:", "PUT", 0, {Bits(6, 7)}, 0x3F, 0x7E,
     {Same(3, "Blank", 0x40, 0x01), Same(2, "0mS", 0, 0x01), Same(1, "75mS", 0x40, 0)}},
    {OstField, 5, "PUT:", "PUT", 0, {Bits(8, 9)}, Keep, 0x79,
     {Same(3, "Blank", 0, 0x06), Same(2, "0mS", 0, 0x04), Same(1, "75mS", 0, 0x02)}},

    // ---- WDT ----------------------------------------------------------------------------------
    {WdtField, 1, nullptr, nullptr, 0, {Bits(8, 9)}, Keep, 0x79,
     {Same(3, "Blank", 0, 0x06), Same(1, "Disable", 0, 0x02), Same(2, "Enable", 0, 0x04)}},
    {WdtField, 2, nullptr, nullptr, 0, {Bits(10, 11)}, Keep, 0x67,
     {Same(3, "Blank", 0, 0x18), Same(1, "Disable", 0, 0x08), Same(2, "Enable", 0, 0x10)}},
    {WdtField, 3, nullptr, nullptr, 0, {Bits(4, 5)}, 0x4F, Keep,
     {Same(3, "Blank", 0x30, 0), Same(2, "Disable", 0x20, 0), Same(1, "Enable", 0x10, 0)}},
    {WdtField, 4, nullptr, nullptr, 0, {Bits(0, 1)}, 0x7C, Keep,
     {Same(3, "Blank", 0x03, 0), Same(1, "Disable", 0x01, 0), Same(2, "Enable", 0x02, 0)}},

    // ---- PED ----------------------------------------------------------------------------------
    {PedField, 1, nullptr, nullptr, 0, {Bits(10, 11)}, Keep, 0x67,
     {Same(3, "Blank", 0, 0x18), Same(1, "Disable", 0, 0x08), Same(2, "Enable", 0, 0x10)}},
    {PedField, 2, nullptr, nullptr, 0, {Bits(6, 7)}, 0x3F, 0x7E,
     {Same(3, "Blank", 0x40, 0x01), Same(2, "Disable", 0, 0x01), Same(1, "Enable", 0x40, 0)}},
    // The level fields key on 4 x (bits 4-5) + (bits 10-11).
    {PedField, 3, nullptr, nullptr, 0, {Bits(10, 11), Bits(4, 5)}, 0x4F, 0x67,
     {Same(15, "Blank", 0x30, 0x18), Same(9, "Disable", 0x20, 0x08),
      Two(10, "Low", "Low level", 0x20, 0x10), Two(5, "Middle", "Middle level", 0x10, 0x08),
      Two(6, "High", "High level", 0x10, 0x10)}},
    {PedField, 4, nullptr, nullptr, 0, {Bits(10, 11), Bits(4, 5)}, 0x4F, 0x67,
     {Same(15, "Blank", 0x30, 0x18), Same(9, "Disable", 0x20, 0x08),
      Two(10, "Low", "Low level", 0x20, 0x10), Two(5, "Middle", "Middle level", 0x10, 0x08)}},
    {PedField, 5, nullptr, nullptr, 0, {Bits(2, 3)}, 0x73, Keep,
     {Same(3, "Blank", 0x0C, 0), Same(1, "Disable", 0x04, 0), Same(2, "Enable", 0x08, 0)}},

    // ---- Security: variants 2-4 are one bit, with no Blank ------------------------------------
    {SecurityField, 1, nullptr, nullptr, 0, {Bits(12, 13)}, Keep, 0x1F,
     {Same(3, "Blank", 0, 0x60), Same(2, "Disable", 0, 0x40), Same(1, "Enable", 0, 0x20)}},
    {SecurityField, 2, nullptr, nullptr, 0, {Bits(13, 13)}, Keep, 0x3F,
     {Same(1, "Disable", 0, 0x40), Same(0, "Enable", 0, 0)}},
    {SecurityField, 3, nullptr, nullptr, 0, {Bits(10, 10)}, Keep, 0x77,
     {Same(1, "Disable", 0, 0x08), Same(0, "Enable", 0, 0)}},
    {SecurityField, 4, nullptr, nullptr, 0, {Bits(8, 8)}, Keep, 0x7D,
     {Same(1, "Disable", 0, 0x02), Same(0, "Enable", 0, 0)}},
}};

int ReadRange(BitRange r, int word) { return (word >> r.shift) & ((1 << r.width) - 1); }

}  // namespace

const FieldVariant* FindFieldVariant(OptionField field, int variant) {
  for (const auto& v : Variants)
    if (v.field == field && v.variant == variant) return &v;
  return nullptr;
}

int ReadFieldCode(const FieldVariant& v, std::uint8_t low, std::uint8_t high) {
  const int word = (low & 0x7F) | ((high & 0x7F) << 7);
  return ReadRange(v.read[0], word) | (ReadRange(v.read[1], word) << v.read[0].width);
}

DecodedField DecodeField(const FieldVariant& v, std::uint8_t low, std::uint8_t high) {
  const int code = ReadFieldCode(v, low, high);
  for (int i = 0; i < v.Count(); ++i)
    if (v.choices[i].code == code) return {i, v.choices[i].panel, true};
  return {0, "Error", false};
}

void EncodeField(const FieldVariant& v, int item, std::uint8_t& low, std::uint8_t& high) {
  if (item < 0 || item >= v.Count()) item = 0;
  const OptionChoice& c = v.choices[item];
  low = static_cast<std::uint8_t>((low & v.clearLow) | c.orLow);
  high = static_cast<std::uint8_t>((high & v.clearHigh) | c.orHigh);
}

void EncodeField(OptionField field, int variant, int item, std::uint8_t& low, std::uint8_t& high) {
  if (const FieldVariant* v = FindFieldVariant(field, variant)) EncodeField(*v, item, low, high);
}

int FieldBits(const FieldVariant& v) {
  return (~v.clearLow & 0x7F) | ((~v.clearHigh & 0x7F) << 7);
}

const std::array<EditorControls, 6> OptionEditorControls{{
    // label        caption            list         items in the resource
    {"StaticText1", "Oscillator Type", "ComboBox1", {"Blank", "HF", "XT", "LF", "RC"}},
    {"StaticText6", "PRD", "ComboBox6", {"Blank", "Disable", "Enable"}},
    {"StaticText2", "OST", "ComboBox2", {"Blank", "150uS", "20mS", "40mS", "80mS"}},
    {"StaticText3", "WDT", "ComboBox3", {"Blank", "Disable", "Enable"}},
    {"StaticText4", "PED", "ComboBox4", {"Blank", "Disable", "Enable"}},
    {"StaticText5", "Security", "ComboBox5", {"Weak disable", "Disable", "Enable"}},
}};

const std::array<const char*, 13> OptionEditorNote{
    "PRD=Power Range Detect.",
    "         Don't enable PRD if the operating voltage",
    "         is under 4.5V.",
    "OST=Oscillator Start-up Time.",
    "         Don't choice 150us if the oscillator type is",
    "         LF, XT or HF.",
    "PUT=Power Up Time.",
    "WDT=Watchdog Timer.",
    "PED=Power Edge Detect.",
    "         Low level around 1.8V.",
    "         Middle level around 2.1V. (recommend value)",
    "         High level around 3.8V.",
    // The last line points to the chip maker's data sheet.
    "        (Please refer to the spec for the actual value)",
};

}  // namespace kvx
