// The journal's witness: a plain text file beside the journal ("kvx-journal.db.witness") that
// gets one line per serial number reserved, appended and flushed to disk right after the
// reservation is committed, before the chip is stamped. It shares nothing with SQLite's files,
// so a journal that lost committed rows (a damaged write-ahead log, a file copied back from an
// old backup) is caught when it is opened: the journal then knows less than its witness.
//
// A line: the row's id, its series, its serial number and its QTP record (0 when none),
// separated by tabs. A line cut short (the process died while writing it) is not counted.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kvx {

struct WitnessEntry {
  std::int64_t id = 0;
  std::string series;
  std::string serial;
  long record = 0;
};

class JournalWitness {
 public:
  // Beside the journal's real file, whichever name (a symbolic link, a linked folder) the journal
  // was opened by: every name of one journal shares its witness.
  static std::string PathFor(const std::string& journalPath) {
    return RealPathOf(journalPath) + ".witness";
  }
  // `path` with every symbolic link on the way resolved, its last part's too (a link to a file
  // not there yet names where that file will be); `path` itself when its folder is not there.
  static std::string RealPathOf(const std::string& path);

  // The witnesses of the file's other names in its folder (hard links to it): one file under
  // several names is one journal, and what a run reserves through one name is known to all.
  static std::vector<std::string> LinkedPathsFor(const std::string& realPath);

  // `linked`: the witnesses of the journal's other names (LinkedPathsFor), read and written too.
  explicit JournalWitness(std::string path = {}, std::vector<std::string> linked = {})
      : path_(std::move(path)), linked_(std::move(linked)) {}
  const std::string& Path() const { return path_; }

  // Whether the file exists and holds at least one line.
  bool HasEntries() const;
  // The entry with the highest row id of each series, in this witness or a linked one. False with a message when the file cannot
  // be read; a missing file has no entries.
  bool Read(std::map<std::string, WitnessEntry>& lastBySeries, std::string& error) const;
  // Appends one entry (to the linked witnesses too) and waits until it is on disk. False with a
  // message on failure.
  bool Append(const WitnessEntry& entry, std::string& error) const;

 private:
  bool ReadOwn(std::map<std::string, WitnessEntry>& lastBySeries, std::string& error) const;
  bool AppendOwn(const WitnessEntry& entry, std::string& error) const;

  std::string path_;
  std::vector<std::string> linked_;
};

}  // namespace kvx
