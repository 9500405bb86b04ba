// The Writer link protocol: the bytes that pass between host and Writer, the ten-byte command
// header and the primitives every device operation is built from. The host always speaks first,
// one byte at a time and only while the Writer holds CTS active; the Writer answers with single
// control bytes and, for reads, with data bytes.
#pragma once

#include <array>
#include <cstdint>
#include <stop_token>

#include "core/device/workspace.h"
#include "core/link/clock.h"
#include "core/link/serial_port.h"

namespace kvx {

// Bytes the host sends.
inline constexpr std::uint8_t kWriterCheck = 0xA0;
inline constexpr std::uint8_t kHeaderStart = 0xA1;
inline constexpr std::uint8_t kActionReadByte = 0xA5;
inline constexpr std::uint8_t kActionProgramOtpByte = 0xA6;
inline constexpr std::uint8_t kActionProgramPulseByte = 0xA7;
inline constexpr std::uint8_t kActionEraseByte = 0xA8;
inline constexpr std::uint8_t kDownloadRecord = 0xA9;
inline constexpr std::uint8_t kIdRequest = 0xAD;

// Bytes the Writer sends.
inline constexpr std::uint8_t kWriteFinished = 0xB0;
inline constexpr std::uint8_t kWriteFailed = 0xB1;
inline constexpr std::uint8_t kWriterType1Byte = 0xB2;
inline constexpr std::uint8_t kWriterType2Byte = 0xB3;
inline constexpr std::uint8_t kWriterAnyByte = 0xB4;
inline constexpr std::uint8_t kAck = 0xB5;
inline constexpr std::uint8_t kEndOfData = 0xB8;
inline constexpr std::uint8_t kAdapterErrorByte = 0xFD;
inline constexpr std::uint8_t kNoDeviceByte = 0xFE;

// Link results, returned by every primitive except GetHeader. Stopped is the host's own: the
// operation was asked to stop (its dialog closed) and nothing more was sent. The numbers are the
// ones the Writer check prints.
enum class LinkResult : int {
  Stopped = 0,
  NoDevice = 1,
  AdapterError = 2,
  WriterType1 = 3,
  WriterType2 = 4,
  WriterAny = 5,
  WrongWriter = 6,
  BadReply = 7,
  Timeout = 8,
  WriteFail = 9,
  Done = 10,
  Ready = 11,
  WriteOk = 12,
};
constexpr int LinkResultNumber(LinkResult result) { return static_cast<int>(result); }

// Header areas and actions.
enum LinkArea : int { AreaProgram = 0, AreaOption = 1, AreaId = 2, AreaEeprom = 3, AreaOption2 = 5 };
enum LinkAction : int { ActionProgram = 0, ActionRead = 1, ActionErase = 2, ActionProgramPulse = 3 };

// Every wait for CTS, an answer or the next data byte gives up after this long
// (more than 2 and at most 3 seconds).
inline constexpr Millis kLinkTimeLimit{3000};
// A Writer whose transfer was stopped mid-way goes on taking bytes as data until the line has
// been silent for about a second; this wait outlasts that.
inline constexpr Millis kWriterSettleTime{1500};
inline constexpr char kWriterBusyHint[] =
    "The Writer may still be finishing a stopped transfer; try again in a second.";

class WriterLink {
 public:
  WriterLink(Workspace& ws, SerialPort& port, Clock& clock, std::stop_token stop = {});

  // Fill HeaderBytes 0-9 for the device named in the device list (reloads its parameters).
  void GetHeader(int area, int action);
  // Send HeaderBytes 0..count-1 and wait for one answer: Ready, Done, or an error.
  LinkResult SendHeader(int count);
  // Send the header, then take exactly `length` bytes of any value into LinkBuffer.
  LinkResult Read8BitData(int length);
  // Send the header, then take up to `length` 7-bit data bytes into LinkBuffer, ending at 0xB8.
  LinkResult Read7BitData(int length, bool more);
  // Send LinkBuffer one byte at a time, each answered by the Writer.
  LinkResult WriteData(int length, bool more);
  // Ask which Writer is attached and compare it with the device's WriterType.
  LinkResult CheckWriter(bool readId);
  // The first Writer check of a command. An unexpected answer (not a time-out) may come from a
  // Writer still busy with a transfer stopped mid-way: the input is purged, the line left silent
  // for kWriterSettleTime, and the check made once more. When that fails too, ws.results.WriterBusyHint
  // is set so the caller can add kWriterBusyHint to its message.
  LinkResult CheckWriterSettled(bool readId);
  // Leaves the line silent for kWriterSettleTime, so that a Writer still taking bytes of a
  // transfer stopped mid-way drops it. False when a stop came first.
  bool LetWriterSettle();
  // Send HeaderBytes[0] and append up to `limit` identification characters to WriterId.
  LinkResult ReadWriterID(int limit);

  // Building blocks shared with the workers that stream program memory themselves.
  enum class Wait { Ok, Timeout, Stopped };
  void Purge();                       // discard both directions of the port and what was read ahead
  Wait WaitCts(Millis limit = kLinkTimeLimit);
  Wait SendByte(std::uint8_t byte, Millis limit = kLinkTimeLimit);  // CTS, then the byte
  Wait ReceiveByte(std::uint8_t& byte, Millis limit = kLinkTimeLimit);
  // As ReceiveByte, against a deadline kept across several bytes. Every byte already waiting is
  // taken from the port in one read and handed out one at a time. `coming` is how many bytes
  // the Writer is still sure to send in a row: while such a stream flows, the bytes of a
  // millisecond are let gather on the line, so that one wake-up takes them all.
  Wait ReceiveUntil(std::uint8_t& byte, TimePoint deadline, int coming = 0);
  // The read-ahead after a read of `got` bytes; false when the read failed.
  bool TakeInput(int got);
  bool StopRequested() const { return stop_.stop_requested(); }

  Workspace& ws() { return ws_; }
  SerialPort& port() { return port_; }
  Clock& clock() { return clock_; }
  std::stop_token stop() const { return stop_; }

 private:
  static LinkResult FromWait(Wait wait);          // LinkResult::Stopped or LinkResult::Timeout
  LinkResult SendHeaderBytes(int count);          // LinkResult::Done when all were sent
  std::uint8_t ReadModeByte(std::uint8_t mode) const;
  void DropReadAhead() { readNext_ = readEnd_ = 0; flowing_ = false; }

  Workspace& ws_;
  SerialPort& port_;
  Clock& clock_;
  std::stop_token stop_;
  // Bytes read from the port and not yet handed out: readAhead_[readNext_, readEnd_).
  std::array<std::uint8_t, 256> readAhead_{};
  int readNext_ = 0;
  int readEnd_ = 0;
  bool flowing_ = false;  // the last read of the port found bytes
};

}  // namespace kvx
