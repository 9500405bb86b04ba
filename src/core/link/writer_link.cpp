#include "core/link/writer_link.h"

#include <algorithm>
#include <string_view>

#include "core/device/catalogue.h"
#include "core/device/text_convert.h"

namespace kvx {

namespace {

// Waits never sleep longer than this in one go, so a stop request is seen promptly.
constexpr Millis kWaitSlice{50};
// The pause that lets the bytes of a flowing stream gather before they are read.
constexpr Millis kGatherTime{1};

// Bytes 3, 4 and 5 of a header and the default of byte 7, by area. Byte 3 of the OPTION and ID
// areas depends on whether the header reads (the last index of a read) or writes.
struct AreaRow {
  int area;
  std::uint8_t lastReading;  // byte 3 for a read
  std::uint8_t lastWriting;  // byte 3 otherwise
  std::uint8_t code;         // byte 5
  std::uint8_t parameter;    // default of byte 7
};
inline constexpr AreaRow kAreaTable[] = {
    // area          last(read) last(write) code  param
    {AreaOption,     2,         0,          1,    0x30},
    {AreaId,         15,        7,          2,    0x02},
    {AreaOption2,    2,         0,          5,    0x30},
};
inline constexpr AreaRow kOtherArea{-1, 0, 0, 2, 0x02};

inline constexpr std::uint8_t kDefaultPulseWidth = 0x18;  // 2.4 ms in 0.1 ms units
inline constexpr std::uint8_t kDefaultEraseWidth = 0x50;  // 8 ms

// An engineering width scaled to 0.1 ms units and kept within a byte; `fallback` when its entry
// holds no number.
std::uint8_t WidthByte(std::optional<int> width, int scale, std::uint8_t fallback) {
  if (!width || *width < 0) return fallback;
  return static_cast<std::uint8_t>(std::min(*width, 255 / scale) * scale);
}

// An answer other than the one the exchange waits for: one of the Writer's two refusals, or a
// byte it should not have sent.
LinkResult UnexpectedAnswer(std::uint8_t byte) {
  switch (byte) {
    case kAdapterErrorByte: return LinkResult::AdapterError;
    case kNoDeviceByte: return LinkResult::NoDevice;
    default: return LinkResult::BadReply;
  }
}

Millis SliceUntil(TimePoint now, TimePoint deadline, Millis slice = kWaitSlice) {
  const auto left = std::chrono::ceil<Millis>(deadline - now);
  return std::clamp(left, Millis{1}, slice);
}

}  // namespace

WriterLink::WriterLink(Workspace& ws, SerialPort& port, Clock& clock, std::stop_token stop)
    : ws_(ws), port_(port), clock_(clock), stop_(std::move(stop)) {}

// ---- Building blocks ----------------------------------------------------------------------------

void WriterLink::Purge() {
  DropReadAhead();
  port_.PurgeIn();
  port_.PurgeOut();
}

WriterLink::Wait WriterLink::WaitCts(Millis limit) {
  const TimePoint deadline = clock_.Now() + limit;
  for (;;) {
    if (StopRequested()) return Wait::Stopped;
    if (!port_.Enabled()) return Wait::Timeout;  // a closed port never raises CTS
    if (port_.GetModemState(1)) return Wait::Ok;
    const TimePoint now = clock_.Now();
    if (now >= deadline) return Wait::Timeout;
    port_.WaitModemChange(SliceUntil(now, deadline));
  }
}

WriterLink::Wait WriterLink::SendByte(std::uint8_t byte, Millis limit) {
  const Wait cts = WaitCts(limit);
  if (cts != Wait::Ok) return cts;
  // A byte the port refuses never reaches the Writer, so its answer can never come.
  return port_.Write(&byte, 1) == 1 ? Wait::Ok : Wait::Timeout;
}

WriterLink::Wait WriterLink::ReceiveByte(std::uint8_t& byte, Millis limit) {
  return ReceiveUntil(byte, clock_.Now() + limit);
}

WriterLink::Wait WriterLink::ReceiveUntil(std::uint8_t& byte, TimePoint deadline, int coming) {
  // A single answer is waited for and read in one call where the port can (one wait-and-read
  // per answered byte). Only a stream that is still flowing is read at once, since its next
  // bytes are likely there.
  bool readable = flowing_ && coming > 1;
  bool lastLook = false;
  for (;;) {
    if (StopRequested()) return Wait::Stopped;
    if (readNext_ == readEnd_ && readable) {
      // More than a millisecond's worth still to come: it gathers while the link pauses.
      const int rate = port_.ByteRate();
      if (flowing_ && rate > 0 && coming > rate / 1000 + 1 && clock_.Now() + kGatherTime < deadline)
        clock_.SleepFor(kGatherTime);
      if (!TakeInput(port_.Read(readAhead_.data(), static_cast<int>(readAhead_.size()))))
        return Wait::Timeout;
      readable = false;
    }
    // An answer that is there is taken, even when it came in the last moment of the wait.
    if (readNext_ < readEnd_) {
      byte = readAhead_[static_cast<std::size_t>(readNext_++)];
      return Wait::Ok;
    }
    if (!port_.Enabled() || lastLook) return Wait::Timeout;  // hung up, or the time is up
    const TimePoint now = clock_.Now();
    if (now >= deadline) {
      readable = lastLook = true;  // one more look at the port before the time-out
      continue;
    }
    const Millis slice = SliceUntil(now, deadline, SerialPort::kReadTimer);
    if (!TakeInput(port_.ReadWithin(readAhead_.data(), static_cast<int>(readAhead_.size()), slice)))
      return Wait::Timeout;
  }
}

bool WriterLink::TakeInput(int got) {
  if (got < 0) return false;
  readNext_ = 0;
  readEnd_ = got;
  flowing_ = got > 0;
  return true;
}

LinkResult WriterLink::FromWait(Wait wait) {
  return wait == Wait::Stopped ? LinkResult::Stopped : LinkResult::Timeout;
}

LinkResult WriterLink::SendHeaderBytes(int count) {
  for (int i = 0; i < count; ++i) {
    const Wait sent = SendByte(ws_.link.HeaderBytes[i]);
    if (sent != Wait::Ok) return FromWait(sent);
  }
  return LinkResult::Done;
}

// ---- Header -------------------------------------------------------------------------------------

void WriterLink::GetHeader(int area, int action) {
  ws_.device.DeviceIndex = GetICInfo(ws_, ws_.device.SelectedDevice);
  auto& h = ws_.link.HeaderBytes;
  const bool reading = action == ActionRead;

  h[0] = kHeaderStart;
  h[1] = 0;
  h[2] = 0;
  h[6] = ws_.device.AlgorithmCode;
  h[8] = ws_.device.ModeCode;
  if (area == AreaProgram) {
    h[3] = ws_.device.LastAddrLow;
    h[4] = ws_.device.LastAddrHigh;
    h[5] = 0;
    h[7] = 2;
  } else if (area == AreaEeprom) {
    h[3] = ws_.device.EepromLastLow;
    h[4] = ws_.device.EepromLastHigh;
    h[5] = 3;
    h[7] = 0x0C;
    h[6] |= 0x80;
    if (reading) h[8] |= 0x80;
  } else {
    const auto* row = std::find_if(std::begin(kAreaTable), std::end(kAreaTable),
                                   [&](const AreaRow& r) { return r.area == area; });
    const AreaRow& a = row != std::end(kAreaTable) ? *row : kOtherArea;
    h[3] = reading ? a.lastReading : a.lastWriting;
    h[4] = 0;
    h[5] = a.code;
    h[7] = a.parameter;
  }

  switch (action) {
    case ActionProgram:
      if (ws_.device.MemoryKind == 1) {  // OTP
        h[9] = kActionProgramOtpByte;
        break;
      }
      [[fallthrough]];
    case ActionProgramPulse:
      h[7] = ws_.settings.EngineeringWidths ? WidthByte(ws_.settings.PulseWidth, 2, kDefaultPulseWidth)
                                            : kDefaultPulseWidth;
      h[9] = kActionProgramPulseByte;
      break;
    case ActionErase:
      h[7] = ws_.settings.EngineeringWidths ? WidthByte(ws_.settings.EraseWidth, 1, kDefaultEraseWidth)
                                            : kDefaultEraseWidth;
      h[9] = kActionEraseByte;
      break;
    case ActionRead:
      h[9] = kActionReadByte;
      h[8] = ReadModeByte(h[8]);
      break;
    default:
      h[9] = kActionReadByte;
      break;
  }
}

// Reading a chip set to the RC oscillator needs the Writer told so (bit 7 of the mode byte); which
// OPTION settings count depends on the device. "-RC" parts take no oscillator bits at all.
std::uint8_t WriterLink::ReadModeByte(std::uint8_t mode) const {
  if ((ws_.image.OptionLow & 0x0F) == 0x0A) {
    bool rc = false;
    switch (ws_.device.RcReadVariant) {
      case 1: rc = true; break;
      case 2: rc = (ws_.image.OptionLow & 0x30) != 0x20; break;
      case 3: rc = (ws_.image.OptionHigh & 0x18) != 0x10; break;
      default: break;
    }
    if (rc) mode |= 0x80;
  }
  const auto dash = ws_.device.DeviceName.find('-');
  if (dash != std::string::npos && std::string_view(ws_.device.DeviceName).substr(dash, 3) == "-RC")
    mode &= static_cast<std::uint8_t>(~0x30);
  return mode;
}

// ---- Primitives ---------------------------------------------------------------------------------

LinkResult WriterLink::SendHeader(int count) {
  Purge();
  count = std::clamp(count, 0, static_cast<int>(ws_.link.HeaderBytes.size()));
  const LinkResult sent = SendHeaderBytes(count);
  if (sent != LinkResult::Done) return sent;
  std::uint8_t answer = 0;
  const Wait got = ReceiveByte(answer);
  if (got != Wait::Ok) return FromWait(got);
  switch (answer) {
    case kAck: return LinkResult::Ready;
    case kEndOfData: return LinkResult::Done;
    default: return UnexpectedAnswer(answer);
  }
}

LinkResult WriterLink::Read8BitData(int length) {
  Purge();
  length = std::clamp(length, 0, kLinkBufferBytes);
  const LinkResult sent = SendHeaderBytes(10);
  if (sent != LinkResult::Done) return sent;
  for (int stored = 0; stored < length; ++stored) {
    const Wait got = ReceiveByte(ws_.link.LinkBuffer[stored]);
    if (got != Wait::Ok) return FromWait(got);
  }
  return LinkResult::Done;
}

LinkResult WriterLink::Read7BitData(int length, bool more) {
  Purge();
  length = std::clamp(length, 0, kLinkBufferBytes);
  const LinkResult sent = SendHeaderBytes(10);
  if (sent != LinkResult::Done) return sent;
  int stored = 0;
  // Bytes beyond `length` are dropped without restarting the time limit.
  TimePoint deadline = clock_.Now() + kLinkTimeLimit;
  for (;;) {
    std::uint8_t byte = 0;
    const Wait got = ReceiveUntil(byte, deadline, length - stored);
    if (got != Wait::Ok) return FromWait(got);
    if (byte == kEndOfData) return stored < length - 1 ? LinkResult::BadReply : LinkResult::Done;
    if (byte & 0x80) return UnexpectedAnswer(byte);
    if (stored < length) {
      ws_.link.LinkBuffer[stored++] = byte;
      deadline = clock_.Now() + kLinkTimeLimit;
      if (stored == length && !more) return LinkResult::Done;
    }
  }
}

LinkResult WriterLink::WriteData(int length, bool more) {
  Purge();
  length = std::clamp(length, 0, kLinkBufferBytes);
  for (int i = 0; i < length + 5; ++i) {
    // The Writer takes a few bytes past the data before it says it has finished; past the end
    // of the buffer those are blank bytes.
    const std::uint8_t byte = i < kLinkBufferBytes ? ws_.link.LinkBuffer[i] : 0x7F;
    const Wait sent = SendByte(byte);
    if (sent != Wait::Ok) return FromWait(sent);
    std::uint8_t answer = 0;
    const Wait got = ReceiveByte(answer);
    // A Writer that stops answering will not finish the write: going on would only cost a
    // time-out for every byte still to come.
    if (got != Wait::Ok) return FromWait(got);
    switch (answer) {
      case kAck: break;
      case kWriteFinished: return i < length - 1 ? LinkResult::BadReply : LinkResult::WriteOk;
      case kWriteFailed: ws_.results.FailIndex = i; return LinkResult::WriteFail;
      default: return UnexpectedAnswer(answer);
    }
    if (!more && i >= length) return LinkResult::WriteOk;
  }
  // Every byte acknowledged without the Writer saying it has finished: the write stands, and
  // the read-back that follows every write tells whether the chip took it.
  return LinkResult::WriteOk;
}

LinkResult WriterLink::CheckWriter(bool readId) {
  Purge();
  // The check's byte costs what every acknowledged byte of a transfer costs (the CTS check, the
  // byte, its answer and however long the port holds that): timed, it predicts a pass.
  const TimePoint sentAt = clock_.Now();
  const Wait sent = SendByte(kWriterCheck);
  if (sent != Wait::Ok) return FromWait(sent);
  std::uint8_t answer = 0;
  const Wait got = ReceiveByte(answer);
  if (got != Wait::Ok) return FromWait(got);
  // A busy machine, or a program that has been idle, only ever makes a round trip longer: the
  // shortest one seen on the port is what a byte costs while a transfer runs.
  const auto trip = std::chrono::duration_cast<std::chrono::nanoseconds>(clock_.Now() - sentAt);
  if (ws_.link.RoundTrip.count() <= 0 || trip < ws_.link.RoundTrip) ws_.link.RoundTrip = trip;
  switch (answer) {
    case kWriterType1Byte: return ws_.device.WriterType == 1 ? LinkResult::WriterType1 : LinkResult::WrongWriter;
    case kWriterType2Byte: return ws_.device.WriterType == 2 ? LinkResult::WriterType2 : LinkResult::WrongWriter;
    case kWriterAnyByte: break;
    default: return LinkResult::BadReply;
  }
  if (readId) {
    ws_.results.WriterId.clear();
    ws_.link.HeaderBytes[0] = kIdRequest;
    // A primitive of its own: whatever came after the type byte is discarded first.
    if (ReadWriterID(15) == LinkResult::Stopped) return LinkResult::Stopped;
    const auto v = ws_.results.WriterId.find('V');
    ws_.results.WriterVersion = v == std::string::npos ? std::string() : ws_.results.WriterId.substr(v);
  }
  return LinkResult::WriterAny;
}

LinkResult WriterLink::CheckWriterSettled(bool readId) {
  ws_.results.WriterBusyHint = false;
  const LinkResult first = CheckWriter(readId);
  if (first != LinkResult::BadReply) return first;
  if (!LetWriterSettle()) return LinkResult::Stopped;
  DropReadAhead();
  port_.PurgeIn();
  const LinkResult second = CheckWriter(readId);
  ws_.results.WriterBusyHint = second == LinkResult::BadReply;
  return second;
}

bool WriterLink::LetWriterSettle() {
  // Silence, in short steps so that a stop still ends the wait at once.
  const TimePoint end = clock_.Now() + kWriterSettleTime;
  while (clock_.Now() < end) {
    if (StopRequested()) return false;
    clock_.SleepFor(std::min(Millis(50), std::chrono::duration_cast<Millis>(end - clock_.Now())));
  }
  return true;
}

LinkResult WriterLink::ReadWriterID(int limit) {
  Purge();
  const Wait sent = SendByte(ws_.link.HeaderBytes[0]);
  if (sent != Wait::Ok) return FromWait(sent);
  int taken = 0;
  for (;;) {
    std::uint8_t byte = 0;
    const Wait got = ReceiveByte(byte);
    if (got != Wait::Ok) return FromWait(got);
    if (byte == kEndOfData) return LinkResult::Done;
    if (byte & 0x80) return UnexpectedAnswer(byte);
    if (taken >= limit) return LinkResult::Done;
    ws_.results.WriterId.push_back(static_cast<char>(byte));
    ++taken;
  }
}

}  // namespace kvx
