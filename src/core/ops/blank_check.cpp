// Erase and blank check: is the chip still all ones (after erasing it, for flash parts)?
// Nothing in the workspace changes; the operation only reports.
#include "core/ops/frame.h"
#include "core/ops/workers.h"

namespace kvx {

namespace {

// The program memory reads back blank word by word; the first word that does not is named.
OpOutcome TestProgramMemory(OpFrame& f) {
  Workspace& ws = f.ws();
  const int n = ws.device.ProgramBytes;
  if (!f.ReadStep(AreaProgram, n, {"Label4"})) return f.outcome();

  const int j = FirstNonBlank(ws.link.LinkBuffer.data(), n, ws.device.BlankHigh);
  if (j < 0) return f.Finish("Label4", "Data ......... OK.");
  f.Show("Label4", "Data ....... Not Blank!!");
  // The value as read: the second byte unmasked, so stray high bits show.
  const int value = JoinWord(ws.link.LinkBuffer[j], ws.link.LinkBuffer[j + 1]);
  return f.Finish("Label5", "Error at " + Hex(j / 2) + "h = 0x" + Hex(value),
                  OpOutcome::ChipFailed);
}

}  // namespace

OpOutcome BlankCheckWorker(OperationContext& ctx) {
  OpFrame f(ctx, {"Button1"});
  Workspace& ws = f.ws();

  if (ws.device.DeviceIndex == -1) return f.Finish("Label2", "Unknow IC Type!!", OpOutcome::Refused);
  if (!f.WriterOk("Label3")) return f.outcome();

  if (ws.command.EraseRequested) {
    f.Title("Erase Flash Memory");
    f.ShowVisible("Label1", "Erase flash memory...");
    if (!f.HeaderStep(AreaProgram, ActionErase, LinkResult::Done, {"Label1"})) return f.outcome();
    f.Show("Label1", "Erase End");
  } else {
    f.Title("Blank Check");
  }

  if (!f.ReadStep(AreaOption, 2, {"Label2"})) return f.outcome();
  if (!OptionBlank(ws, ws.link.LinkBuffer[0], ws.link.LinkBuffer[1]))
    return f.Finish("Label2", "OPTION ....... Not Blank!!", OpOutcome::ChipFailed);
  f.Show("Label2", "OPTION ....... OK");

  // Only the ID and checksum words (the first eight) must be blank; the Writer's own words
  // after them are not.
  if (!f.ReadStep(AreaId, 32, {"Label3"})) return f.outcome();
  if (!AllBlank(ws.link.LinkBuffer.data(), 16, ws.device.BlankHigh))
    return f.Fail("Label3", "ID Checksum ....... Not Blank!!", OpOutcome::ChipFailed);
  f.Show("Label3", "ID Checksum ......... OK.");

  return TestProgramMemory(f);
}

}  // namespace kvx
