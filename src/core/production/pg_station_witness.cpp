// The shared journal against this station's own witness (station_witness.h).
#include "core/production/pg_journal.h"

namespace kvx {

namespace {

std::string NumberText(const std::string& serial, long record) {
  return record > 0 ? "record " + std::to_string(record) + " (" + serial + ")"
                    : "serial number " + serial;
}

constexpr char kGoOnOnPurpose[] =
    ": restore it (to go on with what it knows on purpose, give --accept-journal-loss and start "
    "the series after ";

}  // namespace

bool PgJournal::CheckStationWitness(std::string& error, bool acceptLoss) {
  StationWitness::Known known;
  if (!witness_.Read(journalId_, name_, known, error)) return false;
  auto lastOf = [](const std::map<std::string, WitnessEntry>& last) {
    const WitnessEntry* newest = nullptr;
    for (const auto& [series, e] : last)
      if (newest == nullptr || e.id > newest->id) newest = &e;
    return newest;
  };
  if (!acceptLoss && !known.idUnderName.empty() && known.idUnderName != journalId_) {
    const WitnessEntry* last = lastOf(known.lastOfNamesId);
    error = "the shared journal " + name_ + " is not the journal this station used under that "
            "name: its id is " + journalId_ + ", this station's witness " + witness_.Path() +
            " knows " + known.idUnderName +
            (last != nullptr ? ", in which it reserved " + NumberText(last->serial, last->record) +
                                   " (row " + std::to_string(last->id) + ") of the series " +
                                   last->series
                             : std::string()) +
            ". Its tables were dropped and made again, or another journal took their place, and "
            "numbers this one does not know may be in chips" + kGoOnOnPurpose +
            (last != nullptr ? NumberText(last->serial, last->record) : "the numbers used") + ")";
    return false;
  }
  for (const auto& [series, entry] : acceptLoss ? std::map<std::string, WitnessEntry>() : known.last) {
    const PgResult found = db_.Exec(
        "SELECT count(*) FROM passes WHERE id = $1::bigint AND series = $2 AND serial = $3 "
        "AND record = $4::bigint",
        {std::to_string(entry.id), series, entry.serial, std::to_string(entry.record)});
    if (!found.Ok()) return Fail("cannot be read", error);
    if (found.Int(0, 0) > 0) continue;
    const PgResult newest = db_.Exec(
        "SELECT id, serial, record FROM passes WHERE series = $1 ORDER BY id DESC LIMIT 1",
        {series});
    if (!newest.Ok()) return Fail("cannot be read", error);
    const std::string has =
        newest.Rows() > 0 ? "its last is " + NumberText(newest.Text(0, 1),
                                                        static_cast<long>(newest.Int(0, 2))) +
                                " (row " + newest.Text(0, 0) + ")"
                          : "it has none";
    error = "the shared journal " + name_ + " knows less than this station's witness " +
            witness_.Path() + ": the witness names " + NumberText(entry.serial, entry.record) +
            " (row " + std::to_string(entry.id) + ") of the series " + series + ", " + has +
            ". It was emptied, or restored from an older copy, or a standby took over without "
            "the last passes, and numbers it forgot may be in chips" + kGoOnOnPurpose +
            NumberText(entry.serial, entry.record) + ")";
    return false;
  }
  return witness_.Adopt(journalId_, name_, acceptLoss, error);
}

bool PgJournal::StillKnowsThisStation() {
  // A journal made again (or another one) under the name has another id: the witness names the
  // one it knew. A loss accepted when the run began is not accepted again here.
  const PgResult identity = db_.Exec("SELECT id FROM journal_identity ORDER BY id LIMIT 1");
  if (!identity.Ok()) return false;
  if (identity.Rows() > 0) journalId_ = identity.Text(0, 0);
  std::string error;
  if (CheckStationWitness(error, false)) return true;
  if (!db_.Lost()) forgotten_ = error;  // lost again: the next call reconnects and checks again
  return false;
}

bool PgJournal::NoteReserved(const PassRecord& row, std::string& error, std::stop_token stop) {
  if (row.series.empty() || runId_ == 0) return true;
  if (witness_.Note(journalId_, {row.id, row.series, row.serial, row.record}, error)) return true;
  // No chip gets the number: the row gives it back, or (when that cannot be written either) it
  // stays pending and becomes "unknown" once the run's lease ran out.
  Call("UPDATE passes SET ended = $1, outcome = 'stopped', keeps_number = false, "
       "red_line = 'the station''s witness could not be written' WHERE id = $2::bigint",
       {JournalTimeNow(), std::to_string(row.id)}, stop);
  return false;
}

}  // namespace kvx
