#include "core/disasm/disassembler.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/device/text_convert.h"

namespace kvx {

namespace {

enum class Operand {
  None,         // no operand
  Fixed,        // the row's text (CPIO's port)
  RegisterBit,  // register,bit
  Register,     // register
  RegisterDest, // register,W or register,R
  Address,      // the word AND the row's mask, as four digits and "H"
  Immediate,    // the low byte as three digits and "H"
  Undefined,    // the row's text (";100xH")
  UndefinedHigh // the high byte as three digits and "xxH"
};

struct InstructionRow {
  int first;
  int last;
  const char* mnemonic;
  Operand operand;
  int mask = 0;              // Address: the bits that form the target
  const char* text = nullptr;  // Fixed and Undefined
};

using enum Operand;

// Searched top to bottom; the first row whose range holds the word decodes it.
inline constexpr std::array kInstructionTable{
    //            first   last    mnemonic  operand        mask   text
    InstructionRow{0x0000, 0x03FF, "BCR",    RegisterBit},
    InstructionRow{0x0400, 0x07FF, "BTSC",   RegisterBit},
    InstructionRow{0x0800, 0x0BFF, "BSR",    RegisterBit},
    InstructionRow{0x0C00, 0x0FFF, "BTSS",   RegisterBit},
    InstructionRow{0x1000, 0x1000, "NOP",    None},
    InstructionRow{0x1001, 0x1001, "CLRWT",  None},
    InstructionRow{0x1002, 0x1002, "SLEEP",  None},
    InstructionRow{0x1003, 0x1003, "TMODE",  None},
    InstructionRow{0x1004, 0x1004, "RET",    None},
    InstructionRow{0x1005, 0x1005, "CPIO",   Fixed,         0,     "PA"},
    InstructionRow{0x1006, 0x1006, "CPIO",   Fixed,         0,     "PB"},
    InstructionRow{0x1007, 0x1007, "CPIO",   Fixed,         0,     "PC"},
    InstructionRow{0x1009, 0x1009, "RTFI",   None},
    InstructionRow{0x1080, 0x10FF, "CLRW",   None},
    InstructionRow{0x1008, 0x107F, ";TBD",   Undefined,     0,     ";100xH"},
    InstructionRow{0x1100, 0x117F, "CLRR",   Register},
    InstructionRow{0x1180, 0x11FF, "STWR",   Register},
    InstructionRow{0x1200, 0x12FF, "ANDWR",  RegisterDest},
    InstructionRow{0x1300, 0x13FF, "IORWR",  RegisterDest},
    InstructionRow{0x1400, 0x14FF, "XORWR",  RegisterDest},
    InstructionRow{0x1500, 0x15FF, "RLR",    RegisterDest},
    InstructionRow{0x1600, 0x16FF, "RRR",    RegisterDest},
    InstructionRow{0x1700, 0x17FF, "SWAPR",  RegisterDest},
    InstructionRow{0x1800, 0x18FF, "LDR",    RegisterDest},
    InstructionRow{0x1900, 0x19FF, "INCR",   RegisterDest},
    InstructionRow{0x1A00, 0x1AFF, "INCRSZ", RegisterDest},
    InstructionRow{0x1B00, 0x1BFF, "ADDWR",  RegisterDest},
    InstructionRow{0x1C00, 0x1CFF, "SUBWR",  RegisterDest},
    InstructionRow{0x1D00, 0x1DFF, "DECR",   RegisterDest},
    InstructionRow{0x1E00, 0x1EFF, "DECRSZ", RegisterDest},
    InstructionRow{0x1F00, 0x1FFF, "COMR",   RegisterDest},
    InstructionRow{0x2000, 0x27FF, "LCALL",  Address,       0x7FF},
    InstructionRow{0x2800, 0x2FFF, "LJUMP",  Address,       0x7FF},
    InstructionRow{0x3000, 0x30FF, "CALL",   Address,       0xFF},
    InstructionRow{0x3100, 0x31FF, "RTIW",   Immediate},
    InstructionRow{0x3200, 0x33FF, "JUMP",   Address,       0x1FF},
    InstructionRow{0x3400, 0x34FF, "ANDWI",  Immediate},
    InstructionRow{0x3500, 0x35FF, "IORWI",  Immediate},
    InstructionRow{0x3600, 0x36FF, "XORWI",  Immediate},
    InstructionRow{0x3700, 0x37FF, "ADDWI",  Immediate},
    InstructionRow{0x3800, 0x38FF, "SUBWI",  Immediate},
    InstructionRow{0x3900, 0x39FF, ";TBD",   UndefinedHigh},
    InstructionRow{0x3A00, 0x3AFF, "LDWI",   Immediate},
    InstructionRow{0x3B00, 0x3FFF, ";TBD",   UndefinedHigh},
};

inline constexpr std::array<const char*, 8> kRegisterNames{
    "IAR", "RTCC", "PCL", "STATUS", "MSR", "PORTA", "PORTB", "PORTC"};
inline constexpr int kStatusRegister = 3;
inline constexpr std::array<const char*, 5> kStatusFlagNames{"CF", "HC", "ZF", "PF", "TF"};

// The fixed head of every listing (equ_table).
inline constexpr std::array<const char*, 19> kEquTable{
    ";Registers",
    "IAR     EQU     00H",
    "RTCC    EQU     01H",
    "PCL     EQU     02H",
    "STATUS  EQU     03H",
    "MSR     EQU     04H",
    "PORTA   EQU     05H",
    "PORTB   EQU     06H",
    "PORTC   EQU     07H",
    ";",
    "W       EQU     0H",
    "R       EQU     1H",
    ";Flags",
    "CF      EQU     0H",
    "HC      EQU     1H",
    "ZF      EQU     2H",
    "PF      EQU     3H",
    "TF      EQU     4H",
    ";",
};
inline constexpr char kFirstOrgLine[] = "        ORG     0000H           ;Addr    Org-Code";
inline constexpr char kGapLine[] = ";----------------------------";
inline constexpr char kLabelColumn[] = "      ";  // no labels are made; the column stays blank
inline constexpr char kEol[] = "\r\n";
// The mnemonic of a word no instruction has; such words are left out of the listing.
inline constexpr char kUndefined[] = ";TBD";

std::string OperandText(const InstructionRow& row, int word) {
  const int f = word & 0x7F;
  switch (row.operand) {
    case None: return {};
    case Fixed:
    case Undefined: return row.text;
    case RegisterBit: return BitOperandText(f, (word >> 7) & 7);
    case Register: return RegisterText(f);
    case RegisterDest: return RegisterText(f) + ((word & 0x80) ? ",R" : ",W");
    case Address: return HexDigits(word & row.mask, 4) + "H";
    case Immediate: return HexDigits(word & 0xFF, 3) + "H";
    case UndefinedHigh: return HexDigits(word >> 8, 3) + "xxH";
  }
  return {};
}

}  // namespace

std::string RegisterText(int f) {
  if (f >= 0 && f < static_cast<int>(kRegisterNames.size())) return kRegisterNames[f];
  return HexDigits(f, 3) + "H";
}

std::string BitOperandText(int f, int bit) {
  const bool flag = f == kStatusRegister && bit >= 0 && bit < static_cast<int>(kStatusFlagNames.size());
  return RegisterText(f) + "," + (flag ? std::string(kStatusFlagNames[bit]) : std::to_string(bit));
}

DecodedWord DecodeWord(int word) {
  word &= 0x3FFF;
  for (const InstructionRow& row : kInstructionTable)
    if (word >= row.first && word <= row.last) return {row.mnemonic, OperandText(row, word)};
  return {kUndefined, {}};  // every 14-bit word has a row; kept for safety
}

namespace {

// The line of a word already decoded: the mnemonic padded to 8 characters, the operand to 16,
// then the address and the code.
std::string FormatLine(int address, int word, const DecodedWord& d) {
  char line[96];
  std::snprintf(line, sizeof line, "%-8s%-16s;%04X    %02X%02X", d.mnemonic.c_str(),
                d.operand.c_str(), address & 0xFFFF, word >> 8, word & 0xFF);
  return line;
}

}  // namespace

std::string ListingLine(int address, int word) {
  word &= 0x3FFF;
  return FormatLine(address, word, DecodeWord(word));
}

std::string DisassembleListing(const Workspace& ws) {
  const int words = std::clamp(ws.device.ProgramWords(), 0, kProgramWords);
  std::string text;
  text.reserve(1024 + 48 * static_cast<std::size_t>(words));
  for (const char* line : kEquTable) text.append(line).append(kEol);
  text.append(kFirstOrgLine).append(kEol);

  bool gap = false;  // undefined words were left out since the last listed one
  for (int i = 0; i < words; ++i) {
    const int word = JoinWord(ws.image.ProgramBuffer[2 * i], ws.image.ProgramBuffer[2 * i + 1]) & 0x3FFF;
    const DecodedWord d = DecodeWord(word);
    if (d.mnemonic == kUndefined) {  // decided before the line is formatted: blank words are many
      gap = true;
      continue;
    }
    if (gap) {
      text.append(kGapLine).append(kEol);
      text.append("        ORG     ").append(HexDigits(i, 4)).append("H").append(kEol);
      gap = false;
    }
    text.append(kLabelColumn).append("  ").append(FormatLine(i, word, d)).append(kEol);
  }
  text.append("        END").append(kEol);
  return text;
}

}  // namespace kvx
