// Verify with Protect and Force Write compare the program memory with one loop: the same
// mismatch line for the same word, the buffer value shown with the bits a protected chip hides
// set, of which an 11-bit word has only bits 0-4 and 7-10.
#include <gtest/gtest.h>

#include "core/ops/frame.h"
#include "core/ops/op_bench.h"

namespace kvx {
namespace {

using testing::Bench;
using testing::Op;

TEST(VerifyLoop, ProtectedMismatchShowsTheBufferWithTheHiddenBitsOfItsWordWidth) {
  struct Case {
    Op op;
    const char* device;
    int displayMask;
  };
  for (const Case& c : {Case{Op::Verify, "KVX-49", 0x79F}, Case{Op::ForceWrite, "KVX-49", 0x79F},
                        Case{Op::Verify, "KVX-03", 0xF9F}, Case{Op::ForceWrite, "KVX-03", 0xF9F}}) {
    SCOPED_TRACE(std::string(c.device) + (c.op == Op::Verify ? " verify" : " force write"));
    Bench b(c.device);
    b.ws.device.DeviceIndex = FindDevice(c.device);
    b.LoadProgram();
    b.ws.command.VerifyWithProtect = true;
    b.ChipFromBuffer();
    // Word 3 reads back with bit 5 flipped: after the programming, for Force Write.
    const auto spoil = [&] {
      b.writer.Chip().Program[3] ^= 0x20;
      b.writer.Chip().Protected = c.op == Op::Verify;
    };
    if (c.op == Op::Verify) {
      spoil();
    } else {
      b.When("Label1", "Program memory Ok!!", spoil);
    }
    b.Run(c.op);
    const int chip = b.writer.ReadBackWord(3);
    const std::string label = c.op == Op::Verify ? "Label5: " : "Label2: ";
    EXPECT_EQ(b.view.Tail(2),
              (std::vector<std::string>{label + "Data Verify error at 0003H",
                                        "Label3: IC=" + Hex(chip) + "H, Buffer=" +
                                            Hex(b.BufferWord(3) | c.displayMask) + "H"}));
  }
}

}  // namespace
}  // namespace kvx
