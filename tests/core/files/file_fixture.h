// A scratch directory for tests that read and write real files, removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "core/device/workspace.h"
#include "core/device/workspace_ops.h"

namespace kvx::test {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvx-files-XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Path(std::string_view name) const { return dir_ + "/" + std::string(name); }
  std::string Write(std::string_view name, std::string_view bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }
  std::string Write(std::string_view name, const std::vector<std::uint8_t>& bytes) const {
    return Write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  std::string Read(std::string_view name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;
};

// A workspace with `device` chosen in the device list.
inline std::unique_ptr<Workspace> WorkspaceFor(const std::string& device) {
  auto ws = std::make_unique<Workspace>();
  ws->device.SelectedDevice = device;
  ResetData(*ws);
  return ws;
}

// Raw little-endian file words.
inline std::vector<std::uint8_t> FileWords(const std::vector<int>& words) {
  std::vector<std::uint8_t> bytes;
  for (int w : words) {
    bytes.push_back(static_cast<std::uint8_t>(w & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((w >> 8) & 0xFF));
  }
  return bytes;
}

// The word at `address` as the workspace stores it.
inline int StoredAt(const Workspace& ws, int address) {
  return JoinWord(ws.image.ProgramBuffer[static_cast<std::size_t>(2 * address)],
                  ws.image.ProgramBuffer[static_cast<std::size_t>(2 * address + 1)]);
}

}  // namespace kvx::test
