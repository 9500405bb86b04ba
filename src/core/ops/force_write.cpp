// Force write ("Program Memory Without Check"): program the buffer into one chip after another
// with no blank or buffer check, verify only bits 5 and 6 of each stored byte, and count every
// chip that reached the verify. "Continue" runs the worker again for the next chip.
#include "core/ops/program_steps.h"
#include "core/ops/stream.h"
#include "core/ops/workers.h"
#include "core/device/pass_count.h"

namespace kvx {

namespace {

constexpr std::uint8_t kVerifyMask = 0x60;
constexpr std::uint8_t kForcePulseWidth = 5;
// The streaming waits here are two ticks, not three.
constexpr int kForceTicks = 2;

bool Program(OpFrame& f) {
  Workspace& ws = f.ws();
  WriterLink& link = f.link();
  link.GetHeader(AreaProgram, ActionProgramPulse);
  ws.link.HeaderBytes[7] = kForcePulseWidth;
  if (!f.Step(link.SendHeader(10), LinkResult::Ready, {"Label1"})) return false;

  // The buffer goes out as it is stored, with no bits added for any core.
  const SendStreamPlan stream{
      .data = ws.image.ProgramBuffer.data(),
      .dataSize = kProgramBufferBytes,
      .count = ws.device.ProgramBytes,
      .tickLimit = kForceTicks,
      .label = "Label1",
      .gauge = true,
      .okText = "Program memory Ok!!",
      .failText = "Programming memory fail!!",
      .adapterText = "IC adapter board error!",
  };
  const StreamEnd end = SendProgramStream(f, stream);
  return end == StreamEnd::Finished || end == StreamEnd::AllSent;
}

// False when the read-back failed: then only "Exit" is offered and the chip is not counted. A
// mismatch is shown in the normal colour and the chip still counts.
bool Verify(OpFrame& f) {
  Workspace& ws = f.ws();
  const int n = ws.device.ProgramBytes;
  f.Begin(Step::Verify);
  f.SetEndButtons({"Button1"});
  if (!f.ReadStep(AreaProgram, n, {"Label2"})) return false;
  const ProgramCompare compare{.mask = kVerifyMask,
                               .protectDisplay = ws.command.VerifyWithProtect,
                               .label = "Label2",
                               .valuesLabel = "Label3"};
  if (!CompareProgramWords(f, n, compare)) {
    f.EnableEnd();
    f.NoteChipFailure();
  }
  return true;
}

}  // namespace

OpOutcome ForceWriteWorker(OperationContext& ctx) {
  OpFrame f(ctx, {"Button1", "Button2"});
  Workspace& ws = f.ws();

  f.view().SetVisible("Label1", true);
  f.Show("Label2", "");
  f.Show("Label3", "");
  if (ws.production.QtpSimulate) {
    f.Begin(Step::Program);
    f.Done("Label1", "Simulate Programming OK!");
  } else {
    f.view().SetColour("Label1", LineColour::Normal);
    f.Begin(Step::Program);
    f.Show("Label1", "Program Memory...");
    if (!f.WriterOk("Label1")) return f.outcome();
    if (!Program(f) || !Verify(f)) return f.outcome();
  }
  CountPass(ws);
  f.SetEndButtons({"Button1", "Button2"});
  f.EnableEnd();
  return f.Result();
}

}  // namespace kvx
