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
  ws.DeviceName = row.Name;
  ws.LastAddrHigh = row.LastAddrHigh;
  ws.LastAddrLow = row.LastAddrLow;
  ws.OptionLayout = row.OptionLayout;
  ws.CoreType = row.CoreType;
  ws.AlgorithmCode = row.AlgorithmCode;
  ws.ModeCode = row.ModeCode;
  ws.WriterType = row.WriterType;
  ws.OptionLowMask = row.OptionLowMask;
  ws.OptionHighMask = row.OptionHighMask;
  ws.MemoryKind = row.MemoryKind;
  ws.EepromLastHigh = row.EepromLastHigh;
  ws.EepromLastLow = row.EepromLastLow;
  ws.RcReadVariant = row.RcReadVariant;
  ws.NeedsAdaptor = row.NeedsAdaptor;
  ws.WriterParam = row.WriterParam;
  ws.ProgramBytes = 2 * row.Words();
  for (int k = 0; k < 6; ++k) ws.OptionFieldSelect[k] = OptionLayoutTable[row.OptionLayout][k];
  ws.BlankHigh = row.IsElevenBit() ? 0x0F : 0x7F;
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
