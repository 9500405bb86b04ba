// The device download of the newer Writer model: the operator ticks up to 16 catalogue devices
// and their parameter records are sent to the Writer, which then serves them by slot number.
// This is the "Device select" window's logic; the window only shows it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/device/workspace.h"
#include "core/link/progress.h"
#include "core/link/writer_link.h"

namespace kvx {

inline constexpr int kMaxDownloadDevices = 16;
// The oldest firmware that takes device records, compared as plain text.
inline constexpr std::string_view kDownloadMinVersion = "V3.09";
// The start of the identification of the Writer model that takes device records.
inline constexpr std::string_view kDownloadModel = " ZQR640B";
inline constexpr Millis kRecordPause{20};

// One 32-byte record: 0xA9, a slot, 29 bytes of content and the sum of bytes 1-30.
using DownloadRecord = std::array<std::uint8_t, 32>;

// The record that opens every download (slot 0xFF, no content).
DownloadRecord BuildOpeningRecord();
// The record of the device whose parameters are loaded in `ws`, for `slot` (1-16).
DownloadRecord BuildDeviceRecord(const Workspace& ws, int slot);

// What the window shows while Download runs; every method may be left as it is. The sibling of
// OperationView (core/ops/operation.h) and under the same threading contract: when the download
// runs on an OperationRunner, calls arrive on the worker's thread, in order, string_view
// arguments live only for the call, and ShowMessage waits as a modal box does.
class DownloadView {
 public:
  virtual ~DownloadView() = default;
  virtual void SelectLine(int /*index*/) {}   // highlight the list line being sent
  virtual void SetGauge(int /*percent*/) {}   // over the listed lines, as the window's gauge
  virtual void ShowMessage(std::string_view /*text*/) {}
  // After each device record the Writer took: records done of the ticked devices' total.
  virtual void Progress(const ProgressEvent& /*event*/) {}
};

struct DeviceLine {
  std::string Name;
  bool Ticked = false;
};

class DeviceDownload {
 public:
  DeviceDownload();  // lists the catalogue with its default ticks (FormCreate)

  const std::vector<DeviceLine>& Lines() const { return lines_; }
  int ListedCount() const { return static_cast<int>(lines_.size()); }
  int TickedCount() const;
  int Gauge() const { return gauge_; }

  // The operator toggled the tick of line `index`. Returns the refusal shown when a seventeenth
  // device would be ticked ("Already selected 16 devices"), otherwise empty.
  std::string CheckListBox1ClickCheck(int index);

  // Sends the opening record and the records of the ticked devices. Returns the message shown
  // (also passed to view.ShowMessage), empty on success. The device chosen in the main window
  // is loaded again afterwards.
  std::string DownLoadClick(WriterLink& link, DownloadView& view);

 private:
  std::string SendRecords(WriterLink& link, DownloadView& view);
  void SetGauge(DownloadView& view, int percent);

  std::vector<DeviceLine> lines_;
  int gauge_ = 0;
};

}  // namespace kvx
