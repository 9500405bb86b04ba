// Programming steps that the single operations and the Auto Program pass share. Each writes its
// failures on the line it is given and returns whether the operation goes on.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/ops/frame.h"

namespace kvx {

// Read the program memory back and compare it with the buffer word by word (the second byte
// under BlankHigh). A mismatch ends in red with "Data verify Fail!!"; no address is shown.
bool VerifyProgramMemory(OpFrame& f, std::string_view label);

// How a chip's program words are compared with the buffer after LinkBuffer received them.
struct ProgramCompare {
  std::uint8_t mask = 0x7F;        // the bits of each stored byte that count
  std::uint8_t chipHighMask = 0x7F;  // the chip's second byte is reduced to these bits first
  bool protectDisplay = false;     // the buffer value is shown with every uncompared bit set
  std::string_view label;          // "Data Verify error at ....H" or "Data verify OK!!"
  std::string_view valuesLabel;    // the chip's and the buffer's value at the mismatch
};

// Compares the first `bytes` bytes of LinkBuffer with ProgramBuffer word by word. At the first
// word that differs it shows its address on `label` and the two values on `valuesLabel` (made
// visible after its text) and returns false; the caller decides what a mismatch ends. Otherwise
// "Data verify OK!!" on `label`.
bool CompareProgramWords(OpFrame& f, int bytes, const ProgramCompare& compare);

// The buffer value under protection has every bit set that the protected chip hides: word bits
// 0-4 and 7-11, of which an 11-bit word has only 0-4 and 7-10.
inline int ProtectDisplayMask(const Workspace& ws) { return ws.device.IsElevenBit() ? 0x79F : 0xF9F; }

// Program the ID and checksum words. A write failure names the word: below word 5
// `idFailPrefix` + the address + " !!", from word 5 on "Checksum program fail !!".
// `showBeforeWrite` is made visible just before the words go out (empty: none).
bool ProgramIdWords(OpFrame& f, std::string_view label, std::string_view idFailPrefix,
                    std::string_view showBeforeWrite = {});

// Read the ID words back and show how they compare: a red line for a mismatch (noted as a chip
// failure, the operation goes on), "ID && Checksum verify OK!!" otherwise. False only when the
// read itself failed.
bool VerifyIdWords(OpFrame& f, std::string_view label);

// Program the OPTION word and verify it: "OPTION program && verify OK!!" on a match. False
// when a link or write step failed.
bool ProgramOptionWord(OpFrame& f, std::string_view label);

// Read the OPTION word back and compare its implemented bits: `okText`, or a red "OPTION verify
// Fail!!" noted as a chip failure (the operation goes on). False only when the read failed.
bool VerifyOptionWord(OpFrame& f, std::string_view label, std::string_view okText);

// Read the EEPROM back and compare it with the buffer. The first mismatch ends the operation:
// `errorPrefix` + its address + "H" on `label`, the two values on `valuesLabel`. Otherwise
// "EEPROM Data Verify OK!!" on `label`. False when the read failed or a byte differed.
bool VerifyEepromBytes(OpFrame& f, std::string_view label, std::string_view valuesLabel,
                       std::string_view errorPrefix);

// OptionStatus as the operator is told it; empty when every field is valid.
struct OptionStatusTexts {
  std::string_view blank;
  std::string_view error;
  std::string_view both;
};
std::string_view OptionStatusText(int status, const OptionStatusTexts& texts);

}  // namespace kvx
