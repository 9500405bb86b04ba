#include "core/link/download.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/device/catalogue.h"
#include "core/link/scripted_port.h"
#include "sim/sim_writer.h"

namespace kvx {
namespace {

struct RecordingView : DownloadView {
  void SelectLine(int index) override { selected.push_back(index); }
  void SetGauge(int percent) override { gauges.push_back(percent); }
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  void Progress(const ProgressEvent& e) override {
    EXPECT_EQ(e.what, Transfer::DeviceRecords);
    records.push_back(std::to_string(e.done) + "/" + std::to_string(e.total));
  }
  std::vector<int> selected;
  std::vector<std::string> records;  // the progress events, "done/total"
  std::vector<int> gauges;
  std::vector<std::string> messages;
};

std::string RecordName(const DownloadRecord& r) { return std::string(r.begin() + 2, r.begin() + 18); }

void UntickAll(DeviceDownload& d) {
  for (int i = 0; i < d.ListedCount(); ++i)
    if (d.Lines()[i].Ticked) d.CheckListBox1ClickCheck(i);
}

// ---- The list -----------------------------------------------------------------------------------

TEST(DeviceDownloadList, ListsTheCatalogueAndTicksAtMostSixteenPresets) {
  DeviceDownload d;
  EXPECT_EQ(d.ListedCount(), kDeviceCount);
  EXPECT_EQ(d.TickedCount(), 16);
  int presetsSeen = 0;
  for (int i = 0; i < d.ListedCount(); ++i) {
    EXPECT_EQ(d.Lines()[i].Name, GetIcName(i));
    if (GetDownload(i) != 0) ++presetsSeen;
    // The first sixteen preset devices in list order are ticked, the rest are not.
    EXPECT_EQ(d.Lines()[i].Ticked, GetDownload(i) != 0 && presetsSeen <= 16) << GetIcName(i);
  }
  EXPECT_GT(presetsSeen, 16);
}

TEST(DeviceDownloadList, SeventeenthTickIsRefused) {
  DeviceDownload d;
  const int unticked = 0;  // KVX-01 has no preset tick
  ASSERT_FALSE(d.Lines()[unticked].Ticked);
  EXPECT_EQ(d.CheckListBox1ClickCheck(unticked), "Already selected 16 devices");
  EXPECT_FALSE(d.Lines()[unticked].Ticked);
  EXPECT_EQ(d.TickedCount(), 16);

  const int ticked = FindDevice("KVX-03");
  EXPECT_EQ(d.CheckListBox1ClickCheck(ticked), "");
  EXPECT_EQ(d.TickedCount(), 15);
  EXPECT_EQ(d.CheckListBox1ClickCheck(unticked), "");
  EXPECT_TRUE(d.Lines()[unticked].Ticked);
  EXPECT_EQ(d.TickedCount(), 16);
  EXPECT_EQ(d.CheckListBox1ClickCheck(99), "");  // no such line
  EXPECT_EQ(d.TickedCount(), 16);
}

// ---- Records ------------------------------------------------------------------------------------

TEST(DownloadRecords, DeviceRecordCarriesTheCatalogueRow) {
  Workspace ws;
  GetICInfo(ws, "KVX-03");
  const DownloadRecord r = BuildDeviceRecord(ws, 2);
  EXPECT_EQ(r[0], 0xA9);
  EXPECT_EQ(r[1], 2);
  EXPECT_EQ(RecordName(r), "KVX-03          ");  // padded with spaces to 16
  const std::array<std::uint8_t, 7> fields{r[18], r[19], r[20], r[21], r[22], r[23], r[24]};
  EXPECT_EQ(fields, (std::array<std::uint8_t, 7>{0x01, 0x00, 0x02, 0x20, 0x3F, 1, 1}));
  EXPECT_TRUE(std::all_of(r.begin() + 25, r.begin() + 31, [](std::uint8_t b) { return b == 0; }));
  int sum = 0;
  for (int i = 1; i <= 30; ++i) sum += r[i];
  EXPECT_EQ(r[31], sum % 256);
}

TEST(DownloadRecords, OpeningRecordIsSlotFFWithNoContent) {
  DownloadRecord expected{};
  expected[0] = 0xA9;
  expected[1] = 0xFF;
  expected[31] = 0xFF;
  EXPECT_EQ(BuildOpeningRecord(), expected);
}

// ---- Download against the simulated Writer --------------------------------------------------------

struct DownloadBench {
  explicit DownloadBench(std::string id = " ZQR640B V3.10", std::uint8_t typeByte = 0xB4,
                         const char* device = "KVX-19")
      : writer(FindDevice(device), typeByte, std::move(id)), port(writer, &clock), link(ws, port, clock) {
    ws.device.SelectedDevice = device;
    ws.device.DeviceIndex = GetICInfo(ws, device);
  }
  std::string Run() { return download.DownLoadClick(link, view); }

  Workspace ws;
  FakeClock clock;
  sim::SimWriter writer;
  sim::SimPort port;
  WriterLink link;
  DeviceDownload download;
  RecordingView view;
};

TEST(DownloadClick, NothingTickedSendsOnlyTheOpeningRecord) {
  DownloadBench b;
  UntickAll(b.download);
  EXPECT_EQ(b.Run(), "");
  ASSERT_EQ(b.writer.DownloadRecords().size(), 1u);
  EXPECT_EQ(b.writer.DownloadRecords()[0][1], 0xFF);
  ASSERT_FALSE(b.view.gauges.empty());
  EXPECT_EQ(b.view.gauges.back(), 100);
  EXPECT_EQ(b.download.Gauge(), 100);
  EXPECT_TRUE(b.view.messages.empty());
}

TEST(DownloadClick, TickedDevicesGoInListOrderWithSlotsFromOne) {
  DownloadBench b;
  const TimePoint start = b.clock.Now();
  EXPECT_EQ(b.Run(), "");
  const auto records = b.writer.DownloadRecords();
  ASSERT_EQ(records.size(), 17u);
  int slot = 1;
  for (int i = 0; i < b.download.ListedCount(); ++i) {
    if (!b.download.Lines()[i].Ticked) continue;
    const auto& r = records[slot];
    EXPECT_EQ(r[1], slot);
    EXPECT_EQ(RecordName(r).substr(0, 6), GetIcName(i));
    EXPECT_EQ(r[20], Catalogue[i].AlgorithmCode) << GetIcName(i);
    ++slot;
  }
  // A pause after every record, and every line highlighted on the way.
  EXPECT_GE(b.clock.Now() - start, 16 * kRecordPause);
  EXPECT_EQ(b.view.selected.size(), static_cast<std::size_t>(kDeviceCount));
  EXPECT_TRUE(std::is_sorted(b.view.gauges.begin(), b.view.gauges.end()));
  EXPECT_EQ(b.view.gauges.front(), 0);
  EXPECT_EQ(b.view.gauges.back(), 100);
  // Progress counts the records the Writer took, of the sixteen ticked.
  ASSERT_EQ(b.view.records.size(), 16u);
  EXPECT_EQ(b.view.records.front(), "1/16");
  EXPECT_EQ(b.view.records.back(), "16/16");
}

TEST(DownloadClick, MainWindowsDeviceIsLoadedAgainAfterwards) {
  for (const long silentAfter : {-1L, 2L + 32 + 32 + 10}) {  // a full run, and one ending early
    DownloadBench b;
    b.writer.Faults().SilentAfter = silentAfter;
    b.Run();
    // Records already sent stay in the Writer.
    EXPECT_EQ(b.writer.DownloadRecords().size(), silentAfter < 0 ? 17u : 2u);
    EXPECT_EQ(b.ws.device.DeviceName, "KVX-19");
    EXPECT_EQ(b.ws.device.DeviceIndex, FindDevice("KVX-19"));
    EXPECT_EQ(b.ws.device.AlgorithmCode, 0x35);
    EXPECT_EQ(b.ws.device.LastAddrHigh, 0x0F);
  }
}

TEST(DownloadClick, WriterChecksEndWithTheirMessages) {
  struct Case {
    const char* what;
    std::string id;
    std::uint8_t typeByte;
    const char* device;
    bool ctsInactive;
    std::string message;
  };
  const std::string update = "Please update the writer firmware";
  const std::string model = "This writer does not support devices download function";
  const Case cases[] = {
      {"newer version, text order", " ZQR640B V3.1", 0xB4, "KVX-19", false, ""},
      {"same version", " ZQR640B V3.09", 0xB4, "KVX-19", false, ""},
      {"older version", " ZQR640B V3.08", 0xB4, "KVX-19", false, update},
      {"no version", " ZQR640B", 0xB4, "KVX-19", false, update},
      {"other model", " ZQR640A V3.10", 0xB4, "KVX-19", false, model},
      {"model without leading blank", "ZQR640B V3.10", 0xB4, "KVX-19", false, model},
      {"typed Writer of the wrong type", " ZQR640B V3.10", 0xB2, "KVX-19", false, "Writer Error!!"},
      {"typed Writer tells no identification", " ZQR640B V3.10", 0xB2, "KVX-03", false, update},
      {"no CTS", " ZQR640B V3.10", 0xB4, "KVX-19", true, "Connect Timeout!!"},
  };
  for (const Case& c : cases) {
    DownloadBench b(c.id, c.typeByte, c.device);
    // An identification left from an earlier Writer must not let the download through.
    b.ws.results.WriterId = " ZQR640B V3.10";
    b.ws.results.WriterVersion = "V3.10";
    b.writer.Faults().CtsInactive = c.ctsInactive;
    EXPECT_EQ(b.Run(), c.message) << c.what;
    const std::size_t expectedRecords = c.message.empty() ? 17u : 0u;
    EXPECT_EQ(b.writer.DownloadRecords().size(), expectedRecords) << c.what;
    if (!c.message.empty()) {
      EXPECT_EQ(b.view.messages, std::vector<std::string>{c.message}) << c.what;
    }
  }
}

TEST(DownloadClick, RecordAnsweredOtherwiseIsAWriterError) {
  Workspace ws;
  FakeClock clock;
  test::ScriptedPort port(clock);
  WriterLink link(ws, port, clock);
  const std::string id = " ZQR640B V3.10";
  port.AnswerAt(0, {0xB4});
  std::vector<std::uint8_t> idAnswer(id.begin(), id.end());
  idAnswer.push_back(0xB8);
  port.AnswerAt(1, idAnswer);
  port.AnswerAt(1 + 32, {0xB8});       // the opening record
  port.AnswerAt(1 + 32 + 32, {0xB5});  // the first device record
  DeviceDownload download;
  RecordingView view;
  EXPECT_EQ(download.DownLoadClick(link, view), "Writer Error!!");
  EXPECT_EQ(port.sent.size(), 2u + 64u);
}

}  // namespace
}  // namespace kvx
