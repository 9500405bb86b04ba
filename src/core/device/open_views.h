// The few facts about the desktop's windows that change what a core command does, passed in by
// the caller; and what a command asks of those windows in return. The workspace keeps no record
// of windows.
#pragma once

namespace kvx {

// The desktop's windows whose presence changes what a command does to the workspace. kvxw has
// no windows and passes the defaults.
struct OpenViews {
  // The program-memory view is not open (the operator closed it, or the main window has not been
  // shown yet): a load then keeps quiet about a PIC file's word width, which only that view would
  // show wrongly, and a clear keeps the buffer's caption for the next view.
  bool programViewClosed = false;
  bool disassemblyOpen = false;  // a disassembly listing: a load that goes through closes it
  // The main window has been shown: a configuration load asks for the ID window and the program
  // view afresh, captioned with its program file.
  bool windowsShown = false;
};

// Windows that can no longer stay after a clear or a device change.
struct ViewChanges {
  bool closeDisassembly = false;  // a listing of words that are gone
  bool closeEepromView = false;   // the device has no EEPROM
};

}  // namespace kvx
