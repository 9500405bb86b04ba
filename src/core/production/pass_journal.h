// The journal's hook into a production run: every caller that runs Auto Program or Force Write
// passes (kvxw auto, the desktop's Auto Program and Force Write dialogs) wraps each pass in
//
//     PassJournal journal(&sharedJournal, "COM1", SerialSeriesOf(ws, qtpContent));
//     JournalView view(dialogView);            // the pass writes to this view
//     if (!journal.BeforePass(ws, error)) ...  // stop: nothing may be stamped
//     result = AutoProgramPass(ctx);           // ctx.view is `view`
//     journal.AfterPass(ws, outcome, counted, view.RedLine(), error, result.serialMayBeOnChip);
//
// on the worker thread. BeforePass reserves the workspace's current serial number in the
// journal (committed to disk) and, when another port or an earlier run already used it, steps
// on to the next free number and stamps that one. AfterPass writes the pass's outcome and
// whether its number stays used (KeepsNumber): a failed pass gives it back only when no serial
// byte could reach the chip, otherwise the next pass's BeforePass steps on to the next number.
// A counted pass moves the QTP record on, as the pass itself reads the next record.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/device/workspace.h"
#include "core/ops/command.h"
#include "core/ops/operation.h"
#include "core/production/journal.h"

namespace kvx {

// The series a run's numbers belong to: the device, start address, byte count, mode, order and
// increment of a counted or shifted series ("KVX-01 @0010 x2 sequential+1 msb"), or a QTP file
// by its content ("QTP 3F2A9C0D1E2B4C5D"). Empty when serial-number mode is off.
std::string SerialSeriesOf(const Workspace& ws, const std::string& qtpContent = {});
bool IsQtpSeries(std::string_view series);
// Where a number sits on the chip: the device, the first serial word, the byte count and the
// byte order ("KVX-01 @0010 x2 msb"), whatever series (increment, mode, start, QTP file) put it
// there; a value goes to one chip per place. Empty when serial-number mode is off.
std::string SerialSlotOf(const Workspace& ws);
// The place of a counted or shifted series' numbers, read back from its name; empty for a QTP
// file's series (its records name their own place) or a name that is no series'.
std::string SlotOfSeries(std::string_view series);

// The journal outcome of a pass: a pass that went through but showed a red line (an ID or
// OPTION verify mismatch) is a failed chip, though counted. (The same rule as ChipOutcomeOf, in
// the journal's words.)
PassOutcome JournalOutcome(OpOutcome outcome, bool redLine);

class PassJournal {
 public:
  // journal may be null (--no-journal): every call then succeeds and records nothing.
  // firstRecord: the QTP record the workspace holds when the run starts (1 after loading).
  PassJournal(Journal* journal, std::string port, std::string series, long firstRecord = 1);

  // Before the chip is stamped. False with a message when the journal cannot be written, or a
  // QTP series has no free record left (then `exhausted` is set): the pass must not run.
  // `stop`: the pass's stop token; a shared journal's server is waited for shortly after it.
  bool BeforePass(Workspace& ws, std::string& error, std::stop_token stop = {});
  // After the pass, whatever its outcome. `reason` (the red line, or the line that ended a
  // failed pass) goes into the row's red_line column. `serialMayBeOnChip`: the pass may have
  // handed a byte of the serial number to the Writer (PassResult::serialMayBeOnChip).
  bool AfterPass(const Workspace& ws, OpOutcome outcome, bool counted, std::string_view reason,
                 std::string& error, bool serialMayBeOnChip = true, bool redLine = false,
                 std::stop_token stop = {});
  // The same with the pass's result.
  bool AfterPass(const Workspace& ws, const PassResult& result, std::string& error,
                 std::stop_token stop = {});

  // Values the run's start stepped over (RunStart::steppedOver): the first chip reports them.
  void StartSteppedOver(std::vector<std::string> values) { startSteppedOver_ = std::move(values); }
  bool Exhausted() const { return exhausted_; }
  // Whether the journal saw a run die on this port with a pass under way (asked once).
  bool WriterMayBeBusy() { return journal_ != nullptr && journal_->TakeDiedOnPort(port_); }
  const std::string& Series() const { return series_; }
  long Record() const { return record_; }
  const PassRecord& Row() const { return row_; }

 private:
  Journal* journal_;
  std::string port_;
  std::string series_;
  long record_;
  bool exhausted_ = false;
  PassRecord row_;
  std::vector<std::string> startSteppedOver_;
  std::string shaPath_;  // the program file whose SHA-256 is in sha_
  std::string sha_;
};

// A view between the pass and the dialog's view that holds back the buttons the pass enables
// until the journal has the pass's end. Other calls go straight through, on the worker thread.
class JournalView final : public OperationView {
 public:
  explicit JournalView(OperationView& inner) : inner_(inner) {}

  void SetText(std::string_view control, std::string_view text) override {
    inner_.SetText(control, text);
  }
  void SetColour(std::string_view control, LineColour colour) override {
    inner_.SetColour(control, colour);
  }
  void SetVisible(std::string_view control, bool visible) override {
    inner_.SetVisible(control, visible);
  }
  void SetStep(std::string_view control, Step step, StepState state) override {
    inner_.SetStep(control, step, state);
  }
  void SetGauge(int percent) override { inner_.SetGauge(percent); }
  // A button the pass enables (its end: "Continue", "Exit") is enabled only once the pass's end
  // is in the journal (ReleaseButtons): a "Continue" cannot come while the worker still writes
  // it. A button switched off goes off at once.
  void SetEnabled(std::string_view button, bool enabled) override;
  // The buttons the pass enabled, enabled now; after the journal wrote the pass's end. When it
  // could not, they stay off and the caller enables what it allows.
  void ReleaseButtons();
  void ShowMessage(std::string_view text) override { inner_.ShowMessage(text); }
  void Progress(const ProgressEvent& event) override { inner_.Progress(event); }


 private:
  OperationView& inner_;
  std::vector<std::string> enabled_;  // held back until ReleaseButtons
};

}  // namespace kvx
