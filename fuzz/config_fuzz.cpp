// Configuration reader: any bytes as a cfg file. A file that parses must save and parse back to
// the same record; applying it (settings only, and fully) must not crash or read past its end.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/files/config_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto record = kvx::ParseCfg(bytes);
  static auto ws = std::make_unique<kvx::Workspace>();
  *ws = kvx::Workspace();
  ws->files.ConfigPath = "fuzz.cfg";
  kvx::LoadReport report;
  const bool full = size > 0 && (data[size - 1] & 1);
  const bool loaded = kvx::LoadCfg(*ws, bytes, full, report);
  if (!record && (loaded || report.messages.size() != 1)) __builtin_trap();
  if (record && record->programPath.empty()) {
    const auto again = kvx::ParseCfg(kvx::SaveCfg(*ws));
    if (!again) __builtin_trap();
  }
  return 0;
}
