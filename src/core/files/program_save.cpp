#include "core/files/program_save.h"

#include "core/files/file_io.h"
#include "core/files/raw_image.h"

namespace kvx {

std::string SaveProgramMemory(const Workspace& ws, const std::string& path, int filterIndex) {
  constexpr int kBinFilterItem = 2;
  if (filterIndex != kBinFilterItem || path.empty()) return "Sorry, file can't be saved!";
  if (!WriteFileReplacing(path, ProgramImage(ws))) return "'" + path + "' file can't be written!";
  return {};
}

}  // namespace kvx
