// Program Memory: stream the program-memory buffer into the chip, then read it back.
#include "core/device/workspace_ops.h"
#include "core/ops/program_steps.h"
#include "core/ops/stream.h"
#include "core/ops/workers.h"

namespace kvx {

OpOutcome ProgramMemoryWorker(OperationContext& ctx) {
  OpFrame f(ctx, {"Button1"});
  Workspace& ws = f.ws();
  const int n = ws.device.ProgramBytes;

  // An empty buffer is almost always a file that did not load; the chip is not touched.
  if (AllBlank(ws.image.ProgramBuffer.data(), n, ws.device.BlankHigh))
    return f.Fail("Label1", "Data memory are blank or error!", OpOutcome::Refused);
  if (!f.WriterOk("Label1")) return f.outcome();

  if (!f.HeaderStep(AreaProgram, ActionProgram, LinkResult::Ready, {"Label1"})) return f.outcome();
  GetRomData(ws);
  const SendStreamPlan stream{
      .data = ws.link.LinkBuffer.data(),
      .dataSize = kLinkBufferBytes,
      .count = n,
      .label = "Label1",
      .addressLabel = "Label2",
      .addressOnEnd = true,
      .okText = "Program Ok!!",
      .failText = "Programming fail !!",
  };
  const StreamEnd end = SendProgramStream(f, stream);
  if (end == StreamEnd::Failed || end == StreamEnd::Stopped) return f.outcome();

  if (!VerifyProgramMemory(f, "Label2")) return f.outcome();
  return f.Finish("Label2", "Data verify OK!!");
}

}  // namespace kvx
