#include "core/device/pass_count.h"

#include <cstdint>
#include <limits>
#include <string_view>

#include "core/device/text_convert.h"

namespace kvx {

long PassCountValue(const std::string& text) {
  std::string_view digits = text;
  // A '+' may stand where the '-' of a negative count would.
  if (digits.starts_with('+')) {
    digits.remove_prefix(1);
    if (digits.starts_with('-')) return 0;
  }
  std::int32_t value = 0;
  return ParseDecimal(digits, value) ? value : 0;
}

void CountPass(Workspace& ws) {
  // The count only grows; at the top of its range it stays there rather than turn negative.
  if (ws.production.PassCount < std::numeric_limits<std::int32_t>::max()) ++ws.production.PassCount;
  ws.panel.RefreshPending = true;
}

void SetPassCount(Workspace& ws, const std::string& editText) {
  ws.production.PassCount = PassCountValue(editText);
  ws.panel.RefreshPending = true;
}

std::string PassCountText(const Workspace& ws) { return std::to_string(ws.production.PassCount); }

}  // namespace kvx
