// ReadSerialData: one record of the loaded QTP file into the serial-number fields. Every field
// read before an error keeps its new value, and the file stays after the characters read, as the
// operator's next pass expects.
#include <istream>
#include <string>

#include "core/files/hex_text.h"
#include "core/production/qtp_file.h"
#include "core/production/serial_number.h"

namespace kvx {

namespace {

// `digits` hexadecimal characters as a number, or -1 when they are not all there and valid.
int ReadHex(std::istream& in, int digits) {
  std::string text;
  for (int i = 0; i < digits; ++i) {
    const auto c = in.get();
    if (c == std::istream::traits_type::eof()) return -1;
    text += static_cast<char>(c);
  }
  const HexText hex = HexToInt(text);
  return hex.valid ? static_cast<int>(hex.value) : -1;
}

// The line end after a record: files written here end their records with CR LF; one edited on
// another system may have a lone LF, and the next record must still start at its ':'.
void SkipLineEnd(std::istream& in) {
  if (in.peek() == '\r') in.get();
  if (in.peek() == '\n') in.get();
}

}  // namespace

std::string ReadSerialData(Workspace& ws) {
  if (!ws.production.QtpReadFile) return kMsgQtpInformation;
  std::istream& in = *ws.production.QtpReadFile;

  if (in.get() != ':') return kMsgQtpInformation;
  const int length = ReadHex(in, 2);
  // A number has at most eight bytes: a longer record would reach past the slots.
  if (length < 0 || length / 2 > kSerialSlots) return kMsgQtpInformation;
  const int n = length / 2;
  ws.production.SerialByteCount = n;

  const int address = ReadHex(in, 4);
  if (address < 0) return kMsgQtpData;
  ws.production.SerialStartAddress = address;

  const int type = ReadHex(in, 2);
  if (type < 0) return kMsgQtpData;
  int sum = 2 * n + address + type;

  if (type == 1) {
    ws.production.QtpEndSeen = true;
  } else {
    ws.production.QtpEndSeen = false;
    if (n == 0) return kMsgQtpInformation;
    for (int k = 0; k < n; ++k) {
      const int value = ReadHex(in, 2);
      if (value < 0) return kMsgQtpData;
      ws.production.SerialValue[SerialSlotForWord(ws.production.SerialByteOrder, k, n)] = value;
      if (ReadHex(in, 2) != 0x31) return kMsgQtpData;
      sum += value + 0x31;
    }
  }

  const int checksum = ReadHex(in, 2);
  if (checksum < 0) return kMsgQtpData;
  if (((checksum + sum) & 0xFF) != 0) return kMsgQtpChecksum;
  ws.production.QtpFileLoaded = true;
  SkipLineEnd(in);
  return {};
}

}  // namespace kvx
