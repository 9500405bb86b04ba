#include "core/device/workspace_ops.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "core/device/catalogue.h"
#include "core/device/checksum.h"
#include "core/device/status_panel.h"
#include "core/device/text_convert.h"

namespace kvx {
namespace {

// Fill `bytes` with blank stored words (0x7F, high).
template <std::size_t N>
void FillBlankWords(std::array<std::uint8_t, N>& bytes, std::uint8_t high) {
  for (std::size_t i = 0; i + 1 < N; i += 2) {
    bytes[i] = 0x7F;
    bytes[i + 1] = high;
  }
}

std::string ClampedWidth(const std::string& typed, const char* empty, int max) {
  if (typed.empty()) return empty;
  int value = 0;
  const auto [end, error] = std::from_chars(typed.data(), typed.data() + typed.size(), value);
  if (error != std::errc() || end != typed.data() + typed.size()) return typed;
  if (value > max) return std::to_string(max);
  if (value == 0) return "1";
  return typed;
}

// The entry's text as ClampedWidth keeps it, and its number into `width` (none when it is not one).
std::string EnterWidth(std::optional<int>& width, const std::string& typed, const char* empty, int max) {
  const std::string shown = ClampedWidth(typed, empty, max);
  int value = 0;
  const auto [end, error] = std::from_chars(shown.data(), shown.data() + shown.size(), value);
  width = error == std::errc() && end == shown.data() + shown.size() && value >= 0 ? std::optional<int>(value)
                                                                                  : std::nullopt;
  return shown;
}

}  // namespace

ViewChanges ChooseDevice(Workspace& ws, const std::string& device, const OpenViews& views) {
  ws.device.SelectedDevice = device;
  ws.image.OptionLow = ws.image.OptionHigh = 0x7F;
  return ResetData(ws, views);
}

std::string EnterPulseWidth(Workspace& ws, const std::string& typed) {
  return EnterWidth(ws.settings.PulseWidth, typed, "5", 127);
}

std::string EnterEraseWidth(Workspace& ws, const std::string& typed) {
  return EnterWidth(ws.settings.EraseWidth, typed, "120", 255);
}

void ClearOptionUnlessKept(Workspace& ws) {
  if (ws.settings.KeepOptionVisible && ws.settings.KeepOptionChecked) return;
  ws.image.OptionLow = 0x7F;
  ws.image.OptionHigh = 0x7F;
}

void EndProductionModes(Workspace& ws) {
  ws.production.SerialNoMode = false;
  ws.production.QtpFileLoaded = false;
  ws.production.QtpFileText = "Disable";
  ws.production.PassCount = 0;
}

ViewChanges ResetData(Workspace& ws, const OpenViews& views) {
  ws.device.DeviceIndex = GetICInfo(ws, ws.device.SelectedDevice);
  ClearOptionUnlessKept(ws);
  // A new device starts with serial numbers and QTP off and the pass count at zero.
  EndProductionModes(ws);
  FillBlankWords(ws.image.IdBuffer, ws.device.BlankHigh);
  ws.image.EepromBuffer.fill(0x00);
  ViewChanges changes = ClearBuffer(ws, views);
  // Without an EEPROM the EEPROM view goes; the window keeps it (recreated) on a flash part.
  changes.closeEepromView = !ws.device.IsFlash();
  RefreshData(ws);
  return changes;
}

ViewChanges ClearBuffer(Workspace& ws, const OpenViews& views) {
  // The whole buffer, not only the device's part.
  FillBlankWords(ws.image.ProgramBuffer, ws.device.BlankHigh);
  if (!views.programViewClosed) ws.files.BufferCaption.clear();
  CalChecksum(ws);
  return {.closeDisassembly = true};
}

void ClearId(Workspace& ws) { ws.image.IdBuffer.fill(0x7F); }

void ClearOption(Workspace& ws) {
  ws.image.OptionLow = 0x7F;
  ws.image.OptionHigh = 0x7F;
  RefreshData(ws);
}

void ClearEeprom(Workspace& ws) { ws.image.EepromBuffer.fill(0x00); }

void GetRomData(Workspace& ws) {
  const int bytes = ws.device.DeviceBytes();
  std::copy_n(ws.image.ProgramBuffer.begin(), bytes, ws.link.LinkBuffer.begin());
  // An 11-bit word is sent with bits 11-13 set.
  if (ws.device.IsElevenBit())
    for (int i = 1; i < bytes; i += 2) ws.link.LinkBuffer[i] |= 0x70;
}

ResetAddrCheck CheckResetAddr(const Workspace& ws) {
  ResetAddrCheck check;
  // Algorithms with bit 5 set start the chip at word 0, the others at the last word.
  check.address = (ws.device.AlgorithmCode & 0x20) ? 0 : std::max(ws.device.DeviceBytes() / 2 - 1, 0);
  const std::uint8_t first = ws.image.ProgramBuffer[2 * check.address];
  const std::uint8_t second = ws.image.ProgramBuffer[2 * check.address + 1];
  check.blank = IsBlankWord(first, second, ws.device.BlankHigh);
  if (check.blank) check.text = "Reset address (" + HexDigits(check.address, 4) + "h) is blank!!";
  return check;
}

}  // namespace kvx
