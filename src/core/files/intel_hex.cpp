#include "core/files/intel_hex.h"

#include <sstream>

#include "core/files/hex_text.h"

namespace kvx {

namespace {

// The longest line a record can use: ':' + count, address, type + 255 data bytes + checksum.
// Characters beyond it are read past but not kept, so a file without line ends cannot make
// the reader hold more than this.
constexpr std::size_t kLongestRecord = 1 + 8 + 2 * 255 + 2;

enum HexFault { kNoFault = 0, kByteCountFault, kAddressFault, kDataFault, kChecksumFault };

constexpr const char* kFaultText[] = {"", "Byte No. error at line ", "Address error at line ",
                                      "Data error at line ", "Checksum error at line "};

// Skips to the next ':' and collects the line from it up to CR, LF or the end of the file.
// Empty when the file ends before another ':'.
std::string NextLine(std::istream& in) {
  std::string line;
  int c;
  while ((c = in.get()) != std::char_traits<char>::eof() && c != ':') {
  }
  if (c != ':') return line;
  line.push_back(':');
  while ((c = in.get()) != std::char_traits<char>::eof() && c != '\r' && c != '\n') {
    if (line.size() < kLongestRecord) line.push_back(static_cast<char>(c));
  }
  return line;
}

// Characters `from` (1-based, as the record layout counts them) onward, at most `count`;
// shorter or empty when the line ends first.
std::string_view Field(std::string_view line, std::size_t from, std::size_t count) {
  if (from - 1 >= line.size()) return {};
  return line.substr(from - 1, count);
}

}  // namespace

bool HoldsHexRecord(std::istream& in) {
  const std::istream::pos_type start = in.tellg();
  bool found = false;
  for (int c; !found && (c = in.get()) != std::char_traits<char>::eof();) found = c == ':';
  in.clear();
  in.seekg(start);
  return found;
}

int HexToObj(Workspace& ws, std::istream& in, std::vector<std::string>& messages) {
  ws.image.ProgramBuffer.fill(0xFF);
  int lineNo = 0;
  int faultLine = 0;
  HexFault fault = kNoFault;
  long highest = 0;
  auto record = [&](HexFault kind) {
    fault = kind;
    faultLine = lineNo;
  };
  while (in.peek() != std::char_traits<char>::eof()) {
    ++lineNo;
    const std::string line = NextLine(in);
    HexText count = HexToInt(Field(line, 2, 2));
    if (!count.valid) record(kByteCountFault);
    if (count.value == 0) break;
    HexText address = HexToInt(Field(line, 4, 4));
    if (!address.valid) record(kAddressFault);
    long sum = count.value + (address.value & 0xFF) + (address.value >> 8);
    sum = (sum + HexToInt(Field(line, 8, 2)).value) & 0xFF;
    for (long j = 0; j < count.value; ++j) {
      HexText data = HexToInt(Field(line, static_cast<std::size_t>(10 + 2 * j), 2));
      if (!data.valid) record(kDataFault);
      const long index = address.value + j;
      if (index < kProgramBufferBytes)
        ws.image.ProgramBuffer[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(data.value);
      highest = std::max(highest, index);
      sum = (sum + data.value) & 0xFF;
    }
    HexText checksum = HexToInt(Field(line, static_cast<std::size_t>(10 + 2 * count.value), 2));
    if ((((sum ^ 0xFF) + 1) & 0xFF) != checksum.value) record(kChecksumFault);
  }
  if (fault != kNoFault) {
    if (ws.files.StartupConfigLoad)
      ws.files.StartupConfigLoad = false;
    else
      messages.push_back(kFaultText[fault] + std::to_string(faultLine) + " !");
  }
  return static_cast<int>(std::min<long>(highest, kProgramBufferBytes));
}

int HexToObj(Workspace& ws, std::string_view text, std::vector<std::string>& messages) {
  std::istringstream in{std::string(text)};
  return HexToObj(ws, in, messages);
}

}  // namespace kvx
