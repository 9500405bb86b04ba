#include "cli/op_buffers.h"

#include <fstream>
#include <vector>

#include "cli/load_program.h"
#include "core/device/catalogue.h"
#include "core/device/status_panel.h"
#include "core/device/text_convert.h"
#include "core/editors/buffer_edit.h"
#include "core/files/file_io.h"
#include "core/files/raw_image.h"

namespace kvx::cli {

namespace {

std::string HexBytes(const std::uint8_t* bytes, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += HexDigits(bytes[i], 2);
  return text;
}

// The EEPROM file may be shorter than the device's EEPROM (the rest keeps the buffer's bytes)
// but never longer: bytes that would not reach the chip are refused, not dropped.
int LoadEeprom(std::string_view command, const std::string& path, Workspace& ws,
               std::ostream& err) {
  const int size = ws.device.EepromBytes();
  std::ifstream in;
  const OpenResult opened = OpenForReading(path, in);
  if (opened != OpenResult::Ok) {
    err << "kvxw " << command << ": cannot read the EEPROM file " << path << "\n";
    return kExitFailed;
  }
  const std::string bytes = ReadAtMost(in, static_cast<std::size_t>(size) + 1);
  if (static_cast<int>(bytes.size()) > size) {
    err << "kvxw " << command << ": the EEPROM file " << path << " holds more than the " << size
        << " bytes of " << ws.device.DeviceName << "'s EEPROM\n";
    return kExitFailed;
  }
  for (std::size_t i = 0; i < bytes.size(); ++i)
    ws.image.EepromBuffer[i] = static_cast<std::uint8_t>(bytes[i]);
  return kExitOk;
}

}  // namespace

bool ParseOptionWord(std::string_view text, OptionWord& word) {
  long value = 0;
  if (text.size() != 4 || text.find_first_of("xX") != std::string_view::npos ||
      !ParseHex(text, value))
    return false;
  word.low = static_cast<std::uint8_t>(value >> 8);
  word.high = static_cast<std::uint8_t>(value & 0xFF);
  return word.low <= 0x7F && word.high <= 0x7F;
}

bool ParseIdText(std::string_view text, IdInput& id) {
  id = IdInput{};
  if (text.rfind("hex:", 0) == 0) {
    std::string digits;
    for (char ch : text.substr(4))
      if (ch != ' ') digits += ch;
    if (digits.size() != 24) return false;
    for (int k = 0; k < 12; ++k) {
      long value = 0;
      if (!ParseHex(std::string_view(digits).substr(2 * k, 2), value)) return false;
      id.bytes[k] = static_cast<std::uint8_t>(value);
    }
    id.hex = true;
    return true;
  }
  if (text.size() > 12) return false;
  for (char ch : text)
    if (ch < 0x20 || ch > 0x7E) return false;
  id.text = text;
  return true;
}

bool ParseBufferInputs(std::string_view command, const Args& args, BufferInputs& inputs,
                       std::ostream& err) {
  auto refuse = [&](const std::string& message) {
    UsageError(command, message, err);
    return false;
  };
  inputs.device = args.Get("--device");
  const int row = FindDevice(inputs.device);
  if (row < 0) return refuse("unknown device " + inputs.device + " (see 'kvxw devices')");
  inputs.file = args.Get("--file");
  if (args.Has("--option")) {
    OptionWord word;
    if (!ParseOptionWord(args.Get("--option"), word))
      return refuse("--option wants LLHH: two stored bytes 00-7F in hex");
    inputs.option = word;
  }
  if (args.Has("--id")) {
    IdInput id;
    if (!ParseIdText(args.Get("--id"), id))
      return refuse("--id wants up to 12 printable ASCII characters, or hex: and 24 hex digits");
    inputs.id = id;
  }
  inputs.eeprom = args.Get("--eeprom");
  if (!inputs.eeprom.empty() && !Catalogue[row].IsFlash())
    return refuse(inputs.device + " has no EEPROM");
  return true;
}

int FillWorkspace(std::string_view command, const BufferInputs& inputs, Workspace& ws,
                  std::ostream& out, std::ostream& err) {
  if (!inputs.file.empty()) {
    LoadReport report;
    if (!LoadProgramForDevice(command, inputs.file, inputs.device, ws, report, err))
      return kExitUsage;
    PrintLoadMessages(report, out);
    if (report.stopped) return kExitFailed;
  } else {
    SelectDevice(ws, inputs.device);
  }
  if (inputs.option) {
    ws.image.OptionLow = inputs.option->low;
    ws.image.OptionHigh = inputs.option->high;
  }
  // The ID as the ID editor's OK stores it.
  if (inputs.id && inputs.id->hex) StoreIdBytes(ws, inputs.id->bytes);
  if (inputs.id && !inputs.id->hex) StoreIdAsciiText(ws, inputs.id->text);
  if (!inputs.eeprom.empty())
    if (int status = LoadEeprom(command, inputs.eeprom, ws, err); status != kExitOk) return status;
  RefreshData(ws);  // the OPTION status and the checksums the workers rely on
  return kExitOk;
}

bool WriteReadResult(std::string_view command, const Workspace& ws, const std::string& path,
                     std::ostream& out, std::ostream& err) {
  out << "OPTION: " << HexBytes(&ws.image.OptionLow, 1) << HexBytes(&ws.image.OptionHigh, 1) << "\n";
  out << "ID: hex:" << HexBytes(ws.image.IdBuffer.data(), 12) << "\n";
  if (path.empty()) return true;
  const std::vector<std::uint8_t> image = ProgramImage(ws);
  if (!WriteFileReplacing(path, image)) {
    err << "kvxw " << command << ": cannot write " << path << "\n";
    return false;
  }
  out << "Image: " << path << "\n";
  if (!ws.device.IsFlash()) return true;
  const std::string eepromPath = path + ".eeprom";
  const std::span<const std::uint8_t> eeprom(ws.image.EepromBuffer.data(), ws.device.EepromBytes());
  if (!WriteFileReplacing(eepromPath, eeprom)) {
    err << "kvxw " << command << ": cannot write " << eepromPath << "\n";
    return false;
  }
  out << "EEPROM: " << eepromPath << "\n";
  return true;
}

}  // namespace kvx::cli
