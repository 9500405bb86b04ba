#include "core/device/workspace.h"

#include "core/device/catalogue.h"

namespace kvx {

Workspace::Workspace() {
  IdBuffer.fill(0x7F);
  ProgramBuffer.fill(0x7F);
  EepromBuffer.fill(0x00);
  DeviceIndex = GetICInfo(*this, SelectedDevice);
}

}  // namespace kvx
