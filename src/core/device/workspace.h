// The workspace: the one body of state behind the main window, in named parts: the image of the
// chip to be programmed, the selected device's parameters, results, the texts the status panel
// shows, production state, the staging areas for the Writer link, the command's flags, the
// operator's settings and the files. Which windows are open is no part of it: a function whose
// result depends on that takes it as an argument (OpenViews). Editors, file loaders and operation
// workers read and write it directly. It has no lock: while a worker runs it owns the workspace and
// holds its busy flag (WorkspaceBusyGuard); nothing else reads or writes it until the flag is
// released, and the commands that would change it (port, device, files) refuse meanwhile.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <istream>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace kvx {

inline constexpr int kProgramBufferBytes = 32766;  // 16383 words
inline constexpr int kProgramWords = kProgramBufferBytes / 2;
inline constexpr int kLinkBufferBytes = 32766;
inline constexpr int kEepromBufferBytes = 1024;
inline constexpr int kIdBytes = 32;

// ---- Stored-word form -------------------------------------------------------------------------
// Every program, ID and OPTION word is held (and sent to the Writer) as two bytes: bits 0-6 of
// the word, then bits 7-13.
struct StoredWord {
  std::uint8_t first;
  std::uint8_t second;
};

constexpr StoredWord SplitWord(int value) {
  return {static_cast<std::uint8_t>(value & 0x7F), static_cast<std::uint8_t>((value >> 7) & 0x7F)};
}
constexpr int JoinWord(std::uint8_t first, std::uint8_t second) { return first + 128 * second; }
// The word's low and high byte in the usual 8-bit sense.
constexpr std::uint8_t WordLowByte(std::uint8_t first, std::uint8_t second) {
  return static_cast<std::uint8_t>(first | ((second & 1) << 7));
}
constexpr std::uint8_t WordHighByte(std::uint8_t second) { return static_cast<std::uint8_t>(second >> 1); }
// Blank (erased): first byte 0x7F and every bit of blankHigh set in the second.
constexpr bool IsBlankWord(std::uint8_t first, std::uint8_t second, std::uint8_t blankHigh) {
  return (first & 0x7F) == 0x7F && (second & blankHigh) == blankHigh;
}
// An RTIW instruction word: the only kind that may carry a serial-number byte.
constexpr bool IsRtiwWord(std::uint8_t second) { return (second & 0xFE) == 0x62; }

// Port settings of the serial port as the program remembers them (see CheckComPort).
struct SavedPortSettings {
  std::string Name = "Com2";
  int BaudRate = 6;  // position in TBaudrate (br9600)
  int DataBits = 4;  // position in TDatabits (da8)
  int Parity = 0;    // position in TParity (paNone)
  int StopBits = 0;  // position in TStopbits (sb10)
};

// Held while a worker owns the workspace. Only the flag itself is safe to read from another
// thread; everything else in the workspace waits until it is released.
class WorkspaceBusy {
 public:
  WorkspaceBusy() = default;
  // A workspace assigned over another (File > New) keeps the hold its worker has on it; a new
  // one starts free.
  WorkspaceBusy(const WorkspaceBusy&) {}
  WorkspaceBusy& operator=(const WorkspaceBusy&) { return *this; }

  bool Held() const { return held_.load(std::memory_order_acquire); }
  // Takes the flag; false when it is held already.
  bool TryTake() { return !held_.exchange(true, std::memory_order_acq_rel); }
  void Release() { held_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> held_{false};
};

// The QTP file being read, as the workspace holds it. A copy of the workspace (each Writer of a
// production run works on one) gets a stream of its own over the same text, at the same place,
// so two Writers never read through one stream.
class QtpStream {
 public:
  QtpStream() = default;
  QtpStream(const QtpStream& other) { CopyFrom(other); }
  QtpStream& operator=(const QtpStream& other) {
    if (this != &other) CopyFrom(other);
    return *this;
  }
  QtpStream(QtpStream&&) noexcept = default;
  QtpStream& operator=(QtpStream&&) noexcept = default;
  QtpStream& operator=(std::unique_ptr<std::istream> stream) {
    stream_ = std::move(stream);
    return *this;
  }

  void reset() { stream_.reset(); }
  explicit operator bool() const { return stream_ != nullptr; }
  std::istream& operator*() const { return *stream_; }
  std::istream* operator->() const { return stream_.get(); }
  bool operator==(std::nullptr_t) const { return stream_ == nullptr; }

 private:
  void CopyFrom(const QtpStream& other);
  std::unique_ptr<std::istream> stream_;
};

// ---- The workspace's parts ---------------------------------------------------------------------

// The image of the chip: what a file load, the editors, a Read and the serial-number stamps write,
// and what the operations send to the Writer and compare with it.
struct ChipImage {
  std::uint8_t OptionLow = 0x7F;
  std::uint8_t OptionHigh = 0x7F;
  std::array<std::uint8_t, kIdBytes> IdBuffer{};
  std::array<std::uint8_t, 4> OptionExtra{};   // two words read with the OPTION word
  std::array<std::uint8_t, 4> OptionExtra2{};  // two words of the second option group
  std::array<std::uint8_t, kProgramBufferBytes> ProgramBuffer{};
  std::array<std::uint8_t, kEepromBufferBytes> EepromBuffer{};
};

// The selected device's parameters, copied from the catalogue by GetICInfo (and only by it, apart
// from the device list's text in SelectedDevice).
struct DeviceSettings {
  std::string SelectedDevice = "KVX-01";  // the device list's current text
  int DeviceIndex = -1;
  std::string DeviceName;
  std::uint8_t LastAddrHigh = 0;
  std::uint8_t LastAddrLow = 0;
  int OptionLayout = 0;
  int CoreType = 0;
  std::uint8_t AlgorithmCode = 0;
  std::uint8_t ModeCode = 0;
  int WriterType = 0;
  std::uint8_t OptionLowMask = 0;
  std::uint8_t OptionHighMask = 0;
  std::uint8_t MemoryKind = 0;
  std::uint8_t EepromLastHigh = 0;
  std::uint8_t EepromLastLow = 0;
  std::uint8_t RcReadVariant = 0;
  std::uint8_t NeedsAdaptor = 0;
  std::uint8_t WriterParam = 0;
  int ProgramBytes = 0;
  std::uint8_t BlankHigh = 0x7F;
  std::array<std::uint8_t, 6> OptionFieldSelect{};

  bool IsFlash() const { return MemoryKind == 2; }    // erasable, with an EEPROM
  bool IsElevenBit() const { return CoreType == 3; }  // 11-bit program words
  int ProgramWords() const { return ProgramBytes / 2; }
  // The device's program memory in whole words' bytes, never past the buffer.
  int DeviceBytes() const { return std::clamp(ProgramBytes, 0, kProgramBufferBytes) & ~1; }
  int EepromBytes() const { return EepromLastHigh * 256 + EepromLastLow + 1; }
  int LastWordAddress() const { return LastAddrHigh * 256 + LastAddrLow; }
};

// What the last command found out: checksums and the OPTION word's state (RefreshData,
// CalChecksum), the Writer's answers and the port's state (the link and the port selection), and
// whether a Read went through (the read worker).
struct Results {
  int DataChecksum = 0;
  int OptionStatus = 0;  // bit 0: some OPTION field is Blank; bit 1: some field is Error
  int FailIndex = 0;     // the byte a write failed at
  std::string WriterId;
  std::string WriterVersion;
  // The first Writer check of the last command still got an unexpected answer after waiting out
  // a stopped transfer (see WriterLink::CheckWriterSettled).
  bool WriterBusyHint = false;
  bool PortError = false;
  bool ReadCompleted = false;
};

// The texts the status panel shows that the core computes from the buffers: the OPTION lines'
// values, the sums and the ID line. RefreshData and CalChecksum write them; RefreshPending is set
// by whatever changes the workspace under the panel (a pass counted, a serial-number setup, a
// loaded configuration, an editor) and cleared by the one who redraws.
struct PanelTexts {
  bool RefreshPending = false;  // the panel's texts are stale: RefreshData is due
  // The OPTION value labels in panel order Label5..Label10: oscillator, OST/PUT, WDT, PED,
  // security, PRD/MCLR. A greyed line keeps its last text; the configuration file stores them.
  std::array<std::string, 6> OptionLabelText{"Blank", "Blank", "Blank", "Blank", "Blank", "Blank"};
  std::string ChecksumText;      // Label11: the data checksum, the form written into the ID words
  std::string OptChecksumText;   // the OPTION sum
  std::string ProtectSumText;    // the protect sum
  std::string IcChecksumText;    // Label17: checksum read from the chip, as the ID window shows it
  std::string IdText = "7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F";  // Label18
};

// Production: serial-number mode and its settings (the serial-number setup, the configuration
// file), the QTP file being read (Load QTP File, each Auto Program pass), the pass count and the
// flags that run passes without a Writer's answer. Auto Program writes it on every pass.
struct ProductionState {
  bool SerialNoMode = false;
  bool QtpFileLoaded = false;
  bool QtpSimulate = false;
  bool FlashPgmTestOn = false;  // the next Auto Program pass starts by itself
  int SerialStartAddress = 0;
  int SerialByteCount = 1;
  std::array<int, 8> SerialValue{};  // slot 0 is the least significant byte
  int SerialIncrement = 1;
  int SerialStepMode = 0;   // 0 sequential, otherwise the shift register
  int SerialByteOrder = 0;  // 0 MSB->LSB, 1 LSB->MSB
  bool QtpEndSeen = false;
  int QtpRecordCount = 0;
  QtpStream QtpReadFile;  // the QTP file being read, or null
  std::string SerialText = "00";        // Label15
  long PassCount = 0;                   // "Pass Count :", a signed 32-bit count (PassCountText)
  std::string QtpFileText = "Disable";  // Label19
};

// Staging areas of the Writer link: the command header and the bytes of a transfer, written and
// read by the link primitives and the workers; the port settings CheckComPort remembers.
struct LinkScratch {
  std::array<std::uint8_t, 32> HeaderBytes{};
  std::array<std::uint8_t, kLinkBufferBytes> LinkBuffer{};
  SavedPortSettings SavedPort;
  // The shortest Writer check on this port (its byte to its answer, CTS check included): what
  // every acknowledged byte costs. Zero before the first check and when a port is opened.
  std::chrono::nanoseconds RoundTrip{0};
};

// What the menu command asks of its worker; set by the command (see CommandSpec) just before
// the worker starts, and cleared by Auto Program when its pass is over.
struct CommandFlags {
  bool SkipBlankCheck = false;
  bool EraseRequested = false;
  bool VerifyWithProtect = false;
};

// The operator's settings that the core reads: the port and handshake chosen, the ID display's
// form, "Keep Option for new code", the pulse and erase widths. The front ends write them from
// their controls or options.
struct OperatorSettings {
  std::string PortName = "Com1";     // port chooser text
  std::string HandShake = "Default";  // "Default", "CTS" or "None"
  bool IdDisplayHex = false;          // ID and IC checksum shown as HEX rather than ASCII
  bool KeepOptionVisible = false;     // "Keep Option for new code"; never shown by the window
  bool KeepOptionChecked = false;
  // The engineering pulse and erase widths (x 0.2 ms, x 0.1 ms); none while their entry holds no
  // number. They reach the Writer's headers only with EngineeringWidths, which the window never
  // sets: its width entries are built hidden and stay hidden.
  bool EngineeringWidths = false;
  std::optional<int> PulseWidth = 5;
  std::optional<int> EraseWidth = 120;
  bool SerialCommandsLocked = false;  // single-step ID/Program Memory/OPTION commands disabled
};

// Where the image came from and where files go: written by the file loaders and the
// configuration commands.
struct FileState {
  std::string StartDir;
  std::string ConfigPath;
  std::string BufferCaption;  // the name the program buffer is shown under: its file, or none
  std::string LastProgramPath;
  std::string ProgramPath;
  int LoadedLength = 0;
  // Set by the start-up configuration load: the first Intel HEX fault after it is not reported.
  bool StartupConfigLoad = false;
};

struct Workspace {
  Workspace();  // the start-up values

  WorkspaceBusy Busy;  // held by the worker that owns the workspace

  ChipImage image;
  DeviceSettings device;
  Results results;
  PanelTexts panel;
  ProductionState production;
  LinkScratch link;
  CommandFlags command;
  OperatorSettings settings;
  FileState files;
};

// A worker's hold on the workspace, for its lifetime. owns() is false when another worker
// already held it; then the new one must not start.
class WorkspaceBusyGuard {
 public:
  explicit WorkspaceBusyGuard(Workspace& ws) : ws_(ws), owns_(ws.Busy.TryTake()) {}
  ~WorkspaceBusyGuard() {
    if (owns_) ws_.Busy.Release();
  }
  WorkspaceBusyGuard(const WorkspaceBusyGuard&) = delete;
  WorkspaceBusyGuard& operator=(const WorkspaceBusyGuard&) = delete;
  bool owns() const { return owns_; }

 private:
  Workspace& ws_;
  bool owns_;
};

// True while a worker owns `ws`: the port change, the device change and the file commands refuse
// then (the desktop greys them and its status-panel timer skips the redraw).
inline bool WorkspaceInUse(const Workspace& ws) { return ws.Busy.Held(); }

}  // namespace kvx
