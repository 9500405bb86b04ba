// Verify (and Verify with Protect): read the chip back and compare it with the workspace. An
// OPTION or ID mismatch is reported and the verify goes on; the first program-memory or EEPROM
// mismatch ends it with the chip's and the buffer's value side by side.
#include "core/ops/program_steps.h"
#include "core/ops/workers.h"

namespace kvx {

namespace {

// A protected chip returns only bits 5 and 6 of each stored byte as programmed.
constexpr std::uint8_t kDataMask = 0x7F;
constexpr std::uint8_t kProtectMask = 0x60;

bool VerifyProgram(OpFrame& f) {
  Workspace& ws = f.ws();
  const int n = ws.device.ProgramBytes;
  const bool protect = ws.command.VerifyWithProtect;
  if (!f.ReadStep(AreaProgram, n, {"Label5"})) return false;
  const ProgramCompare compare{.mask = protect ? kProtectMask : kDataMask,
                               .chipHighMask = ws.device.BlankHigh,
                               .protectDisplay = protect,
                               .label = "Label5",
                               .valuesLabel = "Label3"};
  if (CompareProgramWords(f, n, compare)) return true;
  f.End(OpOutcome::ChipFailed);
  return false;
}

bool VerifyEeprom(OpFrame& f) {
  f.view().SetVisible("EEInfo", true);
  return VerifyEepromBytes(f, "EEInfo", "Label3", "EEPROM Data Verify error at ");
}

}  // namespace

OpOutcome VerifyWorker(OperationContext& ctx) {
  OpFrame f(ctx, {"Button1"});
  Workspace& ws = f.ws();

  f.Title(ws.command.VerifyWithProtect ? "Verify with Protect" : "Verify");
  if (ws.device.DeviceIndex == -1) return f.Fail("Label2", "Unknow IC Type!!", OpOutcome::Refused);
  if (!f.WriterOk("Label2")) return f.outcome();
  if (!VerifyOptionWord(f, "Label2", "OPTION verify OK!!")) return f.outcome();

  // A chip whose protection bit still reads 1 is not protected: its memory is not compared.
  if (ws.command.VerifyWithProtect && (ws.link.LinkBuffer[1] & 0x40) != 0) {
    f.view().SetVisible("Label4", true);
    return f.Fail("Label4", "IC no protected!!", OpOutcome::ChipFailed);
  }
  if (!VerifyIdWords(f, "Label4")) return f.outcome();
  if (!VerifyProgram(f)) return f.outcome();
  if (ws.device.IsFlash() && !VerifyEeprom(f)) return f.outcome();
  f.EnableEnd();
  return f.Result();
}

}  // namespace kvx
