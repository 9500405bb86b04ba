// The desktop tests' bench: the main window on the simulated Writer (Com1 mapped to it), started
// in a folder of its own, with message boxes recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <memory>
#include <vector>

#include "core/link/clock.h"
#include "gui/app/main_window.h"
#include "gui/app/progress_dialog.h"
#include "gui/test_prompter.h"
#include "gui/common/widgets.h"
#include "gui/app/status_panel.h"
#include "gui/editors/editor_commands.h"

namespace kvx::gui::test {

// Link time that never moves on: a silent Writer's wait ends only through a stop.
class FrozenClock final : public Clock {
 public:
  TimePoint Now() override { return TimePoint(std::chrono::seconds(1)); }
  void SleepFor(Millis) override { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
};

class MainWindowTest : public ::testing::Test {
 public:
  // simulatedTime: the link's time-outs run on a fake clock the simulated Writer moves forward;
  // otherwise both run in real time. `linkClock` replaces the link's clock.
  MainWindow& Start(bool simulatedTime = true, Clock* linkClock = nullptr);
  MainWindow& form() { return *form_; }
  Workspace& ws() { return form_->workspace(); }
  // The window's own record of which buffer windows exist.
  WindowFlags& windowFlags() { return form_->findChild<EditorCommands*>()->Windows().Flags(); }
  sim::SimWriter& writer();

  // A control of the main window; the status panel's first, since dialogs reuse its names.
  template <class T = QLabel>
  T* Find(const char* name) const {
    T* w = form_->statusPanel()->findChild<T*>(name);
    if (w == nullptr) w = form_->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString Text(const char* label) const { return Find<QLabel>(label)->text(); }
  // The operation dialog now open, or null.
  ProgressDialog* Dialog() const;
  // Waits until the open dialog's button `name` is enabled and the pass's end has been handled.
  bool WaitForButton(const char* name = "Button1");
  // Closes the dialog with its button and waits until it has gone.
  bool CloseWith(const char* name = "Button1");
  void SelectDevice(const char* name);
  // In the loaded workspace (no device change): 64 words of a valid program with RTIW words at
  // 0x20 and 0x21, an OPTION word without blank or erroneous fields, and two-byte serial numbers
  // from `first` stamped there.
  void LoadSerialProgram(int first);

  QTemporaryDir dir_;
  std::map<std::string, std::string> env_;  // KVXW_COMn the test sets, before Start
  std::string devRoot_;  // stands in for /dev
  FakeClock clock_;
  TestPrompter prompter_;
  std::unique_ptr<MainWindow> form_;
};

bool IsRed(const QLabel* label);

}  // namespace kvx::gui::test
