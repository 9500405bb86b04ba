#include "core/production/journal_settings.h"

#include <fstream>
#include <sstream>

#include "core/files/file_io.h"
#include "core/production/journal.h"
#include "core/production/journal_name.h"

namespace kvx {

namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::string SettingValue(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  std::string line, value;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos || Trim(line.substr(0, equals)) != key) continue;
    value = Trim(line.substr(equals + 1));  // the last one counts
  }
  return value;
}

std::string DesktopJournalName(const std::string& startDir) {
  std::ifstream in;
  std::string value;
  if (OpenForReading(JoinPath(startDir, kSettingsFileName), in) == OpenResult::Ok)
    value = SettingValue(ReadAtMost(in, 1 << 16), "journal");
  if (value.empty()) return JoinPath(startDir, kJournalFileName);
  // A server's name, or one that is neither a server's nor a file's (opening it says why).
  if (ParseJournalName(value).kind != JournalName::Kind::File || value.front() == '/') return value;
  return JoinPath(startDir, value);
}

}  // namespace kvx
