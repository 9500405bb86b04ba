#include "core/production/pass_count.h"

#include <cstdint>
#include <limits>

namespace kvx {

long PassCountValue(const std::string& text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return 0;
  long long value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<std::int32_t>::max() + 1LL) return 0;  // not a 32-bit count
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return 0;
  return static_cast<long>(value);
}

void CountPass(Workspace& ws) {
  const long count = PassCountValue(ws.PassCountText);
  // The count only grows; at the top of its range it stays there rather than turn negative.
  const long next = count < std::numeric_limits<std::int32_t>::max() ? count + 1 : count;
  ws.PassCountText = std::to_string(next);
  ws.RefreshPending = true;
}

void SetPassCount(Workspace& ws, const std::string& editText) {
  ws.PassCountText = editText;
  ws.RefreshPending = true;
}

}  // namespace kvx
