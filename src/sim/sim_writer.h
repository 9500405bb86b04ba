// The simulated Writer: answers every byte of the link protocol as the Writer does, keeps a model
// of the chip in its socket and can inject faults. It is transport-agnostic: SimPort serves it
// in-process behind the serial-port interface, PtyServer behind a pseudo-terminal.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/link/clock.h"
#include "core/ops/command.h"
#include "core/link/serial_port.h"

namespace kvx::sim {

// What is in the socket when a chip is inserted.
enum class ChipContent { Blank, Programmed, Protected, Empty };
bool ParseChipContent(std::string_view text, ChipContent& out);  // blank|programmed|protected|empty

// Faults, switched on per test or by `--fault` / `--sim-fault` on the command line.
// Text forms (ParseFault): no-chip, adapter-error, cts-inactive, silent-after=N, wrong-writer,
// bad-reply, write-fail-at=N, baud-delay, option-unwritten, id-unwritten, answer-delay=MS.
struct FaultSet {
  bool NoChip = false;        // every header is answered 0xFE
  bool AdapterError = false;  // every header is answered 0xFD
  bool CtsInactive = false;   // CTS held inactive: the host never gets to send
  long SilentAfter = -1;      // answers the first N bytes it receives, then nothing (CTS stays on)
  bool WrongWriter = false;   // answers the Writer check with the type byte of the other model
  bool BadReply = false;      // answers the next header with an unexpected byte (0xB9)
  long WriteFailAt = -1;      // answers 0xB1 to byte N (0-based) of the first write stream that
                              // reaches it; fires once
  bool BaudDelay = false;     // each byte takes its wire time at 115200 baud (10 bit times)
  // A chip whose OPTION (or ID) cells do not take a write: the Writer acknowledges every byte,
  // and only the read-back shows the words as they were.
  bool OptionUnwritten = false;
  bool IdUnwritten = false;
  // A USB adapter's latency timer: an answer byte that finds the adapter's buffer empty is held
  // this many milliseconds, and the bytes that come in meanwhile go with it.
  long AnswerDelayMs = 0;
};
bool ParseFault(std::string_view text, FaultSet& faults, std::string& error);

// One byte on the wire at 115200 baud: a start bit, 8 data bits and a stop bit.
inline constexpr std::chrono::nanoseconds kByteWireTime{10'000'000'000LL / 115'200};

// A host that stays silent this long in the middle of a command has given up on it; the
// transports then call AbandonExchange so that the next command is understood.
inline constexpr std::chrono::seconds kWriterIdleReset{1};

// The chip in the socket, as words (not the two-byte stored form).
struct ChipModel {
  bool Present = true;
  bool Flash = false;                // MemoryKind 2: erasable; otherwise bits only fall 1 -> 0
  std::uint16_t WordMask = 0x3FFF;   // 0x07FF for 11-bit devices
  std::vector<std::uint16_t> Program;  // the device's program words
  std::array<std::uint16_t, 3> Option{};   // OPTION group: the OPTION word and two more words
  std::array<std::uint16_t, 3> Option2{};  // second option group
  std::array<std::uint16_t, 16> Id{};
  std::vector<std::uint8_t> Eeprom;  // empty for OTP devices
  bool Protected = false;            // code protection on: reads hide most program bits
};

// A device record received through the device download (32 bytes, checked by its sum).
using DownloadRecordBytes = std::array<std::uint8_t, 32>;

class SimWriter {
 public:
  // deviceIndex: the catalogue row of the chip in the socket. writerTypeByte: the answer to the
  // Writer check (0xB2, 0xB3 or 0xB4). identification: the answer to 0xAD (model and version).
  explicit SimWriter(int deviceIndex, std::uint8_t writerTypeByte = 0xB4,
                     std::string identification = " ZQR640B V3.10");

  // Transport side: one byte from the host; the Writer's answers are appended to `answers`.
  void HostByte(std::uint8_t byte, std::vector<std::uint8_t>& answers);
  bool Cts() const;
  // Wire time of one byte in each direction: kByteWireTime with the baud-delay fault, else 0.
  std::chrono::nanoseconds ByteDelay() const;
  // How long the adapter holds an answer that finds its buffer empty (answer-delay), else 0.
  std::chrono::nanoseconds AnswerHold() const;
  // The host fell silent in the middle of an exchange: forget the half-received command, as the
  // Writer's own time-out does.
  void AbandonExchange();

  // Test and command-line side.
  void InsertChip(ChipContent content);  // a fresh chip of the socket's device
  // When on, the first Writer check after a chip has been programmed swaps in a fresh chip of
  // `content`, as an operator does between Auto Program passes.
  void SetFreshChipEachPass(bool on, ChipContent content = ChipContent::Blank);
  ChipModel& Chip();
  FaultSet& Faults();
  int DeviceIndex() const;
  long BytesReceived() const;
  int ChipsInserted() const;
  std::vector<DownloadRecordBytes> DownloadRecords() const;
  // Word value the Writer returns for program word `address`, as a read would (protection applied).
  std::uint16_t ReadBackWord(int address) const;

  // What really reached each chip, for a test that checks the chips rather than the host's word:
  // `log` is called with the chip's number (1 for the first inserted) and its content whenever a
  // chip that took a write leaves the socket (a fresh chip is inserted), on the Writer's thread.
  using ChipLog = std::function<void(int number, const ChipModel& chip)>;
  void SetChipLog(ChipLog log);
  // Hands the chip in the socket to the log, when it took a write and has not been logged: the
  // last chip of a session, when the Writer stops.
  void LogChipInSocket();

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

// The socket as an operator keeps it for `command`: one that runs chip after chip (Auto Program)
// finds a fresh chip of `content` after each chip it programmed; any other finds the chip it left.
void FreshChipsFor(SimWriter& writer, const Command& command, ChipContent content = ChipContent::Blank);

// The simulated Writer in-process, behind the serial-port interface. With a FakeClock, waiting
// moves simulated time forward (and BaudDelay is modelled in simulated time); on a real clock
// each answer arrives when its wire time has passed, the port sleeping meanwhile; with a null
// clock the port answers at once.
class SimPort final : public SerialPort {
 public:
  SimPort(SimWriter& writer, FakeClock* clock = nullptr);
  SimPort(SimWriter& writer, Clock& realTime);

  bool Enabled() const override;
  int Read(std::uint8_t* buffer, int count) override;
  int Write(const std::uint8_t* buffer, int count) override;
  int InQueCount() override;
  int OutQueCount() override;
  void PurgeIn() override;
  void PurgeOut() override;
  bool GetModemState(int line) override;
  bool WaitReadable(Millis max) override;
  void WaitModemChange(Millis max) override;

  // Everything the host wrote, for tests that check exactly what was sent.
  const std::vector<std::uint8_t>& Sent() const;
  void Unplug();  // the Writer vanishes: nothing more is answered, CTS drops

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace kvx::sim
