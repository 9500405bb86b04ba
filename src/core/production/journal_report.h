// What is shown of the journal's passes, by kvxw journal and by the desktop's journal window
// alike: a narrower choice of passes, the passes as CSV, and the chips per hour.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/production/journal.h"

namespace kvx {

// Every field empty (or unset) lets every pass through.
struct PassSelection {
  std::string from;   // passes started at or after this UTC time (a prefix such as a date)
  std::string until;  // passes started before this time; a date alone takes in its whole day
  std::string series;
  std::string port;
  std::string lot;
  std::optional<PassOutcome> outcome;
};
bool IsSelected(const PassRecord& pass, const PassSelection& selection);
std::vector<PassRecord> SelectPasses(const std::vector<PassRecord>& passes,
                                     const PassSelection& selection);

// Every column of every pass, for a spreadsheet: a header line, then one line a pass, each line
// ending in CR LF; a field with a comma, a quote or a line end is quoted.
std::string PassesCsv(const std::vector<PassRecord>& passes);

// Chips that went through (ok) and chips that did not (failed, stopped, unknown) in each hour
// from the first pass's to the last one's, hours without a pass included, at most the last
// kMaxHours of them. `hour` is the UTC hour as "2026-12-08T09".
inline constexpr long kMaxHours = 24 * 62;
struct HourCount {
  std::string hour;
  long ok = 0;
  long failed = 0;
  bool operator==(const HourCount&) const = default;
};
std::vector<HourCount> ChipsPerHour(const std::vector<PassRecord>& passes);

}  // namespace kvx
