#include "core/production/journal_settings.h"

#include "core/files/file_io.h"
#include "core/production/journal.h"
#include "core/production/pg_db.h"

namespace kvx {

std::string DesktopJournalName(const std::string& startDir) {
  const std::string value = ReadSetting(JoinPath(startDir, kSettingsFileName), "journal");
  if (value.empty()) return JoinPath(startDir, kJournalFileName);
  if (IsPostgresName(value) || value.front() == '/') return value;
  return JoinPath(startDir, value);
}

}  // namespace kvx
