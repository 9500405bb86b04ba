// The pass count: a number the panel shows in decimal, advanced by one per counted chip. Force
// Write and Auto Program count; the counter dialog sets it.
#pragma once

#include <string>

#include "core/device/workspace.h"

namespace kvx {

void CountPass(Workspace& ws);

// A count typed or read from a file: a decimal signed 32-bit number, 0 when the text is empty or
// not a number (the operator cleared the counter dialog and pressed OK).
long PassCountValue(const std::string& text);
// The count as the panel, the dialogs and kvxw show it: decimal, no leading zeros.
std::string PassCountText(const Workspace& ws);

// The counter dialog ("Counter Setup"): its edit takes at most 9 characters, and only the digit
// keys (main row or keypad: both type a digit), backspace and delete change it. A key comes as
// the desktop reports it: the character it types (0 for none) and, for a key that types none
// of its own, its name.
inline constexpr int kCounterMaxLength = 9;
enum class NamedKey { None, Backspace, Delete };
constexpr bool CounterKeyAllowed(char32_t typed, NamedKey named = NamedKey::None) {
  return (typed >= U'0' && typed <= U'9') || typed == U'\b' || typed == 0x7F ||
         named == NamedKey::Backspace || named == NamedKey::Delete;
}
// OK: the edit's text becomes the count ("0099" is 99; an empty edit 0).
void SetPassCount(Workspace& ws, const std::string& editText);

}  // namespace kvx
