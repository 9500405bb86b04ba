// A main window stand-in for the editors: an MDI area, the buffer windows and the commands on one
// workspace, with message boxes and file dialogs answered by the test.
#pragma once

#include <gtest/gtest.h>

#include <QMdiArea>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/device/workspace.h"
#include "gui/editors/buffer_windows.h"
#include "gui/common/widgets.h"
#include "gui/editors/editor_commands.h"
#include "gui/test_prompter.h"

namespace kvx::gui {

class EditorsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The device of a fresh workspace, blank buffers, views as after start-up.
  void UseDevice(const char* name);
  // The next file dialog is confirmed with `path` under filter `filterIndex` (1-based).
  void AnswerFile(const QString& path, int filterIndex);
  void CancelFile();
  QString TempPath(const QString& name) const { return dir_.filePath(name); }

  // The texts of the boxes shown since the last call, in order.
  std::vector<std::string> TakeMessages();
  // Closes a dialog the command opened and waits until it is gone.
  static void WaitGone(QPointer<QObject> dialog);

  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  std::unique_ptr<QMdiArea> area;
  std::unique_ptr<EditorCommands> commands;
  BufferWindows* windows = nullptr;
  int panelRedraws = 0;
  int commandUpdates = 0;
  test::TestPrompter prompter;

 private:
  QTemporaryDir dir_;
};

}  // namespace kvx::gui
