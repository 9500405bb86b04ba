// The frame every device operation runs in. A worker talks to the Writer through the link,
// reads and writes the workspace, and reports only through an OperationView: status lines by
// their control names, red or normal colour, visibility, the gauge and the buttons. The Qt
// dialogs and the command line are two views of the same workers.
#pragma once

#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/device/workspace.h"
#include "core/link/clock.h"
#include "core/link/serial_port.h"
#include "core/link/writer_link.h"

namespace kvx {

enum class LineColour { Normal, Red };

class OperationView {
 public:
  virtual ~OperationView() = default;
  // control: "StaticText1" (the title), "Label1".."Label5", "EEInfo", "EraseMsg", ...
  virtual void SetText(std::string_view control, std::string_view text) = 0;
  virtual void SetColour(std::string_view control, LineColour colour) = 0;
  virtual void SetVisible(std::string_view control, bool visible) = 0;
  virtual void SetGauge(int percent) = 0;
  // button: "Button1", "Button2", "ButtonOk"
  virtual void SetEnabled(std::string_view button, bool enabled) = 0;
  // A modal message box the worker itself raises ("QTP Program Finished!", QTP record errors).
  virtual void ShowMessage(std::string_view text) = 0;
};

// How an operation ended, for callers that need more than the status lines (the CLI's exit
// status, Auto Program's repetition).
enum class OpOutcome {
  Ok,          // ended without a red line
  ChipFailed,  // not blank, a program or verify failure, a protection or OPTION check
  LinkFailed,  // the port, a time-out, "Writer Error!!", nothing in the socket, the adapter board
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
