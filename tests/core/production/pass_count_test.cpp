#include "core/production/pass_count.h"

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
    ws->PassCountText = c.before;
    CountPass(*ws);
    EXPECT_EQ(ws->PassCountText, c.after) << '"' << c.before << '"';
  }
}

TEST(CounterDialog, OnlyDigitBackspaceAndDeleteKeysChangeTheCount) {
  for (int key = 0; key < 0x100; ++key) {
    const bool digit = (key >= '0' && key <= '9') || (key >= 0x60 && key <= 0x69);
    EXPECT_EQ(CounterKeyAllowed(key), digit || key == 0x08 || key == 0x2E) << key;
  }
  auto ws = std::make_unique<Workspace>();
  SetPassCount(*ws, "0099");
  EXPECT_EQ(ws->PassCountText, "0099");
  CountPass(*ws);
  EXPECT_EQ(ws->PassCountText, "100");
}

}  // namespace
}  // namespace kvx
