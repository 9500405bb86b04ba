#include "core/files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kvx {

OpenResult OpenForReading(const std::string& path, std::ifstream& in) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR
                                                ? OpenResult::Missing
                                                : OpenResult::CannotOpen;
  if (!S_ISREG(st.st_mode)) return OpenResult::CannotOpen;
  in.open(path, std::ios::binary);
  return in.is_open() ? OpenResult::Ok : OpenResult::CannotOpen;
}

std::string WhyNotReadable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "it is a directory";
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return "it could not be read";
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string ReadAtMost(std::istream& in, std::size_t limit) {
  std::string data;
  char block[4096];
  while (data.size() < limit && in) {
    std::size_t want = std::min(sizeof block, limit - data.size());
    in.read(block, static_cast<std::streamsize>(want));
    data.append(block, static_cast<std::size_t>(in.gcount()));
  }
  return data;
}

namespace {

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> data,
                        std::optional<unsigned> mode) {
  if (path.empty()) return false;
  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  // mkstemp creates the file for its owner only; a saved program or configuration is an
  // ordinary file, so give it the usual permissions (narrowed by the umask).
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, mode ? static_cast<mode_t>(*mode) : 0666 & ~mask);
  bool ok = WriteAll(fd, data.data(), data.size()) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool WriteFileReplacing(const std::string& path, std::string_view data,
                        std::optional<unsigned> mode) {
  return WriteFileReplacing(
      path, std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()), mode);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + '/' + name;
}

}  // namespace kvx
