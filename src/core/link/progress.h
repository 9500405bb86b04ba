// Progress of a long transfer as a typed event, so that no view has to read a position out of a
// status line. Operations, the device download and any caller that shows a bar share it.
#pragma once

namespace kvx {

// What is being transferred.
enum class Transfer {
  ProgramMemoryWrite,  // the program memory streaming into the chip
  ProgramMemoryRead,   // the program memory streaming back from the chip
  DeviceRecords,       // the device download's parameter records
};

// `done` of `total` (bytes, or records for DeviceRecords). `done` never exceeds `total`; an
// event with done == total ends the transfer.
struct ProgressEvent {
  Transfer what = Transfer::ProgramMemoryWrite;
  long done = 0;
  long total = 0;
};

}  // namespace kvx
