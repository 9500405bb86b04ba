#include "core/production/journal_settings.h"

#include "core/files/file_io.h"
#include "core/production/journal.h"
#include "core/production/journal_name.h"

namespace kvx {

std::string DesktopJournalName(const std::string& startDir) {
  const std::string value = ReadSetting(JoinPath(startDir, kSettingsFileName), "journal");
  if (value.empty()) return JoinPath(startDir, kJournalFileName);
  // A server's name, or one that is neither a server's nor a file's (opening it says why).
  if (ParseJournalName(value).kind != JournalName::Kind::File || value.front() == '/') return value;
  return JoinPath(startDir, value);
}

}  // namespace kvx
