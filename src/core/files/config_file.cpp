#include "core/files/config_file.h"

#include <algorithm>

#include "core/device/pass_count.h"
#include "core/device/catalogue.h"
#include "core/device/checksum.h"
#include "core/device/status_panel.h"
#include "core/device/text_convert.h"
#include "core/files/file_io.h"
#include "core/files/hex_text.h"
#include "core/files/intel_hex.h"
#include "core/files/pic_translate.h"
#include "core/files/raw_image.h"

namespace kvx {

namespace {

constexpr char kPathEnd = 0x0F;
constexpr std::size_t kTailBytes = 2 + kIdBytes;  // OptionLow, OptionHigh, IdBuffer

bool IsDigits(std::string_view token) {
  return !token.empty() && token.find_first_not_of("0123456789") == std::string_view::npos;
}

// The serial-number value: slot j is the two digits at 1-based position 2(n-j)-1.
bool ParseSerialValue(ConfigRecord& r, std::string_view token) {
  const auto n = static_cast<std::size_t>(r.serialByteCount);
  if (token.size() < 2 * n) return false;
  for (std::size_t j = 0; j < n; ++j) {
    HexText digits = HexToInt(token.substr(2 * (n - j) - 2, 2));
    if (!digits.valid) return false;
    r.serialValue[j] = static_cast<int>(digits.value);
  }
  r.serialText = std::string(token);
  return true;
}

// Tokens 4 to 21, after the path.
bool ParseTokens(ConfigRecord& r, std::string_view& text) {
  const std::string port = GetStr(text);
  if (port.size() < 4 || port[3] < '1' || port[3] > '8') return false;
  r.port = port[3] - '0';
  r.device = GetStr(text);
  for (auto& t : r.optionTexts) t = GetStr(text);
  r.checksumText = GetStr(text);
  r.passCount = GetStr(text);
  int keep = 0, mode = 0;
  if (r.device.empty() || r.checksumText.empty() || !IsDigits(r.passCount)) return false;
  for (const auto& t : r.optionTexts)
    if (t.empty()) return false;
  if (!ParseDecimal(GetStr(text), keep) || !ParseDecimal(GetStr(text), mode)) return false;
  r.keepOption = keep != 0;
  r.serialNoMode = mode != 0;
  // Serial words must lie in the program memory buffer; nothing this program writes puts them
  // beyond it. Words past the device's own memory are taken as stored: the settings may come from
  // another device (or from a QTP record that was refused), and every step that stamps or counts
  // on the serial words checks first that they lie in the device's program memory.
  if (!ParseDecimal(GetStr(text), r.serialStartAddress) || r.serialStartAddress < 0) return false;
  if (!ParseDecimal(GetStr(text), r.serialByteCount) || r.serialByteCount < 1 ||
      r.serialByteCount > 8 || r.serialStartAddress + r.serialByteCount > kProgramWords)
    return false;
  if (!ParseSerialValue(r, GetStr(text))) return false;
  return ParseDecimal(GetStr(text), r.serialIncrement) &&
         ParseDecimal(GetStr(text), r.serialStepMode) &&
         ParseDecimal(GetStr(text), r.serialByteOrder);
}

// A token as written: the informative panel texts must stay one token each, so an empty text
// or one with a space would shift every token after it.
std::string Token(std::string text) {
  if (text.empty()) return "-";
  for (char& c : text)
    if (c == ' ') c = '_';
  return text;
}

}  // namespace

bool IsComPortName(std::string_view name) {
  return name.size() == 4 && (name.substr(0, 3) == "Com" || name.substr(0, 3) == "COM" ||
                              name.substr(0, 3) == "com") &&
         name[3] >= '1' && name[3] <= '8';
}

std::string ConfigPortToken(const std::string& portName) {
  return IsComPortName(portName) ? portName : "Com1";
}

namespace {

std::string SerialValueText(const Workspace& ws, int n) {
  std::string text;
  for (int j = n - 1; j >= 0; --j)
    text += HexDigits(ws.production.SerialValue[static_cast<std::size_t>(j)] & 0xFF, 2);
  return text;
}

bool Fail(LoadReport& report, std::string message) {
  report.messages.push_back(std::move(message));
  return false;
}

bool DataError(const Workspace& ws, LoadReport& report) {
  return Fail(report, "'" + ws.files.ConfigPath + "' file data error!");
}

void ApplySettings(Workspace& ws, const ConfigRecord& r) {
  ws.production.PassCount = PassCountValue(r.passCount);
  ws.settings.KeepOptionChecked = r.keepOption;
  ws.production.SerialNoMode = r.serialNoMode;
  ws.production.SerialStartAddress = r.serialStartAddress;
  ws.production.SerialByteCount = r.serialByteCount;
  ws.production.SerialText = r.serialText;
  for (int j = 0; j < r.serialByteCount; ++j)
    ws.production.SerialValue[static_cast<std::size_t>(j)] = r.serialValue[static_cast<std::size_t>(j)];
  ws.production.SerialIncrement = r.serialIncrement;
  ws.production.SerialStepMode = r.serialStepMode;
  ws.production.SerialByteOrder = r.serialByteOrder;
  ws.image.OptionLow = r.optionLow;
  ws.image.OptionHigh = r.optionHigh;
  ws.image.IdBuffer = r.id;
}

// Reloads the program data file a full configuration names, by its path as stored.
bool ReloadProgramData(Workspace& ws, LoadReport& report, const OpenViews& views) {
  std::ifstream in;
  if (OpenForReading(ws.files.LastProgramPath, in) != OpenResult::Ok)
    return Fail(report, "'" + ws.files.LastProgramPath + "' file can't open: " +
                            WhyNotReadable(ws.files.LastProgramPath));
  const std::string ext = FileExtension(ws.files.LastProgramPath).substr(0, 3);
  if (ext == "HEX" || ext == "KVH") {
    if (!HoldsHexRecord(in)) return Fail(report, kNoHexRecord);
    HexToObj(ws, in, report.messages);
  } else {
    ProgramBytesArray image;
    if (ReadRawImage(in, image) != ws.device.ProgramBytes) return Fail(report, "File size unmatch!");
    ws.image.ProgramBuffer = image;
  }
  ws.files.LoadedLength = kProgramBufferBytes;
  if (ext == "OBJ" || ext == "HEX") TranslatePicCode(ws, report.messages, views);
  if (ws.device.IsElevenBit() && !IsElevenBitImage(ws.image.ProgramBuffer))
    return Fail(report, "It is not 11-bit instructions !");
  SplitWords(ws.image.ProgramBuffer);
  if (ws.device.IsElevenBit()) MaskElevenBit(ws.image.ProgramBuffer);
  return true;
}

}  // namespace

std::string GetStr(std::string_view& text) {
  const std::size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    text = {};
    return {};
  }
  const std::size_t end = text.find(' ', start);
  std::string token(text.substr(start, end == std::string_view::npos ? text.npos : end - start));
  text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
  return token;
}

std::optional<ConfigRecord> ParseCfg(std::string_view data) {
  if (data.size() > kMaxConfigBytes) return std::nullopt;
  if (data.substr(0, 3) != "kvx" && data.substr(0, 3) != "qzr") return std::nullopt;
  data.remove_prefix(3);
  const std::size_t pathEnd = data.find(kPathEnd);
  if (pathEnd == std::string_view::npos) return std::nullopt;
  ConfigRecord r;
  r.programPath = std::string(data.substr(0, pathEnd));
  data.remove_prefix(pathEnd + 1);
  if (!ParseTokens(r, data) || data.size() < kTailBytes) return std::nullopt;
  r.optionLow = static_cast<std::uint8_t>(data[0]);
  r.optionHigh = static_cast<std::uint8_t>(data[1]);
  for (std::size_t i = 0; i < kIdBytes; ++i) r.id[i] = static_cast<std::uint8_t>(data[2 + i]);
  return r;
}

std::string SaveCfg(const Workspace& ws) {
  const int n = std::clamp(ws.production.SerialByteCount, 1, 8);
  std::string text = "kvx" + ws.files.LastProgramPath + kPathEnd;
  auto add = [&text](const std::string& token) { text += Token(token) + ' '; };
  add(ConfigPortToken(ws.settings.PortName));
  add(ws.device.SelectedDevice);
  for (const auto& label : ws.panel.OptionLabelText) add(label);
  add(ws.panel.ChecksumText);
  add("0");
  add(ws.settings.KeepOptionChecked ? "1" : "0");
  add(ws.production.SerialNoMode ? "1" : "0");
  add(std::to_string(ws.production.SerialStartAddress));
  add(std::to_string(n));
  add(SerialValueText(ws, n));
  add(std::to_string(ws.production.SerialIncrement));
  add(std::to_string(ws.production.SerialStepMode));
  add(std::to_string(ws.production.SerialByteOrder));
  text += static_cast<char>(ws.image.OptionLow);
  text += static_cast<char>(ws.image.OptionHigh);
  for (std::uint8_t b : ws.image.IdBuffer) text += static_cast<char>(b);
  return text;
}

bool LoadCfg(Workspace& ws, std::string_view data, bool full, LoadReport& report,
             const OpenViews& views) {
  const std::optional<ConfigRecord> r = ParseCfg(data);
  if (!r) return DataError(ws, report);
  ws.files.LastProgramPath = r->programPath;
  ws.settings.PortName = "Com" + std::to_string(r->port);
  if (full) {
    const int index = GetICInfo(ws, r->device);
    if (index < 0) return DataError(ws, report);
    ws.device.SelectedDevice = r->device;
    ws.device.DeviceIndex = index;
  }
  if (!FileExists(ws.files.LastProgramPath)) {
    const bool unnamed = ws.files.LastProgramPath.empty();
    ws.files.LastProgramPath.clear();
    return Fail(report, unnamed ? "No data file name" : "'" + r->programPath + "' file do not find!");
  }
  ApplySettings(ws, *r);
  RefreshData(ws);  // ends with CalChecksum
  if (full) {
    if (!ReloadProgramData(ws, report, views)) return false;
    CalChecksum(ws);
  }
  if (views.windowsShown) {
    ws.panel.RefreshPending = true;
    ws.files.BufferCaption = ws.files.LastProgramPath;
    report.rebuildIdWindow = true;
    report.rebuildBufferView = true;
  }
  return true;
}

bool LoadCfg(Workspace& ws, std::istream& in, bool full, LoadReport& report,
             const OpenViews& views) {
  const std::string data = ReadAtMost(in, kMaxConfigBytes + 1);
  return LoadCfg(ws, data, full, report, views);
}

}  // namespace kvx
