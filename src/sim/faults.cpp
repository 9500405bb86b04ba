#include <charconv>
#include <string>

#include "sim/sim_writer.h"

namespace kvx::sim {

namespace {

struct ContentName {
  std::string_view text;
  ChipContent content;
};
constexpr ContentName kContentNames[] = {
    {"blank", ChipContent::Blank},
    {"programmed", ChipContent::Programmed},
    {"protected", ChipContent::Protected},
    {"empty", ChipContent::Empty},
};

// Switches without a number.
struct FlagFault {
  std::string_view text;
  bool FaultSet::*flag;
};
constexpr FlagFault kFlagFaults[] = {
    {"no-chip", &FaultSet::NoChip},
    {"adapter-error", &FaultSet::AdapterError},
    {"cts-inactive", &FaultSet::CtsInactive},
    {"wrong-writer", &FaultSet::WrongWriter},
    {"bad-reply", &FaultSet::BadReply},
    {"baud-delay", &FaultSet::BaudDelay},
    {"option-unwritten", &FaultSet::OptionUnwritten},
    {"id-unwritten", &FaultSet::IdUnwritten},
};

// Faults that take a number: "name=N", a byte count or a time in milliseconds.
struct CountFault {
  std::string_view text;
  long FaultSet::*count;
  std::string_view example;  // what the number is, for the error when it is missing
};
constexpr CountFault kCountFaults[] = {
    {"silent-after", &FaultSet::SilentAfter, "a byte count, as in silent-after=10"},
    {"write-fail-at", &FaultSet::WriteFailAt, "a byte count, as in write-fail-at=10"},
    {"answer-delay", &FaultSet::AnswerDelayMs, "milliseconds, as in answer-delay=16"},
};
// Longer than this an answer could not be told from a Writer that stopped answering.
constexpr long kMaxAnswerDelayMs = 1000;

bool ParseCount(std::string_view text, long& out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && !text.empty() && out >= 0;
}

}  // namespace

bool ParseChipContent(std::string_view text, ChipContent& out) {
  for (const auto& c : kContentNames) {
    if (c.text == text) {
      out = c.content;
      return true;
    }
  }
  return false;
}

bool ParseFault(std::string_view text, FaultSet& faults, std::string& error) {
  for (const auto& f : kFlagFaults) {
    if (f.text == text) {
      faults.*f.flag = true;
      return true;
    }
  }
  const auto eq = text.find('=');
  const std::string_view name = text.substr(0, eq);
  for (const auto& f : kCountFaults) {
    if (f.text != name) continue;
    long n = 0;
    if (eq == std::string_view::npos || !ParseCount(text.substr(eq + 1), n)) {
      error = "Fault \"" + std::string(name) + "\" needs " + std::string(f.example);
      return false;
    }
    if (f.count == &FaultSet::AnswerDelayMs && n > kMaxAnswerDelayMs) {
      error = "Fault \"answer-delay\" takes at most " + std::to_string(kMaxAnswerDelayMs) + " ms";
      return false;
    }
    faults.*f.count = n;
    return true;
  }
  error = "Unknown fault \"" + std::string(text) +
          "\" (no-chip, adapter-error, cts-inactive, silent-after=N, wrong-writer, bad-reply, "
          "write-fail-at=N, baud-delay, option-unwritten, id-unwritten, answer-delay=MS)";
  return false;
}

}  // namespace kvx::sim
