// A bench for worker tests: a workspace with a chosen device and a small program, the simulated
// Writer on a fake clock behind an InjectPort, a recording view and a stop source.
#pragma once

#include <chrono>
#include <functional>
#include <stop_token>
#include <string>

#include "core/device/catalogue.h"
#include "core/device/checksum.h"
#include "core/ops/operation.h"
#include "core/ops/workers.h"
#include "core/ops/inject_port.h"
#include "core/ops/recording_view.h"
#include "sim/sim_writer.h"

namespace kvx::testing {

// Host bytes before a single operation's program stream: the Writer check and the header.
inline constexpr long kStreamStart = 11;

// The operations by name, with their dialogs and the button their end enables.
enum class Op { BlankCheck, Read, ProgramMemory, ProgramOption, ProgramId, ProgramEeprom, Verify, ForceWrite };
struct OpEntry {
  kvx::OpOutcome (*worker)(kvx::OperationContext&);
  const kvx::DialogSpec& (*dialog)();
  const char* endButton;
};
inline OpEntry Entry(Op op) {
  switch (op) {
    case Op::BlankCheck: return {kvx::BlankCheckWorker, kvx::BlankCheckDialog, "Button1"};
    case Op::Read: return {kvx::ReadWorker, kvx::ReadDialog, "Button1"};
    case Op::ProgramMemory: return {kvx::ProgramMemoryWorker, kvx::ProgramMemoryDialog, "Button1"};
    case Op::ProgramOption: return {kvx::ProgramOptionWorker, kvx::ProgramOptionDialog, "Button1"};
    case Op::ProgramId: return {kvx::ProgramIdWorker, kvx::ProgramIdDialog, "Button1"};
    case Op::ProgramEeprom: return {kvx::ProgramEepromWorker, kvx::ProgramEepromDialog, "ButtonOk"};
    case Op::Verify: return {kvx::VerifyWorker, kvx::VerifyDialog, "Button1"};
    case Op::ForceWrite: return {kvx::ForceWriteWorker, kvx::ForceWriteDialog, "Button1"};
  }
  return {};
}

class Bench {
 public:
  explicit Bench(const std::string& device = "KVX-03",
                 kvx::sim::ChipContent content = kvx::sim::ChipContent::Blank)
      : writer(kvx::FindDevice(device)), sim(writer, &clock), port(sim) {
    ws.device.SelectedDevice = device;
    kvx::GetICInfo(ws, device);
    writer.InsertChip(content);
  }

  // A program that is not blank anywhere, a valid OPTION word and an ID text; checksums as the
  // main window would have them after loading.
  void LoadProgram() {
    const int mask = ws.device.CoreType == 3 ? 0x07FF : 0x3FFF;
    for (int k = 0; k < ws.device.ProgramWords(); ++k) {
      const auto w = kvx::SplitWord((k * 0x35 + 0x0101) & mask & ~0x0200);
      ws.image.ProgramBuffer[2 * k] = w.first;
      ws.image.ProgramBuffer[2 * k + 1] = w.second;
    }
    ws.image.OptionLow = 0x15;
    ws.image.OptionHigh = 0x0F;
    ws.results.OptionStatus = 0;
    const char* id = "KVX-TEST-ID!";
    for (int i = 0; i < 12; ++i) ws.image.IdBuffer[i] = static_cast<std::uint8_t>(id[i]);
    for (int i = 0; i < ws.device.EepromBytes() && ws.device.MemoryKind == 2; ++i)
      ws.image.EepromBuffer[i] = static_cast<std::uint8_t>(i * 7 + 3);
    kvx::CalChecksum(ws);
  }

  // A chip that holds exactly what the workspace would program: program words, OPTION word,
  // ID words with the checksum text, EEPROM.
  void ChipFromBuffer() {
    auto& chip = writer.Chip();
    for (int k = 0; k < ws.device.ProgramWords(); ++k) chip.Program[k] = static_cast<std::uint16_t>(BufferWord(k));
    chip.Option[0] = static_cast<std::uint16_t>(kvx::JoinWord(ws.image.OptionLow, ws.image.OptionHigh));
    kvx::GetIdChecksum(ws);
    for (int k = 0; k < 8; ++k)
      chip.Id[k] = static_cast<std::uint16_t>(kvx::JoinWord(ws.link.LinkBuffer[2 * k], ws.link.LinkBuffer[2 * k + 1]));
    for (std::size_t i = 0; i < chip.Eeprom.size(); ++i) chip.Eeprom[i] = ws.image.EepromBuffer[i];
  }

  // The program word k as the buffer holds it.
  int BufferWord(int k) const { return kvx::JoinWord(ws.image.ProgramBuffer[2 * k], ws.image.ProgramBuffer[2 * k + 1]); }

  template <class Worker>
  auto Run(Worker worker, const kvx::DialogSpec& dialog) {
    view.Open(dialog);
    kvx::OperationContext ctx{ws, port, clock, view, stop.get_token()};
    return worker(ctx);
  }

  // Runs `action` once, the first time the view is given `text` on `control`.
  void When(std::string control, std::string text, std::function<void()> action) {
    view.onCall = [this, control, text, action, done = false](const ViewCall& call) mutable {
      if (done || call.kind != ViewCall::Text || call.control != control || call.text != text) return;
      done = true;
      action();
    };
  }

  kvx::OpOutcome Run(Op op) { return Run(Entry(op).worker, Entry(op).dialog()); }

  // Time for the operator to close one dialog and open the next; the Writer forgets any
  // exchange left half done.
  void Pause() { clock.Advance(std::chrono::seconds(2)); }

  kvx::FakeClock clock;
  kvx::Workspace ws;
  kvx::sim::SimWriter writer;
  kvx::sim::SimPort sim;
  InjectPort port;
  RecordingView view;
  std::stop_source stop;
};

}  // namespace kvx::testing
