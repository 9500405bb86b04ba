#include "core/production/serial_setup.h"

#include <optional>

#include "core/device/text_convert.h"
#include "core/files/file_io.h"
#include "core/files/hex_text.h"
#include "core/production/qtp_file.h"
#include "core/production/serial_number.h"

namespace kvx {

namespace {

// A decimal field's number; nothing when the text is empty, longer than the field's 9
// characters or holds anything but digits (a sign too).
std::optional<long> DecimalValue(const std::string& text) {
  long value = 0;
  if (text.size() > 9 || text.starts_with('-') || !ParseDecimal(text, value)) return std::nullopt;
  return value;
}

std::optional<long> HexValue(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const HexText hex = HexToInt(text);
  if (!hex.valid) return std::nullopt;
  return hex.value;
}

std::string PadFront(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), '0') + text;
}

// Keep the last `width` characters and fill with leading zeros to `width`.
std::string FitFront(const std::string& text, std::size_t width) {
  return PadFront(text.size() > width ? text.substr(text.size() - width) : text, width);
}

std::optional<int> ByteCount(const SerialSetupFields& f) {
  const auto n = DecimalValue(f.NoOfByte);
  if (!n || *n < 1 || *n > kSerialSlots) return std::nullopt;
  return static_cast<int>(*n);
}

// Steps shared by "OK" and "QTP File": the byte count and the increment must be numbers, and an
// increment outside 1 ~ 255 is emptied so the operator types it again.
std::string CheckCountAndIncrement(SerialSetupFields& f) {
  if (!ByteCount(f)) return kMsgNoOfByteInvalid;
  const auto increment = DecimalValue(f.Increment);
  if (!increment) return kMsgIncrementInvalid;
  if (*increment < 1 || *increment > 255) {
    f.Increment.clear();
    return kMsgIncrementInvalid;
  }
  return {};
}

// The serial words' address and value; empty message when both fit the n-byte number and the
// device's program memory.
std::string CheckAddressAndValue(const Workspace& ws, SerialSetupFields& f, int n, int& address) {
  f.StartAddress = PadFront(UpperCase(f.StartAddress), 4);
  const auto a = f.StartAddress.size() <= 4 ? HexValue(f.StartAddress) : std::nullopt;
  if (!a || !SerialWordsInMemory(ws, static_cast<int>(*a), n)) return kMsgStartAddressOverflow;
  address = static_cast<int>(*a);
  f.StartValue = UpperCase(f.StartValue);
  if (f.StartValue.size() > static_cast<std::size_t>(2 * n)) return kMsgStartValueOverflow;
  if (!f.StartValue.empty() && !HexValue(f.StartValue)) return kMsgStartValueInvalid;
  return {};
}

// Take the fields into the workspace.
void ApplyFields(Workspace& ws, const SerialSetupFields& f, int n, int address) {
  ws.production.SerialStartAddress = address;
  ws.production.SerialByteCount = n;
  SetSerialHexText(ws, f.StartValue);  // checked before: at most 2n hexadecimal digits
  ws.production.SerialIncrement = static_cast<int>(*DecimalValue(f.Increment));
  ws.production.SerialStepMode = f.StepMode;
  ws.production.SerialByteOrder = f.ByteOrder;
}

SetupOutcome NotRtiw(Workspace& ws) {
  ws.production.SerialNoMode = false;
  ws.panel.RefreshPending = true;
  return {kMsgSetupNotRtiw, true, false};
}

}  // namespace

SerialSetupFields SerialSetupFromWorkspace(const Workspace& ws) {
  SerialSetupFields f;
  f.StartAddress = HexDigits(ws.production.SerialStartAddress, 4);
  const int n = SerialBytes(ws);
  f.NoOfByte = std::to_string(n);
  f.StartValue = SerialHexText(ws);
  f.StartValueMaxLength = 2 * n;
  f.Increment = std::to_string(ws.production.SerialIncrement);
  f.StepMode = ws.production.SerialStepMode == 0 ? 0 : 1;
  f.ByteOrder = ws.production.SerialByteOrder == 0 ? 0 : 1;
  return f;
}

void StartAddressExit(SerialSetupFields& f) { f.StartAddress = PadFront(f.StartAddress, 4); }

std::string NoOfByteExit(SerialSetupFields& f) {
  const auto n = ByteCount(f);
  if (!n) return kMsgNoOfByteInvalid;
  f.StartValueMaxLength = 2 * *n;
  f.StartValue = FitFront(f.StartValue, static_cast<std::size_t>(2 * *n));
  return {};
}

std::string StartValueExit(SerialSetupFields& f) {
  const auto n = ByteCount(f);
  if (!n) return kMsgNoOfByteInvalid;
  const auto width = static_cast<std::size_t>(2 * *n);
  f.StartValue = FitFront(UpperCase(f.StartValue), width);
  // All ones never leaves itself in the shift register: that number would repeat forever.
  if (f.StepMode == 1 && f.StartValue == std::string(width, 'F')) f.StartValue = std::string(width, '0');
  return {};
}

std::string IncrementExit(SerialSetupFields& f) {
  const auto value = DecimalValue(f.Increment);
  if (!value) return kMsgIncrementInvalid;
  if (*value == 0) f.Increment = "1";
  return {};
}

std::string NoOfPartExit(SerialSetupFields& f) {
  const auto value = DecimalValue(f.NoOfPart);
  if (!value) return kMsgNoOfPartInvalid;
  if (*value == 0) f.NoOfPart = "1";
  return {};
}

SetupOutcome SerialSetupOk(Workspace& ws, SerialSetupFields& f) {
  if (std::string m = CheckCountAndIncrement(f); !m.empty()) return {m};
  const int n = *ByteCount(f);
  int address = 0;
  if (std::string m = CheckAddressAndValue(ws, f, n, address); !m.empty()) return {m};
  if (!SerialWordsAreRtiw(ws, address, n)) return NotRtiw(ws);

  ws.production.SerialNoMode = true;
  ApplyFields(ws, f, n, address);
  SerialNo2Memory(ws);  // the start value goes into the buffer at once
  // The single-step ID, Program Memory and OPTION commands would overwrite the serial words.
  ws.settings.SerialCommandsLocked = true;
  ws.panel.RefreshPending = true;
  return {{}, false, true};
}

SetupOutcome DisableSerialMode(Workspace& ws) {
  ws.production.SerialNoMode = false;
  ws.production.QtpSimulate = false;
  ws.settings.SerialCommandsLocked = false;
  ws.panel.RefreshPending = true;
  return {{}, false, true};
}

SetupOutcome PrepareQtpFile(Workspace& ws, SerialSetupFields& f, long& parts) {
  const auto count = DecimalValue(f.NoOfPart);
  if (!count) return {kMsgNoOfPartInvalid};
  if (*count < 1 || *count > kMaxQtpParts) return {kMsgNoOfPartOverflow};
  if (std::string m = CheckCountAndIncrement(f); !m.empty()) return {m};
  const int n = *ByteCount(f);
  int address = 0;
  if (std::string m = CheckAddressAndValue(ws, f, n, address); !m.empty()) return {m};

  // The file starts from the dialog's number even when the words turn out not to be RTIW.
  ApplyFields(ws, f, n, address);
  if (!SerialWordsAreRtiw(ws, address, n)) return NotRtiw(ws);
  parts = *count;
  return {};
}

QtpSaveDecision DecideQtpSave(bool textFilterChosen, const std::string& chosenName) {
  QtpSaveDecision d;
  if (!textFilterChosen || chosenName.empty()) {
    d.message = kMsgCantSave;
    return d;
  }
  d.save = true;
  d.path = chosenName.find('.') == std::string::npos ? chosenName + ".txt" : chosenName;
  d.askReplace = FileExists(d.path);
  return d;
}

char HexFieldKey(char key) {
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'F') || key == '\b') return key;
  if (key >= 'a' && key <= 'f') return static_cast<char>(key - 'a' + 'A');
  return '\0';
}

char DecimalFieldKey(char key) { return (key >= '0' && key <= '9') || key == '\b' ? key : '\0'; }

char ByteCountFieldKey(char key) { return (key >= '1' && key <= '8') || key == '\b' ? key : '\0'; }

}  // namespace kvx
