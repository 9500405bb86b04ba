// An SQLite VFS for tests that wraps the default one and makes writes or syncs fail, as a full
// or failing disk would, after a given number of calls: the journal's write faults without a
// real full disk (the tests run as root, so permissions stop nothing).
//
// While a FaultyVfs lives it is SQLite's default VFS, so every connection opened meanwhile goes
// through it. One at a time.
#pragma once

namespace kvx::testing {

class FaultyVfs {
 public:
  enum class Call { Write, Sync };
  // The files a fault hits, as SQLite opens them.
  enum Files : int { kMainDb = 1, kWal = 2, kRollbackJournal = 4, kAllFiles = 7 };

  FaultyVfs();
  ~FaultyVfs();
  FaultyVfs(const FaultyVfs&) = delete;
  FaultyVfs& operator=(const FaultyVfs&) = delete;

  // From now on, `call`s on `files` succeed `after` more times, then fail (writes with
  // SQLITE_FULL, syncs with SQLITE_IOERR_FSYNC) until Heal().
  void FailAfter(Call call, int files, long after = 0);
  void Heal();
  long Failures() const;  // calls failed since the last FailAfter
  long BusyLocks() const;  // file locks refused because another connection held one
};

}  // namespace kvx::testing
