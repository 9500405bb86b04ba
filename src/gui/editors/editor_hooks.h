// How the editors talk back to the main window without knowing it.
#pragma once

#include <functional>

namespace kvx::gui {

struct EditorHooks {
  // The workspace changed what the status panel shows (a checksum, the ID line, the OPTION
  // word): redraw it now rather than on the next timer tick.
  std::function<void()> panelChanged;
  // A command's enabled state follows the workspace (serial-number lock, EEPROM commands).
  std::function<void()> commandsChanged;

  void PanelChanged() const {
    if (panelChanged) panelChanged();
  }
  void CommandsChanged() const {
    if (commandsChanged) commandsChanged();
  }
};

}  // namespace kvx::gui
