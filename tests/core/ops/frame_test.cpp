// The shared frame: link messages, the tick counter, the gauge rule, the pass count and the
// dialogs every view opens with.
#include <gtest/gtest.h>

#include "core/ops/frame.h"
#include "core/ops/recording_view.h"
#include "core/ops/workers.h"

namespace kvx {
namespace {

using testing::RecordingView;

TEST(Frame, LinkCodesBecomeTheOperatorsMessages) {
  EXPECT_EQ(LinkMessage(LinkResult::NoDevice), "Nothing in socket or type error!!");
  EXPECT_EQ(LinkMessage(LinkResult::AdapterError), "IC adapter board error!!");
  EXPECT_EQ(LinkMessage(LinkResult::Timeout), "Connect Timeout!!");
  for (LinkResult code : {LinkResult::BadReply, LinkResult::WriteFail, LinkResult::Done, LinkResult::Ready})
    EXPECT_EQ(LinkMessage(code), "Writer Error!!");
}

TEST(Frame, TickCountIsWholeSecondsSinceReset) {
  FakeClock clock;
  TickCounter ticks(clock);
  clock.Advance(std::chrono::milliseconds(2999));
  EXPECT_EQ(ticks.Ticks(), 2);
  clock.Advance(std::chrono::milliseconds(1));
  EXPECT_EQ(ticks.Ticks(), 3);
  ticks.Reset();
  EXPECT_EQ(ticks.Left(2), Millis{2000});
}

TEST(Frame, GaugeIsWrittenOnlyWhenTheWholePercentageGrowsAndStopsAt100) {
  RecordingView view;
  Gauge gauge(view);
  gauge.Start();
  for (int done = 0; done <= 1010; ++done) gauge.Progress(done, 1000);  // a few bytes too many
  gauge.Progress(5, 0);
  gauge.End();
  std::vector<int> expected(101);
  for (int i = 0; i <= 100; ++i) expected[i] = i;
  expected.push_back(100);
  EXPECT_EQ(view.GaugeValues(), expected);
}

TEST(Frame, DialogsOpenWithTheirCaptionsTitlesAndControls) {
  const struct {
    const DialogSpec& dialog;
    const char* caption;
    const char* title;
    bool gauge;
    bool closeBox;
  } cases[] = {
      {BlankCheckDialog(), "Blank Check", "Blank Check", false, false},
      {ReadDialog(), "Read", "Read", true, false},
      {ProgramMemoryDialog(), "Program Memory", "Program memory", false, false},
      {ProgramOptionDialog(), "Program OPTION", "OPTION", false, false},
      {ProgramIdDialog(), "Program ID Checksum", "ID and Checksum", false, false},
      {VerifyDialog(), "Verify", "Verify", false, false},
      {ProgramEepromDialog(), "Program EEPROM", "Program EEPROM", false, true},
      {ForceWriteDialog(), "Program Memory Without Check", "Program Memory Without Check", true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.dialog.caption, c.caption);
    EXPECT_EQ(c.dialog.title, c.title);
    EXPECT_EQ(c.dialog.gauge, c.gauge) << c.caption;
    EXPECT_EQ(c.dialog.closeBox, c.closeBox) << c.caption;
  }
  RecordingView view;
  view.Open(VerifyDialog());
  EXPECT_EQ(view.Text("Label2"), "Verify ......");
  EXPECT_FALSE(view.Visible("Label3"));
  EXPECT_FALSE(view.Visible("EEInfo"));
  EXPECT_FALSE(view.Enabled("Button1"));
}

}  // namespace
}  // namespace kvx
