#include "core/files/station_settings.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "core/device/text_convert.h"
#include "core/files/file_io.h"

namespace kvx {

namespace {

// Far beyond any settings file; a larger one is not ours to rewrite.
constexpr std::size_t kMaxSettingsBytes = 1 << 20;

// The key a line sets, or empty for a comment, a blank line or a line without "=".
std::string KeyOf(std::string_view line) {
  const std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';') return {};
  const auto equals = trimmed.find('=');
  if (equals == std::string::npos) return {};
  return Trim(std::string_view(trimmed).substr(0, equals));
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end + 1 - start));
    start = end + 1;
  }
  return lines;
}

// The path a change must be written to: the target of a symbolic link (renaming over the link
// would replace it by a plain file and leave the real settings behind).
std::string RealTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
  return path;
}

}  // namespace

std::string SettingValue(const std::string& text, const std::string& key) {
  std::string value;
  for (const std::string& line : SplitLines(text)) {
    if (KeyOf(line) != key) continue;
    value = Trim(std::string_view(line).substr(line.find('=') + 1));  // the last one counts
  }
  return value;
}

std::string ReadSetting(const std::string& path, const std::string& key) {
  std::ifstream in;
  if (OpenForReading(path, in) != OpenResult::Ok) return {};
  return SettingValue(ReadAtMost(in, kMaxSettingsBytes), key);
}

std::string WithSettings(const std::string& text, const SettingChanges& changes) {
  std::vector<std::string> lines = SplitLines(text);
  for (const auto& [key, value] : changes) {
    std::size_t last = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (KeyOf(lines[i]) == key) last = i;
    if (last == lines.size()) {
      if (!lines.empty() && lines.back().back() != '\n') lines.back() += '\n';
      lines.push_back(key + "=" + value + "\n");
      continue;
    }
    std::string& line = lines[last];
    const bool crlf = line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0;
    const bool lf = !crlf && !line.empty() && line.back() == '\n';
    line = key + "=" + value + (crlf ? "\r\n" : lf ? "\n" : "");
  }
  std::string out;
  for (const std::string& line : lines) out += line;
  return out;
}

std::string UpdateSettings(const std::string& path, const SettingChanges& changes) {
  const std::string target = RealTarget(path);
  const std::string cannot = "'" + path + "' file can't be written!";
  std::string text;
  std::optional<unsigned> mode;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    std::ifstream in;
    if (OpenForReading(target, in) != OpenResult::Ok) return cannot;
    text = ReadAtMost(in, kMaxSettingsBytes + 1);
    if (text.size() > kMaxSettingsBytes || in.bad()) return cannot;
    mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    return cannot;
  }
  const std::string updated = WithSettings(text, changes);
  if (updated == text && mode) return {};
  if (!WriteFileReplacing(target, updated, mode)) return cannot;
  return {};
}

}  // namespace kvx
