// The small text conversions every folder shares: hexadecimal digits both ways, whole-text
// decimal numbers and upper-casing. The device library is the one all others build on, so they
// live here and nowhere else.
#pragma once

#include <charconv>
#include <string>
#include <string_view>

namespace kvx {

// The value of one hexadecimal digit (either case), or -1 for any other character.
int HexDigitValue(char c);

// `value` in upper-case hexadecimal, zero-padded to at least `digits` digits.
std::string HexDigits(unsigned value, int digits);

// The whole of `text` as a decimal number (a leading '-' allowed); false for an empty text,
// any other character or a number out of T's range.
template <class T>
bool ParseDecimal(std::string_view text, T& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
  return !text.empty() && ec == std::errc() && ptr == end;
}

// `text` without the spaces, tabs and line ends at either end.
std::string Trim(std::string_view text);

// `text` with its ASCII letters in upper case.
std::string UpperCase(std::string text);

// `text` up to (not including) its first "."; empty when it has none. The save and open dialogs
// propose file names this way.
std::string UpToFirstDot(const std::string& text);

}  // namespace kvx
