// Program words and serial numbers for the serial-number and QTP tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/device/catalogue.h"
#include "core/device/workspace.h"
#include "core/printers.h"
#include "core/production/serial_number.h"

namespace kvx::testing {

inline int WordAt(const Workspace& ws, int address) {
  return JoinWord(ws.image.ProgramBuffer[2 * address], ws.image.ProgramBuffer[2 * address + 1]);
}

inline void PutWord(Workspace& ws, int address, int value) {
  const StoredWord w = SplitWord(value);
  ws.image.ProgramBuffer[2 * address] = w.first;
  ws.image.ProgramBuffer[2 * address + 1] = w.second;
}

// KVX-04 (1024 words, blank) holding an n-byte number for the words at `address`.
inline std::unique_ptr<Workspace> NumberAt(int address, int bytes, const std::string& value,
                                           int order = 0) {
  auto ws = std::make_unique<Workspace>();
  GetICInfo(*ws, "KVX-04");
  ws->production.SerialStartAddress = address;
  ws->production.SerialByteCount = bytes;
  ws->production.SerialByteOrder = order;
  EXPECT_TRUE(SetSerialHexText(*ws, value));
  return ws;
}

}  // namespace kvx::testing
