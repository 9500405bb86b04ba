#include "sim/sim_writer.h"

#include <numeric>

#include "core/device/catalogue.h"
#include "core/link/writer_link.h"
#include "sim/chip_model.h"

namespace kvx::sim {

namespace {

constexpr int kHeaderLength = 10;
constexpr int kRecordLength = 32;
// An answer no Writer gives: what the bad-reply fault sends.
constexpr std::uint8_t kUnexpectedByte = 0xB9;

}  // namespace

struct SimWriter::Impl {
  enum class State { Idle, Header, Record, WordStream, EepromStream };

  mutable std::mutex mu;
  int device;
  std::uint8_t typeByte;
  std::string identification;
  ChipModel chip;
  FaultSet faults;
  bool freshEachPass = false;
  ChipContent freshContent = ChipContent::Blank;
  bool programmedSinceInsert = false;
  long received = 0;
  int inserted = 0;
  std::vector<DownloadRecordBytes> records;
  ChipLog chipLog;
  bool chipLogged = false;

  // The exchange in progress.
  State state = State::Idle;
  std::array<std::uint8_t, kRecordLength> command{};
  int filled = 0;
  int streamArea = 0;
  int streamLength = 0;  // bytes the Writer expects in the write stream
  int streamPos = 0;
  std::uint8_t eepromData = 0;

  using Out = std::vector<std::uint8_t>;

  void Insert(ChipContent content) {
    LogChip();
    chip = MakeChip(device, content);
    chipLogged = false;
    programmedSinceInsert = false;
    ++inserted;
  }

  void LogChip() {
    if (!chipLog || !programmedSinceInsert || chipLogged) return;
    chipLog(inserted, chip);
    chipLogged = true;
  }

  void Byte(std::uint8_t byte, Out& out) {
    ++received;
    if (faults.SilentAfter >= 0 && received > faults.SilentAfter) return;
    switch (state) {
      case State::Idle: Command(byte, out); break;
      case State::Header: Collect(byte, kHeaderLength, out); break;
      case State::Record: Collect(byte, kRecordLength, out); break;
      case State::WordStream: WordStreamByte(byte, out); break;
      case State::EepromStream: EepromStreamByte(byte, out); break;
    }
  }

  void Command(std::uint8_t byte, Out& out) {
    switch (byte) {
      case kWriterCheck: WriterCheck(out); break;
      case kIdRequest:
        out.insert(out.end(), identification.begin(), identification.end());
        out.push_back(kEndOfData);
        break;
      case kHeaderStart: Begin(State::Header, byte); break;
      case kDownloadRecord: Begin(State::Record, byte); break;
      default: break;  // not a command: the Writer waits for one
    }
  }

  void Begin(State next, std::uint8_t first) {
    state = next;
    command[0] = first;
    filled = 1;
  }

  void Collect(std::uint8_t byte, int length, Out& out) {
    command[filled++] = byte;
    if (filled < length) return;
    state = State::Idle;
    if (length == kHeaderLength)
      Header(out);
    else
      Record(out);
  }

  void WriterCheck(Out& out) {
    if (freshEachPass && programmedSinceInsert) Insert(freshContent);
    if (faults.WrongWriter) {
      // The type byte of the model that does not serve the socket's device.
      const DeviceRow* row = DeviceAt(device);
      const int needed = row != nullptr ? row->WriterType : 1;
      out.push_back(needed == 1 ? kWriterType2Byte : kWriterType1Byte);
      return;
    }
    out.push_back(typeByte);
  }

  void Record(Out& out) {
    const int sum = std::accumulate(command.begin() + 1, command.begin() + 31, 0);
    if ((sum & 0xFF) != command[31]) {
      out.push_back(kWriteFailed);
      return;
    }
    DownloadRecordBytes record;
    std::copy(command.begin(), command.end(), record.begin());
    records.push_back(record);
    out.push_back(kEndOfData);
  }

  // Refusals common to every header; 0 when the header may go ahead.
  std::uint8_t Refusal() {
    if (faults.AdapterError) return kAdapterErrorByte;
    if (faults.NoChip || !chip.Present) return kNoDeviceByte;
    if (faults.BadReply) {
      faults.BadReply = false;
      return kUnexpectedByte;
    }
    const DeviceRow* row = DeviceAt(device);
    if (row == nullptr || (command[6] & 0x7F) != row->AlgorithmCode) return kNoDeviceByte;
    return 0;
  }

  void Header(Out& out) {
    if (const std::uint8_t refusal = Refusal()) {
      out.push_back(refusal);
      return;
    }
    const int area = command[5];
    const int last = command[3] + 256 * command[4];
    switch (command[9]) {
      case kActionProgramOtpByte:
      case kActionProgramPulseByte: StartWrite(area, last, out); break;
      case kActionEraseByte: Erase(out); break;
      default: Read(area, last, out); break;
    }
  }

  void Read(int area, int last, Out& out) {
    if (area == kEepromArea) {
      if (chip.Eeprom.empty()) {
        out.push_back(kNoDeviceByte);  // an OTP part has no EEPROM to read
        return;
      }
      // Raw 8-bit bytes and no end marker: the host counts them.
      for (int a = 0; a <= last; ++a) out.push_back(ReadEepromByte(chip, a));
      return;
    }
    if (IsWordArea(area)) {
      for (int k = 0; k <= last; ++k) {
        const StoredWord w = SplitWord(ReadAreaWord(chip, area, k));
        out.push_back(w.first);
        out.push_back(w.second);
      }
    }
    out.push_back(kEndOfData);
  }

  void Erase(Out& out) {
    if (!chip.Flash) {
      out.push_back(kNoDeviceByte);  // an OTP part cannot be erased
      return;
    }
    EraseChip(chip);
    out.push_back(kEndOfData);
  }

  void StartWrite(int area, int last, Out& out) {
    if (area == kEepromArea && chip.Eeprom.empty()) {
      out.push_back(kNoDeviceByte);
      return;
    }
    state = area == kEepromArea ? State::EepromStream : State::WordStream;
    streamArea = area;
    streamLength = 2 * (last + 1);  // two bytes per word, or a (data, address) pair per byte
    streamPos = 0;
    out.push_back(kAck);
  }

  // The answer to byte `streamPos` of a write stream once it has been programmed (or not).
  void Answer(bool written, Out& out) {
    if (written && faults.WriteFailAt == streamPos) {
      faults.WriteFailAt = -1;
      written = false;
    }
    if (!written) {
      state = State::Idle;
      out.push_back(kWriteFailed);
      return;
    }
    programmedSinceInsert = true;
    if (++streamPos >= streamLength) {
      state = State::Idle;
      out.push_back(kWriteFinished);
      return;
    }
    out.push_back(kAck);
  }

  void WordStreamByte(std::uint8_t byte, Out& out) {
    const bool unwritten = (streamArea == kOptionArea && faults.OptionUnwritten) ||
                           (streamArea == kIdArea && faults.IdUnwritten);
    Answer(unwritten || ProgramStreamByte(chip, streamArea, streamPos, byte), out);
  }

  void EepromStreamByte(std::uint8_t byte, Out& out) {
    const int address = streamPos / 2;
    bool written = true;
    if (streamPos % 2 == 0) {
      eepromData = byte;
    } else if (byte == (address & 0xFF)) {
      ProgramEepromByte(chip, address, eepromData);
    } else {
      written = false;  // the pair does not carry the address the Writer is at
    }
    Answer(written, out);
  }
};

SimWriter::SimWriter(int deviceIndex, std::uint8_t writerTypeByte, std::string identification)
    : impl_(std::make_shared<Impl>()) {
  impl_->device = deviceIndex;
  impl_->typeByte = writerTypeByte;
  impl_->identification = std::move(identification);
  impl_->Insert(ChipContent::Blank);
}

void SimWriter::HostByte(std::uint8_t byte, std::vector<std::uint8_t>& answers) {
  std::lock_guard lock(impl_->mu);
  impl_->Byte(byte, answers);
}

bool SimWriter::Cts() const {
  std::lock_guard lock(impl_->mu);
  return !impl_->faults.CtsInactive;
}

std::chrono::nanoseconds SimWriter::ByteDelay() const {
  std::lock_guard lock(impl_->mu);
  return impl_->faults.BaudDelay ? kByteWireTime : std::chrono::nanoseconds{0};
}

std::chrono::nanoseconds SimWriter::AnswerHold() const {
  std::lock_guard lock(impl_->mu);
  return std::chrono::milliseconds(std::max(0L, impl_->faults.AnswerDelayMs));
}

void SimWriter::AbandonExchange() {
  std::lock_guard lock(impl_->mu);
  impl_->state = Impl::State::Idle;
}

void SimWriter::InsertChip(ChipContent content) {
  std::lock_guard lock(impl_->mu);
  impl_->Insert(content);
}

void FreshChipsFor(SimWriter& writer, const Command& command, ChipContent content) {
  writer.SetFreshChipEachPass(command.repeats, content);
}

void SimWriter::SetFreshChipEachPass(bool on, ChipContent content) {
  std::lock_guard lock(impl_->mu);
  impl_->freshEachPass = on;
  impl_->freshContent = content;
}

ChipModel& SimWriter::Chip() { return impl_->chip; }
FaultSet& SimWriter::Faults() { return impl_->faults; }
int SimWriter::DeviceIndex() const { return impl_->device; }

long SimWriter::BytesReceived() const {
  std::lock_guard lock(impl_->mu);
  return impl_->received;
}

int SimWriter::ChipsInserted() const {
  std::lock_guard lock(impl_->mu);
  return impl_->inserted;
}

std::vector<DownloadRecordBytes> SimWriter::DownloadRecords() const {
  std::lock_guard lock(impl_->mu);
  return impl_->records;
}

std::uint16_t SimWriter::ReadBackWord(int address) const {
  std::lock_guard lock(impl_->mu);
  return ReadAreaWord(impl_->chip, kProgramArea, address);
}

void SimWriter::SetChipLog(ChipLog log) {
  std::lock_guard lock(impl_->mu);
  impl_->chipLog = std::move(log);
}

void SimWriter::LogChipInSocket() {
  std::lock_guard lock(impl_->mu);
  impl_->LogChip();
}

}  // namespace kvx::sim
