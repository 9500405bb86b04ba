// Which production journal the desktop program uses: the `journal=` line of KvxWriter.ini, the
// settings file of its own beside Default.cfg in the start-up folder (key=value lines; a line
// starting with # or ; is a comment). The value is a file (relative to the start-up folder) or a
// shared journal's server, as ParseJournalName tells them (journal_name.h). Without the file or
// the line, the journal is kvx-journal.db in the start-up folder.
#pragma once

#include <chrono>
#include <string>

#include "core/files/station_settings.h"

namespace kvx {

// The journal the desktop program opens, for the start-up folder `startDir`.
std::string DesktopJournalName(const std::string& startDir);

// How long a shared journal's call may wait for its server, as the operator gives it (kvxw's
// --journal-timeout, the `journal_timeout=` line of KvxWriter.ini): seconds, whole or decimal,
// from 0.1 to 3600. False with a message naming `what` (the option or the key) when it is not.
bool ParseJournalTimeout(const std::string& text, const std::string& what,
                         std::chrono::milliseconds& timeout, std::string& error);
// The desktop's time-out: the `journal_timeout=` line of KvxWriter.ini in `startDir`, or the
// journal's default without one. False with a message when its value is not a time-out.
bool DesktopJournalTimeout(const std::string& startDir, std::chrono::milliseconds& timeout,
                           std::string& error);

}  // namespace kvx
