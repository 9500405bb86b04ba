// The dialogs that are not progress dialogs: the device download with its 16-device limit, the
// About box's Writer line; and the main window closed while a worker runs.
#include <QAction>
#include <QListWidget>
#include <QProgressBar>
#include <QTest>
#include <chrono>
#include <thread>

#include "app_test_support.h"
#include "gui/app/about_box.h"
#include "gui/app/download_dialog.h"
#include "sim/sim_writer.h"

namespace kvx::gui::test {
namespace {

class Dialogs : public MainWindowTest {};

TEST_F(Dialogs, DeviceDownloadKeepsSixteenAndSendsTheirRecords) {
  Start();
  form().findChild<QAction*>("DownLoad1")->trigger();
  auto* dialog = form().findChild<DownloadDialog*>("DeviceForm");
  ASSERT_NE(dialog, nullptr);
  auto* list = dialog->findChild<QListWidget*>("CheckListBox1");
  ASSERT_EQ(list->count(), 50);
  for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(dialog->findChild<QLabel*>("StaticText1")->text(), "0");
  for (int i = 0; i < 17; ++i) list->item(i)->setCheckState(Qt::Checked);
  EXPECT_EQ(prompter_.messages, QStringList{"Already selected 16 devices"});
  EXPECT_EQ(list->item(16)->checkState(), Qt::Unchecked);
  EXPECT_EQ(dialog->findChild<QLabel*>("StaticText1")->text(), "16");
  dialog->findChild<QPushButton*>("DownLoad")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form().Busy(); }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->findChild<QPushButton*>("Exit")->isEnabled(); }));
  EXPECT_EQ(dialog->findChild<QProgressBar*>("CGauge1")->value(), 100);
  EXPECT_EQ(writer().DownloadRecords().size(), 17u);  // the opening record and sixteen devices
  EXPECT_EQ(ws().device.SelectedDevice, "KVX-01");  // the window's device is loaded again
  EXPECT_EQ(ws().device.DeviceName, "KVX-01");
  dialog->findChild<QPushButton*>("Exit")->click();
}

TEST_F(Dialogs, AboutBoxNamesTheWriterFromAFreshCheck) {
  Start();
  form().findChild<QAction*>("HelpAbout1")->trigger();  // the check runs off the GUI thread, the box follows its end
  ASSERT_TRUE(QTest::qWaitFor([&] { return form().findChild<AboutBox*>("AboutBox") != nullptr; }));
  QPointer<AboutBox> box = form().findChild<AboutBox*>("AboutBox");
  EXPECT_EQ(box->findChild<QLabel*>("Version")->text(), "Version : V2.63");
  EXPECT_EQ(box->findChild<QLabel*>("WriterVersion")->text().trimmed(), "ZQR640B V3.10");
  box->accept();
  // Without a Writer the line says so.
  writer().Faults().SilentAfter = 0;
  form().findChild<QAction*>("HelpAbout1")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !box && form().findChildren<AboutBox*>().size() == 1; }));
  box = form().findChildren<AboutBox*>().last();
  EXPECT_EQ(box->findChild<QLabel*>("WriterVersion")->text(), "Unknown");
}

TEST_F(Dialogs, ClosingTheWindowDuringTheAboutBoxCheckStopsTheCheck) {
  FrozenClock frozen;
  Start(/*simulatedTime=*/true, &frozen);
  writer().Faults().SilentAfter = 0;
  form().findChild<QAction*>("HelpAbout1")->trigger();
  ASSERT_TRUE(form().Busy());
  form().close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form().isVisible(); }, 5000));
  EXPECT_FALSE(form().Busy());
  EXPECT_EQ(form().findChild<AboutBox*>("AboutBox"), nullptr);
}

TEST_F(Dialogs, ClosingTheWindowDuringAnOperationStopsItAndSavesDefaultCfg) {
  Start(/*simulatedTime=*/false);
  SelectDevice("KVX-19");
  writer().Faults().SilentAfter = 15;  // the Writer falls silent during the read
  form().findChild<QAction*>("ReadICAction")->trigger();
  ASSERT_NE(Dialog(), nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return writer().BytesReceived() >= 15; }, 10000));
  form().close();  // File > Exit, the close box or a signal
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form().isVisible(); }, 2000));
  EXPECT_FALSE(form().Busy());
  EXPECT_TRUE(QFile::exists(dir_.filePath("Default.cfg")));
}

TEST_F(Dialogs, TheDownloadWaitsOnItsMessageUntilAnsweredOrTheWindowCloses) {
  for (bool answer : {true, false}) {
    SCOPED_TRACE(answer);
    prompter_.hold = false;
    Start();
    writer().Faults().SilentAfter = 0;  // the Writer does not answer: the download says so
    form().findChild<QAction*>("DownLoad1")->trigger();
    auto* dialog = form().findChild<DownloadDialog*>("DeviceForm");
    ASSERT_NE(dialog, nullptr);
    prompter_.hold = true;
    prompter_.messages.clear();
    dialog->findChild<QPushButton*>("DownLoad")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return prompter_.held.size() == 1; }, 10000));
    EXPECT_EQ(prompter_.messages, QStringList{"Connect Timeout!!"});
    QTest::qWait(20);
    EXPECT_TRUE(form().Busy()) << "the worker returned before the operator answered";
    if (answer) {
      prompter_.held.front()();
      ASSERT_TRUE(QTest::qWaitFor([&] { return !form().Busy(); }, 5000));
      EXPECT_TRUE(dialog->findChild<QPushButton*>("Exit")->isEnabled());
    } else {
      form().close();
      ASSERT_TRUE(QTest::qWaitFor([&] { return !form().isVisible(); }, 5000));
      EXPECT_FALSE(form().Busy());
    }
    prompter_.held.clear();
  }
}

}  // namespace
}  // namespace kvx::gui::test
