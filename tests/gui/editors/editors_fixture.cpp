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
  commands = std::make_unique<EditorCommands>(*ws, area.get(), area.get(), hooks);
  windows = &commands->Windows();
  SetMessageBoxHook([this](const MessageBoxRequest& r) {
    boxes.push_back(r);
    return answerYes;
  });
  SetFileDialogHook([this](const FileDialogRequest& r) {
    fileRequests.push_back(r);
    if (fileAnswers.empty()) return FileDialogAnswer{};
    FileDialogAnswer a = fileAnswers.front();
    fileAnswers.pop_front();
    return a;
  });
  ASSERT_TRUE(dir_.isValid());
  ws->files.StartDir = dir_.path().toStdString();
  UseDevice("KVX-01");
}

void EditorsTest::TearDown() {
  windows = nullptr;
  commands.reset();
  area.reset();
  SetMessageBoxHook({});
  SetFileDialogHook({});
}

void EditorsTest::UseDevice(const char* name) {
  ws->device.SelectedDevice = name;
  windows->Flags().Follow(ResetData(*ws, windows->Views()));
  windows->FormShow();
  windows->RebuildBufferWindows();
  panelRedraws = 0;
}

void EditorsTest::AnswerFile(const QString& path, int filterIndex) {
  fileAnswers.push_back({true, path, filterIndex});
}

void EditorsTest::CancelFile() { fileAnswers.push_back({}); }

std::vector<std::string> EditorsTest::TakeMessages() {
  std::vector<std::string> texts;
  for (const MessageBoxRequest& r : boxes) texts.push_back(r.text.toStdString());
  boxes.clear();
  return texts;
}

void EditorsTest::WaitGone(QPointer<QObject> dialog) {
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }, 2000));
}

}  // namespace kvx::gui
