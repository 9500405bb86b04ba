// SHA-256, so a journal row names the exact program file that went into a chip.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvx {

class Sha256 {
 public:
  Sha256();
  void Update(std::string_view data);
  // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
  std::string HexDigest();

 private:
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // bytes hashed so far
};

std::string Sha256Hex(std::string_view data);
// The SHA-256 of a file's content; false (and `hex` empty) when it cannot be read.
bool FileSha256(const std::string& path, std::string& hex);

}  // namespace kvx
