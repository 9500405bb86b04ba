// The columns of a pass row as both journal backends select them, and the one reading of them
// into a PassRecord: the SQLite file and the shared server differ only in how a column is read.
#pragma once

#include "core/production/journal.h"

namespace kvx {

// A pass row selected as
//   id, started, ended, host, port, writer, device, program_path, data_checksum, option_word,
//   id_checksum, series, serial, record, pass_count, outcome, counted, red_line, duration_ms,
//   keeps_number, program_sha256, slot, lot, operator_name
// with counted and keeps_number as integers (0 or 1); `text(i)`, `number(i)` and `isNull(i)`
// read its column i.
template <class Text, class Number, class IsNull>
PassRecord PassFromColumns(Text&& text, Number&& number, IsNull&& isNull) {
  PassRecord r;
  r.id = number(0);
  r.started = text(1);
  r.ended = text(2);
  r.host = text(3);
  r.port = text(4);
  r.writer = text(5);
  r.device = text(6);
  r.programPath = text(7);
  r.dataChecksum = text(8);
  r.optionWord = text(9);
  r.idChecksum = text(10);
  r.series = text(11);
  r.serial = text(12);
  r.record = static_cast<long>(number(13));
  r.passCount = static_cast<long>(number(14));
  r.outcome = OutcomeFromText(text(15));
  r.counted = number(16) != 0;
  r.redLine = text(17);
  r.durationMs = isNull(18) ? -1 : static_cast<long>(number(18));
  r.keepsNumber = number(19) != 0;
  r.programSha256 = text(20);
  r.slot = text(21);
  r.lot = text(22);
  r.operatorName = text(23);
  return r;
}

}  // namespace kvx
