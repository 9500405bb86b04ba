// Read stores the program memory only when the whole of it came before the Writer's end marker:
// the rows on either side of that boundary.
#include <gtest/gtest.h>

#include "core/ops/op_bench.h"

namespace kvx {
namespace {

using testing::Bench;
using testing::Op;

constexpr long kReadStreamHeaderEnd = 40;  // Writer check and three headers before the stream

TEST(ReadBoundaryTest, EndMarkerOneByteShortFailsAndLeavesTheBufferAfterAllBytesSucceeds) {
  struct Case {
    int shortBy;
    OpOutcome outcome;
    const char* last;
  } cases[] = {
      {1, OpOutcome::LinkFailed, "Label3: Read error!! (red)"},
      {0, OpOutcome::Ok, "Label3: Read Data OK"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shortBy);
    Bench b("KVX-03");
    const int n = b.ws.device.ProgramBytes;
    std::vector<std::uint8_t> stream(static_cast<std::size_t>(n - c.shortBy), 0x15);
    stream.push_back(kEndOfData);
    b.port.ReplaceAnswer(kReadStreamHeaderEnd, stream);
    b.ws.image.ProgramBuffer.fill(0x2A);
    const auto before = b.ws.image.ProgramBuffer;

    EXPECT_EQ(b.Run(Op::Read), c.outcome);
    const auto lines = b.view.LinesOf("Label3");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("Label3: " + lines.back(), c.last);
    if (c.outcome == OpOutcome::Ok) {
      EXPECT_EQ(b.ws.image.ProgramBuffer[0], 0x15);
      EXPECT_EQ(b.ws.image.ProgramBuffer[n - 1], 0x15 & b.ws.device.BlankHigh);
      EXPECT_EQ(b.ws.image.ProgramBuffer[n], 0x2A);  // nothing beyond the memory
    } else {
      EXPECT_EQ(b.ws.image.ProgramBuffer, before);
      EXPECT_FALSE(b.ws.results.ReadCompleted);
    }
  }
}

}  // namespace
}  // namespace kvx
