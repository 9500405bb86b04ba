#include "core/link/download.h"

#include <algorithm>
#include <numeric>

#include "core/device/catalogue.h"

namespace kvx {

namespace {

constexpr std::uint8_t kOpeningSlot = 0xFF;
constexpr int kNameBytes = 16;

void SealRecord(DownloadRecord& r) {
  r[0] = kDownloadRecord;
  r[31] = static_cast<std::uint8_t>(std::accumulate(r.begin() + 1, r.begin() + 31, 0) & 0xFF);
}

// The main window's device goes back into the workspace when the download ends, however it ends:
// each record loaded another device's parameters.
class DeviceRestore {
 public:
  explicit DeviceRestore(Workspace& ws) : ws_(ws) {}
  ~DeviceRestore() { ws_.device.DeviceIndex = GetICInfo(ws_, ws_.device.SelectedDevice); }
  DeviceRestore(const DeviceRestore&) = delete;
  DeviceRestore& operator=(const DeviceRestore&) = delete;

 private:
  Workspace& ws_;
};

// Sends one record; false when the download ends here, with the message to show (none when
// the download was stopped).
bool SendRecord(WriterLink& link, const DownloadRecord& record, std::string& message) {
  std::copy(record.begin(), record.end(), link.ws().link.HeaderBytes.begin());
  const LinkResult result = link.SendHeader(static_cast<int>(record.size()));
  if (result == LinkResult::Done) return true;
  if (result == LinkResult::Timeout)
    message = "Connect Timeout!!";
  else if (result != LinkResult::Stopped)
    message = "Writer Error!!";
  return false;
}

}  // namespace

DownloadRecord BuildOpeningRecord() {
  DownloadRecord r{};
  r[1] = kOpeningSlot;
  SealRecord(r);
  return r;
}

DownloadRecord BuildDeviceRecord(const Workspace& ws, int slot) {
  DownloadRecord r{};
  r[1] = static_cast<std::uint8_t>(slot);
  for (int k = 0; k < kNameBytes; ++k)
    r[2 + k] = k < static_cast<int>(ws.device.DeviceName.size()) ? static_cast<std::uint8_t>(ws.device.DeviceName[k])
                                                          : ' ';
  r[18] = ws.device.LastAddrHigh;
  r[19] = ws.device.EepromLastHigh;
  r[20] = ws.device.AlgorithmCode;
  r[21] = ws.device.ModeCode;
  r[22] = ws.device.WriterParam;
  r[23] = ws.device.MemoryKind;
  r[24] = static_cast<std::uint8_t>(ws.device.CoreType & 0xFF);
  SealRecord(r);
  return r;
}

DeviceDownload::DeviceDownload() {
  int ticked = 0;
  for (int index = 0; index < kDeviceCount; ++index) {
    const bool tick = GetDownload(index) != 0 && ticked < kMaxDownloadDevices;
    if (tick) ++ticked;
    lines_.push_back({GetIcName(index), tick});
  }
}

int DeviceDownload::TickedCount() const {
  return static_cast<int>(
      std::count_if(lines_.begin(), lines_.end(), [](const DeviceLine& l) { return l.Ticked; }));
}

std::string DeviceDownload::CheckListBox1ClickCheck(int index) {
  gauge_ = 0;
  if (index < 0 || index >= ListedCount()) return {};
  DeviceLine& line = lines_[index];
  if (!line.Ticked && TickedCount() >= kMaxDownloadDevices) return "Already selected 16 devices";
  line.Ticked = !line.Ticked;
  return {};
}

std::string DeviceDownload::DownLoadClick(WriterLink& link, DownloadView& view) {
  std::string message = SendRecords(link, view);
  if (!message.empty()) view.ShowMessage(message);
  return message;
}

void DeviceDownload::SetGauge(DownloadView& view, int percent) {
  gauge_ = percent;
  view.SetGauge(percent);
}

std::string DeviceDownload::SendRecords(WriterLink& link, DownloadView& view) {
  Workspace& ws = link.ws();
  DeviceRestore restore(ws);

  const LinkResult check = link.CheckWriter(true);
  if (check == LinkResult::Stopped) return {};
  if (check == LinkResult::WrongWriter) return "Writer Error!!";
  if (check == LinkResult::Timeout) return "Connect Timeout!!";
  // Only a Writer that answered as the universal model has just told its identification; what
  // WriterId holds otherwise belongs to a Writer seen earlier.
  const bool fresh = check == LinkResult::WriterAny;
  const std::string version = fresh ? ws.results.WriterVersion : std::string();
  const std::string id = fresh ? ws.results.WriterId : std::string();
  if (version < kDownloadMinVersion) return "Please update the writer firmware";
  if (id.substr(0, kDownloadModel.size()) != kDownloadModel)
    return "This writer does not support devices download function";

  std::string message;
  if (!SendRecord(link, BuildOpeningRecord(), message)) return message;

  SetGauge(view, 0);
  int slot = 1;
  const int listed = ListedCount();
  const int ticked = TickedCount();
  for (int index = 0; index < listed; ++index) {
    view.SelectLine(index);
    if (lines_[index].Ticked) {
      GetICInfo(ws, lines_[index].Name);
      if (!SendRecord(link, BuildDeviceRecord(ws, slot), message)) return message;
      view.Progress({Transfer::DeviceRecords, slot, ticked});
      link.clock().SleepFor(kRecordPause);
      ++slot;
    }
    SetGauge(view, index * 100 / listed);
  }
  SetGauge(view, 100);
  return {};
}

}  // namespace kvx
