// A station's own witness of the shared journals it uses: the server's journal may be emptied
// (TRUNCATE), dropped and made again, restored from an older dump, or replaced by a standby that
// lacks its last commits, and each of those would hand out numbers already in chips. So each
// station keeps, in its state folder ($XDG_STATE_HOME/kvxwriter, else ~/.local/state/kvxwriter),
// one small file that names every shared journal it used by the id the journal's schema holds,
// and the last row it reserved in each series of it. A run's journal is checked against it when
// it opens and after every reconnect (PgJournal): a server that no longer has such a row, or
// whose journal under the same name has another id, stops the run.
//
// The file ("shared-journals") is text, one fact a line:
//   journal ID NAME                          the journal ID was last seen under NAME
//   last ID ROW RECORD SERIAL SERIES         the last row this station reserved in SERIES of ID
// It is rewritten whole for each change, atomically (a temporary file, fsync, rename), under a
// lock that the runs of one station share.
#pragma once

#include <map>
#include <string>

#include "core/production/journal_witness.h"

namespace kvx {

class StationWitness {
 public:
  // $XDG_STATE_HOME/kvxwriter, else $HOME/.local/state/kvxwriter.
  static std::string DefaultFolder();

  explicit StationWitness(std::string folder = DefaultFolder());
  const std::string& Path() const { return path_; }

  struct Known {
    std::string idUnderName;                     // the id last seen under the name; empty: none
    std::map<std::string, WitnessEntry> last;    // of the journal's id, by series
    std::map<std::string, WitnessEntry> lastOfNamesId;  // of idUnderName, by series
  };
  // What the station knows of the journal `id` and of the name `name`. A missing file knows
  // nothing. False with a message when the file cannot be read.
  bool Read(const std::string& id, const std::string& name, Known& known, std::string& error) const;
  // Notes that `name` is the journal `id` now; with `forget`, drops what the station knew of
  // the journal the name was before and of `id` itself (the operator goes on on purpose).
  bool Adopt(const std::string& id, const std::string& name, bool forget, std::string& error) const;
  // Notes a row reserved in the journal `id` (kept when it is the series' newest).
  bool Note(const std::string& id, const WitnessEntry& entry, std::string& error) const;

 private:
  struct Facts {
    std::map<std::string, std::string> idByName;
    std::map<std::string, std::map<std::string, WitnessEntry>> lastById;
  };
  bool Load(Facts& facts, std::string& error) const;
  // Loads the facts, lets `change` change them, and writes them back, under the station's lock.
  template <class Change>
  bool Update(Change change, std::string& error) const;
  bool Save(const Facts& facts, std::string& error) const;

  std::string folder_;
  std::string path_;
};

}  // namespace kvx
