// The disassembler: the program memory as an assembler listing in the maker's own mnemonics,
// with register and flag names. Lines end in CR LF, as the saved listing files always have.
#pragma once

#include <string>

#include "core/device/workspace.h"

namespace kvx {

struct DecodedWord {
  std::string mnemonic;  // ";TBD" for a word no instruction has
  std::string operand;
};

// One 14-bit instruction word (higher bits are ignored).
DecodedWord DecodeWord(int word);

// reg_replace: a register as the listing names it (IAR ... PORTC, otherwise "020H").
std::string RegisterText(int f);
// add_bit: the register, a comma and the bit; STATUS bits 0-4 by their flag names.
std::string BitOperandText(int f, int bit);

// The listing line of one word, without the label column and the line end:
// "LDR     020H,R          ;0010    1820".
std::string ListingLine(int address, int word);

// The whole listing of the selected device's program memory, as the disassembly window shows it
// and as it is saved: the register and flag equates, the listed words with an ORG line after
// every gap of undefined words, and the END line.
std::string DisassembleListing(const Workspace& ws);

}  // namespace kvx
