// The buffers a device command works with, filled from its options the way the editors fill
// them: the program file (--file), the OPTION word (--option LLHH), the ID (--id TEXT), the
// EEPROM bytes (--eeprom FILE); and what `read` writes back out.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/command.h"
#include "core/device/workspace.h"

namespace kvx::cli {

struct OptionWord {
  std::uint8_t low = 0x7F;   // OptionLow
  std::uint8_t high = 0x7F;  // OptionHigh
};

// The ID as the ID editor takes it: up to 12 characters (ASCII mode) or 12 bytes (HEX mode).
struct IdInput {
  bool hex = false;
  std::string text;                      // ASCII mode
  std::array<std::uint8_t, 12> bytes{};  // HEX mode
};

// LLHH: four hexadecimal digits, OptionLow then OptionHigh, each 00-7F.
bool ParseOptionWord(std::string_view text, OptionWord& word);
// "hex:" and 24 hexadecimal digits (spaces between them allowed), or up to 12 printable ASCII
// characters.
bool ParseIdText(std::string_view text, IdInput& id);

// The options a device command takes, checked before anything is loaded or opened.
struct BufferInputs {
  std::string device;
  std::string file;  // --file, empty when not given
  std::optional<OptionWord> option;
  std::optional<IdInput> id;
  std::string eeprom;  // --eeprom FILE, empty when not given
};
// Returns false after writing a usage error.
bool ParseBufferInputs(std::string_view command, const Args& args, BufferInputs& inputs,
                       std::ostream& err);

// Selects the device, loads the program file (its messages go to `out`), applies the OPTION
// word, the ID and the EEPROM file, and redraws the OPTION status as the panel would. Returns
// kExitOk, or the exit status of the first thing that went wrong (after saying what it was).
int FillWorkspace(std::string_view command, const BufferInputs& inputs, Workspace& ws,
                  std::ostream& out, std::ostream& err);

// After a read: OPTION and ID on `out` in the forms --option and --id take, and with `path` the
// program memory as a bin image, plus PATH.eeprom for a device with EEPROM. Neither file is
// replaced unless it was written whole. Returns false (after saying so) when a file could not be
// written.
bool WriteReadResult(std::string_view command, const Workspace& ws, const std::string& path,
                     std::ostream& out, std::ostream& err);

}  // namespace kvx::cli
