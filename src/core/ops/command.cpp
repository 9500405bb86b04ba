#include "core/ops/command.h"

#include <string>
#include <vector>

#include "core/ops/workers.h"

namespace kvx {

namespace {

// Passes every call on and notes whether a red line was shown.
class RedLineWatch final : public OperationView {
 public:
  explicit RedLineWatch(OperationView& inner) : inner_(inner) {}

  void SetText(std::string_view control, std::string_view text) override {
    if (!text.empty() && IsRed(control)) red_ = true;
    inner_.SetText(control, text);
  }
  void SetColour(std::string_view control, LineColour colour) override {
    if (colour == LineColour::Red) {
      red_controls_.emplace_back(control);
    } else {
      std::erase(red_controls_, control);
    }
    inner_.SetColour(control, colour);
  }
  void SetVisible(std::string_view control, bool visible) override {
    inner_.SetVisible(control, visible);
  }
  void SetGauge(int percent) override { inner_.SetGauge(percent); }
  void SetEnabled(std::string_view button, bool enabled) override {
    inner_.SetEnabled(button, enabled);
  }
  void ShowMessage(std::string_view text) override { inner_.ShowMessage(text); }
  void Progress(const ProgressEvent& event) override { inner_.Progress(event); }

  bool red() const { return red_; }

 private:
  bool IsRed(std::string_view control) const {
    for (const auto& name : red_controls_)
      if (name == control) return true;
    return false;
  }

  OperationView& inner_;
  std::vector<std::string> red_controls_;
  bool red_ = false;
};

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

PassResult RunPass(const Command& command, OperationContext& ctx, long passNumber) {
  if (command.prepare != nullptr) command.prepare(ctx.ws);
  RedLineWatch watch(ctx.view);
  OperationContext watched{ctx.ws, ctx.port, ctx.clock, watch, ctx.stop};
  const std::string countBefore = ctx.ws.production.PassCountText;
  PassResult result = command.pass(watched, passNumber);
  result.redLine = result.redLine || watch.red();
  result.counted = result.counted || ctx.ws.production.PassCountText != countBefore;
  return result;
}

}  // namespace kvx
