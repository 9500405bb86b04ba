// Which production journal the desktop program uses: the `journal=` line of KvxWriter.ini, the
// settings file of its own beside Default.cfg in the start-up folder (key=value lines; a line
// starting with # or ; is a comment). The value is a file (relative to the start-up folder) or a
// shared journal's server, as ParseJournalName tells them (journal_name.h). Without the file or
// the line, the journal is kvx-journal.db in the start-up folder.
#pragma once

#include <string>

#include "core/files/station_settings.h"

namespace kvx {

// The journal the desktop program opens, for the start-up folder `startDir`.
std::string DesktopJournalName(const std::string& startDir);

}  // namespace kvx
