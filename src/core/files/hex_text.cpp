#include "core/files/hex_text.h"

namespace kvx {

HexText HexToInt(std::string_view text) {
  HexText r;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else {
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
