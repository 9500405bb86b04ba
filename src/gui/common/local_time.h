// Times as the operator reads them: the journal keeps UTC ("2026-12-08T13:58:33.989Z"), and the
// windows show the station's local time. The exports and the data keep UTC.
#pragma once

#include <QString>
#include <string>

namespace kvx::gui {

// "2026-12-08T13:58:33.989Z" -> "2026-12-08 14:58:33" in local time; a text that is not such a
// time is returned as it is.
QString LocalTime(const std::string& utc);
// The core's wording as a sentence of a message box: its first letter a capital, its UTC times
// in local time.
QString Sentence(const std::string& text);

}  // namespace kvx::gui
