// kvxw devices: the device catalogue, one device per line.
#include <cstdio>

#include "cli/command.h"
#include "core/device/catalogue.h"

namespace kvx::cli {
namespace {

int RunDevices(const Args&, std::ostream& out, std::ostream&) {
  for (int i = 0; Catalogue[i].Name != nullptr; ++i) {
    const DeviceRow& d = Catalogue[i];
    char line[160];
    std::snprintf(line, sizeof line, "%-7s %04X %5d %2d %d %02X %02X %d %d %4d %d", d.Name,
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
    .details = "Columns: name, last word address (hex), words, OptionLayout, CoreType,\n"
               "AlgorithmCode and ModeCode (hex), WriterType, MemoryKind, EEPROM bytes,\n"
               "NeedsAdaptor.",
});

}  // namespace
}  // namespace kvx::cli
