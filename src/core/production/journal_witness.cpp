#include "core/production/journal_witness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kvx {

namespace {

std::string SystemError() { return std::strerror(errno); }

bool ParseLine(const std::string& line, WitnessEntry& entry) {
  std::istringstream in(line);
  std::string id, record;
  if (!std::getline(in, id, '\t') || !std::getline(in, entry.series, '\t') ||
      !std::getline(in, entry.serial, '\t') || !std::getline(in, record) || id.empty() ||
      record.empty() || entry.series.empty())
    return false;
  try {
    std::size_t used = 0;
    entry.id = std::stoll(id, &used);
    if (used != id.size() || entry.id <= 0) return false;
    entry.record = std::stol(record, &used);
    return used == record.size() && entry.record >= 0;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::string JournalWitness::RealPathOf(const std::string& path) {
  std::string current = path;
  // The last part, while it is a link (at most as many hops as the system itself follows).
  for (int hop = 0; hop < 40; ++hop) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(current.c_str(), target, sizeof target - 1);
    if (length <= 0) break;
    std::string next(target, static_cast<std::size_t>(length));
    if (next.front() != '/') {
      const std::size_t slash = current.find_last_of('/');
      next = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + next;
    }
    current = next;
  }
  // The folder, with its own links and "..", as the system finds it.
  const std::size_t slash = current.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : current.substr(0, slash + 1);
  const std::string leaf = slash == std::string::npos ? current : current.substr(slash + 1);
  char resolved[PATH_MAX];
  if (leaf.empty() || ::realpath(folder.c_str(), resolved) == nullptr) return current;
  const std::string real = resolved;
  return real + (real.ends_with('/') ? "" : "/") + leaf;
}

bool JournalWitness::HasEntries() const {
  struct stat st {};
  return ::stat(path_.c_str(), &st) == 0 && st.st_size > 0;
}

std::vector<std::string> JournalWitness::LinkedPathsFor(const std::string& realPath) {
  std::vector<std::string> linked;
  struct stat self {};
  if (::stat(realPath.c_str(), &self) != 0 || self.st_nlink < 2) return linked;
  std::error_code ec;
  const auto folder = std::filesystem::path(realPath).parent_path();
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().string();
    struct stat other {};
    if (name != realPath && ::lstat(name.c_str(), &other) == 0 && S_ISREG(other.st_mode) &&
        other.st_dev == self.st_dev && other.st_ino == self.st_ino)
      linked.push_back(name + ".witness");
  }
  return linked;
}

bool JournalWitness::Read(std::map<std::string, WitnessEntry>& lastBySeries,
                          std::string& error) const {
  if (!ReadOwn(lastBySeries, error)) return false;
  for (const std::string& path : linked_) {
    std::map<std::string, WitnessEntry> theirs;
    if (!JournalWitness(path).ReadOwn(theirs, error)) return false;
    for (const auto& [series, entry] : theirs)
      if (entry.id > lastBySeries[series].id) lastBySeries[series] = entry;
  }
  return true;
}

bool JournalWitness::Append(const WitnessEntry& entry, std::string& error) const {
  if (!AppendOwn(entry, error)) return false;
  for (const std::string& path : linked_)
    if (!JournalWitness(path).AppendOwn(entry, error)) return false;
  return true;
}

bool JournalWitness::ReadOwn(std::map<std::string, WitnessEntry>& lastBySeries,
                             std::string& error) const {
  lastBySeries.clear();
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) return true;  // none yet
  // The lines written so far: a witness that is not a plain file (a device) has none.
  const std::size_t size = S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) : 0;
  std::string text(size, '\0');
  std::ifstream in(path_, std::ios::binary);
  if (!in || !in.read(text.data(), static_cast<std::streamsize>(size))) {
    error = "the journal's witness " + path_ + " cannot be read: " + SystemError();
    return false;
  }
  std::size_t from = 0;
  // A last line without its line end is one the writer did not finish.
  for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', from)) {
    // A line cut short by a crash was closed by the next append: it names nothing.
    WitnessEntry entry;
    if (ParseLine(text.substr(from, end - from), entry)) {
      WitnessEntry& last = lastBySeries[entry.series];
      if (entry.id > last.id) last = entry;
    }
    from = end + 1;
  }
  return true;
}

bool JournalWitness::AppendOwn(const WitnessEntry& entry, std::string& error) const {
  const std::string line = std::to_string(entry.id) + '\t' + entry.series + '\t' + entry.serial +
                           '\t' + std::to_string(entry.record) + '\n';
  auto fail = [&](int fd) {
    error = "the journal's witness " + path_ + " cannot be written: " + SystemError();
    if (fd >= 0) ::close(fd);
    return false;
  };
  // Opened for each line: one write with O_APPEND keeps the lines of two processes whole.
  const int fd = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return fail(fd);
  // After a line a crash cut short, this one starts on a line of its own.
  struct stat st {};
  char lastByte = '\n';
  if (::fstat(fd, &st) == 0 && st.st_size > 0) ::pread(fd, &lastByte, 1, st.st_size - 1);
  const std::string text = lastByte == '\n' ? line : '\n' + line;
  const ssize_t written = ::write(fd, text.data(), text.size());
  if (written != static_cast<ssize_t>(text.size())) {
    if (written >= 0) errno = ENOSPC;
    return fail(fd);
  }
  if (::fsync(fd) != 0) return fail(fd);
  if (::close(fd) != 0) return fail(-1);
  return true;
}

}  // namespace kvx
