// The chip in the simulated Writer's socket: what a fresh chip holds, how each memory area is
// read back and what programming and erasing do to it.
#pragma once

#include <cstdint>
#include <string>

#include "sim/sim_writer.h"

namespace kvx::sim {

// Areas as the command header names them (byte 5).
inline constexpr int kProgramArea = 0;
inline constexpr int kOptionArea = 1;
inline constexpr int kIdArea = 2;
inline constexpr int kEepromArea = 3;
inline constexpr int kOption2Area = 5;

// OPTION and ID words keep all 14 bits on every device: an 11-bit device is sent its OPTION word
// with bits 11-13 set, so they read back set.
inline constexpr std::uint16_t kFullWordMask = 0x3FFF;

// A chip of catalogue row `deviceIndex` with the given content; an unknown row gives an empty
// socket.
ChipModel MakeChip(int deviceIndex, ChipContent content);

// Flash erase: every word and EEPROM byte back to blank, protection off.
void EraseChip(ChipModel& chip);

// Whether `area` holds words (program, OPTION groups, ID) and how many.
bool IsWordArea(int area);
int AreaWords(const ChipModel& chip, int area);

// A word as the Writer reads it out: blank beyond the area, protection applied.
std::uint16_t ReadAreaWord(const ChipModel& chip, int area, int index);
std::uint8_t ReadEepromByte(const ChipModel& chip, int address);

// Programs one byte of the stored-word stream (byte 2k = bits 0-6 of word k, byte 2k+1 = bits
// 7-13). False when the chip cannot take it: an OTP cell that would have to go from 0 back to 1.
bool ProgramStreamByte(ChipModel& chip, int area, int byteIndex, std::uint8_t value);
void ProgramEepromByte(ChipModel& chip, int address, std::uint8_t value);

// One line of `kvxw sim --chip-log`: the chip's number and its words as four upper-case
// hexadecimal digits each, every area in one field:
// "chip 3 program=3FFF0123... option=3FFF3FFF3FFF id=3FFF...". A chip whose socket was empty
// is "chip 3 empty".
std::string ChipLogLine(int number, const ChipModel& chip);

}  // namespace kvx::sim
