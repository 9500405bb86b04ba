#include "sim/chip_model.h"

#include <span>
#include <type_traits>

#include "core/device/catalogue.h"

namespace kvx::sim {

namespace {

// What protection leaves readable of a program word: bits 5-6 of each stored byte.
constexpr std::uint16_t kProtectSumBits = 0x0F9F;
constexpr std::uint16_t kProtectSumBits11 = 0x079F;
// The security bit of the OPTION word (bit 6 of its second stored byte).
constexpr std::uint16_t kSecurityBit = 0x2000;
constexpr std::uint8_t kErasedEeprom = 0xFF;

// Some program that is plainly not blank: no word reads as all ones.
std::uint16_t SampleWord(int address, std::uint16_t mask) {
  const auto word = static_cast<std::uint16_t>((0x0123 + address * 0x0101) & mask);
  return word == mask ? static_cast<std::uint16_t>(mask - 1) : word;
}

std::uint16_t AreaMask(const ChipModel& chip, int area) {
  return area == kProgramArea ? chip.WordMask : kFullWordMask;
}

// The words of `area` (const or not, as the chip is); empty for an area without words.
template <class Chip>
auto AreaSpan(Chip& chip, int area) {
  using Words = std::span<std::remove_reference_t<decltype(chip.Program[0])>>;
  switch (area) {
    case kProgramArea: return Words(chip.Program);
    case kOptionArea: return Words(chip.Option);
    case kOption2Area: return Words(chip.Option2);
    case kIdArea: return Words(chip.Id);
    default: return Words();
  }
}

template <class Chip>
auto WordAt(Chip& chip, int area, int index) {
  const auto words = AreaSpan(chip, area);
  return index >= 0 && index < std::ssize(words) ? &words[index] : nullptr;
}

}  // namespace

ChipModel MakeChip(int deviceIndex, ChipContent content) {
  ChipModel chip;
  const DeviceRow* row = DeviceAt(deviceIndex);
  if (row == nullptr || content == ChipContent::Empty) {
    chip.Present = false;
    return chip;
  }
  chip.Flash = row->IsFlash();
  chip.WordMask = row->IsElevenBit() ? 0x07FF : 0x3FFF;
  chip.Program.resize(row->Words());
  chip.Eeprom.resize(row->EepromBytes());
  EraseChip(chip);
  if (content == ChipContent::Programmed || content == ChipContent::Protected) {
    for (int a = 0; a < row->Words(); ++a) chip.Program[a] = SampleWord(a, chip.WordMask);
  }
  if (content == ChipContent::Protected) {
    chip.Protected = true;
    chip.Option[0] &= static_cast<std::uint16_t>(~kSecurityBit);
  }
  return chip;
}

void EraseChip(ChipModel& chip) {
  for (auto& w : chip.Program) w = chip.WordMask;
  chip.Option.fill(kFullWordMask);
  chip.Option2.fill(kFullWordMask);
  chip.Id.fill(kFullWordMask);
  for (auto& b : chip.Eeprom) b = kErasedEeprom;
  chip.Protected = false;
}

bool IsWordArea(int area) {
  return area == kProgramArea || area == kOptionArea || area == kOption2Area || area == kIdArea;
}

int AreaWords(const ChipModel& chip, int area) {
  return static_cast<int>(AreaSpan(chip, area).size());
}

std::uint16_t ReadAreaWord(const ChipModel& chip, int area, int index) {
  const std::uint16_t mask = AreaMask(chip, area);
  const std::uint16_t* word = WordAt(chip, area, index);
  std::uint16_t value = word ? static_cast<std::uint16_t>(*word & mask) : mask;
  if (chip.Protected && area == kProgramArea)
    value |= chip.WordMask == 0x07FF ? kProtectSumBits11 : kProtectSumBits;
  if (chip.Protected && area == kOptionArea && index == 0)
    value &= static_cast<std::uint16_t>(~kSecurityBit);
  return value;
}

std::uint8_t ReadEepromByte(const ChipModel& chip, int address) {
  if (address < 0 || address >= static_cast<int>(chip.Eeprom.size())) return kErasedEeprom;
  return chip.Eeprom[address];
}

bool ProgramStreamByte(ChipModel& chip, int area, int byteIndex, std::uint8_t value) {
  std::uint16_t* word = WordAt(chip, area, byteIndex / 2);
  if (word == nullptr) return true;  // past the area: taken and ignored
  const bool high = byteIndex % 2 == 1;
  const auto part = static_cast<std::uint16_t>((high ? 0x3F80 : 0x007F) & AreaMask(chip, area));
  const auto bits = static_cast<std::uint16_t>(((value & 0x7F) << (high ? 7 : 0)) & part);
  if (!chip.Flash && (bits & ~*word & part) != 0) return false;
  *word = static_cast<std::uint16_t>((*word & ~part) | bits);
  return true;
}

void ProgramEepromByte(ChipModel& chip, int address, std::uint8_t value) {
  if (address >= 0 && address < static_cast<int>(chip.Eeprom.size())) chip.Eeprom[address] = value;
}

std::string ChipLogLine(int number, const ChipModel& chip) {
  std::string line = "chip " + std::to_string(number);
  if (!chip.Present) return line + " empty";
  auto field = [&line](const char* name, auto words) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    line += std::string(" ") + name + "=";
    for (const std::uint16_t w : words)
      for (int shift = 12; shift >= 0; shift -= 4) line += kHex[(w >> shift) & 0xF];
  };
  field("program", std::span<const std::uint16_t>(chip.Program));
  field("option", std::span<const std::uint16_t>(chip.Option));
  field("id", std::span<const std::uint16_t>(chip.Id));
  return line;
}

}  // namespace kvx::sim
