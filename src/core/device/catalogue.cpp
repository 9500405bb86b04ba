#include "core/device/catalogue.h"

#include "core/device/workspace.h"

namespace kvx {

int FindDevice(std::string_view name) {
  for (int i = 0; Catalogue[i].Name != nullptr; ++i)
    if (name == Catalogue[i].Name) return i;
  return -1;
}

int GetICInfo(Workspace& ws, std::string_view name) {
  const int index = FindDevice(name);
  if (index < 0) return -1;
  const DeviceRow& row = Catalogue[index];
  ws.device.DeviceName = row.Name;
  ws.device.LastAddrHigh = row.LastAddrHigh;
  ws.device.LastAddrLow = row.LastAddrLow;
  ws.device.OptionLayout = row.OptionLayout;
  ws.device.CoreType = row.CoreType;
  ws.device.AlgorithmCode = row.AlgorithmCode;
  ws.device.ModeCode = row.ModeCode;
  ws.device.WriterType = row.WriterType;
  ws.device.OptionLowMask = row.OptionLowMask;
  ws.device.OptionHighMask = row.OptionHighMask;
  ws.device.MemoryKind = row.MemoryKind;
  ws.device.EepromLastHigh = row.EepromLastHigh;
  ws.device.EepromLastLow = row.EepromLastLow;
  ws.device.RcReadVariant = row.RcReadVariant;
  ws.device.NeedsAdaptor = row.NeedsAdaptor;
  ws.device.WriterParam = row.WriterParam;
  ws.device.ProgramBytes = 2 * row.Words();
  for (int k = 0; k < 6; ++k) ws.device.OptionFieldSelect[k] = OptionLayoutTable[row.OptionLayout][k];
  ws.device.BlankHigh = row.IsElevenBit() ? 0x0F : 0x7F;
  return index;
}

const DeviceRow* DeviceAt(int index) {
  if (index < 0 || index >= kDeviceCount) return nullptr;
  return &Catalogue[index];
}

std::string GetIcName(int index) {
  const DeviceRow* row = DeviceAt(index);
  return row != nullptr ? row->Name : std::string();
}

std::uint8_t GetDownload(int index) {
  const DeviceRow* row = DeviceAt(index);
  return row != nullptr ? row->DownloadPreset : 0;
}

}  // namespace kvx
