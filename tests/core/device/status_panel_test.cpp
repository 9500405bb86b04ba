#include <gtest/gtest.h>

#include <string>

#include "core/device/status_panel.h"
#include "core/device/device_test_support.h"

namespace kvx {
namespace {

using test::WorkspaceFor;

// "CAPTION TEXT" per line, "CAPTION -" when greyed, as the operator reads the panel.
std::string Shown(const PanelState& p, const PanelCaptions& captions) {
  std::string s;
  for (int f = OscField; f <= SecurityField; ++f) {
    const PanelLine& l = p.lines[f];
    s += captions.For(static_cast<OptionField>(f)) + " " + (l.greyed ? "-" : l.text) + "|";
  }
  return s;
}

TEST(StatusPanel, DecodesTheForcedWordAsTheOperatorSeesIt) {
  struct Case {
    const char* device;
    std::uint8_t low, high;
    const char* shown;
    int status;
    std::uint8_t forcedHigh;
  };
  const Case cases[] = {
      {"KVX-03", 0x7F, 0x7F,
       "OSC Type: Blank|PRD: -|OST: Blank|WDT: Blank|PED: Blank|Security: Disable|", 1, 0x5F},
      {"KVX-03", 0x15, 0x0D,  // HF, 20mS, WDT enable, PED disable, protected
       "OSC Type: HF|PRD: -|OST: 20mS|WDT: Enable|PED: Disable|Security: Enable|", 0, 0x0D},
      {"KVX-03", 0x73, 0x7F,
       "OSC Type: Error|PRD: -|OST: Blank|WDT: Blank|PED: Blank|Security: Disable|", 3, 0x5F},
      {"KVX-09", 0x7F, 0x7F, "OSC Type: -|PRD: -|OST: -|WDT: -|PED: -|Security: Disable|", 0,
       0x40},
      {"KVX-18", 0x26, 0x0B,
       "OSC Type: XT|PRD: Disable|PUT: 0mS|WDT: Disable|PED: Disable|Security: Enable|", 0, 0x0B},
      {"KVX-23", 0x19, 0x17,  // PED level key 4 x 1 + 2
       "OSC Type: LF|PRD: -|PUT: 0mS|WDT: Blank|PED: High|Security: Enable|", 1, 0x17},
      {"KVX-50", 0x29, 0x00,
       "OSC Type: 8MHz|PRD: -|OST: -|WDT: Disable|PED: Enable|Security: Enable|", 0, 0x00},
      {"KVX-01", 0x7F, 0x00,  // the fixed bit 0x10 set whatever the file or editor put there
       "OSC Type: Blank|PRD: -|PUT: Error|WDT: Blank|PED: Enable|Security: Error|", 3, 0x10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    auto ws = WorkspaceFor(c.device, c.low, c.high);
    const PanelState p = RefreshData(*ws);
    EXPECT_EQ(Shown(p, NextCaptions({}, *ws)), c.shown);
    EXPECT_EQ(p.optionStatus, c.status);
    EXPECT_EQ(ws->results.OptionStatus, c.status);
    EXPECT_EQ(ws->image.OptionHigh, c.forcedHigh);
    EXPECT_EQ(ws->panel.ChecksumText.size(), 4u);  // the sums follow every redraw
  }
}

TEST(StatusPanel, GreyedLinesKeepTheirLastTextAndCaption) {
  auto ws = WorkspaceFor("KVX-18", 0x26, 0x0B);  // PUT, XT
  RefreshData(*ws);
  PanelCaptions captions = NextCaptions({}, *ws);
  ws->device.DeviceIndex = GetICInfo(*ws, "KVX-09");  // only security
  const PanelState p = RefreshData(*ws);
  captions = NextCaptions(captions, *ws);
  EXPECT_EQ(p.lines[OscField].text, "XT");
  EXPECT_EQ(captions.For(OstField), "PUT:");  // only a non-zero variant sets it again
  EXPECT_EQ(p.lines[OstField].text, "0mS");
  // The label order the configuration file stores: Label5..Label10.
  EXPECT_EQ(ws->panel.OptionLabelText, (std::array<std::string, 6>{"XT", "0mS", "Disable", "Disable",
                                                             "Enable", "Disable"}));
}

TEST(StatusPanel, CaptionsFollowTheVariants) {
  auto ws = WorkspaceFor("KVX-03");
  PanelCaptions captions;  // one panel, redrawn case after case
  struct Case {
    std::array<std::uint8_t, 6> select;  // rows no device uses: the vocabulary still holds them
    const char* osc;
    const char* prd;
    int prdLeft;
    bool prdGreyed;
    const char* ost;
  };
  const Case cases[] = {
      {{3, 2, 5, 1, 1, 2}, "PB4 Type:", "MCLR HI:", 40, false, "PUT:"},
      {{8, 1, 1, 1, 1, 2}, "IRC freq.:", "PRD:", 72, true, "OST:"},  // greyed after drawing
      {{0, 0, 0, 0, 0, 2}, "OSC Type:", "PRD:", 72, true, "OST:"},   // only OSC resets
  };
  for (const Case& c : cases) {
    ws->device.OptionFieldSelect = c.select;
    const PanelState p = RefreshData(*ws);
    captions = NextCaptions(captions, *ws);
    EXPECT_EQ(captions.For(OscField), c.osc);
    EXPECT_EQ(captions.For(PrdField), c.prd);
    EXPECT_EQ(p.lines[PrdField].text, "Blank");
    EXPECT_EQ(p.lines[PrdField].greyed, c.prdGreyed);
    EXPECT_EQ(captions.prdLeft, c.prdLeft);
    EXPECT_EQ(captions.For(OstField), c.ost);
  }
}

TEST(StatusPanel, SingleBitSecurityNeverShowsBlankOrError) {
  for (const char* device : {"KVX-03", "KVX-50", "KVX-49"}) {
    for (int high = 0; high < 128; ++high) {
      auto ws = WorkspaceFor(device, 0x00, static_cast<std::uint8_t>(high));
      const std::string text = RefreshData(*ws).lines[SecurityField].text;
      ASSERT_TRUE(text == "Disable" || text == "Enable") << device << ' ' << high << ' ' << text;
    }
  }
}

}  // namespace
}  // namespace kvx
