#include "core/disasm/disasm_save.h"

#include "core/device/text_convert.h"

namespace kvx {

std::string ProposedDisassemblyName(const std::string& bufferCaption) {
  return UpToFirstDot(bufferCaption);
}

DisasmSaveDecision DecideDisassemblySave(int filterIndex, const std::string& fileName) {
  if (filterIndex == 1 && !fileName.empty()) return {true, {}};
  return {false, kMsgDisasmCantSave};
}

}  // namespace kvx
