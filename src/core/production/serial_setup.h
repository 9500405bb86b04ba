// The serial-number setup dialog ("Serial No.") without its window: the field texts, the rules
// applied when the focus leaves a field, and the checks of its "OK", "QTP File" and "Disable
// Serial Mode" buttons. The desktop dialog and kvxw share them.
#pragma once

#include <string>

#include "core/device/workspace.h"

namespace kvx {

inline constexpr char kMsgNoOfByteInvalid[] = "\"No. of Byte\" is not a valid value!!";
inline constexpr char kMsgIncrementInvalid[] = " \"Increment\" is not a valid value!!";
inline constexpr char kMsgNoOfPartInvalid[] = "\"No. of Parts\" is not a valid value!!";
inline constexpr char kMsgNoOfPartOverflow[] = "\"No. of Parts\" value overflow!";
inline constexpr char kMsgStartValueOverflow[] = "Start value overflow!!";
inline constexpr char kMsgStartValueInvalid[] = "\"Start Value\" is not a valid value!!";
// The serial words would lie (partly) outside the device's program memory.
inline constexpr char kMsgStartAddressOverflow[] = "Start address overflow!!";
inline constexpr char kMsgSetupNotRtiw[] =
    "The program memory is not 'RTIW'. Serial No. will be disable!";
inline constexpr long kMaxQtpParts = 100000;

// The dialog's fields, as texts, the way the operator sees them.
struct SerialSetupFields {
  std::string StartAddress = "0000";  // up to 4 hexadecimal digits
  std::string NoOfByte = "1";         // 1 ~ 8
  std::string StartValue = "00";      // up to 2 x NoOfByte hexadecimal digits
  int StartValueMaxLength = 16;
  std::string Increment = "1";  // 1 ~ 255; disabled in pseudo-random mode
  std::string NoOfPart = "1";   // decimal, for "QTP File"
  int StepMode = 0;             // RadioGroup1: 0 "Sequential", 1 "Pseudo-random"
  int ByteOrder = 0;            // RadioGroup2: 0 "MSB->LSB", 1 "LSB->MSB"

  bool IncrementEnabled() const { return StepMode == 0; }
};

// What a button (or a field exit) leads to.
struct SetupOutcome {
  std::string message;     // the message box to show; empty when none
  bool errorBox = false;   // shown with the caption "Error" and the error icon
  bool closeDialog = false;
};

SerialSetupFields SerialSetupFromWorkspace(const Workspace& ws);  // the dialog opening

// Focus leaving a field. A field that holds no number keeps its text and returns the message
// the operator sees; otherwise the message is empty.
void StartAddressExit(SerialSetupFields& f);
std::string NoOfByteExit(SerialSetupFields& f);
std::string StartValueExit(SerialSetupFields& f);
std::string IncrementExit(SerialSetupFields& f);
std::string NoOfPartExit(SerialSetupFields& f);

// "OK": check, take the fields into the workspace, switch the mode on and stamp the number.
SetupOutcome SerialSetupOk(Workspace& ws, SerialSetupFields& f);
// "Disable Serial Mode". A loaded QTP file stays open.
SetupOutcome DisableSerialMode(Workspace& ws);
// "QTP File" up to the save dialog: check the fields and take them into the workspace. On
// success (empty message) `parts` is the number of records to write with WriteQtpFile.
SetupOutcome PrepareQtpFile(Workspace& ws, SerialSetupFields& f, long& parts);

// The save dialog's answer for "QTP File": only "Text files (*.txt)" saves, and a chosen name
// with no "." anywhere in it (folders included) gets ".txt". A file that already exists is
// replaced only after the operator answers "Yes" to kMsgQtpFileExists.
inline constexpr char kMsgQtpFileExists[] = "File Exists, Replace?";
struct QtpSaveDecision {
  bool save = false;
  bool askReplace = false;  // the file exists: ask kMsgQtpFileExists (Yes / No) before saving
  std::string path;
  std::string message;  // "File can't be saved!" when another filter was chosen
};
QtpSaveDecision DecideQtpSave(bool textFilterChosen, const std::string& chosenName);

// Key filters of the entry fields: the character the field takes, or '\0' to drop the key.
char HexFieldKey(char key);       // StartAddress, StartValue: 0-9, A-F (a-f made upper case)
char DecimalFieldKey(char key);   // Increment, NoOfPart: 0-9
char ByteCountFieldKey(char key); // NoOfByte: 1-8

}  // namespace kvx
