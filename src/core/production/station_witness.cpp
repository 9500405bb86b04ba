#include "core/production/station_witness.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/files/file_io.h"

namespace kvx {

namespace {

std::string SystemError() { return std::strerror(errno); }

// Makes every folder of `path` that is missing, for this user only.
bool MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

}  // namespace

std::string StationWitness::DefaultFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/')
    return std::string(state) + "/kvxwriter";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && *home != '\0' ? home : ".") + "/.local/state/kvxwriter";
}

StationWitness::StationWitness(std::string folder)
    : folder_(std::move(folder)), path_(folder_ + "/shared-journals") {}

bool StationWitness::Load(Facts& facts, std::string& error) const {
  if (::access(path_.c_str(), F_OK) != 0 && errno == ENOENT) return true;
  std::ifstream in(path_);
  if (!in) {
    error = "this station's witness " + path_ + " cannot be read: " + SystemError();
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string kind, id;
    words >> kind >> id;
    if (kind == "journal") {
      std::string name;
      std::getline(words >> std::ws, name);
      if (!name.empty()) facts.idByName[name] = id;
    } else if (kind == "last") {
      WitnessEntry e;
      if (!(words >> e.id >> e.record >> e.serial)) continue;  // a line cut short
      std::getline(words >> std::ws, e.series);
      if (!e.series.empty()) facts.lastById[id][e.series] = e;
    }
  }
  return true;
}

bool StationWitness::Save(const Facts& facts, std::string& error) const {
  std::ostringstream text;
  text << "# kvxw: the shared journals this station used, and the last row it reserved in each "
          "series\n";
  for (const auto& [name, id] : facts.idByName) text << "journal " << id << ' ' << name << '\n';
  for (const auto& [id, series] : facts.lastById)
    for (const auto& [key, e] : series)
      text << "last " << id << ' ' << e.id << ' ' << e.record << ' ' << e.serial << ' '
           << e.series << '\n';
  errno = 0;
  if (!WriteFileReplacing(path_, text.str(), 0600u)) {
    if (errno == 0) errno = ENOSPC;
    error = "this station's witness " + path_ + " cannot be written: " + SystemError();
    return false;
  }
  if (const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

template <class Change>
bool StationWitness::Update(Change change, std::string& error) const {
  if (!MakeFolders(folder_)) {
    error = "this station's state folder " + folder_ + " cannot be made: " + SystemError();
    return false;
  }
  // The runs of one station (several kvxw, the desktop) take turns.
  const std::string lockPath = path_ + ".lock";
  const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
    error = "this station's witness " + path_ + " cannot be locked: " + SystemError();
    if (lock >= 0) ::close(lock);
    return false;
  }
  Facts facts;
  const bool ok = Load(facts, error) && (change(facts), Save(facts, error));
  ::close(lock);
  return ok;
}

bool StationWitness::Read(const std::string& id, const std::string& name, Known& known,
                          std::string& error) const {
  Facts facts;
  if (!Load(facts, error)) return false;
  const auto named = facts.idByName.find(name);
  known.idUnderName = named != facts.idByName.end() ? named->second : std::string();
  known.last = facts.lastById[id];
  known.lastOfNamesId = facts.lastById[known.idUnderName];
  return true;
}

bool StationWitness::Adopt(const std::string& id, const std::string& name, bool forget,
                           std::string& error) const {
  return Update(
      [&](Facts& facts) {
        if (forget) {
          if (const auto old = facts.idByName.find(name); old != facts.idByName.end())
            facts.lastById.erase(old->second);
          facts.lastById.erase(id);
        }
        facts.idByName[name] = id;
      },
      error);
}

bool StationWitness::Note(const std::string& id, const WitnessEntry& entry,
                          std::string& error) const {
  return Update(
      [&](Facts& facts) {
        WitnessEntry& last = facts.lastById[id][entry.series];
        if (entry.id > last.id) last = entry;
      },
      error);
}

}  // namespace kvx
