// Read: copy the chip in the socket into the workspace: OPTION and the words read with it, the
// ID and checksum words, the program memory and, for flash parts, the EEPROM. Each time-out
// carries its own number so the failing wait can be told apart.
#include <algorithm>
#include <vector>

#include "core/device/checksum.h"
#include "core/ops/frame.h"
#include "core/ops/workers.h"

namespace kvx {

namespace {

using Wait = WriterLink::Wait;

// The Writer may send a few bytes beyond the memory before its end marker; they are taken and
// dropped.
constexpr int kExtraBytes = 11;

void StoreWords(std::uint8_t* to, const std::uint8_t* from, int bytes, std::uint8_t blankHigh) {
  for (int j = 0; j + 1 < bytes; j += 2) {
    to[j] = from[j];
    to[j + 1] = static_cast<std::uint8_t>(from[j + 1] & blankHigh);
  }
}

bool ReadOptions(OpFrame& f) {
  Workspace& ws = f.ws();
  const auto& r = ws.link.LinkBuffer;

  if (!f.ReadStep(AreaOption, 6, {"Label1", "Connect Timeout!! (2)", "Label2"})) return false;
  f.Show("Label1", "Read OPTION OK!");
  ws.image.OptionLow = r[0];
  ws.image.OptionHigh = static_cast<std::uint8_t>(r[1] & ws.device.BlankHigh);
  StoreWords(ws.image.OptionExtra.data(), &r[2], 4, ws.device.BlankHigh);

  if (!f.ReadStep(AreaOption2, 6, {"Label1", "Connect Timeout!! (3)", "Label2"})) return false;
  StoreWords(ws.image.OptionExtra2.data(), &r[2], 4, ws.device.BlankHigh);
  return true;
}

bool ReadId(OpFrame& f) {
  Workspace& ws = f.ws();
  if (!f.ReadStep(AreaId, 32, {"Label2", "Connect Timeout!! (4)"})) return false;
  StoreWords(ws.image.IdBuffer.data(), ws.link.LinkBuffer.data(), kIdBytes, ws.device.BlankHigh);
  f.Show("Label2", "Read ID and Checksum OK!");
  return true;
}

// The header goes out byte by byte under the dialog's tick counter.
bool SendReadHeader(OpFrame& f, TickCounter& ticks) {
  WriterLink& link = f.link();
  for (int i = 0; i < 10; ++i) {
    ticks.Reset();
    const Wait sent = link.SendByte(f.ws().link.HeaderBytes[i], ticks.Left(3));
    if (sent == Wait::Stopped || f.StopRequested()) return f.Stop(), false;
    if (sent != Wait::Ok) return f.Fail("Label3", "Connect Timeout!! (5)", OpOutcome::LinkFailed), false;
  }
  return true;
}

// The program memory streams back until the Writer's end marker; it is stored only when the
// whole memory came.
bool ReadProgramMemory(OpFrame& f) {
  Workspace& ws = f.ws();
  WriterLink& link = f.link();
  const int n = ws.device.ProgramBytes;
  TickCounter ticks(link.clock());
  Gauge gauge(f.view(), Transfer::ProgramMemoryRead);

  link.GetHeader(AreaProgram, ActionRead);
  gauge.Start();
  std::vector<std::uint8_t> received(static_cast<std::size_t>(n + kExtraBytes), 0);
  link.Purge();
  if (!SendReadHeader(f, ticks)) return false;
  // No purge after the header: the Writer may already be answering, and the last header byte
  // may still be on its way out.
  ticks.Reset();
  int c = 0;
  for (;;) {
    std::uint8_t byte = 0;
    const Wait got = link.ReceiveUntil(byte, ticks.Deadline(3), n - c);
    if (got == Wait::Stopped || f.StopRequested()) return f.Stop(), false;
    if (got != Wait::Ok) return f.Fail("Label3", "Connect Timeout!! (6)", OpOutcome::LinkFailed), false;
    ticks.Reset();
    if (byte == kEndOfData) {
      if (c < n) return f.Fail("Label3", "Read error!!", OpOutcome::LinkFailed), false;
      gauge.End();
      StoreWords(ws.image.ProgramBuffer.data(), received.data(), n, ws.device.BlankHigh);
      f.Show("Label3", "Read Data OK");
      ws.results.ReadCompleted = true;
      f.EnableEnd();
      CalChecksum(ws);
      return true;
    }
    if (byte == kAdapterErrorByte)
      return f.Fail("Label3", LinkMessage(LinkResult::AdapterError), OpOutcome::LinkFailed), false;
    if (byte == kNoDeviceByte)
      return f.Fail("Label3", LinkMessage(LinkResult::NoDevice), OpOutcome::NoChip), false;
    if (byte & 0x80) continue;  // other control bytes are ignored
    if (c < n + kExtraBytes) {
      gauge.Progress(c, n);
      received[static_cast<std::size_t>(c++)] = byte;
    }
  }
}

OpOutcome ReadEeprom(OpFrame& f) {
  Workspace& ws = f.ws();
  WriterLink& link = f.link();
  const int m = EepromSize(ws);
  link.GetHeader(AreaEeprom, ActionRead);
  f.view().SetVisible("EEInfo", true);
  if (!f.Step(link.Read8BitData(m), LinkResult::Done, {"EEInfo", "Connect Timeout!! (7)"})) return f.outcome();
  std::copy_n(ws.link.LinkBuffer.begin(), m, ws.image.EepromBuffer.begin());
  f.Show("EEInfo", "Read EEPROM OK!");
  return OpOutcome::Ok;
}

}  // namespace

OpOutcome ReadWorker(OperationContext& ctx) {
  OpFrame f(ctx, {"Button1"});
  Workspace& ws = f.ws();

  if (ws.device.DeviceIndex == -1) return f.Fail("Label1", "Unknow IC Type!!", OpOutcome::Refused);
  if (!f.WriterOk("Label1", "Connect Timeout!! (1)")) return f.outcome();
  if (!ReadOptions(f) || !ReadId(f) || !ReadProgramMemory(f)) return f.outcome();
  if (ws.device.IsFlash()) return ReadEeprom(f);
  return OpOutcome::Ok;
}

}  // namespace kvx
