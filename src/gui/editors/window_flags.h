// Which buffer windows exist and whether the main window has been shown: the desktop's own
// bookkeeping, kept by BufferWindows beside the windows themselves. The core hears of it only
// through the OpenViews a command is given, and answers with what the windows must do.
#pragma once

#include "core/device/open_views.h"

namespace kvx::gui {

struct WindowFlags {
  bool IdChecksumFormOpen = false;
  bool BufferViewOpen = false;
  bool DisassemblyOpen = false;
  bool EepromViewOpen = false;
  bool ShownOnce = false;  // the main window's first showing has built its windows

  OpenViews Views() const {
    return {.programViewClosed = !BufferViewOpen,
            .disassemblyOpen = DisassemblyOpen,
            .windowsShown = ShownOnce};
  }
  // A window the core says cannot stay counts as gone; it goes at the next Sync.
  void Follow(const ViewChanges& changes) {
    if (changes.closeDisassembly) DisassemblyOpen = false;
    if (changes.closeEepromView) EepromViewOpen = false;
  }
};

}  // namespace kvx::gui
