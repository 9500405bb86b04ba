// kvxw devices: the device catalogue, one device per line.
#include <cstdio>

#include "cli/command.h"
#include "core/device/catalogue.h"

namespace kvx::cli {
namespace {

int RunDevices(const Args&, std::ostream& out, std::ostream&) {
  char header[160];
  std::snprintf(header, sizeof header, "%-7s %4s %5s %6s %4s %4s %4s %6s %6s %6s %7s", "Name",
                "Last", "Words", "Layout", "Core", "Algo", "Mode", "Writer", "Memory", "EEPROM",
                "Adaptor");
  out << header << '\n';
  for (int i = 0; Catalogue[i].Name != nullptr; ++i) {
    const DeviceRow& d = Catalogue[i];
    char line[160];
    std::snprintf(line, sizeof line, "%-7s %04X %5d %6d %4d   %02X   %02X %6d %6d %6d %7d", d.Name,
                  d.Words() - 1, d.Words(), d.OptionLayout, d.CoreType, d.AlgorithmCode,
                  d.ModeCode, d.WriterType, d.MemoryKind, d.EepromBytes(), d.NeedsAdaptor);
    out << line << '\n';
  }
  return kExitOk;
}

const bool registered = RegisterCommand({
    .name = "devices",
    .summary = "List the device catalogue, one device per line.",
    .run = RunDevices,
    .details = "The first line names the columns: name, last word address (hex), words,\n"
               "OptionLayout, CoreType, AlgorithmCode and ModeCode (hex), WriterType,\n"
               "MemoryKind, EEPROM bytes, NeedsAdaptor. A script that reads the rows skips it:\n"
               "kvxw devices | tail -n +2 (or awk 'NR > 1').",
});

}  // namespace
}  // namespace kvx::cli
