#include "core/production/qtp_file.h"

#include <fstream>
#include <memory>
#include <sstream>

#include "core/device/text_convert.h"
#include "core/files/file_io.h"
#include "core/production/serial_number.h"

namespace kvx {

void QTP_File(Workspace& ws, std::ostream& out) {
  const int n = SerialBytes(ws);
  const int address = ws.production.SerialStartAddress & 0xFFFF;
  int sum = 2 * n + address;  // only the low byte counts, so the address is added whole
  out << ':' << HexDigits(2 * n, 2) << HexDigits(address, 4) << "00";
  for (int k = 0; k < n; ++k) {
    const int value = ws.production.SerialValue[SerialSlotForWord(ws.production.SerialByteOrder, k, n)] & 0xFF;
    out << HexDigits(value, 2) << "31";  // the RTIW instruction's high byte
    sum += value + 0x31;
  }
  out << HexDigits((0x100 - (sum & 0xFF)) & 0xFF, 2) << "\r\n";
  SerialNoNext(ws);
}

std::string WriteQtpFile(Workspace& ws, const std::string& path, long parts) {
  const auto startValue = ws.production.SerialValue;
  std::ostringstream text;
  for (long i = 0; i < parts; ++i) QTP_File(ws, text);
  text << kQtpEndRecord;
  if (WriteFileReplacing(path, text.view())) return {};
  ws.production.SerialValue = startValue;  // nothing was written, so nothing was used up
  return kMsgCantSave;
}

std::string QtpFileDisplayName(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

QtpLoadResult LoadQtpFile(Workspace& ws, const std::string& path) {
  QtpLoadResult result;
  ws.production.QtpFileLoaded = false;
  ws.production.QtpRecordCount = 0;
  ws.production.QtpReadFile.reset();
  auto file = std::make_unique<std::ifstream>();
  // A file that cannot be read (or is no regular file) is passed over without a message.
  if (OpenForReading(path, *file) != OpenResult::Ok) return result;
  ws.production.QtpReadFile = std::move(file);

  if (std::string message = ReadSerialData(ws); !message.empty())
    result.messages.push_back(message);
  if (ws.production.QtpFileLoaded && !SerialWordsAreRtiw(ws)) {
    result.messages.push_back(kMsgQtpNotRtiw);
    ws.production.QtpFileLoaded = false;
  }

  if (ws.production.QtpFileLoaded) {
    ws.production.SerialNoMode = true;
    ws.production.QtpFileText = QtpFileDisplayName(path);
    SerialNo2Memory(ws);
    result.loaded = true;
  } else {
    ws.production.SerialNoMode = false;
    ws.production.QtpReadFile.reset();
    ws.production.QtpRecordCount = 0;
    ws.production.QtpFileText = "Disable";  // no file is loaded any more, whatever the panel showed before
  }
  ws.panel.RefreshPending = true;
  return result;
}

}  // namespace kvx
