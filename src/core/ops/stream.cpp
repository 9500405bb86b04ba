#include "core/ops/stream.h"

#include <algorithm>

namespace kvx {

namespace {

using Wait = WriterLink::Wait;

StreamEnd EndOf(OpFrame& f, Wait wait, std::string_view label) {
  if (wait == Wait::Stopped || f.StopRequested()) {
    f.Stop();
    return StreamEnd::Stopped;
  }
  f.Fail(label, "Connect Timeout!!", OpOutcome::LinkFailed);
  return StreamEnd::Failed;
}

StreamEnd FailWith(OpFrame& f, std::string_view label, std::string_view text, OpOutcome why) {
  f.Fail(label, text, why);
  return StreamEnd::Failed;
}

}  // namespace

StreamEnd SendProgramStream(OpFrame& f, const SendStreamPlan& plan) {
  WriterLink& link = f.link();
  TickCounter ticks(link.clock());
  Gauge gauge(f.view(), Transfer::ProgramMemoryWrite);
  if (plan.gauge) gauge.Start();

  for (int i = 0; i < plan.count + kStreamTail; ++i) {
    // Past the end of the buffer the Writer is offered blank bytes.
    const std::uint8_t byte = i < plan.dataSize ? plan.data[i] : 0x7F;
    if (plan.offered != nullptr) *plan.offered = i + 1;
    ticks.Reset();
    Wait wait = link.SendByte(byte, ticks.Left(plan.tickLimit));
    if (wait != Wait::Ok) return EndOf(f, wait, plan.label);

    ticks.Reset();
    std::uint8_t answer = 0;
    wait = link.ReceiveUntil(answer, ticks.Deadline(plan.tickLimit));
    if (wait != Wait::Ok) return EndOf(f, wait, plan.label);

    // The address line names the word reached; the event counts the bytes of the words up to
    // and including it. A dialog with a gauge gets its events from the gauge instead.
    const auto showAddress = [&] {
      if (!plan.gauge) {
        const long done = std::min<long>(2L * (i / 2 + 1), plan.count);
        f.view().Progress({Transfer::ProgramMemoryWrite, done, plan.count});
      }
      f.ShowPosition(plan.addressLabel, Hex(i / 2));
    };
    switch (answer) {
      case kAck:
        if (!plan.addressLabel.empty() && i % 32 == 0) showAddress();
        if (plan.gauge) gauge.Progress(i, plan.count);
        break;
      case kWriteFinished:
        if (plan.addressOnEnd) showAddress();
        if (!plan.gauge) f.view().Progress({Transfer::ProgramMemoryWrite, plan.count, plan.count});
        f.Done(plan.label, plan.okText);
        if (plan.gauge) gauge.End();
        return StreamEnd::Finished;
      case kWriteFailed:
        if (!plan.addressLabel.empty()) showAddress();
        return FailWith(f, plan.label, plan.failText, OpOutcome::ChipFailed);
      case kNoDeviceByte:
        return FailWith(f, plan.label, "Nothing in socket or type error!", OpOutcome::NoChip);
      case kAdapterErrorByte:
        if (!plan.adapterText.empty())
          return FailWith(f, plan.label, plan.adapterText, OpOutcome::LinkFailed);
        [[fallthrough]];
      default:
        return FailWith(f, plan.label, "Unknow return value!!", OpOutcome::LinkFailed);
    }
  }
  return StreamEnd::AllSent;
}

}  // namespace kvx
