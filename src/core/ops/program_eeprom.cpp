// Program EEPROM: write the EEPROM buffer of a flash part, each data byte followed by the low
// byte of its address, then read the whole EEPROM back.
#include "core/ops/program_steps.h"
#include "core/ops/workers.h"

namespace kvx {

namespace {

void StageEeprom(Workspace& ws, int m) {
  for (int i = 0; i < m; ++i) {
    ws.link.LinkBuffer[2 * i] = ws.image.EepromBuffer[i];
    ws.link.LinkBuffer[2 * i + 1] = static_cast<std::uint8_t>(i & 0xFF);
  }
}

}  // namespace

OpOutcome ProgramEepromWorker(OperationContext& ctx) {
  OpFrame f(ctx, {"ButtonOk"});
  Workspace& ws = f.ws();
  const int m = EepromSize(ws);

  if (!f.WriterOk("Label1")) return f.outcome();
  if (!f.HeaderStep(AreaEeprom, ActionProgramPulse, LinkResult::Ready, {"Label1"})) return f.outcome();

  StageEeprom(ws, m);
  const LinkResult code = f.link().WriteData(2 * m, true);
  if (code == LinkResult::WriteFail)
    return f.Fail("Label1", "EEPROM program fail at " + Hex(ws.results.FailIndex / 2) + "H",
                  OpOutcome::ChipFailed);
  if (!f.Step(code, LinkResult::WriteOk, {"Label1"})) return f.outcome();
  f.Show("Label1", "EEPROM Program Ok!!");
  f.view().SetVisible("Label3", true);

  if (!VerifyEepromBytes(f, "Label3", "Label2", "Data Verify error at ")) return f.outcome();
  return f.End(OpOutcome::Ok);
}

}  // namespace kvx
