#include "editors_fixture.h"

#include "core/device/catalogue.h"
#include "core/device/workspace_ops.h"

namespace kvx::gui {

void EditorsTest::SetUp() {
  area = std::make_unique<QMdiArea>();
  area->resize(1000, 700);
  area->show();
  EditorHooks hooks;
  hooks.panelChanged = [this] { ++panelRedraws; };
  hooks.commandsChanged = [this] { ++commandUpdates; };
  commands = std::make_unique<EditorCommands>(*ws, area.get(), area.get(), hooks, prompter);
  windows = &commands->Windows();
  ASSERT_TRUE(dir_.isValid());
  ws->files.StartDir = dir_.path().toStdString();
  UseDevice("KVX-01");
}

void EditorsTest::TearDown() {
  windows = nullptr;
  commands.reset();
  area.reset();
}

void EditorsTest::UseDevice(const char* name) {
  ws->device.SelectedDevice = name;
  windows->Flags().Follow(ResetData(*ws, windows->Views()));
  windows->FirstShow();
  windows->RebuildBufferWindows();
  panelRedraws = 0;
}

void EditorsTest::AnswerFile(const QString& path, int filterIndex) {
  prompter.files.push_back({true, path, filterIndex});
}

void EditorsTest::CancelFile() { prompter.files.push_back({}); }

std::vector<std::string> EditorsTest::TakeMessages() {
  std::vector<std::string> texts;
  for (const QString& text : prompter.messages) texts.push_back(text.toStdString());
  prompter.messages.clear();
  prompter.boxes.clear();
  return texts;
}

void EditorsTest::WaitGone(QPointer<QObject> dialog) {
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }, 2000));
}

}  // namespace kvx::gui
