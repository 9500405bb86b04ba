// The main window as the operator finds it: caption, commands, selectors, the status panel after
// a device change, the hidden engineering controls, the counter dialog.
#include <QAction>
#include <QToolBar>
#include <QDir>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <thread>

#include "app_test_support.h"
#include "gui/app/counter_dialog.h"
#include "gui/app/port_controls.h"
#include "gui/app/status_panel.h"

namespace kvx::gui::test {
namespace {

class MainWindow : public MainWindowTest {};

TEST_F(MainWindow, StartsOnTheSimulatedWriterOnCom1WithoutAMessage) {
  gui::MainWindow& f = Start();
  EXPECT_EQ(f.windowTitle(), "KVX Writer  V2.63");
  EXPECT_TRUE(prompter_.messages.isEmpty()) << prompter_.messages.join("|").toStdString();
  EXPECT_EQ(f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("ComboBox1")->currentText(), "Com1");
  EXPECT_EQ(f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("ComboBox1")->count(), 8);
  EXPECT_EQ(f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("HandShake")->currentText(), "CTS");
  EXPECT_EQ(f.statusPanel()->findChild<QComboBox*>("ComboBox2")->currentText(), "KVX-01");
  EXPECT_EQ(f.statusPanel()->findChild<QComboBox*>("ComboBox2")->count(), 50);
  EXPECT_FALSE(ws().results.PortError);
  EXPECT_EQ(f.findChild<QTimer*>("Timer1")->interval(), 500);
  EXPECT_TRUE(f.findChild<QTimer*>("Timer1")->isActive());
  EXPECT_NE(f.findChild<QMdiArea*>("MdiArea"), nullptr);
  EXPECT_EQ(f.findChild<StatusPanel*>()->width(), 200);
}

// A Writer on a USB serial adapter: it appears in the port chooser when plugged in, by its stable
// name; once chosen it stays listed while it is away, and the next start chooses it again.
TEST_F(MainWindow, PortChooserFollowsPluggingAndRemembersAUsbWriter) {
  const QString dev = dir_.path() + "/dev";
  ASSERT_TRUE(QDir().mkpath(dev));
  gui::MainWindow& f = Start();
  ASSERT_EQ(f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("ComboBox1")->count(), 8);
  const QString byId = dev + "/serial/by-id/usb-KVX_Writer_0042-if00";
  ASSERT_TRUE(QDir().mkpath(dev + "/serial/by-id"));
  ASSERT_TRUE(QFile::link("../../ttyUSB0", byId));
  QFile(dev + "/ttyUSB0").open(QIODevice::WriteOnly);  // plugged in
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("ComboBox1")->findText(byId) == 8; }));
  EXPECT_EQ(f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("ComboBox1")->currentText(), "Com1");

  f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("ComboBox1")->setCurrentText(byId);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Busy(); }));
  EXPECT_EQ(ws().settings.PortName, byId.toStdString());
  QFile::remove(byId);
  QFile::remove(dev + "/ttyUSB0");  // unplugged: the choice stays, the list keeps it
  QTest::qWait(50);
  EXPECT_EQ(f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("ComboBox1")->currentText(), byId);

  f.close();
  form_.reset();
  gui::MainWindow& again = Start();
  EXPECT_EQ(again.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("ComboBox1")->currentText(), byId);
  EXPECT_EQ(again.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("ComboBox1")->count(), 9);
  EXPECT_EQ(ws().settings.PortName, byId.toStdString());
}

// A USB adapter's first plugging makes /dev/serial, and /dev/serial/by-id a moment later: the
// chooser watches each folder as it appears and lists the device by its by-id name.
TEST_F(MainWindow, PortChooserSeesTheByIdFolderThatAppearsAfterItsParent) {
  const QString dev = dir_.path() + "/dev";
  ASSERT_TRUE(QDir().mkpath(dev));
  gui::MainWindow& f = Start();
  auto* ports = f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("ComboBox1");
  auto* watcher = f.port().findChild<QFileSystemWatcher*>();
  ASSERT_NE(watcher, nullptr);
  ASSERT_TRUE(QDir().mkpath(dev + "/serial"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return watcher->directories().contains(dev + "/serial"); }, 5000));
  const QString byId = dev + "/serial/by-id/usb-KVX_Writer_0077-if00";
  ASSERT_TRUE(QDir().mkpath(dev + "/serial/by-id"));
  QFile(dev + "/ttyUSB77").open(QIODevice::WriteOnly);
  ASSERT_TRUE(QFile::link("../../ttyUSB77", byId));
  ASSERT_TRUE(QTest::qWaitFor([&] { return ports->findText(byId) >= 0; }, 5000));
  EXPECT_LT(ports->findText(dev + "/ttyUSB77"), 0) << "one device, one name";
}

TEST_F(MainWindow, EveryCommandHasItsShortcutHintAndButton) {
  gui::MainWindow& f = Start();
  const struct {
    const char* action;
    QKeySequence shortcut;
    const char* hint;
    const char* button;  // the toolbar button's objectName, or null
  } cases[] = {
      {"LoadConfig1", Qt::CTRL | Qt::Key_L, "Load Config File", "ToolButton2"},
      {"FileSaveItem", Qt::CTRL | Qt::Key_S, "Save ConFig File", "ToolButton3"},
      {"SaveProgramMemory1", {}, "Save Program Memory", "ToolButton4"},
      {"EditOPTION", Qt::Key_F4, "", nullptr},
      {"FillBuffer1", Qt::CTRL | Qt::Key_F, "", nullptr},
      {"BlankCheckAction", Qt::Key_F5, "Blank Check", "ToolButton6"},
      {"ReadICAction", Qt::Key_F6, "Read", "ToolButton7"},
      {"VerifyICAction", Qt::Key_F7, "Verify", "ToolButton17"},
      {"VerifywithProtect1", {}, "Verify with protect", "ToolButton18"},
      {"AutoProgramAction", Qt::Key_F8, "Auto program", "ToolButton5"},
      {"AutoProgramNoBlankCheckAction", Qt::Key_F9, "Auto program without blank check", "ToolButton12"},
      {"ProductionAction", Qt::CTRL | Qt::Key_P, "Production: several Writers at once", "ProductionButton"},
      {"ProgramOption", {}, "Program OPTION", "ToolButton19"},
      {"ID3", {}, "Program ID & Checksum", "ToolButton20"},
      {"ProgramMemory2", {}, "Program Memory", "ToolButton21"},
      {"EraseAction", {}, "Erase Flash memory", "Erase"},
      {"WriteEEAction", {}, "Write EEPROM", "WriteEE"},
      {"ForceWriteAction", {}, "Force Write", "ForceWrite"},
  };
  for (const auto& c : cases) {
    auto* action = f.findChild<QAction*>(c.action);
    ASSERT_NE(action, nullptr) << c.action;
    EXPECT_EQ(action->shortcut(), c.shortcut) << c.action;
    if (*c.hint != '\0') {
      EXPECT_EQ(action->toolTip(), c.hint) << c.action;
      EXPECT_EQ(action->statusTip(), c.hint) << c.action;
    }
    if (c.button != nullptr) {
      auto* button = f.findChild<QToolButton*>(c.button);
      ASSERT_NE(button, nullptr) << c.button;
      EXPECT_EQ(button->defaultAction(), action) << c.button;
      EXPECT_EQ(button->accessibleName(), c.hint) << c.button;
    }
  }
  // The buffer views and editors are built in: their commands are live.
  for (QAction* a : {f.findChild<QAction*>("FileOpen1"), f.findChild<QAction*>("EditOPTION"), f.findChild<QAction*>("FillBuffer1"), f.findChild<QAction*>("ProgramMemory1"), f.findChild<QAction*>("SerialNoMode1")})
    EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
  EXPECT_TRUE(f.findChild<QAction*>("CounterMode1")->isEnabled());
  EXPECT_TRUE(f.findChild<QAction*>("DownLoad1")->isEnabled());
}

TEST_F(MainWindow, DeviceChangeResetsTheWorkspaceAndRedrawsThePanel) {
  Start();
  const struct {
    const char* device;
    bool flash;
    const char* ostCaption;  // StaticText3
    bool oscGreyed, prdGreyed, securityGreyed;
    bool adaptor;
  } cases[] = {
      {"KVX-03", false, "OST:", false, true, false, false},
      {"KVX-01", true, "PUT:", false, true, false, false},
      // Only the security line; a greyed line keeps the caption the last device gave it.
      {"KVX-09", false, "PUT:", true, true, false, false},
      {"KVX-17", false, "PUT:", false, false, false, false},
      {"KVX-43", false, "PUT:", false, true, false, true},
  };
  for (const auto& c : cases) {
    prompter_.messages.clear();
    ws().image.OptionLow = 0x12;
    SelectDevice(c.device);
    SCOPED_TRACE(c.device);
    EXPECT_EQ(ws().image.OptionLow & ws().device.OptionLowMask, ws().device.OptionLowMask);  // blank again
    EXPECT_EQ(Text("StaticText3"), c.ostCaption);
    EXPECT_EQ(Find("StaticText2")->isEnabled(), !c.oscGreyed);
    EXPECT_EQ(Find("Label5")->isEnabled(), !c.oscGreyed);
    EXPECT_EQ(Find("StaticText7")->isEnabled(), !c.prdGreyed);
    EXPECT_EQ(Find("Label9")->isEnabled(), !c.securityGreyed);
    EXPECT_EQ(form().findChild<QAction*>("EraseAction")->isEnabled(), c.flash);
    EXPECT_EQ(form().findChild<QAction*>("WriteEEAction")->isEnabled(), c.flash);
    EXPECT_EQ(prompter_.messages, c.adaptor ? QStringList{"Please add the adaptor"} : QStringList{});
    // The simulated socket holds a chip of the chosen device.
    EXPECT_EQ(writer().DeviceIndex(), ws().device.DeviceIndex);
  }
  // KVX-03's blank OPTION word, as the panel decodes it.
  SelectDevice("KVX-03");
  for (const char* label : {"Label5", "Label6", "Label7", "Label8"}) EXPECT_EQ(Text(label), "Blank") << label;
  EXPECT_EQ(Text("Label9"), "Disable");
  EXPECT_EQ(ws().results.OptionStatus, 1);
}

TEST_F(MainWindow, PortChangeChecksTheWriterAndAFailedPortStopsDeviceCommands) {
  gui::MainWindow& f = Start();
  f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("HandShake")->setCurrentText("None");  // re-checks exactly as a port change does
  ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Busy(); }));
  EXPECT_EQ(prompter_.messages, QStringList{"Connect OK!"});
  prompter_.messages.clear();
  f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("ComboBox1")->setCurrentText("Com8");  // not mapped: a serial device this machine lacks
  ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Busy(); }));
  ASSERT_TRUE(ws().results.PortError);
  ASSERT_EQ(prompter_.messages.size(), 1);
  EXPECT_TRUE(prompter_.messages[0].startsWith("Open  COM8 Port Error!!"));
  prompter_.messages.clear();
  f.findChild<QAction*>("BlankCheckAction")->trigger();  // one more try, then nothing
  EXPECT_EQ(Dialog(), nullptr);
  ASSERT_EQ(prompter_.messages.size(), 1);
  EXPECT_TRUE(prompter_.messages[0].startsWith("Open  COM8 Port Error!!"));
}

// The link's time, held on any other thread until the GUI thread opens the gate: a check that
// froze the window could not end before the window ran again.
class GatedClock final : public Clock {
 public:
  explicit GatedClock(FakeClock& time) : time_(time) {}
  TimePoint Now() override {
    Gate();
    return time_.Now();
  }
  void SleepFor(Millis d) override {
    Gate();
    time_.SleepFor(d);
  }
  std::atomic<bool> open{true};

 private:
  void Gate() {
    if (std::this_thread::get_id() == gui_) return;
    // A safety net for a failing test only; the gate is normally opened at once.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!open && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
  }
  FakeClock& time_;
  const std::thread::id gui_ = std::this_thread::get_id();
};

TEST_F(MainWindow, PortCheckWithASilentWriterLeavesTheWindowFreeAndTimesOutAtItsEnd) {
  GatedClock gated(clock_);
  gui::MainWindow& f = Start(/*simulatedTime=*/true, &gated);  // the start-up check runs through
  gated.open = false;
  prompter_.messages.clear();
  writer().Faults().SilentAfter = 0;
  bool ticked = false;
  QTimer::singleShot(0, &f, [&] {
    // The check still runs: nothing shown yet, and device commands wait for its end.
    ticked = true;
    EXPECT_TRUE(f.Busy());
    EXPECT_TRUE(prompter_.messages.isEmpty());
    f.findChild<QAction*>("BlankCheckAction")->trigger();
    EXPECT_EQ(Dialog(), nullptr);
    gated.open = true;
  });
  f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("HandShake")->setCurrentText("None");
  EXPECT_TRUE(prompter_.messages.isEmpty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Busy(); }));
  EXPECT_TRUE(ticked);
  EXPECT_EQ(prompter_.messages, QStringList{"Connect COM1 Timeout!!"});  // the silent Writer's message
  // Closing the window during a check stops it; the window goes once the check has returned.
  prompter_.messages.clear();
  gated.open = false;
  f.findChild<QToolBar*>("ToolBar2")->findChild<QComboBox*>("HandShake")->setCurrentText("CTS");
  f.close();
  EXPECT_TRUE(f.isVisible());
  gated.open = true;
  ASSERT_TRUE(QTest::qWaitFor([&] { return !f.isVisible(); }));
  EXPECT_FALSE(f.Busy());
  EXPECT_TRUE(prompter_.messages.isEmpty());
}

TEST_F(MainWindow, SerialPortLabelRevealsTheEngineeringControls) {
  gui::MainWindow& f = Start();
  EXPECT_FALSE(f.findChild<QAction*>("ForceWriteAction")->isVisible());
  EXPECT_FALSE(f.findChild<QToolBar*>("ToolBar2")->findChild<QWidget*>("Panel2")->isVisible());
  QTest::mouseDClick(f.findChild<QToolBar*>("ToolBar2")->findChild<QLabel*>("Label3"), Qt::LeftButton);
  EXPECT_TRUE(f.findChild<QAction*>("ForceWriteAction")->isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.findChild<QToolBar*>("ToolBar2")->findChild<QWidget*>("Panel2")->isVisible(); }));  // the toolbar lays out
  // QTP Sim only toggles in serial-number mode; Flash Pgm Test at any time.
  f.findChild<QToolBar*>("ToolBar2")->findChild<QPushButton*>("QtpSim")->click();
  EXPECT_FALSE(ws().production.QtpSimulate);
  EXPECT_EQ(f.findChild<QToolBar*>("ToolBar2")->findChild<QPushButton*>("QtpSim")->text(), "Enable");
  ws().production.SerialNoMode = true;
  f.findChild<QToolBar*>("ToolBar2")->findChild<QPushButton*>("QtpSim")->click();
  EXPECT_TRUE(ws().production.QtpSimulate);
  EXPECT_EQ(f.findChild<QToolBar*>("ToolBar2")->findChild<QPushButton*>("QtpSim")->text(), "Disable");
  f.findChild<QToolBar*>("ToolBar2")->findChild<QPushButton*>("FlashPgmTest")->click();
  EXPECT_TRUE(ws().production.FlashPgmTestOn);
  EXPECT_EQ(f.findChild<QToolBar*>("ToolBar2")->findChild<QPushButton*>("FlashPgmTest")->text(), "Disable");
  QTest::mouseDClick(f.findChild<QToolBar*>("ToolBar2")->findChild<QLabel*>("Label3"), Qt::LeftButton);
  EXPECT_FALSE(f.findChild<QAction*>("ForceWriteAction")->isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !f.findChild<QToolBar*>("ToolBar2")->findChild<QWidget*>("Panel2")->isVisible(); }));
}

// Tile Horizontally stacks the windows one above the other; Tile Vertically sets them side by
// side.
TEST_F(MainWindow, TileHorizontallyStacksAndTileVerticallySetsSideBySide) {
  gui::MainWindow& f = Start();
  const QList<QMdiSubWindow*> windows = f.mdiArea()->subWindowList(QMdiArea::CreationOrder);
  ASSERT_EQ(windows.size(), 2);  // the ID window and the program view
  f.findChild<QAction*>("WindowTileHorizontal1")->trigger();
  EXPECT_EQ(windows[0]->x(), 0);
  EXPECT_EQ(windows[1]->x(), 0);
  EXPECT_GE(windows[1]->y(), windows[0]->geometry().bottom());
  f.findChild<QAction*>("WindowTileVertical1")->trigger();
  EXPECT_EQ(windows[0]->y(), 0);
  EXPECT_EQ(windows[1]->y(), 0);
  EXPECT_GE(windows[1]->x(), windows[0]->geometry().right());
}

TEST_F(MainWindow, CounterDialogTakesDigitsOnlyAndSetsThePassCount) {
  Start();
  QTest::mouseDClick(Find("Label13"), Qt::LeftButton);
  auto* dialog = form().findChild<CounterDialog*>("CounterSetupForm");
  ASSERT_NE(dialog, nullptr);
  auto* edit = dialog->findChild<QLineEdit*>("Edit1");
  EXPECT_EQ(edit->text(), "0");
  edit->setFocus();
  edit->end(false);
  QTest::keyClicks(edit, "4a-x");
  QTest::keyClick(edit, Qt::Key_1, Qt::KeypadModifier);
  EXPECT_EQ(edit->text(), "041");
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, "99999999999");
  EXPECT_EQ(edit->text(), "049999999");  // nine characters at most
  dialog->findChild<QPushButton*>("BitBtn1")->click();
  EXPECT_EQ(ws().production.PassCount, 49999999);
  EXPECT_EQ(Text("Label13"), "49999999");  // a number: no leading zero
  // Edit > Set Counter Value opens the same dialog over the count now set.
  form().findChild<QAction*>("CounterMode1")->trigger();
  dialog = nullptr;  // the one that is up: the accepted one may not be deleted yet
  for (auto* d : form().findChildren<CounterDialog*>("CounterSetupForm"))
    if (d->isVisible()) dialog = d;
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->findChild<QLineEdit*>("Edit1")->text(), "49999999");
}

TEST_F(MainWindow, ADefaultCfgThatCannotBeWrittenIsToldTheOperatorOrOnAsignalTheExitStatus) {
  for (bool bySignal : {false, true}) {
    SCOPED_TRACE(bySignal);
    Start();
    QDir(dir_.path()).mkpath("Default.cfg");  // nothing can be written over a folder
    prompter_.messages.clear();
    if (bySignal)
      form().CloseBySignal();
    else
      form().close();
    EXPECT_FALSE(form().isVisible());
    EXPECT_EQ(form().ExitStatus(), 1);
    // A close a signal asked for never waits for a click: its failure is not a box.
    EXPECT_EQ(prompter_.messages.filter("can't be written").size(), bySignal ? 0 : 1);
    QDir(dir_.filePath("Default.cfg")).removeRecursively();
  }
}

}  // namespace
}  // namespace kvx::gui::test
