#include "core/files/hex_text.h"

#include "core/device/text_convert.h"

namespace kvx {

HexText HexToInt(std::string_view text) {
  HexText r;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) {
      r.valid = false;
      return r;
    }
    // Long texts cannot overflow: nothing the program reads is longer than 8 digits, and the
    // value is capped so a malformed file cannot push it past the range.
    if (r.value < (1L << 40)) r.value = r.value * 16 + digit;
  }
  return r;
}

}  // namespace kvx
