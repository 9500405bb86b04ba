#include "core/ops/command.h"

#include <string>
#include <vector>

#include "core/ops/workers.h"

namespace kvx {

namespace {

template <OpOutcome (*Worker)(OperationContext&)>
PassResult WorkerPass(OperationContext& ctx, long) {
  return {Worker(ctx)};
}

void ClearErase(Workspace& ws) { ws.command.EraseRequested = false; }
void SetErase(Workspace& ws) { ws.command.EraseRequested = true; }
void ClearReadCompleted(Workspace& ws) { ws.results.ReadCompleted = false; }
void ClearProtect(Workspace& ws) { ws.command.VerifyWithProtect = false; }
void SetProtect(Workspace& ws) { ws.command.VerifyWithProtect = true; }
// Force Write leaves serial-number mode, and its verify shows the buffer as it is: a
// "Verify with Protect" before it must not mask the values it shows.
void ForceWriteFlags(Workspace& ws) {
  ws.production.SerialNoMode = false;
  ws.command.VerifyWithProtect = false;
}

constexpr Command kCommands[] = {
    {CommandId::BlankCheck, "Blank Check", BlankCheckDialog, ClearErase,
     WorkerPass<BlankCheckWorker>},
    {CommandId::Erase, "Erase Flash memory", BlankCheckDialog, SetErase,
     WorkerPass<BlankCheckWorker>, false, false, true},
    {CommandId::Read, "Read", ReadDialog, ClearReadCompleted, WorkerPass<ReadWorker>},
    {CommandId::Verify, "Verify", VerifyDialog, ClearProtect, WorkerPass<VerifyWorker>},
    {CommandId::VerifyWithProtect, "Verify with Protect", VerifyDialog, SetProtect,
     WorkerPass<VerifyWorker>},
    {CommandId::ProgramMemory, "Program Memory", ProgramMemoryDialog, nullptr,
     WorkerPass<ProgramMemoryWorker>, false, true},
    {CommandId::ProgramOption, "OPTION", ProgramOptionDialog, nullptr,
     WorkerPass<ProgramOptionWorker>},
    {CommandId::ProgramId, "ID and Checksum", ProgramIdDialog, nullptr,
     WorkerPass<ProgramIdWorker>},
    {CommandId::WriteEeprom, "Write EEPROM", ProgramEepromDialog, nullptr,
     WorkerPass<ProgramEepromWorker>, false, false, true},
    {CommandId::ForceWrite, "Force Write", ForceWriteDialog, ForceWriteFlags,
     WorkerPass<ForceWriteWorker>, true},
};

}  // namespace

std::span<const Command> OperationCommands() { return kCommands; }

ReasonWatch::Line& ReasonWatch::Find(std::string_view control) {
  for (Line& line : lines_)
    if (line.control == control) return line;
  lines_.push_back({std::string(control), {}, false});
  return lines_.back();
}

void ReasonWatch::SetText(std::string_view control, std::string_view text) {
  Line& line = Find(control);
  line.text = std::string(text);
  if (!text.empty()) {
    lastLine_ = line.text;
    if (line.red) redLine_ = line.text, sawRed_ = true;
  }
  inner_.SetText(control, text);
}

void ReasonWatch::SetColour(std::string_view control, LineColour colour) {
  Line& line = Find(control);
  line.red = colour == LineColour::Red;
  if (line.red && !line.text.empty()) redLine_ = line.text;
  inner_.SetColour(control, colour);
}

std::string ReasonWatch::ReasonFor(OpOutcome outcome) const {
  if (!redLine_.empty()) return redLine_;
  switch (outcome) {
    case OpOutcome::ChipFailed:
    case OpOutcome::LinkFailed:
    case OpOutcome::NoChip:
    case OpOutcome::Refused:
      return lastLine_;
    case OpOutcome::Ok:
    case OpOutcome::Stopped:
      break;
  }
  return {};
}

PassResult RunPass(const Command& command, OperationContext& ctx, long passNumber) {
  if (command.prepare != nullptr) command.prepare(ctx.ws);
  ReasonWatch watch(ctx.view);
  OperationContext watched{ctx.ws, ctx.port, ctx.clock, watch, ctx.stop};
  const long countBefore = ctx.ws.production.PassCount;
  PassResult result = command.pass(watched, passNumber);
  result.redLine = result.redLine || watch.SawRed();
  if (result.reason.empty()) result.reason = watch.ReasonFor(result.outcome);
  if (result.failedStep == Step::Operation) result.failedStep = watch.FailedStep();
  result.counted = result.counted || ctx.ws.production.PassCount != countBefore;
  return result;
}

}  // namespace kvx
