// The one hexadecimal-text converter, used by the file readers, the configuration reader, the
// editing dialogs and the QTP reader.
#pragma once

#include <string_view>

namespace kvx {

struct HexText {
  long value = 0;      // the value of the digits before the first non-digit
  bool valid = true;   // every character was a hexadecimal digit (an empty text is valid, 0)
};

HexText HexToInt(std::string_view text);

}  // namespace kvx
