#include "core/production/journal_settings.h"

#include <cmath>
#include <cstdlib>

#include "core/device/text_convert.h"
#include "core/files/file_io.h"
#include "core/production/journal.h"
#include "core/production/journal_name.h"
#include "core/production/pg_db.h"

namespace kvx {

namespace {

std::string DesktopSetting(const std::string& startDir, const std::string& key) {
  return ReadSetting(JoinPath(startDir, kSettingsFileName), key);
}

}  // namespace

std::string DesktopJournalName(const std::string& startDir) {
  const std::string value = DesktopSetting(startDir, "journal");
  if (value.empty()) return JoinPath(startDir, kJournalFileName);
  // A server's name, or one that is neither a server's nor a file's (opening it says why).
  if (ParseJournalName(value).kind != JournalName::Kind::File || value.front() == '/') return value;
  return JoinPath(startDir, value);
}

bool ParseJournalTimeout(const std::string& text, const std::string& what,
                         std::chrono::milliseconds& timeout, std::string& error) {
  const std::string value = Trim(text);
  char* end = nullptr;
  const double seconds = value.empty() ? 0.0 : std::strtod(value.c_str(), &end);
  if (value.empty() || end == nullptr || *end != '\0' || !std::isfinite(seconds) ||
      seconds < 0.1 || seconds > 3600) {
    error = what + " " + (value.empty() ? "is empty" : "'" + value + "'") +
            ": give the seconds a call may wait for the journal's server, 0.1 to 3600";
    return false;
  }
  timeout = std::chrono::milliseconds(std::llround(seconds * 1000));
  return true;
}

bool DesktopJournalTimeout(const std::string& startDir, std::chrono::milliseconds& timeout,
                           std::string& error) {
  timeout = kPgDefaultTimeout;
  const std::string value = DesktopSetting(startDir, "journal_timeout");
  return value.empty() ||
         ParseJournalTimeout(value, std::string(kSettingsFileName) + ": journal_timeout", timeout,
                             error);
}

}  // namespace kvx
