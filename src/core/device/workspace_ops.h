// Resetting and clearing the workspace's buffers.
#pragma once

#include <string>

#include "core/device/open_views.h"
#include "core/device/workspace.h"

namespace kvx {

// A newly chosen device (the data part; the windows follow what it returns).
ViewChanges ResetData(Workspace& ws, const OpenViews& views = {});
// Blank the program memory and recompute the checksums.
ViewChanges ClearBuffer(Workspace& ws, const OpenViews& views = {});
void ClearId(Workspace& ws);      // "Clear ID"
void ClearOption(Workspace& ws);  // "Clear OPTION"
void ClearEeprom(Workspace& ws);  // "Clear EEPROM Buffer"
void GetRomData(Workspace& ws);   // stage the program memory in LinkBuffer for sending

// OPTION word back to blank, unless the hidden "Keep Option for new code" box (the only way to
// carry it over to new code or a new device) is shown and ticked.
void ClearOptionUnlessKept(Workspace& ws);
// Serial numbers and QTP off, the pass count back to "0".
void EndProductionModes(Workspace& ws);

// The device chooser: the newly chosen device starts with a blank OPTION word (whether or not
// the "Keep Option" box is ticked), then ResetData.
ViewChanges ChooseDevice(Workspace& ws, const std::string& device, const OpenViews& views = {});

// The write pulse and erase pulse width entries, kept within what the header byte carries: an
// empty entry takes the start-up value ("5", "120"), a number above the limit (127, 255) the
// limit, 0 becomes 1; anything else stays as typed. The text is returned for the entry to show,
// its number (none when it is not one) kept in the workspace.
std::string EnterPulseWidth(Workspace& ws, const std::string& typed);
std::string EnterEraseWidth(Workspace& ws, const std::string& typed);

// Before programming: is the word the device starts from still blank?
struct ResetAddrCheck {
  int address = 0;
  bool blank = false;
  std::string text;  // the confirmation text shown (with Abort and Ignore) when blank
};
ResetAddrCheck CheckResetAddr(const Workspace& ws);

}  // namespace kvx
