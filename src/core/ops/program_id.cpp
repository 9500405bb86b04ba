// Program ID and Checksum: write the twelve ID bytes and the data checksum text into the chip's
// ID words, then read all sixteen words back.
#include "core/device/checksum.h"
#include "core/ops/program_steps.h"
#include "core/ops/workers.h"

namespace kvx {

OpOutcome ProgramIdWorker(OperationContext& ctx) {
  OpFrame f(ctx, {"Button1"});
  if (!f.WriterOk("Label1")) return f.outcome();
  if (!ProgramIdWords(f, "Label1", "Program ID fail at address ")) return f.outcome();
  f.Show("Label1", "Program Ok!!");
  if (!VerifyIdWords(f, "Label2")) return f.outcome();
  // The panel's "IC Checksum" shows what the chip carries now, as read back.
  Workspace& ws = f.ws();
  const auto& r = ws.link.LinkBuffer;
  const auto high = [&ws](std::uint8_t byte) { return static_cast<std::uint8_t>(byte & ws.device.BlankHigh); };
  ws.panel.IcChecksumText = IdChecksumText(ws, {r[12], high(r[13]), r[14], high(r[15])});
  f.EnableEnd();
  return f.Result();
}

}  // namespace kvx
