#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/device/option_layout.h"

namespace kvx {
namespace {

constexpr OptionField kFields[] = {OscField, PrdField, OstField, WdtField, PedField, SecurityField};

std::vector<const FieldVariant*> AllVariants() {
  std::vector<const FieldVariant*> all;
  for (OptionField f : kFields)
    for (int v = 0; v <= 9; ++v)
      if (const FieldVariant* fv = FindFieldVariant(f, v)) all.push_back(fv);
  return all;
}

// Erased, all zero, and a mixed pattern.
constexpr std::uint8_t kStarts[][2] = {{0x7F, 0x7F}, {0x00, 0x00}, {0x2A, 0x55}};

int Word(std::uint8_t low, std::uint8_t high) { return low + 128 * high; }

TEST(OptionLayout, EveryChoiceRoundTripsAndMovesOnlyItsFieldsBits) {
  ASSERT_EQ(AllVariants().size(), 28u);  // oscillator 1-8, PRD 1-2, OST 1-5, ...
  for (const FieldVariant* v : AllVariants()) {
    int readBits = 0;
    for (const BitRange& r : v->read) readBits |= ((1 << r.width) - 1) << r.shift;
    // The PB4 oscillator reads bits 4-5 but writes the whole of bits 0-5.
    EXPECT_EQ(FieldBits(*v), v->field == OscField && v->variant == 3 ? 0x3F : readBits);
    for (int item = -1; item <= v->Count(); ++item) {
      const int expected = item == v->Count() ? 0 : std::max(item, 0);  // outside: item 0
      for (const auto& start : kStarts) {
        SCOPED_TRACE(testing::Message() << "field " << v->field << " variant " << v->variant
                                        << " item " << item << " start " << int(start[0]));
        std::uint8_t low = start[0], high = start[1];
        EncodeField(v->field, v->variant, item, low, high);
        const DecodedField d = DecodeField(*v, low, high);
        EXPECT_TRUE(d.listed);
        EXPECT_EQ(d.item, expected);
        EXPECT_EQ(Word(low, high) & ~FieldBits(*v), Word(start[0], start[1]) & ~FieldBits(*v));
        EXPECT_LE(low | high, 0x7F);
      }
    }
  }
  for (OptionField f : kFields) {  // the device has no such field: nothing changes
    std::uint8_t low = 0x12, high = 0x34;
    EncodeField(f, 0, 1, low, high);
    EXPECT_EQ(Word(low, high), Word(0x12, 0x34));
  }
}

TEST(OptionLayout, DecodesCodesToTheTextsTheOperatorSees) {
  struct Case {
    OptionField field;
    int variant;
    std::uint8_t low, high;
    const char* panel;
    const char* editor;  // the selected item's text in the editor
  };
  const Case cases[] = {
      {OscField, 1, 0x7F, 0x7F, "Blank", "Blank"},
      {OscField, 1, 0x03, 0x00, "Error", "Blank"},  // unlisted: item 0 in the editor
      {OscField, 2, 0x2A, 0x00, "RC, CLK", "RC & CLK"},
      {OscField, 3, 0x2A, 0x00, "CLKOUT", "CLKOUT"},
      {OscField, 3, 0x0F, 0x00, "Error", "Blank"},
      {OscField, 8, 0x0A, 0x00, "455KHz", "455KHz"},
      {PedField, 3, 0x10, 0x10, "High", "High level"},  // key 6
      {PedField, 4, 0x10, 0x10, "Error", "Blank"},      // variant 4 has no High level
      {PedField, 3, 0x20, 0x10, "Low", "Low level"},
      {OstField, 3, 0x40, 0x04, "20mS", "20mS"},
      {SecurityField, 1, 0x7F, 0x7F, "Blank", "Blank"},
      {SecurityField, 1, 0x00, 0x00, "Error", "Blank"},
      {SecurityField, 2, 0x7F, 0x7F, "Disable", "Disable"},  // no Blank on one bit
      {SecurityField, 4, 0x7F, 0x7D, "Enable", "Enable"},
  };
  for (const Case& c : cases) {
    const FieldVariant& v = *FindFieldVariant(c.field, c.variant);
    const DecodedField d = DecodeField(v, c.low, c.high);
    EXPECT_EQ(d.panel, c.panel) << c.field << '/' << c.variant << ' ' << c.panel;
    EXPECT_STREQ(v.choices[d.item].editor, c.editor) << c.field << '/' << c.variant;
  }
}

TEST(OptionLayout, Pb4ChoiceWritesTheWholeOscillatorField) {
  std::uint8_t low = 0x7F, high = 0x7F;
  EncodeField(OscField, 3, 1, low, high);
  EXPECT_EQ(low, 0x5A);  // bits 0-5 = 0x1A, bit 6 untouched
  EXPECT_EQ(high, 0x7F);
}

TEST(OptionLayout, NoTwoFieldsOfAnyLayoutRowShareBits) {
  for (int row = 0; row < 24; ++row) {
    std::vector<const FieldVariant*> fields;
    for (int f = 0; f < 6; ++f)
      if (const FieldVariant* v = FindFieldVariant(kFields[f], OptionLayoutTable[row][f]))
        fields.push_back(v);
    for (const FieldVariant* a : fields) {
      for (const FieldVariant* b : fields) {
        if (a == b) continue;
        SCOPED_TRACE(testing::Message() << "row " << row << " fields " << a->field << ','
                                        << b->field);
        EXPECT_EQ(FieldBits(*a) & FieldBits(*b), 0);
        for (const auto& start : kStarts) {  // every choice of a leaves what b reads alone
          for (int item = 0; item < a->Count(); ++item) {
            std::uint8_t low = start[0], high = start[1];
            EncodeField(*a, item, low, high);
            EXPECT_EQ(ReadFieldCode(*b, low, high), ReadFieldCode(*b, start[0], start[1]));
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace kvx
