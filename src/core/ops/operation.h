// The frame every device operation runs in. A worker talks to the Writer through the link,
// reads and writes the workspace, and reports only through an OperationView: status lines by
// their control names, red or normal colour, visibility, the gauge, typed progress and the
// buttons. The Qt dialogs and the command line are two views of the same workers; an
// OperationRunner (core/ops/runner.h) runs them on a thread of their own.
#pragma once

#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/device/workspace.h"
#include "core/link/clock.h"
#include "core/link/progress.h"
#include "core/link/serial_port.h"
#include "core/link/writer_link.h"

namespace kvx {

enum class LineColour { Normal, Red };

// The step of an operation a status line belongs to, whatever control the dialog shows it in.
enum class Step {
  Operation,     // the dialog's own lines: its title, a line of no step of its own
  Check,         // the buffers checked before the Writer is asked
  Connect,       // the Writer check on the port
  Erase,
  BlankCheck,
  Read,
  Program,       // the program memory
  Verify,        // the program memory read back
  Id,            // the ID and checksum words
  Option,        // the OPTION word
  Eeprom,
  SerialNumber,  // the serial number stamped for the next chip
  PassCount,
  Message,       // a message box
};
// How far the step has got, as its line says: under way, a position of a transfer (an address
// line a newer one replaces), ended well, or failed.
enum class StepState { Running, Position, Ok, Failed };
// "operation", "check", "connect", "erase", "blank check", "read", "program", "verify", "ID",
// "OPTION", "EEPROM", "serial number", "pass count", "message".
std::string_view StepName(Step step);
// "running", "position", "ok", "failed".
std::string_view StepStateName(StepState state);

// What a worker shows, and how it reaches the view.
//
// Threading contract (every view, whatever draws it):
// - Every call arrives on the worker's thread, never on the thread that started the runner, and
//   in the order the worker made it. A view that draws on another thread (a GUI) must hand each
//   call over in that order (a queued call), and must not touch the workspace meanwhile.
// - A std::string_view argument lives only for the duration of the call. A view that keeps the
//   text, or queues the call to another thread, copies it first.
// - Controls are named by the dialog's DialogSpec (the title "StaticText1", its labels and its
//   buttons); a worker writes no other name. Colour and visibility of a line come before the text
//   they belong to; so does a line's step (SetStep).
// - ShowMessage is a modal message box: the worker waits in it until the operator has dismissed
//   the box, as the dialogs' own boxes do. A view that cannot wait (a log, a terminal) returns
//   at once. A stop requested while the box is up takes effect when it returns.
// - A stop requested from any other thread (OperationRunner::RequestStop, a closed dialog) ends
//   the worker at its next wait on the Writer or between two steps: nothing more is sent, and no
//   further line is written, so a dialog that is closing may ignore what still comes.
// - Progress of long transfers comes twice: the dialog's gauge in whole percent (SetGauge, only
//   when it grows) and a typed ProgressEvent (Progress) telling what is transferred and how far,
//   for views that draw their own bar or have no gauge.
class OperationView {
 public:
  virtual ~OperationView() = default;
  // control: "StaticText1" (the title), "Label1".."Label5", "EEInfo", "EraseMsg", ...
  virtual void SetText(std::string_view control, std::string_view text) = 0;
  virtual void SetColour(std::string_view control, LineColour colour) = 0;
  // The step and state of the text `control` gets next. A view that shows only texts ignores it.
  virtual void SetStep(std::string_view /*control*/, Step /*step*/, StepState /*state*/) {}
  virtual void SetVisible(std::string_view control, bool visible) = 0;
  virtual void SetGauge(int percent) = 0;
  // button: "Button1", "Button2", "ButtonOk"
  virtual void SetEnabled(std::string_view button, bool enabled) = 0;
  // A modal message box the worker itself raises ("QTP Program Finished!", QTP record errors).
  virtual void ShowMessage(std::string_view text) = 0;
  // Where a long transfer has got to: the program memory streaming in or out. Comes besides
  // SetGauge (and in dialogs without a gauge, besides the address line every 16 words).
  virtual void Progress(const ProgressEvent& /*event*/) {}
};

// A view that shows nothing: for work whose lines nobody reads (a benchmark, a check behind
// another window).
class NullOperationView final : public OperationView {
 public:
  void SetText(std::string_view, std::string_view) override {}
  void SetColour(std::string_view, LineColour) override {}
  void SetVisible(std::string_view, bool) override {}
  void SetGauge(int) override {}
  void SetEnabled(std::string_view, bool) override {}
  void ShowMessage(std::string_view) override {}
};

// The control every dialog has: its title line.
inline constexpr std::string_view kTitleControl = "StaticText1";

// How an operation ended, for callers that need more than the status lines (the CLI's exit
// status, Auto Program's repetition).
enum class OpOutcome {
  Ok,          // ended without a red line
  ChipFailed,  // not blank, a program or verify failure, a protection or OPTION check
  LinkFailed,  // the port, a time-out, "Writer Error!!", the adapter board
  NoChip,      // the Writer answered that nothing is in the socket (or not the chip it expects)
  Refused,     // stopped before talking to the Writer (blank buffer, bad OPTION fields, ...)
  Stopped,     // the view was closed: ended at once, nothing more sent
};

// Everything a worker works with. The stop token is checked in every wait and between steps.
struct OperationContext {
  Workspace& ws;
  SerialPort& port;
  Clock& clock;
  OperationView& view;
  std::stop_token stop;
};

// The initial look of an operation's dialog, so every view starts from the same controls.
struct ControlSpec {
  std::string name;
  std::string text;
  bool visible = true;
};
struct DialogSpec {
  std::string objectName;  // "BlankCheckForm", ...
  std::string caption;
  std::string title;  // StaticText1
  std::vector<ControlSpec> labels;
  bool gauge = false;
  std::vector<ControlSpec> buttons;  // start disabled
  bool closeBox = false;             // a title-bar close box that stops the worker at any time
};

}  // namespace kvx
