// The Writer link protocol: the bytes that pass between host and Writer, the ten-byte command
// header and the primitives every device operation is built from. The host always speaks first,
// one byte at a time and only while the Writer holds CTS active; the Writer answers with single
// control bytes and, for reads, with data bytes.
#pragma once

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

// Link result codes, returned by every primitive except GetHeader. LinkStopped is the host's
// own: the operation was asked to stop (its dialog closed) and nothing more was sent.
enum LinkResult : int {
  LinkStopped = 0,
  LinkNoDevice = 1,
  LinkAdapterError = 2,
  LinkWriterType1 = 3,
  LinkWriterType2 = 4,
  LinkWriterAny = 5,
  LinkWrongWriter = 6,
  LinkBadReply = 7,
  LinkTimeout = 8,
  LinkWriteFail = 9,
  LinkDone = 10,
  LinkReady = 11,
  LinkWriteOk = 12,
};

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
  // Send HeaderBytes 0..count-1 and wait for one answer: LinkReady, LinkDone, or an error.
  int SendHeader(int count);
  // Send the header, then take exactly `length` bytes of any value into LinkBuffer.
  int Read8BitData(int length);
  // Send the header, then take up to `length` 7-bit data bytes into LinkBuffer, ending at 0xB8.
  int Read7BitData(int length, bool more);
  // Send LinkBuffer one byte at a time, each answered by the Writer.
  int WriteData(int length, bool more);
  // Ask which Writer is attached and compare it with the device's WriterType.
  int CheckWriter(bool readId);
  // The first Writer check of a command. An unexpected answer (not a time-out) may come from a
  // Writer still busy with a transfer stopped mid-way: the input is purged, the line left silent
  // for kWriterSettleTime, and the check made once more. When that fails too, ws.WriterBusyHint
  // is set so the caller can add kWriterBusyHint to its message.
  int CheckWriterSettled(bool readId);
  // Send HeaderBytes[0] and append up to `limit` identification characters to WriterId.
  int ReadWriterID(int limit);

  // Building blocks shared with the workers that stream program memory themselves.
  enum class Wait { Ok, Timeout, Stopped };
  void Purge();                       // discard both directions of the port
  Wait WaitCts(Millis limit = kLinkTimeLimit);
  Wait SendByte(std::uint8_t byte, Millis limit = kLinkTimeLimit);  // CTS, then the byte
  Wait ReceiveByte(std::uint8_t& byte, Millis limit = kLinkTimeLimit);
  // As ReceiveByte, against a deadline kept across several bytes.
  Wait ReceiveUntil(std::uint8_t& byte, TimePoint deadline);
  bool StopRequested() const { return stop_.stop_requested(); }

  Workspace& ws() { return ws_; }
  SerialPort& port() { return port_; }
  Clock& clock() { return clock_; }
  std::stop_token stop() const { return stop_; }

 private:
  static int FromWait(Wait wait);          // LinkStopped or LinkTimeout
  int SendHeaderBytes(int count);          // LinkDone when all were sent
  std::uint8_t ReadModeByte(std::uint8_t mode) const;

  Workspace& ws_;
  SerialPort& port_;
  Clock& clock_;
  std::stop_token stop_;
};

}  // namespace kvx
