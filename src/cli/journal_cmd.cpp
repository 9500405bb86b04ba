// kvxw journal: the production journal's passes as a table or as CSV, and the summary per
// device, per port and per series.
#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "core/production/journal.h"

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

void PrintCsv(const std::vector<PassRecord>& passes, std::ostream& out) {
  const Table header = {{"id", "started", "ended", "host", "port", "writer", "device",
                         "program", "data_checksum", "option", "id_checksum", "series", "serial",
                         "qtp_record", "pass_count", "outcome", "counted", "red_line",
                         "seconds", "program_sha256"}};
  Table rows = header;
  for (const PassRecord& p : passes) {
    rows.push_back({std::to_string(p.id), p.started, p.ended, p.host, p.port, p.writer, p.device,
                    p.programPath, p.dataChecksum, p.optionWord, p.idChecksum, p.series,
                    p.serial, p.record > 0 ? std::to_string(p.record) : "",
                    std::to_string(p.passCount), std::string(OutcomeText(p.outcome)),
                    p.counted ? "1" : "0", p.redLine, p.durationMs < 0 ? "" : Seconds(p.durationMs),
                    p.programSha256});
  }
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) out << (c ? "," : "") << CsvField(row[c]);
    out << "\r\n";
  }
}

// A shared journal holds several stations' passes: each row then names its station.
void PrintPasses(const std::vector<PassRecord>& passes, bool stations, std::ostream& out) {
  Table table = {{"STARTED", "PORT", "DEVICE", "SERIAL", "PASS", "OUTCOME", "SECONDS", "RED LINE"}};
  if (stations) table[0].insert(table[0].begin() + 1, "STATION");
  for (const PassRecord& p : passes) {
    std::string serial = p.serial.empty() ? "-" : p.serial;
    if (p.record > 0) serial += " (record " + std::to_string(p.record) + ")";
    table.push_back({p.started, p.port, p.device, serial, std::to_string(p.passCount),
                     std::string(OutcomeText(p.outcome)), Seconds(p.durationMs), p.redLine});
    if (stations) table.back().insert(table.back().begin() + 1, p.host);
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
    Table table = {{byStation ? "STATION PORT" : group.title, "PASSES", "OK", "FAILED", "UNKNOWN", "YIELD", "MEDIAN S"}};
    for (const SummaryRow& r : rows) {
      char yield[16];
      std::snprintf(yield, sizeof yield, "%.1f%%", 100.0 * r.Yield());
      table.push_back({r.key, std::to_string(r.passes), std::to_string(r.ok),
                       std::to_string(r.failed), std::to_string(r.unknown), yield,
                       Seconds(r.medianMs)});
    }
    out << '\n';
    PrintTable(table, out);
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
  const std::string path = args.Get("--journal", kJournalFileName);
  Journal journal;
  std::string error;
  if (!journal.OpenToRead(path, error)) {
    err << "kvxw journal: " << error << '\n';
    return kExitFailed;
  }
  std::string since = args.Get("--since");
  std::replace(since.begin(), since.end(), ' ', 'T');  // "2026-12-07 14:30" as ISO 8601
  const PassFilter filter{since, args.Get("--series")};
  const std::vector<PassRecord> passes = journal.Passes(filter, error);
  if (!error.empty()) {
    err << "kvxw journal: " << error << '\n';
    return kExitFailed;
  }
  if (args.Has("--csv")) {
    PrintCsv(passes, out);
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
             "one on PostgreSQL (postgresql://USER@HOST/DB, or service=NAME)"},
            {"--copy-to", "URI",
             "copy the passes (those --since and --series select) into the shared journal at "
             "URI; a pass already there is not copied again"},
            {"--csv", "", "the passes as CSV (every column, for a spreadsheet)"},
            {"--summary", "", "only the summary, without the passes"},
            {"--since", "TIME", "passes started at or after TIME (UTC, e.g. 2026-12-07 or "
                                "2026-12-07T14:30)"},
            {"--series", "SERIES", "passes of one serial-number series, as the summary names it"},
        },
    .run = RunJournal,
    .details =
        "The summary counts per device, per port and per series: passes, chips ok, failed (a\n"
        "red line, a link failure or a stop), unknown (the run died during the pass: the chip\n"
        "may carry its number), the yield (ok of ok + failed + unknown) and the median time of\n"
        "the passes that went through.",
});

}  // namespace
}  // namespace kvx::cli
