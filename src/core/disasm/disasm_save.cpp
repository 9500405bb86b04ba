#include "core/disasm/disasm_save.h"

namespace kvx {

std::string ProposedDisassemblyName(const std::string& bufferCaption) {
  const auto dot = bufferCaption.find('.');
  return dot == std::string::npos ? std::string() : bufferCaption.substr(0, dot);
}

DisasmSaveDecision DecideDisassemblySave(int filterIndex, const std::string& fileName) {
  if (filterIndex == 1 && !fileName.empty()) return {true, {}};
  return {false, kMsgDisasmCantSave};
}

}  // namespace kvx
