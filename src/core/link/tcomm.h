// TComm: the serial-port component every byte to and from the Writer passes through, on a POSIX
// terminal device. Line settings are given as enumerations whose numeric value is their position
// (the configuration and the saved port settings store those positions). Reads and writes are
// one byte at a time and never block for long; waiting is done by poll(), never by spinning.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>

#include "core/link/port_facts.h"
#include "core/link/serial_port.h"

namespace kvx {

enum TBaudrate {
  br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400, br56000,
  br57600, br115200, br128000, br256000
};
enum TParity { paNone, paOdd, paEven, paMark, paSpace };
enum TStopbits { sb10, sb15, sb20 };
enum TDatabits { da4, da5, da6, da7, da8 };
enum TFlowControl { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
// Raised by TComm only; its callers catch it. The code is the errno of the failed call, or -1
// for a call the port's state does not allow.
class ECommError : public std::runtime_error {
 public:
  ECommError(const std::string& text, int code);
  int ErrorCode() const { return code_; }

 private:
  int code_;
};

// The driver's output queue as TComm sees it: how many bytes still wait to go out, and throwing
// them away. A test puts a line that drains slowly, or never, in place of the terminal's own.
class OutputQueue {
 public:
  virtual ~OutputQueue() = default;
  virtual int Count(int fd) = 0;
  virtual void Discard(int fd) = 0;
};

// The driver's low-latency flag as TComm sees it (TIOCGSERIAL, TIOCSSERIAL). A test puts a
// driver that takes, ignores or refuses the flag in place of the terminal's own.
class SerialFlags {
 public:
  virtual ~SerialFlags() = default;
  virtual bool ReadLowLatency(int fd, bool& on) = 0;  // false: the driver has no such setting
  virtual bool RequestLowLatency(int fd) = 0;         // false: the driver refused
};

class TComm final : public SerialPort {
 public:
  TComm();
  // `queue`, `clock` and `flags` must outlive the port; a null `flags` is the terminal's own.
  TComm(OutputQueue& queue, Clock& clock, SerialFlags* flags = nullptr);
  ~TComm() override;
  TComm(const TComm&) = delete;
  TComm& operator=(const TComm&) = delete;

  // Opens DeviceName for exclusive use. A name that cannot be opened, or that is not a
  // character device, leaves the port closed without raising; LastError() tells why.
  void Open();
  void Close();  // purges both directions, then closes
  // True while the device is open and has not hung up (a USB adapter pulled, a pseudo-terminal
  // whose other side closed); a hung-up port stays assigned until Close.
  bool Enabled() const override { return fd_ >= 0 && !gone_; }
  int LastError() const { return lastError_; }  // errno of the last failed Open, 0 after success
  // Whether the last Open got the driver's low-latency flag, as read back after asking.
  LowLatency LowLatencyState() const { return lowLatency_; }

  // As the interface says: -1 on a closed or failed port, never an exception.
  int Read(std::uint8_t* buffer, int count) override;
  int Write(const std::uint8_t* buffer, int count) override;
  int InQueCount() override;
  int OutQueCount() override;
  void PurgeIn() override;
  void PurgeOut() override;
  bool GetModemState(int line) override;
  bool WaitReadable(Millis max) override;
  // With a wait of kReadTimer or more, one blocking read on the terminal's read timer (VTIME,
  // set to kReadTimer) waits and reads: one system call instead of a poll and a read for every
  // answered byte.
  int ReadWithin(std::uint8_t* buffer, int count, Millis max) override;
  void WaitModemChange(Millis max) override;
  int ByteRate() const override;

  // Properties. DeviceName and the buffer sizes may change only while closed;
  // the line settings take effect at once on an open port and are stored when closed.
  const std::string& DeviceName() const { return deviceName_; }
  void SetDeviceName(const std::string& name);
  std::uint32_t WriteTimeout() const { return writeTimeout_; }
  void SetWriteTimeout(std::uint32_t ms) { writeTimeout_ = ms; }
  int ReadBufSize() const { return readBufSize_; }
  void SetReadBufSize(int bytes);
  std::uint32_t WriteBufSize() const { return writeBufSize_; }
  void SetWriteBufSize(std::uint32_t bytes);
  TBaudrate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudrate rate);
  TParity Parity() const { return parity_; }
  void SetParity(TParity parity);
  TStopbits Stopbits() const { return stopbits_; }
  void SetStopbits(TStopbits bits);
  TDatabits Databits() const { return databits_; }
  void SetDatabits(TDatabits bits);
  TFlowControl FlowControl() const { return flowControl_; }
  void SetFlowControl(TFlowControl flow);

 private:
  void RequireClosed() const;  // raises "Port already assigned (open)"
  void ApplyLineSettings();  // raises "Error updating DataControlBlock"
  void ApplyModemLines();
  void RequestLowLatency();
  void CloseDevice();
  bool WaitWritable(int timeoutMs);

  std::string deviceName_ = "Com2";
  std::uint32_t writeTimeout_ = 1000;
  int readBufSize_ = 4096;
  std::uint32_t writeBufSize_ = 2048;
  TBaudrate baudRate_ = br9600;
  TParity parity_ = paNone;
  TStopbits stopbits_ = sb10;
  TDatabits databits_ = da8;
  TFlowControl flowControl_ = fcDefault;

  OutputQueue* queue_;
  Clock* clock_;
  SerialFlags* flags_;
  LowLatency lowLatency_ = LowLatency::NotOffered;
  int fd_ = -1;
  // A second, blocking descriptor of the same terminal for ReadWithin; -1 when it did not open.
  // The terminal's read timer (VTIME) bounds its reads; fd_ is non-blocking and ignores it.
  int waitFd_ = -1;
  int lastError_ = 0;
  std::atomic<bool> gone_ = false;  // the device hung up
  // The device has no modem lines to query (a pseudo-terminal, some USB adapters): the first
  // refused query tells, and the port stops asking until it is opened again.
  std::atomic<bool> noModemLines_ = false;
  std::recursive_mutex mutex_;
};

}  // namespace kvx
