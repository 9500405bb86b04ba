// Verify (and Verify with Protect): read the chip back and compare it with the workspace. An
// OPTION or ID mismatch is reported and the verify goes on; the first program-memory or EEPROM
// mismatch ends it with the chip's and the buffer's value side by side.
#include <algorithm>

#include "core/ops/program_steps.h"
#include "core/ops/workers.h"

namespace kvx {

namespace {

// A protected chip returns only bits 5 and 6 of each stored byte as programmed.
constexpr std::uint8_t kDataMask = 0x7F;
constexpr std::uint8_t kProtectMask = 0x60;

// Under protection the buffer word is shown with every bit the chip hides set, so that it
// reads against the chip's value.
int ProtectDisplayMask(const Workspace& ws) { return ws.CoreType == 3 ? 0x79F : 0xF9F; }

bool VerifyOption(OpFrame& f) {
  Workspace& ws = f.ws();
  f.link().GetHeader(AreaOption, ActionRead);
  if (!f.Step(f.link().Read7BitData(2, true), LinkDone, {"Label2"})) return false;
  if (OptionMatches(ws, ws.LinkBuffer[0], ws.LinkBuffer[1])) {
    f.Show("Label2", "OPTION verify OK!!");
  } else {
    f.ShowRed("Label2", "OPTION verify Fail!!");
    f.NoteChipFailure();
  }
  return true;
}

bool VerifyProgram(OpFrame& f) {
  Workspace& ws = f.ws();
  const int n = ws.ProgramBytes;
  const bool protect = ws.VerifyWithProtect;
  const std::uint8_t mask = protect ? kProtectMask : kDataMask;
  f.link().GetHeader(AreaProgram, ActionRead);
  if (!f.Step(f.link().Read7BitData(n, true), LinkDone, {"Label5"})) return false;

  const auto& pb = ws.ProgramBuffer;
  const auto& r = ws.LinkBuffer;
  for (int i = 0; i + 1 < n; i += 2) {
    const std::uint8_t high = r[i + 1] & ws.BlankHigh;
    if ((pb[i] & mask) == (r[i] & mask) && (pb[i + 1] & mask) == (high & mask)) continue;
    int buffer = JoinWord(pb[i], pb[i + 1]);
    if (protect) buffer |= ProtectDisplayMask(ws);
    f.Show("Label5", "Data Verify error at " + Hex(i / 2) + "H");
    f.Reveal("Label3", MismatchText(JoinWord(r[i], high), buffer, 4));
    f.End(OpOutcome::ChipFailed);
    return false;
  }
  f.Show("Label5", "Data verify OK!!");
  return true;
}

bool VerifyEeprom(OpFrame& f) {
  Workspace& ws = f.ws();
  f.view().SetVisible("EEInfo", true);
  f.link().GetHeader(AreaEeprom, ActionRead);
  const int m = std::clamp(ws.EepromBytes(), 0, kEepromBufferBytes);
  if (!f.Step(f.link().Read8BitData(m), LinkDone, {"EEInfo"})) return false;
  for (int j = 0; j < m; ++j) {
    if (ws.LinkBuffer[j] == ws.EepromBuffer[j]) continue;
    f.Show("EEInfo", "EEPROM Data Verify error at " + Hex(j) + "H");
    f.Reveal("Label3", MismatchText(ws.LinkBuffer[j], ws.EepromBuffer[j], 2));
    f.End(OpOutcome::ChipFailed);
    return false;
  }
  f.Show("EEInfo", "EEPROM Data Verify OK!!");
  return true;
}

}  // namespace

OpOutcome VerifyWorker(OperationContext& ctx) {
  OpFrame f(ctx, {"Button1"});
  Workspace& ws = f.ws();

  f.Title(ws.VerifyWithProtect ? "Verify with Protect" : "Verify");
  if (ws.DeviceIndex == -1) return f.Fail("Label2", "Unknow IC Type!!", OpOutcome::Refused);
  if (!f.WriterOk("Label2")) return f.outcome();
  if (!VerifyOption(f)) return f.outcome();

  // A chip whose protection bit still reads 1 is not protected: its memory is not compared.
  if (ws.VerifyWithProtect && (ws.LinkBuffer[1] & 0x40) != 0) {
    f.view().SetVisible("Label4", true);
    return f.Fail("Label4", "IC no protected!!", OpOutcome::ChipFailed);
  }
  if (!VerifyIdWords(f, "Label4")) return f.outcome();
  if (!VerifyProgram(f)) return f.outcome();
  if (ws.MemoryKind == 2 && !VerifyEeprom(f)) return f.outcome();
  f.EnableEnd();
  return f.Result();
}

}  // namespace kvx
