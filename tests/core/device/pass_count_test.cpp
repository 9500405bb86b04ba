#include "core/device/pass_count.h"

#include <gtest/gtest.h>

#include <memory>

namespace kvx {
namespace {

TEST(CountPass, AddsOneToTheDecimalCountTheOperatorSees) {
  struct Case {
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {"0", "1"},
      {"41", "42"},
      {"0099", "100"},           // typed in the counter dialog with leading zeros
      {"999999999", "1000000000"},
      {"", "1"},                 // the operator cleared the count: it starts again
      {"12a", "1"},
      {" 5", "1"},
      {"-1", "0"},
      {"99999999999", "1"},      // no 32-bit count
      {"2147483646", "2147483647"},
      {"2147483647", "2147483647"},  // the top of the range stays, never turns negative
  };
  auto ws = std::make_unique<Workspace>();
  for (const Case& c : cases) {
    SetPassCount(*ws, c.before);
    CountPass(*ws);
    EXPECT_EQ(PassCountText(*ws), c.after) << '"' << c.before << '"';
  }
}

TEST(CounterDialog, OnlyDigitBackspaceAndDeleteKeysChangeTheCount) {
  for (char32_t typed = 0; typed < 0x180; ++typed) {
    const bool digit = typed >= U'0' && typed <= U'9';
    EXPECT_EQ(CounterKeyAllowed(typed), digit || typed == U'\b' || typed == 0x7F) << static_cast<unsigned>(typed);
  }
  EXPECT_FALSE(CounterKeyAllowed(U'٣'));  // a digit of another script is no decimal digit here
  for (NamedKey named : {NamedKey::Backspace, NamedKey::Delete}) EXPECT_TRUE(CounterKeyAllowed(0, named));
  EXPECT_FALSE(CounterKeyAllowed(0));  // a key that types nothing (an arrow, a function key)
  auto ws = std::make_unique<Workspace>();
  SetPassCount(*ws, "0099");
  EXPECT_EQ(PassCountText(*ws), "99");
  CountPass(*ws);
  EXPECT_EQ(PassCountText(*ws), "100");
}

}  // namespace
}  // namespace kvx
