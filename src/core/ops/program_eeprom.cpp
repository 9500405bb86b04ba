// Program EEPROM: write the EEPROM buffer of a flash part, each data byte followed by the low
// byte of its address, then read the whole EEPROM back.
#include <algorithm>

#include "core/ops/frame.h"
#include "core/ops/workers.h"

namespace kvx {

namespace {

// The chip's EEPROM size, never more than the buffer holds.
int EepromSize(const Workspace& ws) { return std::clamp(ws.EepromBytes(), 0, kEepromBufferBytes); }

void StageEeprom(Workspace& ws, int m) {
  for (int i = 0; i < m; ++i) {
    ws.LinkBuffer[2 * i] = ws.EepromBuffer[i];
    ws.LinkBuffer[2 * i + 1] = static_cast<std::uint8_t>(i & 0xFF);
  }
}

OpOutcome VerifyEeprom(OpFrame& f, int m) {
  Workspace& ws = f.ws();
  f.link().GetHeader(AreaEeprom, ActionRead);
  if (!f.Step(f.link().Read8BitData(m), LinkDone, {"Label3"})) return f.outcome();
  for (int j = 0; j < m; ++j) {
    if (ws.LinkBuffer[j] == ws.EepromBuffer[j]) continue;
    f.Show("Label3", "Data Verify error at " + Hex(j) + "H");
    f.Reveal("Label2", MismatchText(ws.LinkBuffer[j], ws.EepromBuffer[j], 2));
    return f.End(OpOutcome::ChipFailed);
  }
  return f.Finish("Label3", "EEPROM Data Verify OK!!");
}

}  // namespace

OpOutcome ProgramEepromWorker(OperationContext& ctx) {
  OpFrame f(ctx, {"ButtonOk"});
  Workspace& ws = f.ws();
  WriterLink& link = f.link();
  const int m = EepromSize(ws);

  if (!f.WriterOk("Label1")) return f.outcome();
  link.GetHeader(AreaEeprom, ActionProgramPulse);
  if (!f.Step(link.SendHeader(10), LinkReady, {"Label1"})) return f.outcome();

  StageEeprom(ws, m);
  const int code = link.WriteData(2 * m, true);
  if (code == LinkWriteFail)
    return f.Fail("Label1", "EEPROM program fail at " + Hex(ws.FailIndex / 2) + "H",
                  OpOutcome::ChipFailed);
  if (!f.Step(code, LinkWriteOk, {"Label1"})) return f.outcome();
  f.Show("Label1", "EEPROM Program Ok!!");
  f.view().SetVisible("Label3", true);

  return VerifyEeprom(f, m);
}

}  // namespace kvx
