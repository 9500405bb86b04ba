// Intel HEX reader: any bytes as a kvh/hex file, then the PIC translation and the word split
// exactly as File > Open runs them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/device/catalogue.h"
#include "core/files/intel_hex.h"
#include "core/files/pic_translate.h"
#include "core/files/raw_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto ws = std::make_unique<kvx::Workspace>();
  // The first byte picks the device, so every core and memory size is exercised.
  const int device = size > 0 ? data[0] % kvx::kDeviceCount : 0;
  kvx::GetICInfo(*ws, kvx::Catalogue[static_cast<std::size_t>(device)].Name);
  const kvx::OpenViews views{.programViewClosed = size > 1 && (data[1] & 1) == 0};
  ws->files.StartupConfigLoad = size > 1 && (data[1] & 2);
  std::vector<std::string> messages;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  ws->files.LoadedLength = kvx::HexToObj(*ws, text, messages);
  if (ws->files.LoadedLength < 0 || ws->files.LoadedLength > kvx::kProgramBufferBytes) __builtin_trap();
  if (messages.size() > 1) __builtin_trap();  // only the last fault is reported
  kvx::TranslatePicCode(*ws, messages, views);
  kvx::SplitWords(ws->image.ProgramBuffer);
  for (std::uint8_t b : ws->image.ProgramBuffer)
    if (b > 0x7F) __builtin_trap();
  return 0;
}
