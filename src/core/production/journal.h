// The production journal: one row per Auto Program (or Force Write) pass, in an SQLite file, so a
// production line knows which chip got which serial number, and a serial number is never stamped
// into two chips, even when a run is killed half-way.
//
// A number stays used once a pass took it, unless that pass failed (a chip or link failure)
// before any of the number's bytes was handed to the Writer: a blank-check failure, or a program
// stream that stopped short of the serial words. Only then may the next chip take it.
//
// A journal is made only where no file is: an existing file that is not a journal (empty,
// damaged, another program's database) stops the run and is left as it is. Journal files carry
// SQLite's application id kJournalApplicationId. Beside the journal a witness (see
// journal_witness.h) keeps the last number reserved in each series; a journal that knows less
// than its witness lost rows and stops the run.
//
// A pass's row is written twice: reserved (outcome "pending") in its own transaction, committed
// to disk, before the chip is stamped; finished with its outcome when the pass ends. A row still
// pending when a run opens the journal belongs to a run that died (its process is gone): it
// becomes "unknown", and its number stays used, since the chip may have been programmed in full.
//
// Opened on a server's name instead of a file's (a libpq URI "postgresql://user@host/db",
// "service=NAME" or key=value pairs, as ParseJournalName tells them), the journal lives on a
// PostgreSQL server shared by a whole production floor (pg_journal.h), with
// the same calls and guarantees across hosts.
//
// One Journal may be shared by the threads of several ports: every call is serialised, and each
// reservation is one transaction, so two ports (or two processes) never reserve the same number.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/production/journal_witness.h"
#include "core/production/sqlite_db.h"

namespace kvx {

inline constexpr char kJournalFileName[] = "kvx-journal.db";
inline constexpr int kJournalSchemaVersion = 5;
// PRAGMA application_id of a journal file: "KVXJ".
inline constexpr std::int32_t kJournalApplicationId = 0x4B56584A;

enum class PassOutcome { Pending, Ok, ChipFailed, LinkFailed, Stopped, Unknown, NoChip };
// "pending", "ok", "chip failed", "link failed", "stopped", "unknown", "no chip". A pass with
// nothing in the socket is neither a good nor a failed chip: it is left out of the yield.
std::string_view OutcomeText(PassOutcome outcome);
PassOutcome OutcomeFromText(std::string_view text);  // Unknown for a text it does not know

struct PassRecord {
  std::int64_t id = 0;
  std::string started;  // UTC, ISO 8601 with milliseconds: 2026-12-07T23:31:19.123Z
  std::string ended;    // empty while pending
  std::string host;
  std::string port;
  std::string writer;  // the Writer's identification
  std::string device;
  std::string programPath;
  std::string programSha256;  // the SHA-256 of the program file, so a chip leads to its file
  std::string dataChecksum;  // four hexadecimal digits, with the serial number stamped
  std::string optionWord;    // OptionLow then OptionHigh, "LLHH"
  std::string idChecksum;    // the ID words and the checksum they carry
  std::string series;        // empty when no serial number was stamped
  std::string slot;          // where the number sits on the chip (SerialSlotOf); empty: unknown
  std::string serial;        // hexadecimal, as the panel shows it
  long record = 0;           // the QTP record (1-based); 0 for a counted or shifted series
  long passCount = 0;        // the pass count after the pass
  PassOutcome outcome = PassOutcome::Pending;
  bool counted = false;
  // Why the pass failed, as the operator read it: the red line, or the line that ended a failed
  // pass when the dialog showed it in the normal colour ("OPTION ....... Not Blank!!").
  std::string redLine;
  long durationMs = -1;
  bool keepsNumber = true;  // false: the pass gave its number back (see KeepsNumber)
  // The production lot and the operator the station ran it for (SetLotAndOperator); empty when
  // none was given.
  std::string lot;
  std::string operatorName;
  // Not kept in the journal: the values Reserve stepped over before this one because chips of
  // another series carry them at the same place.
  std::vector<std::string> steppedOver;
};

// Whether a finished pass keeps its number used: every pass but one that failed (chip or link)
// without being counted, before its serial number could reach the chip.
bool KeepsNumber(PassOutcome outcome, bool counted, bool serialMayBeOnChip);

// Where a number went: the row that holds it.
struct SerialUse {
  std::string started;
  std::string port;
  std::string host;
  PassOutcome outcome = PassOutcome::Pending;
  std::string series;  // the series of that row: another one when the value was found by place
};

struct PassFilter {
  std::string since;   // rows started at or after this ISO 8601 time (a prefix such as a date)
  std::string series;  // rows of this series only
  std::string lot;     // rows of this lot only
};

// The current time as the journal writes it.
std::string JournalTimeNow();
// Milliseconds from one such time to another; -1 when either is not one.
long JournalMillisBetween(const std::string& from, const std::string& to);

class PgJournal;

class Journal {
 public:
  // Whether the process of an earlier run (on this host) still lives; its pending rows are left
  // alone while it does.
  using RunAlive = std::function<bool(const std::string& host, long pid)>;
  static bool ProcessAlive(const std::string& host, long pid);

  // Opens the journal (a file, or a PostgreSQL server: journal_name.h), or creates a file journal where
  // no file is; brings an older schema up to date, checks a file journal against its witness,
  // turns the pending rows of runs that died into "unknown" and registers this run. False with a
  // message for the operator when the file is not a journal, is damaged, knows less than its
  // witness, or cannot be opened, read or written, or the server cannot be reached, or the name
  // is neither a file's nor a server's: the run must then not start. No message of a shared
  // journal shows a password its name holds.
  bool Open(const std::string& path, std::string& error, const RunAlive& alive = ProcessAlive);
  // For reading the passes: an existing journal only, and no run of this process is registered.
  bool OpenToRead(const std::string& path, std::string& error);
  bool IsOpen() const { return pg_ != nullptr || db_.IsOpen(); }
  const std::string& Path() const { return path_; }
  long RecoveredRows() const { return recovered_; }  // pending rows made "unknown" by Open
  // Whether Open found a pass on `port` left pending by a run that died: the Writer on that port
  // may still be busy with the abandoned chip.
  // Asked once per port: the answer is false from then on.
  bool TakeDiedOnPort(const std::string& port);
  const std::string& WitnessPath() const { return witness_.Path(); }

  // Used: the number (the QTP record) is used in the row's series; ValueUsed: a chip of another
  // series carries the row's value at the row's place (row.slot).
  enum class ReserveResult { Reserved, Used, ValueUsed, Failed };
  // In one transaction, committed to disk before it returns: unless the row's number (its
  // record for a QTP series) is already used in its series, or its value at its place by any
  // series, insert the row as pending; row.id and row.started are set. A row without a series
  // is always reserved.
  //
  // A shared journal's calls wait for the server no longer than the time-out (SetTimeout), and
  // give up shortly after `stop` is triggered; a file journal's do not wait on `stop`.
  ReserveResult Reserve(PassRecord& row, std::string& error, std::stop_token stop = {});
  // The lot and the operator every row reserved from now on carries; from any thread.
  void SetLotAndOperator(std::string lot, std::string operatorName);
  // Writes the pass's end: outcome, counted, whether the number stays used, pass count, red line,
  // Writer, end time.
  bool Finish(PassRecord& row, std::string& error, std::stop_token stop = {});

  // Whether the number (the QTP record, when `record` > 0) is used in the series, or the value
  // `serial` at the place `slot` (when not empty) by any series: `use` gets the row that holds
  // it, or nothing. False with a message when the journal cannot be read: a read that failed
  // never passes for "nothing used".
  bool FindUse(const std::string& series, const std::string& slot, const std::string& serial,
               long record, std::optional<SerialUse>& use, std::string& error,
               std::stop_token stop = {});
  // The last QTP record used in the series into `last`; 0 when none. False with a message when
  // the journal cannot be read.
  bool LastRecordUsed(const std::string& series, long& last, std::string& error,
                      std::stop_token stop = {});

  std::vector<PassRecord> Passes(const PassFilter& filter, std::string& error);

  // For a shared (PostgreSQL) journal, before Open: the station's name its rows carry (default
  // KVXW_STATION, else the host name) and how long a run's lease lasts without renewal (default
  // KVXW_JOURNAL_LEASE_MS, else 60 s).
  void SetStation(std::string station) { station_ = std::move(station); }
  void SetLease(std::chrono::milliseconds lease) { lease_ = lease; }
  // How long a shared journal's call may wait for its server (default 15 s): a server that does
  // not answer in that time ends the call with a message naming it.
  void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  // How long a shared journal's server that went away is tried again before a call fails
  // (default KVXW_JOURNAL_RECONNECT_MS, else 30 s).
  void SetReconnectLimit(std::chrono::milliseconds limit) { reconnectLimit_ = limit; }
  // Where this station keeps its witness of the shared journals it uses (default
  // StationWitness::DefaultFolder()), and whether a run goes on, on purpose, with a shared
  // journal that knows less than that witness or is another journal under the same name.
  void SetStateFolder(std::string folder) { stateFolder_ = std::move(folder); }
  void SetAcceptJournalLoss(bool accept) { acceptLoss_ = accept; }
  bool IsShared() const { return pg_ != nullptr; }
  // Copies another journal's passes into this shared one, each once (a row of the same station,
  // port and start already there is left alone); `copied` counts the new rows.
  bool CopyIn(const std::vector<PassRecord>& rows, long& copied, std::string& error);

 private:
  // Open (a run that writes: created when missing, registered) or OpenToRead.
  bool OpenAs(const std::string& path, bool forRun, const RunAlive& alive, std::string& error);
  bool OpenShared(const std::string& name, bool registerRun, std::string& error);

  bool Migrate(std::string& error);
  // Runs `add` unless the passes have the column `name` already.
  bool AddColumn(const char* name, const char* add);
  bool FillSlots();
  bool OpenFile(const std::string& path, bool create, std::string& error);
  bool CreateFile(std::string& error);
  bool IsJournal(std::string& error);
  bool QuickCheck(std::string& error);
  bool CheckWitness(std::string& error);
  bool GiveBack(const PassRecord& row);
  bool SetWalMode();
  bool Recover(const RunAlive& alive, bool registerRun, std::string& error);
  bool Fail(std::string_view what, std::string& error);
  // `result`, with the shared journal's message (when there is one) rid of any password.
  template <class Result>
  Result Shown(Result result, std::string& error) const {
    if (!error.empty()) error = Hidden(error);
    return result;
  }
  std::string Hidden(const std::string& text) const;

  std::mutex mutex_;
  std::mutex labelsMutex_;  // the lot and operator alone: set while a pass waits on the server
  std::string lot_;
  std::string operatorName_;
  std::string given_;  // the name Open was given, whose passwords no message may show
  SqliteDb db_;
  std::string path_;
  std::string real_;  // a file journal's real file, its links resolved
  JournalWitness witness_;
  std::int64_t runId_ = 0;
  long recovered_ = 0;
  std::vector<std::string> diedOnPorts_;
  std::shared_ptr<PgJournal> pg_;  // set while the journal is a shared one
  std::string station_;
  std::chrono::milliseconds lease_{0};
  std::chrono::milliseconds timeout_{0};
  std::chrono::milliseconds reconnectLimit_{0};
  std::string stateFolder_;
  bool acceptLoss_ = false;
};

// The per-device, per-port and per-series summary of `kvxw journal`.
struct SummaryRow {
  std::string key;
  long passes = 0;
  long ok = 0;
  long failed = 0;   // chip failed or link failed (not a pass with no chip)
  long stopped = 0;  // the operator's stop: neither a good chip nor a failed one
  long unknown = 0;  // unknown or still pending
  long medianMs = -1;  // median time of the passes that went through; -1 when none did
  double Yield() const;  // ok / (ok + failed + unknown), 0 when there were none
};
enum class SummaryBy { Device, Port, Series };
std::vector<SummaryRow> Summarise(const std::vector<PassRecord>& passes, SummaryBy by);

}  // namespace kvx
