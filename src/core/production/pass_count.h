// The pass count: a decimal text on the panel, advanced by one per counted chip.
#pragma once

#include <string>

#include "core/device/workspace.h"

namespace kvx {

void CountPass(Workspace& ws);  // an empty or non-numeric count counts as 0

// The count's value as the panel text gives it: a decimal signed 32-bit number, 0 when the text
// is empty or not a number (the operator cleared the counter dialog and pressed OK).
long PassCountValue(const std::string& text);

// The counter dialog ("Counter Setup"): its edit takes at most 9 characters, and only the digit
// keys (main row or keypad), backspace and delete change it.
inline constexpr int kCounterMaxLength = 9;
constexpr bool CounterKeyAllowed(int virtualKey) {
  return (virtualKey >= 0x30 && virtualKey <= 0x39) || (virtualKey >= 0x60 && virtualKey <= 0x69) ||
         virtualKey == 0x08 || virtualKey == 0x2E;
}
// OK: the edit's text becomes the count as typed ("0099" stays "0099" until the next pass).
void SetPassCount(Workspace& ws, const std::string& editText);

}  // namespace kvx
