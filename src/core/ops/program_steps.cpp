#include "core/ops/program_steps.h"

#include <string>

#include "core/device/checksum.h"

namespace kvx {

bool VerifyProgramMemory(OpFrame& f, std::string_view label) {
  Workspace& ws = f.ws();
  f.Begin(Step::Verify);
  const int n = ws.device.ProgramBytes;
  if (!f.ReadStep(AreaProgram, n, {label})) return false;
  const auto& pb = ws.image.ProgramBuffer;
  const auto& r = ws.link.LinkBuffer;
  for (int j = 0; j + 1 < n; j += 2) {
    if (pb[j] != r[j] || (pb[j + 1] & ws.device.BlankHigh) != (r[j + 1] & ws.device.BlankHigh)) {
      f.Fail(label, "Data verify Fail!!", OpOutcome::ChipFailed);
      return false;
    }
  }
  return true;
}

bool CompareProgramWords(OpFrame& f, int bytes, const ProgramCompare& c) {
  const Workspace& ws = f.ws();
  const auto& pb = ws.image.ProgramBuffer;
  const auto& r = ws.link.LinkBuffer;
  for (int i = 0; i + 1 < bytes; i += 2) {
    const std::uint8_t high = r[i + 1] & c.chipHighMask;
    if ((pb[i] & c.mask) == (r[i] & c.mask) && (pb[i + 1] & c.mask) == (high & c.mask)) continue;
    int buffer = JoinWord(pb[i], pb[i + 1]);
    if (c.protectDisplay) buffer |= ProtectDisplayMask(ws);
    f.Show(c.label, "Data Verify error at " + Hex(i / 2) + "H");
    f.Reveal(c.valuesLabel, MismatchText(JoinWord(r[i], high), buffer, 4));
    return false;
  }
  f.Done(c.label, "Data verify OK!!");
  return true;
}

bool ProgramIdWords(OpFrame& f, std::string_view label, std::string_view idFailPrefix,
                    std::string_view showBeforeWrite) {
  Workspace& ws = f.ws();
  f.Begin(Step::Id);
  if (!f.HeaderStep(AreaId, ActionProgram, LinkResult::Ready, {label})) return false;
  GetIdChecksum(ws);
  if (!showBeforeWrite.empty()) f.view().SetVisible(showBeforeWrite, true);

  // The header names the last word written (7): eight words, the ID and the checksum.
  const int count = 2 * (ws.link.HeaderBytes[3] + 256 * ws.link.HeaderBytes[4]) + 2;
  const LinkResult code = f.link().WriteData(count, true);
  if (code == LinkResult::WriteFail) {
    const int word = ws.results.FailIndex / 2;
    const std::string text = word >= 5 ? std::string("Checksum program fail !!")
                                       : std::string(idFailPrefix) + Hex(word) + " !!";
    f.Fail(label, text, OpOutcome::ChipFailed);
    return false;
  }
  return f.Step(code, LinkResult::WriteOk, {label});
}

bool VerifyIdWords(OpFrame& f, std::string_view label) {
  f.Begin(Step::Id);
  if (!f.ReadStep(AreaId, 32, {label})) return false;
  const std::string_view failure = IdVerifyFailure(VerifyIdChecksum(f.ws()));
  if (failure.empty()) {
    f.Done(label, "ID && Checksum verify OK!!");
  } else {
    f.ShowRed(label, failure);
    f.NoteChipFailure();
  }
  return true;
}

bool ProgramOptionWord(OpFrame& f, std::string_view label) {
  f.Begin(Step::Option);
  if (!f.HeaderStep(AreaOption, ActionProgram, LinkResult::Ready, {label})) return false;
  StageOption(f.ws());
  const LinkResult code = f.link().WriteData(2, true);
  if (code == LinkResult::WriteFail) {
    f.Fail(label, "OPTION program fail !!", OpOutcome::ChipFailed);
    return false;
  }
  if (!f.Step(code, LinkResult::WriteOk, {label})) return false;
  return VerifyOptionWord(f, label, "OPTION program && verify OK!!");
}

bool VerifyOptionWord(OpFrame& f, std::string_view label, std::string_view okText) {
  const Workspace& ws = f.ws();
  f.Begin(Step::Option);
  if (!f.ReadStep(AreaOption, 2, {label})) return false;
  // Bits the device's OPTION word does not implement never fail the verify.
  if (OptionMatches(ws, ws.link.LinkBuffer[0], ws.link.LinkBuffer[1])) {
    f.Done(label, okText);
  } else {
    f.ShowRed(label, "OPTION verify Fail!!");
    f.NoteChipFailure();
  }
  return true;
}

bool VerifyEepromBytes(OpFrame& f, std::string_view label, std::string_view valuesLabel,
                       std::string_view errorPrefix) {
  const Workspace& ws = f.ws();
  const int m = EepromSize(ws);
  f.Begin(Step::Eeprom);
  f.link().GetHeader(AreaEeprom, ActionRead);
  if (!f.Step(f.link().Read8BitData(m), LinkResult::Done, {label})) return false;
  for (int j = 0; j < m; ++j) {
    if (ws.link.LinkBuffer[j] == ws.image.EepromBuffer[j]) continue;
    f.Show(label, std::string(errorPrefix) + Hex(j) + "H");
    f.Reveal(valuesLabel, MismatchText(ws.link.LinkBuffer[j], ws.image.EepromBuffer[j], 2));
    f.End(OpOutcome::ChipFailed);
    return false;
  }
  f.Done(label, "EEPROM Data Verify OK!!");
  return true;
}

std::string_view OptionStatusText(int status, const OptionStatusTexts& texts) {
  switch (status & 3) {
    case 1: return texts.blank;
    case 2: return texts.error;
    case 3: return texts.both;
    default: return {};
  }
}

}  // namespace kvx
