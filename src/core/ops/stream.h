// The program-memory send stream: the worker itself hands the Writer one byte at a time, waits
// for clear-to-send before each byte and for the Writer's answer after it, and times both waits
// with the dialog's tick counter. Program Memory, Auto Program and Force Write differ only in the
// lines they write, which are parameters here.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/ops/frame.h"

namespace kvx {

struct SendStreamPlan {
  const std::uint8_t* data = nullptr;
  int dataSize = 0;    // bytes the buffer holds
  int count = 0;       // n: the program bytes; n + 6 bytes are offered
  int tickLimit = 3;   // ticks a wait may last
  std::string_view label;         // the step's line: errors and the end of programming
  std::string_view addressLabel;  // the word address every 16 words; empty: none
  bool addressOnEnd = false;      // the end of programming also shows the address reached
  bool gauge = false;             // progress on the gauge instead
  std::string_view okText;        // 0xB0
  std::string_view failText;      // 0xB1
  std::string_view adapterText;   // 0xFD; empty: an unknown answer
  // When set: the number of bytes handed to the Writer, counting one whose hand-over failed
  // (it may have reached the Writer). A caller that must know whether a given byte could be in
  // the chip after a failure reads it.
  int* offered = nullptr;
};

enum class StreamEnd {
  Finished,  // the Writer said programming is complete
  AllSent,   // every byte was taken without that answer
  Failed,    // a red line ends the operation
  Stopped,
};

// The Writer takes a few bytes beyond the data before it reports the end.
inline constexpr int kStreamTail = 6;

StreamEnd SendProgramStream(OpFrame& f, const SendStreamPlan& plan);

}  // namespace kvx
