// PIC object code translation: the supported chips run the maker's own instruction encoding,
// one maker instruction for each PIC instruction, so PIC obj and hex images are rewritten word
// by word on loading. Both tables are matched row by row; the first matching row decides.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/device/open_views.h"
#include "core/device/workspace.h"

namespace kvx {

// How a row matches a word v and what it makes of it.
enum class PicRule {
  Exact,      // v = pattern → base
  ClrW14,     // v AND 0xFF80 = pattern → base
  Nop14,      // v is 0x00, 0x20, 0x40 or 0x60 → base
  FileReg5,   // v AND 0xFFE0 = pattern → 0x1100 OR (base AND 0xFF) OR (v AND 0x1F)
  FileReg7,   // v AND 0xFF80 = pattern → 0x1100 OR (base AND 0xFF) OR (v AND 0x7F)
  Tris12,     // 5 ≤ v ≤ 7 → 0x1000 OR (v AND 7)
  Tris14,     // 0x65 ≤ v ≤ 0x67 → 0x1000 OR (v AND 7)
  ByteOp12,   // v AND 0xFFC0 = pattern → (base AND 0xFF00) OR ((v AND 0x20) << 2) OR (v AND 0x1F)
  BitOp12,    // v AND 0xFF00 = pattern → base OR (v AND 0x1F) OR ((v AND 0xE0) << 2)
  BitOp14,    // v AND 0xFC00 = pattern → base OR (v AND 0x3FF)
  Literal,    // v AND 0xFF00 = pattern → (base AND 0xFF00) OR (v AND 0xFF)
  Literal9,   // v AND 0xFE00 = pattern → (base AND 0xFF00) OR (v AND 0xFF)
  Literal10,  // v AND 0xFC00 = pattern → (base AND 0xFF00) OR (v AND 0xFF)
  Goto12,     // v AND 0x0A00 = 0x0A00 → base OR (v AND 0x1FF)
  Jump14,     // v AND 0xF800 = pattern → base OR (v AND 0x7FF)
};

struct PicRow {
  const char* pic;
  int pattern;
  const char* kvx;
  int base;
  PicRule rule;
};

// The tables use the rule names unqualified; they live in their own namespace so the names
// stay out of kvx.
namespace pic {
using enum PicRule;

// 12-bit PIC code, for devices of CoreType 1.
inline constexpr std::array<PicRow, 33> Pic5xTable{{
    {"CLRW", 0x040, "CLRW", 0x1080, Exact},
    {"NOP", 0x000, "NOP", 0x1000, Exact},
    {"CLRWDT", 0x004, "CLRWT", 0x1001, Exact},
    {"OPTION", 0x002, "TMODE", 0x1003, Exact},
    {"SLEEP", 0x003, "SLEEP", 0x1002, Exact},
    {"CLRF", 0x060, "CLRR", 0x1100, FileReg5},
    {"MOVWF", 0x020, "STWR", 0x1180, FileReg5},
    {"TRIS", 0x000, "CPIO", 0x1000, Tris12},
    {"ADDWF", 0x1C0, "ADDWR", 0x1B00, ByteOp12},
    {"ANDWF", 0x140, "ANDWR", 0x1200, ByteOp12},
    {"COMF", 0x240, "COMR", 0x1F00, ByteOp12},
    {"DECF", 0x0C0, "DECR", 0x1D00, ByteOp12},
    {"DECFSZ", 0x2C0, "DECRSZ", 0x1E00, ByteOp12},
    {"INCF", 0x280, "INCR", 0x1900, ByteOp12},
    {"INCFSZ", 0x3C0, "INCRSZ", 0x1A00, ByteOp12},
    {"IORWF", 0x100, "IORWR", 0x1300, ByteOp12},
    {"MOVF", 0x200, "LDR", 0x1800, ByteOp12},
    {"RLF", 0x340, "RLR", 0x1500, ByteOp12},
    {"RRF", 0x300, "RRR", 0x1600, ByteOp12},
    {"SUBWF", 0x080, "SUBWR", 0x1C00, ByteOp12},
    {"SWAPF", 0x380, "SWAPR", 0x1700, ByteOp12},
    {"XORWF", 0x180, "XORWR", 0x1400, ByteOp12},
    {"BCF", 0x400, "BCR", 0x0000, BitOp12},
    {"BSF", 0x500, "BSR", 0x0800, BitOp12},
    {"BTFSC", 0x600, "BTSC", 0x0400, BitOp12},
    {"BTFSS", 0x700, "BTSS", 0x0C00, BitOp12},
    {"ANDLW", 0xE00, "ANDWI", 0x3400, Literal},
    {"CALL", 0x900, "CALL", 0x3000, Literal},
    {"IORLW", 0xD00, "IORWI", 0x3500, Literal},
    {"MOVLW", 0xC00, "LDWI", 0x3A00, Literal},
    {"RETLW", 0x800, "RTIW", 0x3100, Literal},
    {"XORLW", 0xF00, "XORWI", 0x3600, Literal},
    {"GOTO", 0xA00, "JUMP", 0x3200, Goto12},
}};

// 14-bit PIC code, for devices of CoreType 2.
inline constexpr std::array<PicRow, 37> Pic6x7xTable{{
    {"CLRW", 0x0100, "CLRW", 0x1080, ClrW14},
    {"NOP", 0x0000, "NOP", 0x1000, Nop14},
    {"CLRWDT", 0x0064, "CLRWT", 0x1001, Exact},
    {"OPTION", 0x0062, "TMODE", 0x1003, Exact},
    {"SLEEP", 0x0063, "SLEEP", 0x1002, Exact},
    {"RETFIE", 0x0009, "RTFI", 0x1009, Exact},
    {"RETURN", 0x0008, "RET", 0x1004, Exact},
    {"CLRF", 0x0180, "CLRR", 0x1100, FileReg7},
    {"MOVWF", 0x0080, "STWR", 0x1180, FileReg7},
    {"TRIS", 0x0060, "CPIO", 0x1000, Tris14},
    {"ADDWF", 0x0700, "ADDWR", 0x1B00, Literal},
    {"ANDWF", 0x0500, "ANDWR", 0x1200, Literal},
    {"COMF", 0x0900, "COMR", 0x1F00, Literal},
    {"DECF", 0x0300, "DECR", 0x1D00, Literal},
    {"DECFSZ", 0x0B00, "DECRSZ", 0x1E00, Literal},
    {"INCF", 0x0A00, "INCR", 0x1900, Literal},
    {"INCFSZ", 0x0F00, "INCRSZ", 0x1A00, Literal},
    {"IORWF", 0x0400, "IORWR", 0x1300, Literal},
    {"MOVF", 0x0800, "LDR", 0x1800, Literal},
    {"RLF", 0x0D00, "RLR", 0x1500, Literal},
    {"RRF", 0x0C00, "RRR", 0x1600, Literal},
    {"SUBWF", 0x0200, "SUBWR", 0x1C00, Literal},
    {"SWAPF", 0x0E00, "SWAPR", 0x1700, Literal},
    {"XORWF", 0x0600, "XORWR", 0x1400, Literal},
    {"BCF", 0x1000, "BCR", 0x0000, BitOp14},
    {"BSF", 0x1400, "BSR", 0x0800, BitOp14},
    {"BTFSC", 0x1800, "BTSC", 0x0400, BitOp14},
    {"BTFSS", 0x1C00, "BTSS", 0x0C00, BitOp14},
    {"ANDLW", 0x3900, "ANDWI", 0x3400, Literal},
    {"IORLW", 0x3800, "IORWI", 0x3500, Literal},
    {"XORLW", 0x3A00, "XORWI", 0x3600, Literal},
    {"ADDLW", 0x3E00, "ADDWI", 0x3700, Literal9},
    {"SUBLW", 0x3C00, "SUBWI", 0x3800, Literal9},
    {"MOVLW", 0x3000, "LDWI", 0x3A00, Literal10},
    {"RETLW", 0x3400, "RTIW", 0x3100, Literal10},
    {"CALL", 0x2000, "LCALL", 0x2000, Jump14},
    {"GOTO", 0x2800, "LJUMP", 0x2800, Jump14},
}};

}  // namespace pic

// One word through a table: the first matching row's result, or the word itself when no row
// matches. The blank word 0xFFFF always stays as it is.
int TranslateWord(const PicRow* rows, std::size_t count, int v);
int Pic5xWord(int v);    // 12-bit table, with 0x0FFF taken as 0x36FF first
int Pic6x7xWord(int v);  // 14-bit table

// Translate the first ws.files.LoadedLength bytes of ws.image.ProgramBuffer (raw file words). Each first
// checks whether the image looks like code of the other width and, unless the program-memory
// view is closed, appends a warning to `messages`; the translation goes on regardless.
void Pic5xToKvx(Workspace& ws, std::vector<std::string>& messages, const OpenViews& views = {});
void Pic6x7xToKvx(Workspace& ws, std::vector<std::string>& messages, const OpenViews& views = {});

// PIC files by the device's core: CoreType 1 and 2 translate, 11-bit devices have no PIC
// counterpart and keep the image as read ("Incorrect file type!").
void TranslatePicCode(Workspace& ws, std::vector<std::string>& messages, const OpenViews& views = {});

}  // namespace kvx
