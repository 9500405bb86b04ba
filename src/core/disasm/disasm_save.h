// Saving the disassembly window's listing ("Save Disassmble"). The listing is written with
// WriteFileReplacing (core/files/file_io.h), so an existing file is only replaced once the whole
// listing is on the disk; a failed write shows "File can't be saved!".
#pragma once

#include <string>

namespace kvx {

// The save dialog: title "Save disassembly", default extension "dis", these filters, the first
// chosen.
inline constexpr char kDisasmSaveTitle[] = "Save disassembly";
inline constexpr char kDisasmSaveFilter[] = "Disassemble files (*.dis)|*.dis|Text files (*.txt)|*.txt";
inline constexpr char kDisasmDefaultExt[] = "dis";
inline constexpr char kMsgDisasmCantSave[] = "File can't be saved!";

// The name the dialog proposes: the window caption up to its first "."; empty when it has none.
std::string ProposedDisassemblyName(const std::string& bufferCaption);

// Only a named file under "Disassemble files" (1-based filter index 1) is written; everything
// else gets "File can't be saved!" and leaves any existing file as it was.
struct DisasmSaveDecision {
  bool save = false;
  std::string message;
};
DisasmSaveDecision DecideDisassemblySave(int filterIndex, const std::string& fileName);

}  // namespace kvx
