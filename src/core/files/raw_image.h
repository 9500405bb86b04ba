// Raw program images (bin and obj files: 16-bit little-endian words, word 0 first) and the
// conversion between file words and the workspace's stored-word form.
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <string_view>
#include <vector>

#include "core/device/workspace.h"

namespace kvx {

using ProgramBytesArray = std::array<std::uint8_t, kProgramBufferBytes>;

// The raw little-endian file word at byte `i` (even) of a buffer not yet split.
inline int RawWordAt(const ProgramBytesArray& buffer, std::size_t i) {
  return buffer[i] + 256 * buffer[i + 1];
}

// Reads up to 32766 bytes of `in` into `buffer` (first filled with 0xFF, so that slots the
// file does not reach read as blank words) and returns how many were read.
int ReadRawImage(std::istream& in, ProgramBytesArray& buffer);
int ReadRawImage(std::string_view bytes, ProgramBytesArray& buffer);

// The word split over all 16383 slots: raw little-endian file words become stored words;
// bits 14 and 15 are dropped.
void SplitWords(ProgramBytesArray& buffer);
// 11-bit devices: keep bits 7-10 in every slot's second byte.
void MaskElevenBit(ProgramBytesArray& buffer);
// Whether every raw word has bits 11-13 all clear or all set (an 11-bit instruction image).
bool IsElevenBitImage(const ProgramBytesArray& buffer);

// The program memory as a raw image, the exact inverse of the word split: the first
// ws.device.ProgramBytes bytes, each word low byte first.
std::vector<std::uint8_t> ProgramImage(const Workspace& ws);

}  // namespace kvx
