// The journal's SQL shared by its parts: the schema of each version and a transaction guard.
#pragma once

#include "core/production/sqlite_db.h"

namespace kvx::journal_sql {

// Version 1: the passes alone. Kept so that a journal of that version can be brought up to date.
inline constexpr char kSchemaV1[] = R"sql(
CREATE TABLE schema_version(version INTEGER NOT NULL);
INSERT INTO schema_version VALUES(1);
CREATE TABLE passes(
  id INTEGER PRIMARY KEY,
  started TEXT NOT NULL, ended TEXT,
  host TEXT, port TEXT, writer TEXT, device TEXT,
  program_path TEXT, data_checksum TEXT, option_word TEXT, id_checksum TEXT,
  series TEXT, serial TEXT, record INTEGER,
  pass_count INTEGER, outcome TEXT NOT NULL, counted INTEGER NOT NULL DEFAULT 0, red_line TEXT);
CREATE INDEX passes_serial ON passes(series, serial);
)sql";

// Version 2: the runs, so a pending row is known to belong to a run that died, and each pass's
// duration for the summary.
inline constexpr char kMigrateV1ToV2[] = R"sql(
CREATE TABLE runs(id INTEGER PRIMARY KEY, host TEXT NOT NULL, pid INTEGER NOT NULL,
                  started TEXT NOT NULL);
ALTER TABLE passes ADD COLUMN run_id INTEGER REFERENCES runs(id);
ALTER TABLE passes ADD COLUMN duration_ms INTEGER;
UPDATE passes SET duration_ms =
  CAST(ROUND((julianday(ended) - julianday(started)) * 86400000) AS INTEGER)
  WHERE ended IS NOT NULL;
CREATE INDEX passes_record ON passes(series, record);
UPDATE schema_version SET version = 2;
)sql";

// Version 3: whether each row keeps its number used, decided when its pass ends, and the
// application id that marks the file as a journal. Rows written before are kept used: whether
// their chip got the number is not known.
inline constexpr char kMigrateV2ToV3[] = R"sql(
ALTER TABLE passes ADD COLUMN keeps_number INTEGER NOT NULL DEFAULT 1;
UPDATE schema_version SET version = 3;
)sql";

// Version 4: where each row's value sits on the chip (the device, first serial word, byte count
// and byte order), so a value is used once per place whatever series put it there. Rows written
// before get their place from their series' name (Journal::Migrate); a QTP file's rows keep
// none, and stay used by their record alone.
inline constexpr char kMigrateV3ToV4[] = R"sql(
ALTER TABLE passes ADD COLUMN slot TEXT NOT NULL DEFAULT '';
CREATE INDEX passes_slot ON passes(slot, serial);
UPDATE schema_version SET version = 4;
)sql";

// Version 5: the production lot and the operator of each row; rows written before have none.
// Each column is added where it is missing (Journal::Migrate), then:
inline constexpr char kLotColumn[] = "ALTER TABLE passes ADD COLUMN lot TEXT NOT NULL DEFAULT ''";
inline constexpr char kOperatorColumn[] =
    "ALTER TABLE passes ADD COLUMN operator_name TEXT NOT NULL DEFAULT ''";
inline constexpr char kMigrateV4ToV5[] = R"sql(
CREATE INDEX IF NOT EXISTS passes_lot ON passes(lot);
UPDATE schema_version SET version = 5;
)sql";

// A transaction that rolls back unless committed.
class Transaction {
 public:
  explicit Transaction(SqliteDb& db) : db_(db) { began_ = db_.Exec("BEGIN IMMEDIATE"); }
  ~Transaction() {
    if (began_ && !done_) db_.Exec("ROLLBACK");
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  bool Began() const { return began_; }
  bool Commit() { return done_ = db_.Exec("COMMIT"); }

 private:
  SqliteDb& db_;
  bool began_ = false;
  bool done_ = false;
};


}  // namespace kvx::journal_sql
