#include "app_test_support.h"

#include <QComboBox>
#include <QTest>
#include <cstring>

#include "core/device/status_panel.h"

namespace kvx::gui::test {

MainWindow& MainWindowTest::Start(bool simulatedTime, Clock* linkClock) {
  MainWindowOptions options;
  if (simulatedTime) {
    options.clock = &clock_;
    options.simClock = &clock_;
  }
  if (linkClock != nullptr) options.clock = linkClock;
  // The devices the port chooser lists come from a folder of the test's, empty unless it puts some.
  devRoot_ = (dir_.path() + "/dev").toStdString();
  options.env = [this](const char* name) -> const char* {
    if (std::strcmp(name, "KVXW_DEV_ROOT") == 0) return devRoot_.c_str();
    if (const auto set = env_.find(name); set != env_.end()) return set->second.c_str();
    return std::strcmp(name, "KVXW_COM1") == 0 ? "sim" : nullptr;
  };
  options.startDir = dir_.path();
  options.prompter = &prompter_;
  form_ = std::make_unique<MainWindow>(options);
  form_->resize(1280, 800);
  form_->show();
  // The start-up connection check runs off the GUI thread; the tests begin after its end.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form_->Busy(); }));
  return *form_;
}

sim::SimWriter& MainWindowTest::writer() {
  sim::SimWriter* w = form_->simBench().Writer();
  EXPECT_NE(w, nullptr);
  return *w;
}

ProgressDialog* MainWindowTest::Dialog() const {
  for (ProgressDialog* d : form_->findChildren<ProgressDialog*>())
    if (d->isVisible()) return d;
  return nullptr;
}

bool MainWindowTest::WaitForButton(const char* name) {
  return QTest::qWaitFor([&] {
    ProgressDialog* d = Dialog();
    // The worker enables its buttons before its end reaches the window; a "Continue" that came
    // between the two would find the last pass still running.
    return d != nullptr && d->Button(name) != nullptr && d->Button(name)->isEnabled() && !form_->Busy();
  }, 10000);
}

bool MainWindowTest::CloseWith(const char* name) {
  ProgressDialog* d = Dialog();
  if (d == nullptr) return false;
  QPointer<ProgressDialog> gone(d);
  d->Button(name)->click();
  return QTest::qWaitFor([&] { return gone.isNull() || !gone->isVisible(); }, 5000) &&
         QTest::qWaitFor([&] { return !form_->Busy(); }, 5000);
}

void MainWindowTest::LoadSerialProgram(int first) {
  for (int i = 0; i < 64; ++i) {
    const StoredWord w = SplitWord(i == 0x20 || i == 0x21 ? 0x3100 : 0x0A00 + i);
    ws().image.ProgramBuffer[2 * i] = w.first;
    ws().image.ProgramBuffer[2 * i + 1] = w.second;
  }
  for (int high = 0; high < 0x80 && RefreshData(ws()).optionStatus != 0; ++high)
    for (int low = 0; low < 0x80 && RefreshData(ws()).optionStatus != 0; ++low) {
      ws().image.OptionLow = static_cast<std::uint8_t>(low);
      ws().image.OptionHigh = static_cast<std::uint8_t>(high);
    }
  ws().production.SerialNoMode = true;
  ws().production.SerialStartAddress = 0x20;
  ws().production.SerialByteCount = 2;
  ws().production.SerialValue = {first, 0, 0, 0, 0, 0, 0, 0};
}

void MainWindowTest::SelectDevice(const char* name) {
  form_->statusPanel()->findChild<QComboBox*>("ComboBox2")->setCurrentText(name);
  ASSERT_EQ(ws().device.SelectedDevice, name);
}

bool IsRed(const QLabel* label) { return label->palette().color(QPalette::WindowText) == QColor(255, 0, 0); }

}  // namespace kvx::gui::test
