// The QTP record reader on arbitrary file contents: every record is read as Auto Program reads
// them, pass after pass, and each number is advanced and stamped as the next pass would.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "core/device/catalogue.h"
#include "core/production/qtp_file.h"
#include "core/production/serial_number.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto ws = [] {
    auto w = std::make_unique<kvx::Workspace>();
    kvx::GetICInfo(*w, "KVX-03");  // small: the checksum runs after every stamp
    return w;
  }();
  const std::string text(reinterpret_cast<const char*>(data), size);
  ws->production.SerialByteOrder = size % 2;
  ws->production.SerialStepMode = (size / 2) % 2;
  ws->production.SerialNoMode = true;
  ws->production.QtpReadFile = std::make_unique<std::istringstream>(text);
  // Every record takes at least one character, so the loop ends with the input.
  for (std::size_t pass = 0; pass <= size; ++pass) {
    // After a record error the operator's "Continue" reads on from where the error stopped.
    kvx::ReadSerialData(*ws);
    kvx::SerialNo2Memory(*ws);
    kvx::SerialNoNext(*ws);
    if (ws->production.QtpEndSeen || !*ws->production.QtpReadFile) break;
  }
  std::ostringstream record;
  kvx::QTP_File(*ws, record);
  return 0;
}
