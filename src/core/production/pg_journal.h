// The production journal on a PostgreSQL server, shared by every station of a production floor:
// the same rows and guarantees as the SQLite file, across hosts. Journal (journal.h) hands its
// calls here when it is opened on a libpq URI or "service=NAME".
//
// A reservation is one statement, so one transaction: it inserts the pending row unless the
// number is used (in its series, or its value at its place by any series), and partial unique
// indexes on (series, serial), (series, record) and (slot, serial), over the rows that keep their
// number, let only one of two stations racing for a number insert it; the other sees the number
// used and steps on.
//
// A run on another host cannot be seen through /proc: each run holds a lease in the runs table,
// renewed by every reservation and pass end and by a heartbeat thread. Opening the journal turns
// the pending rows of runs whose lease ran out (by the server's clock) into "unknown"; their
// numbers stay used.
//
// A database (or schema) whose tables of the journal's names are not a journal's (another
// program's, lacking a column the journal writes), or a journal of a newer schema version, stops
// the run at Open with a message, and nothing is written to it: the counterpart of the file
// journal's application id.
//
// Every call waits for the server no longer than the journal's time-out (SetTimeout, default
// 15 s), and stops waiting shortly after the caller's stop token is triggered (the operator's
// stop: Ctrl-C, SIGTERM, a tile's Stop): the statement is cancelled on the server and the call
// fails with the server's name. A pass whose end could not be written so keeps its number: its
// row stays pending and becomes "unknown" once the run's lease ran out. A server that did not
// answer in time is not asked again by this run: every later call fails at once. The heartbeat
// renews the lease on a connection of its own, so a server that stops answering never holds the
// Writers' calls behind the heartbeat's.
//
// A call that finds the connection lost (a server restarted between passes, one still starting
// up or refusing connections) connects again, waiting between attempts from 100 ms doubling up
// to 2 s, for up to 30 s in all, then runs the statement once more; when no connection could be
// made by then, the call fails with the server's name and its last reason. A
// reservation or pass end that the server rolled back for a conflict with another station's
// transaction (a serialization failure or a deadlock) is run again a few times, after a short
// wait, before it counts as a failure of the journal.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/production/journal.h"
#include "core/production/pg_db.h"
#include "core/production/station_witness.h"

namespace kvx {

// The station's name in a shared journal's rows: KVXW_STATION when set, else the host name.
std::string JournalStationName();
// How long a run's lease lasts without renewal: KVXW_JOURNAL_LEASE_MS when set, else 60 s.
std::chrono::milliseconds JournalLease();
// How long a lost server is tried again: KVXW_JOURNAL_RECONNECT_MS when set, else 30 s.
std::chrono::milliseconds JournalReconnectLimit();

inline constexpr int kSharedJournalSchemaVersion = 4;
// A reservation or pass end rolled back for a conflict runs this many times in all, the waits
// between doubling from kConflictFirstWait (10, 20, 40, 80 ms).
inline constexpr int kConflictAttempts = 5;
inline constexpr std::chrono::milliseconds kConflictFirstWait{10};

// A lost connection is made again for up to kReconnectLimit, the waits between attempts doubling
// from kReconnectFirstWait up to kReconnectLongestWait.
inline constexpr std::chrono::milliseconds kReconnectLimit{30000};
inline constexpr std::chrono::milliseconds kReconnectFirstWait{100};
inline constexpr std::chrono::milliseconds kReconnectLongestWait{2000};

// How a journal waits between two attempts to reconnect: the steady clock and a sleep that ends
// early on the caller's stop, unless a test gives its own.
struct ReconnectWaits {
  std::chrono::milliseconds limit = kReconnectLimit;
  std::function<std::chrono::steady_clock::time_point()> now = [] {
    return std::chrono::steady_clock::now();
  };
  std::function<void(std::chrono::milliseconds, std::stop_token)> sleep = SleepUnlessStopped;

  static void SleepUnlessStopped(std::chrono::milliseconds wait, std::stop_token stop);
};

class PgJournal {
 public:
  PgJournal(std::string station, std::chrono::milliseconds lease,
            std::chrono::milliseconds timeout = kPgDefaultTimeout);
  ~PgJournal();  // ends the run's lease at once
  PgJournal(const PgJournal&) = delete;
  PgJournal& operator=(const PgJournal&) = delete;

  // Connects, creates or brings the schema up to date, turns the pending rows of runs whose lease
  // ran out into "unknown" and, when `registerRun`, registers this run and starts its heartbeat.
  // When `registerRun`, the journal is first checked against this station's own witness
  // (station_witness.h): a journal that knows less than the witness, or that is another journal
  // under the same name, stops the run unless `acceptLoss` (the operator goes on with what the
  // server knows, on purpose: the witness starts again from it).
  bool Open(const std::string& name, bool registerRun, std::string& error);
  void SetReconnectWaits(ReconnectWaits waits) { waits_ = std::move(waits); }
  void SetStationWitness(std::string folder, bool acceptLoss) {
    witness_ = StationWitness(std::move(folder));
    acceptLoss_ = acceptLoss;
  }
  const std::string& JournalId() const { return journalId_; }
  const std::string& Name() const { return name_; }
  long Recovered() const { return recovered_; }
  std::int64_t RunId() const { return runId_; }

  Journal::ReserveResult Reserve(PassRecord& row, std::string& error, std::stop_token stop);
  bool Finish(PassRecord& row, std::string& error, std::stop_token stop);
  bool FindUse(const std::string& series, const std::string& slot, const std::string& serial,
               long record, std::optional<SerialUse>& use, std::string& error,
               std::stop_token stop);
  bool LastRecordUsed(const std::string& series, long& last, std::string& error,
                      std::stop_token stop);
  std::vector<PassRecord> Passes(const PassFilter& filter, std::string& error);
  // Copies rows of another journal in, each once: a row already there (the same station, port
  // and start) is left alone. `copied` counts the rows that were new.
  bool CopyIn(const std::vector<PassRecord>& rows, long& copied, std::string& error);

 private:
  bool Migrate(std::string& error);
  bool MigrateToPlaces();
  // Runs `sql`; when the connection was lost, reconnects once and runs it again.
  PgResult Call(std::string_view sql, const PgDb::Params& params = {}, std::stop_token stop = {});
  // Call, run again while the server rolls it back for a conflict (RetryConflicts).
  PgResult CallRetrying(std::string_view sql, const PgDb::Params& params, std::stop_token stop);
  // Connects again after the connection was lost, with waits between attempts (ReconnectWaits);
  // false when no connection could be made in time, or the caller was stopped.
  bool ReconnectWithBackoff(std::stop_token stop);
  bool Fail(std::string_view what, std::string& error);
  // `acceptLoss`: the operator goes on on purpose; the witness starts again from the server.
  bool CheckStationWitness(std::string& error, bool acceptLoss);
  // After a reconnect, perhaps to another server (a standby promoted): the journal must still be
  // the one this station used and know all it reserved; otherwise `forgotten_` says why and every
  // later call fails.
  bool StillKnowsThisStation();
  // After a reservation: the station's witness learns the row, or the row gives its number back.
  bool NoteReserved(const PassRecord& row, std::string& error, std::stop_token stop);
  void Heartbeat(std::stop_token stop);

  std::mutex mutex_;
  PgDb db_;
  std::string connectName_;  // as the operator gave it, password and all: for the heartbeat
  std::string name_;  // the server, as messages name it
  std::string station_;
  std::chrono::milliseconds lease_;
  std::chrono::milliseconds timeout_;
  bool stalled_ = false;  // a call got no answer in time: no later call asks the server again
  ReconnectWaits waits_;
  bool reconnectRanOut_ = false;  // the last call's attempts to reconnect ran out of time
  std::string journalId_;  // the journal's identity (its schema's random id)
  StationWitness witness_;
  bool acceptLoss_ = false;
  std::string forgotten_;  // the server reached after a reconnect knows less than this station
  std::int64_t runId_ = 0;
  long recovered_ = 0;
  std::condition_variable_any beat_;
  std::jthread heartbeat_;
};

}  // namespace kvx
