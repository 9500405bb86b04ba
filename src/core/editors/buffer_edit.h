// The buffer editors without their windows: the texts of the program-memory and EEPROM grids,
// the single-value dialog's check, Fill Buffer, the ID editor and the ID window's lines. The
// desktop windows show these texts and hand the operator's entries back here.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/device/workspace.h"

namespace kvx {

inline constexpr char kMsgValueTooLarge[] = "Invalid Value,too large!";
inline constexpr char kMsgFillStartInvalid[] = "Start address is a invalid value!";
inline constexpr char kMsgFillEndInvalid[] = "End address is a invalid value!";
inline constexpr char kMsgFillDataInvalid[] = "Data is a invalid value!";

// ---- Program-memory grid: eight words a row, whole blocks of 256 words --------------------------
inline constexpr int kProgramGridColumns = 8;
int ProgramGridRows(const Workspace& ws);          // data rows, without the header row
std::string ProgramColumnText(int column);         // "+0/8" .. "+7/F"
std::string ProgramRowText(int row);               // "0x0000", "0x0008", ...
std::string ProgramWordText(const Workspace& ws, int address);  // four hexadecimal digits

// ---- EEPROM grid: sixteen bytes a row ---------------------------------------------------------
inline constexpr int kEepromGridColumns = 16;
int EepromGridRows(const Workspace& ws);
std::string EepromColumnText(int column);          // "+0" .. "+F"
std::string EepromRowText(int row);                // "0x00", "0x10", ... "0x100"
std::string EepromByteText(const Workspace& ws, int index);

// ---- "Enter new value" ------------------------------------------------------------------------
// The value the dialog hands back before OK: the initial text's value, 0 when it is not hex.
long SingleDataInitialValue(const std::string& initialText);
struct SingleDataCheck {
  bool accepted = false;
  long value = 0;
  std::string text;     // the entry as checked: upper case, padded to four digits
  std::string message;  // kMsgValueTooLarge when refused (an "Error" box)
};
SingleDataCheck CheckSingleData(const std::string& text, int coreType);
// A value handed back for the word at `address`, shown as `cellText`: stored only when it fits
// 14 bits and the cell still shows what the buffer holds. The sums are always recomputed.
bool EditProgramWord(Workspace& ws, int address, const std::string& cellText, long value);
// The same for one EEPROM byte; no sums.
bool EditEepromByte(Workspace& ws, int index, const std::string& cellText, long value);

// ---- Fill Buffer --------------------------------------------------------------------------------
struct FillFields {
  std::string start = "0";
  std::string end;
  std::string data = "3FFF";
};
FillFields FillFieldsFor(const Workspace& ws);  // the dialog opening: 0 to the last word address
// Checks the three entries (a text that is not hexadecimal counts as 0) and fills the words
// start..end with data, then recomputes the sums. Returns the refusal (an "Error" box), or an
// empty text when the buffer was filled.
std::string FillBuffer(Workspace& ws, const FillFields& fields);

// ---- ID editor ("ID Modify") ------------------------------------------------------------------
// The 12 ID bytes as the editor opens: "41 42 7F ..." in HEX mode, the characters up to the
// first zero byte in ASCII mode.
std::string IdModifyText(const Workspace& ws, bool hex);
// OK in HEX mode: group k at positions 3k, 3k+1; a missing or non-hex character counts as F.
void StoreIdHexText(Workspace& ws, const std::string& maskText);
// OK in ASCII mode: up to 12 characters, the rest of the 12 bytes blank.
void StoreIdAsciiText(Workspace& ws, const std::string& text);
// The 12 ID bytes as given (kvxw's --id hex:), each kept to what the ID words hold: 7 bits in
// the low bytes, the device's BlankHigh bits in the high ones, as OK in HEX mode stores them.
void StoreIdBytes(Workspace& ws, const std::array<std::uint8_t, 12>& bytes);

// ---- The ID and checksum window ---------------------------------------------------------------
struct IdLabels {
  std::string id;        // Label2
  std::string checksum;  // Label4
};
IdLabels IdLabelTexts(const Workspace& ws);
// The ID as its two labels (the ID window's and the status panel's) show it: a byte with no
// printable character, the blank 0x7F above all, becomes "." so that a blank ID reads as one.
// The bytes, ws.panel.IdText and the ID editor's text keep them as they are.
std::string ShownIdText(std::string text);
// IDLabelShow: the two lines, also copied into the status panel's ID and IC checksum texts.
IdLabels IdLabelShow(Workspace& ws);
// The lower panel's values: Writer ID, model, firmware, gang ID, gang model, gang version.
std::array<std::string, 6> WriterInfoTexts(const Workspace& ws);
std::string IdDumpText(const Workspace& ws);  // bytes 16..31, "7F 7F ..."
// The OPTION word and two further words: "7F 7F 00 00 00 00 ".
std::string BodyOptionText(const Workspace& ws, const std::array<std::uint8_t, 4>& extra);

}  // namespace kvx
