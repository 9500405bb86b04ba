#include "core/production/journal_report.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>

namespace kvx {
namespace {

// A field for a spreadsheet: quoted when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string Seconds(long ms) {
  if (ms < 0) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(ms) / 1000.0);
  return text;
}

// "2026-12-08T09" as a point in time, and back; nothing for a text that is no such hour.
std::optional<std::time_t> HourTime(const std::string& hour) {
  std::tm tm{};
  if (hour.size() < 13 || std::sscanf(hour.c_str(), "%4d-%2d-%2dT%2d", &tm.tm_year, &tm.tm_mon,
                                      &tm.tm_mday, &tm.tm_hour) != 4)
    return std::nullopt;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return ::timegm(&tm);
}

std::string HourText(std::time_t t) {
  std::tm tm{};
  ::gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H", &tm);
  return text;
}

}  // namespace

bool IsSelected(const PassRecord& pass, const PassSelection& s) {
  if (!s.from.empty() && pass.started < s.from) return false;
  // "2026-12-08" takes in the whole day: every time that begins with it comes before "…~".
  if (!s.until.empty() && pass.started >= s.until &&
      !(s.until.size() < pass.started.size() && pass.started.starts_with(s.until)))
    return false;
  if (!s.series.empty() && pass.series != s.series) return false;
  if (!s.port.empty() && pass.port != s.port) return false;
  if (!s.lot.empty() && pass.lot != s.lot) return false;
  return !s.outcome || pass.outcome == *s.outcome;
}

std::vector<PassRecord> SelectPasses(const std::vector<PassRecord>& passes,
                                     const PassSelection& selection) {
  std::vector<PassRecord> chosen;
  std::copy_if(passes.begin(), passes.end(), std::back_inserter(chosen),
               [&](const PassRecord& p) { return IsSelected(p, selection); });
  return chosen;
}

std::string PassesCsv(const std::vector<PassRecord>& passes) {
  std::vector<std::vector<std::string>> rows = {
      {"id", "started", "ended", "host", "port", "writer", "device", "program", "data_checksum",
       "option", "id_checksum", "series", "serial", "qtp_record", "pass_count", "outcome",
       "counted", "red_line", "seconds", "program_sha256", "lot", "operator"}};
  for (const PassRecord& p : passes) {
    rows.push_back({std::to_string(p.id), p.started, p.ended, p.host, p.port, p.writer, p.device,
                    p.programPath, p.dataChecksum, p.optionWord, p.idChecksum, p.series,
                    p.serial, p.record > 0 ? std::to_string(p.record) : "",
                    std::to_string(p.passCount), std::string(OutcomeText(p.outcome)),
                    p.counted ? "1" : "0", p.redLine, Seconds(p.durationMs), p.programSha256,
                    p.lot, p.operatorName});
  }
  std::string csv;
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) csv += (c ? "," : "") + CsvField(row[c]);
    csv += "\r\n";
  }
  return csv;
}

std::vector<HourCount> ChipsPerHour(const std::vector<PassRecord>& passes) {
  std::map<std::time_t, HourCount> hours;
  for (const PassRecord& p : passes) {
    // Still under way, or no chip was in the socket.
    if (p.outcome == PassOutcome::Pending || p.outcome == PassOutcome::NoChip) continue;
    const auto t = HourTime(p.started);
    if (!t) continue;
    HourCount& h = hours[*t];
    ++(p.outcome == PassOutcome::Ok ? h.ok : h.failed);
  }
  std::vector<HourCount> result;
  if (hours.empty()) return result;
  const std::time_t last = hours.rbegin()->first;
  const std::time_t first = std::max(hours.begin()->first, last - (kMaxHours - 1) * 3600);
  for (std::time_t t = first; t <= last; t += 3600) {
    const auto it = hours.find(t);
    HourCount h = it != hours.end() ? it->second : HourCount{};
    h.hour = HourText(t);
    result.push_back(h);
  }
  return result;
}

}  // namespace kvx
