// kvxw journal: the production journal's passes as a table or as CSV, and the summary per
// device, per port and per series.
#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/json_lines.h"
#include "core/production/journal.h"
#include "core/production/journal_report.h"

namespace kvx::cli {
namespace {

using Table = std::vector<std::vector<std::string>>;

// Columns padded to their widest cell, two spaces apart; the last column is not padded.
void PrintTable(const Table& table, std::ostream& out) {
  std::vector<std::size_t> widths;
  for (const auto& row : table) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  for (const auto& row : table) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - row[c].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << '\n';
  }
}

std::string Seconds(long ms) {
  if (ms < 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(ms) / 1000.0);
  return text;
}

// A shared journal holds several stations' passes: each row then names its station.
// Rows that name a lot or an operator show both.
void PrintPasses(const std::vector<PassRecord>& passes, bool stations, std::ostream& out) {
  Table table = {{"STARTED", "PORT", "DEVICE", "SERIAL", "PASS", "OUTCOME", "SECONDS", "RED LINE"}};
  if (stations) table[0].insert(table[0].begin() + 1, "STATION");
  const bool lots = std::any_of(passes.begin(), passes.end(), [](const PassRecord& p) {
    return !p.lot.empty() || !p.operatorName.empty();
  });
  if (lots) table[0].insert(table[0].end() - 1, {"LOT", "OPERATOR"});
  for (const PassRecord& p : passes) {
    std::string serial = p.serial.empty() ? "-" : p.serial;
    if (p.record > 0) serial += " (record " + std::to_string(p.record) + ")";
    table.push_back({p.started, p.port, p.device, serial, std::to_string(p.passCount),
                     std::string(OutcomeText(p.outcome)), Seconds(p.durationMs), p.redLine});
    if (stations) table.back().insert(table.back().begin() + 1, p.host);
    if (lots)
      table.back().insert(table.back().end() - 1, {p.lot.empty() ? "-" : p.lot,
                                                   p.operatorName.empty() ? "-" : p.operatorName});
  }
  PrintTable(table, out);
}

// In a shared journal one port name is found on several stations: its summary keys on both.
void PrintSummary(std::vector<PassRecord> passes, bool stations, std::ostream& out) {
  const struct {
    SummaryBy by;
    const char* title;
  } groups[] = {{SummaryBy::Device, "DEVICE"}, {SummaryBy::Port, "PORT"},
                {SummaryBy::Series, "SERIES"}};
  for (const auto& group : groups) {
    if (group.by == SummaryBy::Port && stations)
      for (PassRecord& p : passes) p.port = p.host + " " + p.port;
    const auto rows = Summarise(passes, group.by);
    if (rows.empty()) continue;
    const bool byStation = group.by == SummaryBy::Port && stations;
    Table table = {{byStation ? "STATION PORT" : group.title, "PASSES", "OK", "FAILED", "STOPPED",
                    "UNKNOWN", "YIELD", "MEDIAN S"}};
    for (const SummaryRow& r : rows) {
      char yield[16];
      std::snprintf(yield, sizeof yield, "%.1f%%", 100.0 * r.Yield());
      table.push_back({r.key, std::to_string(r.passes), std::to_string(r.ok),
                       std::to_string(r.failed), std::to_string(r.stopped),
                       std::to_string(r.unknown), yield,
                       Seconds(r.medianMs)});
    }
    out << '\n';
    PrintTable(table, out);
  }
}

// --json: a "pass" object per pass (every column of the CSV), then a "group" object per row of
// the summary.
void PrintJson(const std::vector<PassRecord>& passes, bool withPasses, JsonLines& json) {
  if (withPasses) {
    for (const PassRecord& p : passes) {
      json.Object({{"type", "pass"},
                   {"id", p.id},
                   {"started", p.started},
                   {"ended", p.ended},
                   {"host", p.host},
                   {"port", p.port},
                   {"writer", p.writer},
                   {"device", p.device},
                   {"program", p.programPath},
                   {"data_checksum", p.dataChecksum},
                   {"option", p.optionWord},
                   {"id_checksum", p.idChecksum},
                   {"series", p.series},
                   {"serial", p.serial},
                   {"qtp_record", p.record},
                   {"pass_count", p.passCount},
                   {"outcome", OutcomeText(p.outcome)},
                   {"counted", p.counted},
                   {"red_line", p.redLine},
                   {"duration_ms", p.durationMs < 0 ? Json() : Json(p.durationMs)},
                   {"program_sha256", p.programSha256},
                   {"lot", p.lot},
                   {"operator", p.operatorName}});
    }
  }
  const struct {
    SummaryBy by;
    const char* name;
  } groups[] = {{SummaryBy::Device, "device"}, {SummaryBy::Port, "port"},
                {SummaryBy::Series, "series"}};
  for (const auto& group : groups) {
    for (const SummaryRow& r : Summarise(passes, group.by)) {
      json.Object({{"type", "group"},
                   {"by", group.name},
                   {"key", r.key},
                   {"passes", r.passes},
                   {"ok", r.ok},
                   {"failed", r.failed},
                   {"stopped", r.stopped},
                   {"unknown", r.unknown},
                   {"yield", r.Yield()},
                   {"median_ms", r.medianMs < 0 ? Json() : Json(r.medianMs)}});
    }
  }
}

// A station's passes into the shared journal, each once, so the floor starts from its history.
int CopyTo(const std::string& target, const std::vector<PassRecord>& passes, std::ostream& out,
           std::ostream& err) {
  Journal shared;
  std::string error;
  long copied = 0;
  if (!shared.OpenToRead(target, error) || !shared.CopyIn(passes, copied, error)) {
    err << "kvxw journal: " << error << "; nothing was copied\n";
    return kExitFailed;
  }
  out << copied << " passes copied into " << shared.Path();
  if (static_cast<std::size_t>(copied) < passes.size())
    out << " (" << passes.size() - static_cast<std::size_t>(copied) << " were there already)";
  out << '\n';
  return kExitOk;
}

int RunJournal(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.json != nullptr && args.Has("--csv"))
    return UsageError("journal", "--csv and --json exclude each other", err);
  const std::string path = args.Get("--journal", kJournalFileName);
  Journal journal;
  std::string error;
  if (!journal.OpenToRead(path, error)) {
    err << "kvxw journal: " << error << '\n';
    return kExitFailed;
  }
  std::string since = args.Get("--since");
  std::replace(since.begin(), since.end(), ' ', 'T');  // "2026-12-07 14:30" as ISO 8601
  const PassFilter filter{since, args.Get("--series"), args.Get("--lot")};
  const std::vector<PassRecord> passes = journal.Passes(filter, error);
  if (!error.empty()) {
    err << "kvxw journal: " << error << '\n';
    return kExitFailed;
  }
  if (args.json != nullptr) {
    PrintJson(passes, !args.Has("--summary"), *args.json);
    return kExitOk;
  }
  if (args.Has("--csv")) {
    out << PassesCsv(passes);
    return kExitOk;
  }
  if (args.Has("--copy-to")) return CopyTo(args.Get("--copy-to"), passes, out, err);
  if (!args.Has("--summary")) PrintPasses(passes, journal.IsShared(), out);
  PrintSummary(passes, journal.IsShared(), out);
  return kExitOk;
}

const bool registered = RegisterCommand({
    .name = "journal",
    .summary = "The production journal: every pass of Auto Program, with a summary.",
    .options =
        {
            {"--journal", "FILE|URI",
             "the journal: a file (default kvx-journal.db in the current folder) or a shared "
             "one on PostgreSQL (postgresql://USER@HOST/DB, service=NAME, or libpq's key=value "
             "pairs)"},
            {"--copy-to", "URI",
             "copy the passes (those --since, --series and --lot select) into the shared journal at "
             "URI; a pass already there is not copied again"},
            {"--csv", "", "the passes as CSV (every column, for a spreadsheet)"},
            {"--summary", "", "only the summary, without the passes"},
            {"--since", "TIME", "passes started at or after TIME (UTC, e.g. 2026-12-07 or "
                                "2026-12-07T14:30)"},
            {"--series", "SERIES", "passes of one serial-number series, as the summary names it"},
            {"--lot", "LOT", "passes of one production lot"},
        },
    .run = RunJournal,
    .details =
        "The summary counts per device, per port and per series: passes, chips ok, failed (a\n"
        "red line or a link failure), stopped (by the operator: neither ok nor failed), unknown\n"
        "(the run died during the pass: the chip may carry its number), the yield (ok of ok +\n"
        "failed + unknown) and the median time of the passes that went through.",
    .json = true,
});

}  // namespace
}  // namespace kvx::cli
