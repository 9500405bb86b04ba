// What every worker shares: the link bound to the operation's stop token, the step check that
// turns a link result into the step's status line, the dialog's tick counter and its gauge.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/device/text_convert.h"
#include "core/link/writer_link.h"
#include "core/ops/operation.h"

namespace kvx {

// The message the operator sees for a link result that is not the step's success.
std::string_view LinkMessage(LinkResult code);

// Four (or `digits`) upper-case hexadecimal digits, as every address and word is shown.
inline std::string Hex(int value, int digits = 4) { return HexDigits(static_cast<unsigned>(value), digits); }

// "IC=" + chip + "H, Buffer=" + buffer + "H": the values side by side at a mismatch.
std::string MismatchText(int chip, int buffer, int digits);

// Where a step's link failures are written. The read worker numbers its time-outs and puts
// "Writer Error!!" of its OPTION steps on another line than the other messages.
struct StepLines {
  std::string_view label;
  std::string_view timeout = "Connect Timeout!!";
  std::string_view otherLabel = {};  // empty: the same label
};

// The dialog's TickCount: whole seconds of the operation's clock since it was last reset.
// Resetting it stands for "TickCount = 0 and Timer1 on".
class TickCounter {
 public:
  explicit TickCounter(Clock& clock) : clock_(clock), start_(clock.Now()) {}
  void Reset() { start_ = clock_.Now(); }
  int Ticks() const;
  // The moment TickCount reaches `ticks`.
  TimePoint Deadline(int ticks) const { return start_ + std::chrono::seconds(ticks); }
  Millis Left(int ticks) const;

 private:
  Clock& clock_;
  TimePoint start_;
};

// The progress gauge: written only when the whole percentage grows, so a long transfer makes at
// most 101 updates; 0 at the start and 100 at the end. Each update also goes to the view as a
// ProgressEvent of `what`.
class Gauge {
 public:
  explicit Gauge(OperationView& view, Transfer what = Transfer::ProgramMemoryWrite)
      : view_(view), what_(what) {}
  void Start();
  void Progress(long done, long total);
  void End();

 private:
  OperationView& view_;
  Transfer what_;
  int highest_ = 0;
  long total_ = 0;
};

// One running operation: its context, its link, the buttons it enables when it ends and how it
// has ended so far.
class OpFrame {
 public:
  OpFrame(OperationContext& ctx, std::initializer_list<std::string_view> endButtons);

  // The step the lines written from now on belong to.
  void Begin(kvx::Step step) { step_ = step; }
  kvx::Step step() const { return step_; }

  WriterLink& link() { return link_; }
  Workspace& ws() { return ctx_.ws; }
  OperationView& view() { return ctx_.view; }
  OperationContext& ctx() { return ctx_; }
  bool StopRequested() const { return ctx_.stop.stop_requested(); }

  // A line in the label's normal colour / in red. Attributes go before the text, so a view that
  // shows a line as soon as its text arrives already knows how to draw it.
  void Show(std::string_view label, std::string_view text);
  // A line that ends its step well ("Blank Check ..... OK.").
  void Done(std::string_view label, std::string_view text);
  // A transfer's position (an address line): a newer line replaces it.
  void ShowPosition(std::string_view label, std::string_view text);
  void ShowRed(std::string_view label, std::string_view text);
  void ShowVisible(std::string_view label, std::string_view text);  // make visible, then text
  // A hidden line that carries a result: its text first, then it appears, so the text it held
  // before (a design text such as "IC=0000 , Buffer=0000") is never on screen.
  void Reveal(std::string_view label, std::string_view text);
  void Title(std::string_view text) { Show("StaticText1", text); }

  // Enable the buttons the operation ends with.
  void EnableEnd();
  void SetEndButtons(std::initializer_list<std::string_view> buttons);
  // End in red on `label`; returns `why`.
  OpOutcome Fail(std::string_view label, std::string_view text, OpOutcome why);
  // End with a line in the normal colour (a success, or a result that is not an error).
  OpOutcome Finish(std::string_view label, std::string_view text, OpOutcome why = OpOutcome::Ok);
  // End after the lines are written: enable the end buttons.
  OpOutcome End(OpOutcome why);
  // End because the view was closed: nothing more is written or sent.
  OpOutcome Stop();

  // True when `code` is the step's success code. Otherwise the step's message goes on its line
  // in red, the end buttons are enabled and outcome() tells how it ended.
  bool Step(LinkResult code, LinkResult success, const StepLines& lines);
  // The two steps most exchanges are: the header of `area` and `action` alone, answered by
  // `success`; or a read of `bytes` 7-bit bytes of `area` into LinkBuffer. Checked as Step.
  bool HeaderStep(int area, int action, LinkResult success, const StepLines& lines);
  bool ReadStep(int area, int bytes, const StepLines& lines);
  // The first Writer check (CheckWriterSettled: an unexpected answer is checked again after the
  // Writer had time to drop a stopped transfer): only a wrong Writer and a time-out stop the
  // operation.
  bool WriterOk(std::string_view label, std::string_view timeout = "Connect Timeout!!");
  OpOutcome outcome() const { return outcome_; }
  // A red line that does not end the operation (a verify mismatch it reports and goes on).
  void NoteChipFailure() { chipFailed_ = true; }
  OpOutcome Result() const { return chipFailed_ ? OpOutcome::ChipFailed : OpOutcome::Ok; }

 private:
  // A link result of a stopped operation, or a stop asked for meanwhile: ends it quietly.
  bool Stopped(LinkResult code);

  // The step's attribute of the next line on `label`.
  void Mark(std::string_view label, StepState state) { view().SetStep(label, step_, state); }

  OperationContext& ctx_;
  kvx::Step step_ = kvx::Step::Operation;
  WriterLink link_;
  std::vector<std::string> endButtons_;
  OpOutcome outcome_ = OpOutcome::Ok;
  bool chipFailed_ = false;
};

// ---- Blank words -------------------------------------------------------------------------------

// Are the stored words in bytes [0, bytes) of `data` all blank?
bool AllBlank(const std::uint8_t* data, int bytes, std::uint8_t blankHigh);
// Byte index of the first word that is not blank, or -1.
int FirstNonBlank(const std::uint8_t* data, int bytes, std::uint8_t blankHigh);
// The OPTION word as the device implements it: only its mask bits count.
bool OptionBlank(const Workspace& ws, std::uint8_t low, std::uint8_t high);
bool OptionMatches(const Workspace& ws, std::uint8_t low, std::uint8_t high);

// The chip's EEPROM size, never more than the buffer holds.
int EepromSize(const Workspace& ws);

// The OPTION word as it goes to the Writer: 11-bit devices carry 0x70 in the high byte.
void StageOption(Workspace& ws);

// The messages of the ID and checksum read-back (VerifyIdChecksum's result); empty for a match.
std::string_view IdVerifyFailure(int result);

}  // namespace kvx
