#include "core/files/raw_image.h"

#include <algorithm>

namespace kvx {

int ReadRawImage(std::istream& in, ProgramBytesArray& buffer) {
  buffer.fill(0xFF);
  in.read(reinterpret_cast<char*>(buffer.data()), kProgramBufferBytes);
  return static_cast<int>(in.gcount());
}

int ReadRawImage(std::string_view bytes, ProgramBytesArray& buffer) {
  buffer.fill(0xFF);
  const std::size_t n = std::min<std::size_t>(bytes.size(), kProgramBufferBytes);
  std::copy_n(bytes.begin(), n, buffer.begin());
  return static_cast<int>(n);
}

void SplitWords(ProgramBytesArray& buffer) {
  for (std::size_t i = 0; i < buffer.size(); i += 2) {
    const StoredWord w = SplitWord(RawWordAt(buffer, i));
    buffer[i] = w.first;
    buffer[i + 1] = w.second;
  }
}

void MaskElevenBit(ProgramBytesArray& buffer) {
  for (std::size_t i = 1; i < buffer.size(); i += 2) buffer[i] &= 0x0F;
}

bool IsElevenBitImage(const ProgramBytesArray& buffer) {
  for (std::size_t i = 0; i < buffer.size(); i += 2) {
    const int top = (RawWordAt(buffer, i) >> 11) & 7;
    if (top != 0 && top != 7) return false;
  }
  return true;
}

std::vector<std::uint8_t> ProgramImage(const Workspace& ws) {
  const auto size = static_cast<std::size_t>(ws.device.DeviceBytes());
  std::vector<std::uint8_t> image(size);
  for (std::size_t i = 0; i < size; i += 2) {
    image[i] = WordLowByte(ws.image.ProgramBuffer[i], ws.image.ProgramBuffer[i + 1]);
    image[i + 1] = WordHighByte(ws.image.ProgramBuffer[i + 1]);
  }
  return image;
}

}  // namespace kvx
