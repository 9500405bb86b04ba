#include "core/disasm/disassembler.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/device/catalogue.h"
#include "core/disasm/disasm_save.h"

namespace kvx {
namespace {

const char kHeader[] =
    ";Registers\r\n"
    "IAR     EQU     00H\r\n"
    "RTCC    EQU     01H\r\n"
    "PCL     EQU     02H\r\n"
    "STATUS  EQU     03H\r\n"
    "MSR     EQU     04H\r\n"
    "PORTA   EQU     05H\r\n"
    "PORTB   EQU     06H\r\n"
    "PORTC   EQU     07H\r\n"
    ";\r\n"
    "W       EQU     0H\r\n"
    "R       EQU     1H\r\n"
    ";Flags\r\n"
    "CF      EQU     0H\r\n"
    "HC      EQU     1H\r\n"
    "ZF      EQU     2H\r\n"
    "PF      EQU     3H\r\n"
    "TF      EQU     4H\r\n"
    ";\r\n"
    "        ORG     0000H           ;Addr    Org-Code\r\n";

void PutWord(Workspace& ws, int address, int value) {
  const StoredWord w = SplitWord(value);
  ws.image.ProgramBuffer[2 * address] = w.first;
  ws.image.ProgramBuffer[2 * address + 1] = w.second;
}

std::unique_ptr<Workspace> Blank(const char* device) {
  auto ws = std::make_unique<Workspace>();
  EXPECT_GE(GetICInfo(*ws, device), 0);
  return ws;
}

TEST(DecodeWord, EveryInstructionFormReadsAsTheListingShowsIt) {
  struct Case {
    int word;
    const char* mnemonic;
    const char* operand;
  };
  const Case cases[] = {
      {0x0103, "BCR", "STATUS,ZF"},   {0x0303, "BCR", "STATUS,6"},
      {0x0403, "BTSC", "STATUS,CF"},  {0x0A03, "BSR", "STATUS,TF"},
      {0x0C05, "BTSS", "PORTA,0"},    {0x0FA0, "BTSS", "020H,7"},
      {0x1000, "NOP", ""},            {0x1001, "CLRWT", ""},
      {0x1002, "SLEEP", ""},          {0x1003, "TMODE", ""},
      {0x1004, "RET", ""},            {0x1005, "CPIO", "PA"},
      {0x1006, "CPIO", "PB"},         {0x1007, "CPIO", "PC"},
      {0x1009, "RTFI", ""},           {0x1080, "CLRW", ""},
      {0x1085, "CLRW", ""},           {0x1008, ";TBD", ";100xH"},
      {0x100A, ";TBD", ";100xH"},     {0x107F, ";TBD", ";100xH"},
      {0x1100, "CLRR", "IAR"},        {0x117F, "CLRR", "07FH"},
      {0x1187, "STWR", "PORTC"},      {0x1281, "ANDWR", "RTCC,R"},
      {0x1302, "IORWR", "PCL,W"},     {0x1484, "XORWR", "MSR,R"},
      {0x1520, "RLR", "020H,W"},      {0x1620, "RRR", "020H,W"},
      {0x1720, "SWAPR", "020H,W"},    {0x18A0, "LDR", "020H,R"},
      {0x1820, "LDR", "020H,W"},      {0x19A0, "INCR", "020H,R"},
      {0x1AA0, "INCRSZ", "020H,R"},   {0x1BA0, "ADDWR", "020H,R"},
      {0x1CA0, "SUBWR", "020H,R"},    {0x1DA0, "DECR", "020H,R"},
      {0x1EA0, "DECRSZ", "020H,R"},   {0x1FA0, "COMR", "020H,R"},
      {0x2000, "LCALL", "0000H"},     {0x27FF, "LCALL", "07FFH"},
      {0x2923, "LJUMP", "0123H"},     {0x30AB, "CALL", "00ABH"},
      {0x31FF, "RTIW", "0FFH"},       {0x3255, "JUMP", "0055H"},
      {0x33FF, "JUMP", "01FFH"},      {0x3401, "ANDWI", "001H"},
      {0x3502, "IORWI", "002H"},      {0x3603, "XORWI", "003H"},
      {0x3704, "ADDWI", "004H"},      {0x3805, "SUBWI", "005H"},
      {0x3912, ";TBD", "039xxH"},     {0x3AC8, "LDWI", "0C8H"},
      {0x3B00, ";TBD", "03BxxH"},     {0x3FFF, ";TBD", "03FxxH"},
  };
  for (const Case& c : cases) {
    const DecodedWord d = DecodeWord(c.word);
    EXPECT_EQ(d.mnemonic, c.mnemonic) << std::hex << c.word;
    EXPECT_EQ(d.operand, c.operand) << std::hex << c.word;
  }
}

TEST(ListingLine, PadsMnemonicAndOperandAndEndsWithAddressAndCode) {
  EXPECT_EQ(ListingLine(0x10, 0x18A0), "LDR     020H,R          ;0010    18A0");
  EXPECT_EQ(ListingLine(0x1234, 0x1000), "NOP                     ;1234    1000");
  EXPECT_EQ(ListingLine(0, 0x1EA0), "DECRSZ  020H,R          ;0000    1EA0");
}

TEST(DisassembleListing, BlankBufferGivesOnlyTheHeaderAndEnd) {
  auto ws = Blank("KVX-43");
  EXPECT_EQ(DisassembleListing(*ws), std::string(kHeader) + "        END\r\n");
}

TEST(DisassembleListing, GapOfUndefinedWordsIsMarkedWithAnOrgLine) {
  auto ws = Blank("KVX-04");
  for (int a = 0; a < 0x100; ++a) PutWord(*ws, a, 0x1000);
  PutWord(*ws, 0x200, 0x2800);
  PutWord(*ws, 0x3FF, 0x2A00);
  const std::string text = DisassembleListing(*ws);
  EXPECT_EQ(text.substr(0, sizeof kHeader - 1), kHeader);
  const std::string expectedTail =
      "        NOP                     ;00FF    1000\r\n"
      ";----------------------------\r\n"
      "        ORG     0200H\r\n"
      "        LJUMP   0000H           ;0200    2800\r\n"
      ";----------------------------\r\n"
      "        ORG     03FFH\r\n"
      "        LJUMP   0200H           ;03FF    2A00\r\n"
      "        END\r\n";
  ASSERT_GE(text.size(), expectedTail.size());
  EXPECT_EQ(text.substr(text.size() - expectedTail.size()), expectedTail);
  EXPECT_EQ(text.find("ORG     0100H"), std::string::npos);
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') {
      ASSERT_EQ(text[i - 1], '\r') << "bare LF at " << i;
    }
}

TEST(DisassembleListing, UndefinedFirstWordsGetAnOrgLineAndWordsPastTheDeviceAreNotListed) {
  auto ws = Blank("KVX-03");  // 512 words
  PutWord(*ws, 5, 0x1004);
  PutWord(*ws, 0x200, 0x1004);  // in the buffer, not in the device
  const std::string text = DisassembleListing(*ws);
  EXPECT_NE(text.find(";----------------------------\r\n        ORG     0005H\r\n"
                      "        RET                     ;0005    1004\r\n        END\r\n"),
            std::string::npos);
  EXPECT_EQ(text.find(";0200"), std::string::npos);
}

TEST(DisassembleListing, ElevenBitBlankWordsDecodeAsTheirBitPattern) {
  auto ws = Blank("KVX-50");
  for (int a = 0; a < ws->device.ProgramWords(); ++a) ws->image.ProgramBuffer[2 * a + 1] = 0x0F;  // (7F, 0F)
  const std::string text = DisassembleListing(*ws);
  EXPECT_NE(text.find("        BTSC    07FH,7          ;0000    07FF\r\n"), std::string::npos);
}

TEST(DisassemblySave, OnlyANamedDisassembleFileIsWritten) {
  EXPECT_TRUE(DecideDisassemblySave(1, "prog.dis").save);
  for (const auto& [filter, name] : {std::pair{2, "prog.txt"}, std::pair{1, ""}}) {
    const DisasmSaveDecision d = DecideDisassemblySave(filter, name);
    EXPECT_FALSE(d.save);
    EXPECT_EQ(d.message, "File can't be saved!");
  }
  EXPECT_EQ(ProposedDisassemblyName("prog.v2.kvh"), "prog");
  EXPECT_EQ(ProposedDisassemblyName("Program Memory"), "");
}

}  // namespace
}  // namespace kvx
