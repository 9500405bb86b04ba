// How GoogleTest prints Qt's values when an expectation on them fails: a QString as its text in
// quotes (not a list of 2-byte objects), a QColor as #rrggbb; and the core's values by name.
#pragma once

#include <QColor>
#include <QString>
#include <ostream>

#include "core/printers.h"

// Qt's types live in the global namespace: their printers must be there too.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QColor& colour, std::ostream* os) {
  *os << colour.name().toStdString();
}
