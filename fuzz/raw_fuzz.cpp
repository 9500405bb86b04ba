// Raw image reader: any bytes as a bin/obj file, translated, split and saved back; a file of
// the device's size must come back unchanged apart from the bits the device does not hold.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/device/catalogue.h"
#include "core/files/pic_translate.h"
#include "core/files/raw_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto ws = std::make_unique<kvx::Workspace>();
  if (size == 0) return 0;
  const int device = data[0] % kvx::kDeviceCount;
  kvx::GetICInfo(*ws, kvx::Catalogue[static_cast<std::size_t>(device)].Name);
  std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  ws->files.LoadedLength = kvx::ReadRawImage(bytes, ws->image.ProgramBuffer);
  const std::size_t expected = std::min<std::size_t>(bytes.size(), kvx::kProgramBufferBytes);
  if (ws->files.LoadedLength != static_cast<int>(expected)) __builtin_trap();
  const bool translate = data[0] & 0x80;
  std::vector<std::string> messages;
  if (translate) kvx::TranslatePicCode(*ws, messages);
  kvx::SplitWords(ws->image.ProgramBuffer);
  if (ws->device.CoreType == 3) kvx::MaskElevenBit(ws->image.ProgramBuffer);
  const auto image = kvx::ProgramImage(*ws);
  if (image.size() != static_cast<std::size_t>(ws->device.ProgramBytes)) __builtin_trap();
  if (!translate && bytes.size() >= image.size()) {
    const int keep = ws->device.CoreType == 3 ? 0x07FF : 0x3FFF;
    for (std::size_t i = 0; i + 1 < image.size(); i += 2) {
      const int in = (static_cast<std::uint8_t>(bytes[i]) | static_cast<std::uint8_t>(bytes[i + 1]) << 8);
      if ((image[i] | image[i + 1] << 8) != (in & keep)) __builtin_trap();
    }
  }
  return 0;
}
