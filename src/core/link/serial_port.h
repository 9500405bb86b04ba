// The serial-port interface the Writer link talks through. TComm implements it on a termios
// device; the simulated Writer implements it in-process.
#pragma once

#include <cstdint>

#include "core/link/clock.h"

namespace kvx {

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  virtual bool Enabled() const = 0;
  // Never blocks: bytes read, 0 when nothing is waiting, -1 on a closed port or a failed read.
  // Neither Read nor Write throws: they run on worker threads.
  virtual int Read(std::uint8_t* buffer, int count) = 0;
  // Bytes written, -1 on a closed port or when the write could not complete.
  virtual int Write(const std::uint8_t* buffer, int count) = 0;
  virtual int InQueCount() = 0;   // -1 when closed
  virtual int OutQueCount() = 0;  // -1 when closed
  virtual void PurgeIn() = 0;
  virtual void PurgeOut() = 0;
  // line 1 = CTS, 2 = DSR, 3 = RING, 4 = RLSD; false when closed or the query fails.
  virtual bool GetModemState(int line) = 0;

  // Waiting without spinning. WaitReadable blocks until a byte can be read or `max` has passed
  // and tells whether input is waiting; it returns at once when a byte is already there.
  // WaitModemChange blocks up to `max` for the modem lines to change and may return early.
  // A simulated port moves its simulated time forward instead of blocking.
  virtual bool WaitReadable(Millis max) = 0;
  virtual void WaitModemChange(Millis max) = 0;
  // Waits up to `max` for input and reads what is there: bytes read, 0 when none came, -1 on a
  // closed or failed port. A port that can wait and read in one call overrides it; a reader
  // asks for kReadTimer at a time, so that a stop is seen within it.
  static constexpr Millis kReadTimer{100};
  virtual int ReadWithin(std::uint8_t* buffer, int count, Millis max) {
    if (!WaitReadable(max)) return Enabled() ? 0 : -1;
    return Read(buffer, count);
  }
  // Bytes per second the line carries, so a reader of a long stream can let bytes gather
  // instead of waking for each; 0 when unknown (the reader then takes each byte as it comes).
  virtual int ByteRate() const { return 0; }
};

}  // namespace kvx
