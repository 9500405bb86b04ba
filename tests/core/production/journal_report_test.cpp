#include "core/production/journal_report.h"

#include <gtest/gtest.h>

#include "core/printers.h"

namespace kvx {
namespace {

PassRecord Pass(std::string started, std::string port, std::string series, PassOutcome outcome) {
  PassRecord p;
  p.started = std::move(started);
  p.port = std::move(port);
  p.series = std::move(series);
  p.outcome = outcome;
  return p;
}

const std::vector<PassRecord> kPasses = {
    Pass("2026-12-07T23:59:59.000Z", "COM1", "A", PassOutcome::Ok),
    Pass("2026-12-08T00:00:00.000Z", "COM1", "A", PassOutcome::ChipFailed),
    Pass("2026-12-08T09:15:00.000Z", "COM2", "B", PassOutcome::Ok),
    Pass("2026-12-08T09:45:00.000Z", "COM2", "A", PassOutcome::Unknown),
    Pass("2026-12-09T00:00:00.000Z", "COM1", "B", PassOutcome::Ok),
};

TEST(JournalReportTest, SelectionNarrowsByTimeSeriesPortAndOutcome) {
  const struct {
    const char* what;
    PassSelection selection;
    std::vector<std::size_t> chosen;
  } cases[] = {
      {"everything", {}, {0, 1, 2, 3, 4}},
      {"from a day on", {.from = "2026-12-08"}, {1, 2, 3, 4}},
      {"until a day, the day included", {.until = "2026-12-08"}, {0, 1, 2, 3}},
      {"one day", {.from = "2026-12-08", .until = "2026-12-08"}, {1, 2, 3}},
      {"until a minute, the minute included", {.until = "2026-12-08T09:44"}, {0, 1, 2}},
      {"until the next minute", {.until = "2026-12-08T09:45"}, {0, 1, 2, 3}},
      {"a series", {.series = "B"}, {2, 4}},
      {"a port", {.port = "COM2"}, {2, 3}},
      {"an outcome", {.outcome = PassOutcome::Ok}, {0, 2, 4}},
      {"all at once", {.from = "2026-12-08", .series = "A", .port = "COM2"}, {3}},
  };
  for (const auto& c : cases) {
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < kPasses.size(); ++i)
      if (IsSelected(kPasses[i], c.selection)) chosen.push_back(i);
    EXPECT_EQ(chosen, c.chosen) << c.what;
    EXPECT_EQ(SelectPasses(kPasses, c.selection).size(), c.chosen.size()) << c.what;
  }
}

TEST(JournalReportTest, CsvQuotesWhatASpreadsheetWouldSplit) {
  PassRecord p = Pass("2026-12-08T09:15:00.000Z", "COM1", "KVX-03 @0010 x2", PassOutcome::ChipFailed);
  p.id = 7;
  p.redLine = "Verify error, \"ID\" at 0003";
  p.programPath = "a\nb.kvh";
  p.durationMs = 1234;
  p.record = 3;
  const std::string csv = PassesCsv({p});
  const std::string header = csv.substr(0, csv.find("\r\n"));
  EXPECT_EQ(header, "id,started,ended,host,port,writer,device,program,data_checksum,option,"
                    "id_checksum,series,serial,qtp_record,pass_count,outcome,counted,red_line,"
                    "seconds,program_sha256,lot,operator");
  EXPECT_EQ(csv.substr(header.size() + 2),
            "7,2026-12-08T09:15:00.000Z,,,COM1,,,\"a\nb.kvh\",,,,KVX-03 @0010 x2,,3,0,"
            "chip failed,0,\"Verify error, \"\"ID\"\" at 0003\",1.2,,,\r\n");
}

TEST(JournalReportTest, ChipsPerHourFillsTheQuietHoursAndLeavesOutPassesUnderWay) {
  std::vector<PassRecord> passes = kPasses;
  passes.push_back(Pass("2026-12-08T09:50:00.000Z", "COM3", "A", PassOutcome::Pending));
  const std::vector<HourCount> hours = ChipsPerHour(passes);
  ASSERT_EQ(hours.size(), 26u);  // 2026-12-07T23 .. 2026-12-09T00
  EXPECT_EQ(hours.front(), (HourCount{"2026-12-07T23", 1, 0}));
  EXPECT_EQ(hours[1], (HourCount{"2026-12-08T00", 0, 1}));
  EXPECT_EQ(hours[2], (HourCount{"2026-12-08T01", 0, 0}));
  EXPECT_EQ(hours[10], (HourCount{"2026-12-08T09", 1, 1}));
  EXPECT_EQ(hours.back(), (HourCount{"2026-12-09T00", 1, 0}));
  EXPECT_TRUE(ChipsPerHour({}).empty());

  // Passes years apart (a clock set wrong once) keep the chart to its last weeks.
  passes.push_back(Pass("2001-01-01T00:00:00.000Z", "COM1", "A", PassOutcome::Ok));
  const auto capped = ChipsPerHour(passes);
  EXPECT_EQ(capped.size(), static_cast<std::size_t>(kMaxHours));
  EXPECT_EQ(capped.back().hour, "2026-12-09T00");
}

}  // namespace
}  // namespace kvx
