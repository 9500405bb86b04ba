// The production window drives several simulated Writers at once from the loaded workspace: each
// tile keeps its own pace and shows its own outcome, and every chip is in the one journal with a
// number of its own.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QPointer>
#include <QWindow>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>
#include <set>

#include "app_test_support.h"
#include "core/device/status_panel.h"
#include "core/production/journal.h"
#include "core/files/station_settings.h"
#include "core/production/journal_settings.h"
#include "gui/app/production_window.h"
#include "core/device/catalogue.h"
#include "gui/app/port_controls.h"
#include "sim/pty_server.h"
#include "sim/sim_writer.h"

namespace kvx::gui::test {
namespace {

class ProductionWindowTest : public MainWindowTest {
 public:
  // KVX-03 with a valid program and OPTION word, two-byte serial numbers from 0001 at 0x20.
  void LoadProgram() {
    SelectDevice("KVX-03");
    LoadSerialProgram(1);
  }
  // Every tile's port leads to a simulated Writer of its own, but Com2 with `com2` set.
  std::unique_ptr<ProductionWindow> Open(int writers, const char* com2 = "sim") {
    ProductionOptions options;
    options.journalPath = JournalPath();
    options.env = [com2](const char* name) -> const char* {
      if (std::strcmp(name, "KVXW_COM2") == 0) return com2;
      return std::strncmp(name, "KVXW_COM", 8) == 0 ? "sim" : nullptr;
    };
    options.writers = writers;
    options.start = start_;
    options.settingsPath = QDir(dir_.path()).filePath(kSettingsFileName).toStdString();
    auto window = std::make_unique<ProductionWindow>(ws(), options, prompter_);
    window->show();
    return window;
  }
  // As Open, going on from the next free number when the series' first went out already.
  std::unique_ptr<ProductionWindow> OpenGoingOn(int writers) {
    prompter_.yesNo = {true};
    auto window = Open(writers);
    prompter_.yesNo.clear();
    return window;
  }
  std::optional<RunStart> start_;  // a start decided already, as the main window hands it
  std::string JournalPath() const {
    return QDir(dir_.path()).filePath(kJournalFileName).toStdString();
  }
  // The journal's rows by their outcome's word ("ok", "pending", "stopped").
  std::multiset<std::string> JournalRows() const {
    Journal journal;
    std::string error;
    std::multiset<std::string> rows;
    if (!journal.OpenToRead(JournalPath(), error)) return rows;
    for (const PassRecord& r : journal.Passes({}, error)) rows.insert(std::string(OutcomeText(r.outcome)));
    return rows;
  }
  static std::vector<PassRecord> JournalRowsOf(const std::string& path) {
    Journal journal;
    std::string error;
    return journal.OpenToRead(path, error) ? journal.Passes({}, error) : std::vector<PassRecord>{};
  }
  static QString Shown(ProductionTile& tile, const char* label) {
    return tile.findChild<QLabel*>(label)->text();
  }
};

// Four Writers: one goes silent in the middle of its pass and one has an empty socket; the
// other two finish, and every tile shows its own outcome.
TEST_F(ProductionWindowTest, FourWritersEachShowTheirOwnOutcome) {
  Start();
  LoadProgram();
  auto window = Open(4);
  ASSERT_TRUE(window->Ready()) << prompter_.messages.join("|").toStdString();
  ASSERT_EQ(window->Tiles(), 4);
  sim::SimWriter* silent = window->Tile(2).SimWriter();
  sim::SimWriter* empty = window->Tile(3).SimWriter();
  ASSERT_NE(silent, nullptr);
  ASSERT_NE(empty, nullptr);
  // No fresh chip is asked for: a tile's `sim` socket gets one after each chip by itself.
  silent->Faults().SilentAfter = silent->BytesReceived() + 200;
  empty->InsertChip(sim::ChipContent::Empty);
  // A scanned lot (the scanner's Enter starts nothing) and the operator's name.
  QTest::keyClicks(window->findChild<QLineEdit*>("LotField"), "L-42\r");
  window->findChild<QLineEdit*>("OperatorField")->setText("Ann");
  EXPECT_FALSE(window->AnyRunning());

  window->StartAll();
  EXPECT_TRUE(window->AnyRunning());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 20000));

  std::set<QString> serials;
  for (int t = 0; t < 2; ++t) {
    SCOPED_TRACE(t);
    ProductionTile& tile = window->Tile(t);
    EXPECT_EQ(Shown(tile, "TileResult"), "OK");
    EXPECT_EQ(Shown(tile, "TileCounts"), "OK: 1   Failed: 0");
    EXPECT_EQ(tile.findChild<QProgressBar*>("TileProgress")->value(), 100);
    EXPECT_TRUE(Shown(tile, "TileRedLine").isEmpty());
    EXPECT_TRUE(Shown(tile, "TileWriterId").contains("V3.10")) << Shown(tile, "TileWriterId").toStdString();
    serials.insert(Shown(tile, "TileSerial"));
  }
  // Two numbers of their own; which ones depends on which tile reserved first.
  EXPECT_EQ(serials.size(), 2u);
  EXPECT_EQ(Shown(window->Tile(2), "TileResult"), "LINK FAILED");
  EXPECT_EQ(Shown(window->Tile(2), "TileAction"), "Check the cable and the port");
  EXPECT_FALSE(Shown(window->Tile(2), "TileRedLine").isEmpty());
  // An empty socket is the operator's to fill, not a failed chip nor a link to check.
  EXPECT_EQ(Shown(window->Tile(3), "TileResult").toStdString(), "NO CHIP");
  EXPECT_EQ(Shown(window->Tile(3), "TileCounts").toStdString(), "OK: 0   Failed: 0");
  EXPECT_EQ(window->Tile(3).findChild<QLabel*>("TileResult")->palette().color(QPalette::Window),
            QColor(0xC8, 0x7A, 0x00));
  // Its chip failed before its number went out: the number was given back, none is shown.
  EXPECT_EQ(Shown(window->Tile(3), "TileSerial").toStdString(), "Serial: -");
  EXPECT_EQ(Shown(window->Tile(3), "TileRedLine").toStdString(), "Nothing in socket or type error!!");
  EXPECT_EQ(Shown(window->Tile(3), "TileAction").toStdString(), "Insert a chip: the socket is empty");

  // The journal has every chip, with numbers of their own; the loaded workspace is untouched.
  Journal journal;
  std::string error;
  ASSERT_TRUE(journal.OpenToRead(QDir(dir_.path()).filePath(kJournalFileName).toStdString(), error));
  std::set<std::string> okNumbers;
  long rows = 0;
  std::multiset<std::string> outcomes;
  for (const PassRecord& r : journal.Passes({}, error)) {
    ++rows;
    outcomes.insert(std::string(OutcomeText(r.outcome)));
    EXPECT_EQ(r.lot + " " + r.operatorName, "L-42 Ann");
    if (r.outcome == PassOutcome::Ok) {
      EXPECT_TRUE(okNumbers.insert(r.serial).second) << r.serial;
    }
  }
  EXPECT_EQ(rows, 4);
  EXPECT_EQ(outcomes, (std::multiset<std::string>{"ok", "ok", "link failed", "no chip"}));
  std::set<QString> journaled;
  for (const std::string& n : okNumbers) journaled.insert("Serial: " + QString::fromStdString(n));
  EXPECT_EQ(journaled, serials) << "each tile shows the number its chip got";
  EXPECT_EQ(ws().production.SerialValue[0], 1);

  // A second chip on a tile that went through takes the next free number.
  ASSERT_TRUE(window->Tile(0).Start());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Tile(0).Running(); }, 10000));
  EXPECT_EQ(Shown(window->Tile(0), "TileCounts").toStdString(), "OK: 2   Failed: 0");
  EXPECT_FALSE(okNumbers.count(Shown(window->Tile(0), "TileSerial").mid(8).toStdString()));

  // The window's totals and its list of the last chips, the newest on top.
  EXPECT_TRUE(window->findChild<QLabel*>("WindowTotals")->text().startsWith(
      "OK: 3   Failed: 1   Yield: 75.0 %   Chips/h: "))
      << window->findChild<QLabel*>("WindowTotals")->text().toStdString();
  auto* results = window->findChild<QTableWidget*>("ResultsList");
  ASSERT_EQ(results->rowCount(), 5);
  EXPECT_EQ(results->item(0, 1)->text(), "1");
  EXPECT_EQ("Serial: " + results->item(0, 2)->text(), Shown(window->Tile(0), "TileSerial"));
  EXPECT_EQ(results->item(0, 3)->text(), "OK");
}

// Closing the window during a pass stops it, however the operator closes it: the window goes
// once the pass has ended, its row journaled as stopped, without the GUI thread ever waiting for
// the Writer.
// A start the journal could not decide is refused in the words the main window uses: the
// journal's message and "no chip was programmed", and the window takes no chip.
TEST_F(ProductionWindowTest, AnUnreadableJournalIsRefusedInTheMainWindowsWords) {
  Start();
  LoadProgram();
  start_ = RunStart{};
  start_->verdict = RunStart::Verdict::JournalUnreadable;
  start_->error = "the journal kvx-journal.db cannot be read: disk I/O error";
  auto window = Open(2);
  EXPECT_FALSE(window->Ready());
  ASSERT_EQ(prompter_.messages.size(), 1);
  EXPECT_EQ(prompter_.messages.first(),
            "The journal kvx-journal.db cannot be read: disk I/O error; no chip was programmed.");
  EXPECT_TRUE(JournalRows().empty());
}

TEST_F(ProductionWindowTest, ClosingDuringAPassStopsItAndClosesOnceItEnded) {
  const struct {
    const char* how;
    std::function<void(ProductionWindow&)> close;
  } cases[] = {
      {"close box", [](ProductionWindow& w) { w.close(); }},
      {"Escape", [](ProductionWindow& w) { QTest::keyClick(&w, Qt::Key_Escape); }},
      {"window manager", [](ProductionWindow& w) { w.windowHandle()->close(); }},
  };
  Start();
  LoadProgram();
  std::size_t stopped = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    auto window = OpenGoingOn(1);
    ASSERT_TRUE(window->Ready());
    window->Tile(0).SimWriter()->Faults().SilentAfter = 0;  // a Writer that never answers
    ASSERT_TRUE(window->Tile(0).Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return JournalRows().count("pending") == 1; }, 10000));
    c.close(*window);
    EXPECT_TRUE(window->isVisible()) << "still up while the pass winds down";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 10000));
    EXPECT_FALSE(window->AnyRunning());
    EXPECT_EQ(Shown(window->Tile(0), "TileResult"), "STOPPED");
    EXPECT_EQ(JournalRows().count("pending"), 0u);
    EXPECT_EQ(JournalRows().count("stopped"), ++stopped);
  }
}

// Eight Writers mid-start, a close from the window manager at any moment after "Start all":
// every pass is stopped and the window goes once they have ended.
TEST_F(ProductionWindowTest, AWindowCloseDuringAnEightTileStartAlwaysCloses) {
  Start();
  LoadProgram();
  for (int events : {0, 1, 2, 5, 10, 20, 40}) {
    SCOPED_TRACE(events);
    auto window = OpenGoingOn(8);
    ASSERT_TRUE(window->Ready());
    for (int t = 0; t < 8; ++t) window->Tile(t).SimWriter()->SetFreshChipEachPass(true);
    window->StartAll();
    for (int i = 0; i < events; ++i) QCoreApplication::processEvents();
    window->windowHandle()->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 20000))
        << "running: " << window->AnyRunning();
    EXPECT_FALSE(window->AnyRunning());
  }
}

// A Writer that is not there (its port does not open) turns its own tile red with the reason;
// the port is opened on the pass's thread, and the other tile's chip goes through.
TEST_F(ProductionWindowTest, ATileWhosePortDoesNotOpenTurnsRedAloneWithTheReason) {
  Start();
  LoadProgram();
  auto window = Open(2, "/nonexistent/ttyUSB7");
  ASSERT_TRUE(window->Ready());
  window->StartAll();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 20000));
  EXPECT_EQ(Shown(window->Tile(0), "TileResult"), "OK");
  ProductionTile& missing = window->Tile(1);
  EXPECT_EQ(Shown(missing, "TileResult"), "PORT ERROR");
  EXPECT_TRUE(Shown(missing, "TileRedLine").startsWith("Open  COM2 Port Error!!"))
      << Shown(missing, "TileRedLine").toStdString();
  EXPECT_EQ(Shown(missing, "TileCounts"), "OK: 0   Failed: 1");
  EXPECT_TRUE(missing.findChild<QPushButton*>("TileStart")->isEnabled()) << "it can be tried again";
}

// Real ports: a Writer behind a pseudo-terminal on Com1, the main window's own port. The tile on
// Com1 takes it (the main window lets go of it), and the main window has it back once the
// production window has closed.
TEST_F(ProductionWindowTest, ATileTakesTheMainWindowsPortAndItIsGivenBackAfter) {
  Workspace scratch;
  sim::SimWriter writer(GetICInfo(scratch, "KVX-03"));
  writer.SetFreshChipEachPass(true);
  sim::PtyServer server(writer);
  std::string error;
  const std::string link = QDir(dir_.path()).filePath("writer1").toStdString();
  ASSERT_TRUE(server.Start(link, error)) << error;
  env_["KVXW_COM1"] = link;
  Start(false);
  ASSERT_FALSE(ws().results.PortError) << prompter_.messages.join("|").toStdString();
  LoadProgram();
  form().findChild<QAction*>("ProductionAction")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form().findChild<ProductionWindow*>() != nullptr; }, 10000));
  QPointer<ProductionWindow> window = form().findChild<ProductionWindow*>();

  ProductionTile& tile = window->Tile(0);
  ASSERT_TRUE(tile.Start());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !tile.Running(); }, 20000));
  EXPECT_EQ(Shown(tile, "TileResult"), "OK") << Shown(tile, "TileRedLine").toStdString();
  EXPECT_FALSE(form().ports().Comm1().Enabled()) << "the main window let go of Com1";
  // A command of the main window's meanwhile is told, and the tile keeps its port.
  EXPECT_FALSE(form().port().PortReady());
  EXPECT_TRUE(prompter_.messages.join("|").contains("COM1 is in use by the production window"));

  window->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 10000));
  EXPECT_TRUE(form().ports().Comm1().Enabled()) << "Com1 is the main window's again";
  EXPECT_FALSE(ws().results.PortError);
}

// Results never reshape the window: it keeps its size and the tiles their width while long red
// lines and the Writers' identification arrive. A tile is framed, and a pass under way has a
// colour of its own, neither the green of a good chip nor the red of a failed one.
TEST_F(ProductionWindowTest, ResultsDoNotReshapeTheWindowAndTilesAreFramed) {
  Start();
  LoadProgram();
  auto window = Open(4);
  ASSERT_TRUE(window->Ready());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  for (int t = 0; t < 3; ++t) window->Tile(t).SimWriter()->SetFreshChipEachPass(true);
  window->Tile(3).SimWriter()->InsertChip(sim::ChipContent::Empty);
  const QSize size = window->size();
  std::vector<int> widths;
  for (int t = 0; t < 4; ++t) widths.push_back(window->Tile(t).width());

  window->StartAll();
  const QColor running =
      window->Tile(0).findChild<QLabel*>("TileResult")->palette().color(QPalette::Window);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 20000));
  QCoreApplication::processEvents();
  const QColor ok = window->Tile(0).findChild<QLabel*>("TileResult")->palette().color(QPalette::Window);
  const QColor failed = window->Tile(3).findChild<QLabel*>("TileResult")->palette().color(QPalette::Window);
  EXPECT_NE(running, ok);
  EXPECT_NE(running, failed);
  EXPECT_NE(running, window->palette().color(QPalette::Window));
  EXPECT_EQ(window->size(), size);
  for (int t = 0; t < 4; ++t) EXPECT_EQ(window->Tile(t).width(), widths[t]) << t;
  EXPECT_EQ(widths[0], widths[3]) << "equal columns";

  const QImage tile = window->Tile(0).grab().toImage();
  const QColor edge = tile.pixelColor(0, tile.height() / 2);
  EXPECT_LT(std::abs(edge.red() - 0xA0) + std::abs(edge.green() - 0xA0) + std::abs(edge.blue() - 0xA0), 48)
      << "the tile's border: " << edge.name().toStdString();
}

// Ctrl+1 .. Ctrl+8 start their own tile's chip and no other.
TEST_F(ProductionWindowTest, CtrlAndATilesNumberStartsThatTile) {
  Start();
  LoadProgram();
  auto window = Open(3);
  ASSERT_TRUE(window->Ready());
  for (int t = 0; t < 3; ++t) window->Tile(t).SimWriter()->Faults().SilentAfter = 0;
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTest::keyClick(window.get(), Qt::Key_2, Qt::ControlModifier);
  EXPECT_FALSE(window->Tile(0).Running());
  EXPECT_TRUE(window->Tile(1).Running());
  EXPECT_FALSE(window->Tile(2).Running());
  QTest::keyClick(window.get(), Qt::Key_8, Qt::ControlModifier);  // no eighth tile: nothing
  window->StopAll();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 10000));
}

// A second window on a series whose first number went out asks where to go on from, as a
// sentence with the time as the station's clock shows it (here three hours ahead of UTC).
TEST_F(ProductionWindowTest, TheResumeQuestionIsASentenceInLocalTime) {
  Start();
  LoadProgram();
  {
    auto window = Open(1);
    ASSERT_TRUE(window->Ready());
    window->Tile(0).SimWriter()->SetFreshChipEachPass(true);
    ASSERT_TRUE(window->Tile(0).Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 10000));
  }
  Journal journal;
  std::string error;
  ASSERT_TRUE(journal.OpenToRead(JournalPath(), error)) << error;
  const std::vector<PassRecord> rows = journal.Passes({}, error);
  ASSERT_EQ(rows.size(), 1u);
  const QDateTime started = QDateTime::fromString(Q(rows[0].started), Qt::ISODateWithMs);
  ASSERT_TRUE(started.isValid()) << rows[0].started;

  const QByteArray zone = qgetenv("TZ");
  qputenv("TZ", "KVX-3");  // UTC+3, no summer time
  tzset();
  prompter_.yesNo.push_back(false);
  auto again = Open(1);
  if (zone.isNull()) qunsetenv("TZ"); else qputenv("TZ", zone);
  tzset();
  EXPECT_FALSE(again->Ready());
  const QStringList asked = prompter_.Texts(TestPrompter::Kind::YesNo);
  ASSERT_EQ(asked.size(), 1);
  const QString local = started.addSecs(3 * 3600).toString("yyyy-MM-dd HH:mm:ss");
  EXPECT_TRUE(asked[0].startsWith("Serial number 0001 went out on " + local + " on COM1"))
      << asked[0].toStdString();
}

// Operator mode: the production window is the only one taking input, its tile count and ports
// are fixed, Start works; it is left, and the window closed, only with the PIN KvxWriter.ini sets
// and a confirmation. The tile count is the station's, remembered in KvxWriter.ini too.
TEST_F(ProductionWindowTest, OperatorModeLocksTheStationUntilLeftWithItsPin) {
  QFile ini(QDir(dir_.path()).filePath(kSettingsFileName));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("production_writers=3\noperator_pin=4711\n");
  ini.close();
  Start();
  LoadProgram();
  auto window = Open(4);
  ASSERT_TRUE(window->Ready());
  EXPECT_EQ(window->Tiles(), 3);
  // A new count is the station's next time; the file's other lines stay.
  window->findChild<QSpinBox*>("WriterCount")->setValue(5);
  EXPECT_EQ(window->Tiles(), 5);
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  EXPECT_EQ(ini.readAll(), "production_writers=5\noperator_pin=4711\n");
  ini.close();
  auto* pin = window->findChild<QLineEdit*>("OperatorPin");
  window->findChild<QPushButton*>("OperatorMode")->click();
  ASSERT_TRUE(window->OperatorMode());
  EXPECT_EQ(QApplication::activeModalWidget(), window.get()) << "the main window is locked";
  EXPECT_FALSE(window->findChild<QSpinBox*>("WriterCount")->isEnabled());
  EXPECT_FALSE(window->Tile(0).findChild<QComboBox*>("TilePort")->isEnabled());
  EXPECT_TRUE(window->Tile(0).findChild<QPushButton*>("TileStart")->isEnabled());
  EXPECT_TRUE(pin->isVisible());

  // Enter in the PIN field tries to leave; it never starts a chip.
  pin->setText("0000");
  QTest::keyClick(pin, Qt::Key_Return);
  EXPECT_FALSE(window->AnyRunning());
  EXPECT_TRUE(window->OperatorMode());
  EXPECT_EQ(prompter_.messages.join("|"), "The PIN is not right.");

  const struct {
    const char* typed;
    const char* told;  // null: asked to confirm, and left
  } tries[] = {{"", "Type the PIN to leave operator mode."}, {"1234", "The PIN is not right."},
               {"4711", nullptr}};
  for (const auto& t : tries) {
    SCOPED_TRACE(t.typed);
    prompter_.messages.clear();
    pin->setText(t.typed);
    if (t.told == nullptr) prompter_.yesNo = {true};
    window->close();
    if (t.told != nullptr) {
      EXPECT_TRUE(window->isVisible());
      EXPECT_TRUE(window->OperatorMode());
      EXPECT_EQ(prompter_.messages.join("|"), t.told);
    }
  }
  EXPECT_FALSE(window->OperatorMode());
  EXPECT_EQ(prompter_.Texts(TestPrompter::Kind::YesNo).join("|"), "Leave operator mode?");
  EXPECT_FALSE(window->isVisible()) << "closed once the mode was left";
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(ReadSetting(ini.fileName().toStdString(), "operator_mode"), "0");
}

// A target count stops the station once that many good chips went through: no tile starts
// another until the target is raised; the target is the station's next time too.
TEST_F(ProductionWindowTest, ATargetCountStopsTheStationWhenReached) {
  Start();
  LoadProgram();
  {
    auto window = Open(2);
    ASSERT_TRUE(window->Ready());
    window->findChild<QSpinBox*>("TargetCount")->setValue(2);
    window->StartAll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 20000));
    EXPECT_TRUE(window->findChild<QLabel*>("WindowTotals")->text().endsWith("Target 2 reached"));
    EXPECT_FALSE(window->Tile(0).Start());
    window->StartAll();
    EXPECT_FALSE(window->AnyRunning());
    EXPECT_FALSE(window->Tile(1).findChild<QPushButton*>("TileStart")->isEnabled());
    window->findChild<QSpinBox*>("TargetCount")->setValue(3);
    EXPECT_TRUE(window->Tile(0).Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 20000));
  }
  auto again = OpenGoingOn(2);
  EXPECT_EQ(again->findChild<QSpinBox*>("TargetCount")->value(), 3);
}

// The station's set-up is remembered: a tile's port once a chip went through it, and a window
// closed in operator mode (a station switched off) opens in it again.
TEST_F(ProductionWindowTest, TheStationsPortsAndOperatorModeAreRemembered) {
  const std::string ini = QDir(dir_.path()).filePath(kSettingsFileName).toStdString();
  Start();
  LoadProgram();
  {
    auto window = Open(2);
    ASSERT_TRUE(window->Ready());
    window->Tile(1).findChild<QComboBox*>("TilePort")->setCurrentText("Com5");
    window->Tile(1).SimWriter()->Faults().SilentAfter = 0;
    ASSERT_TRUE(window->Tile(1).Start());
    window->EnterOperatorMode();
    window->StopAll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 10000));
  }
  EXPECT_EQ(ReadSetting(ini, "production_port2"), "Com5");
  EXPECT_EQ(ReadSetting(ini, "operator_mode"), "1");
  auto again = OpenGoingOn(2);
  EXPECT_TRUE(again->OperatorMode());
  EXPECT_EQ(again->Tile(1).findChild<QComboBox*>("TilePort")->currentText(), "Com5");
  EXPECT_EQ(again->Tile(0).findChild<QComboBox*>("TilePort")->currentText(), "Com1");
  prompter_.yesNo = {true};
  EXPECT_TRUE(again->LeaveOperatorMode());
}

// A pass that went through with a red line (the OPTION word reads back other than written) is a
// failed chip: its tile turns red beside the green of a chip that went through clean.
TEST_F(ProductionWindowTest, APassThatWentThroughWithARedLineTurnsItsTileRed) {
  Start();
  LoadProgram();
  auto window = Open(2);
  ASSERT_TRUE(window->Ready());
  window->Tile(1).SimWriter()->Faults().OptionUnwritten = true;
  window->StartAll();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 20000));
  struct Case {
    QString result;
    QColor colour;
    QString counts;
    QString redLine;
  };
  const Case cases[] = {{"OK", QColor(0x2E, 0x9E, 0x44), "OK: 1   Failed: 0", ""},
                        {"FAILED", QColor(0xD0, 0x30, 0x30), "OK: 0   Failed: 1", "OPTION verify Fail!!"}};
  for (int t = 0; t < 2; ++t) {
    SCOPED_TRACE(t);
    ProductionTile& tile = window->Tile(t);
    EXPECT_EQ(Shown(tile, "TileResult"), cases[t].result);
    EXPECT_EQ(tile.findChild<QLabel*>("TileResult")->palette().color(QPalette::Window), cases[t].colour);
    EXPECT_EQ(Shown(tile, "TileCounts"), cases[t].counts);
    EXPECT_EQ(Shown(tile, "TileRedLine"), cases[t].redLine);
  }
}

// A workspace refused before any chip (a blank OPTION field) is no chip: Start all says why once
// for the window and starts no tile; a tile started alone says it on itself. No failure is
// counted, no number taken, no journal row written.
TEST_F(ProductionWindowTest, ARunRefusedBeforeAnyChipIsSaidOnceAndIsNoChip) {
  Start();
  LoadProgram();
  ws().results.OptionStatus = 1;
  auto window = Open(2);
  ASSERT_TRUE(window->Ready());
  prompter_.messages.clear();
  window->StartAll();
  EXPECT_FALSE(window->AnyRunning());
  EXPECT_EQ(prompter_.messages.join("|").toStdString(), "Some Options are Blank!");
  ASSERT_TRUE(window->Tile(1).Start());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 20000));
  EXPECT_EQ(Shown(window->Tile(1), "TileResult"), "REFUSED");
  EXPECT_EQ(Shown(window->Tile(1), "TileRedLine"), "Some Options are Blank!");
  for (int t = 0; t < 2; ++t) EXPECT_EQ(Shown(window->Tile(t), "TileCounts"), "OK: 0   Failed: 0");
  EXPECT_TRUE(window->findChild<QLabel*>("WindowTotals")->text().startsWith("OK: 0   Failed: 0"));
  EXPECT_TRUE(JournalRows().empty());
}

// A chip whose OPTION word is not blank fails in the dialog's normal colour: the tile still says
// why, and so does the journal's row.
TEST_F(ProductionWindowTest, AChipFailedInTheNormalColourShowsAndRecordsItsReason) {
  Start();
  LoadProgram();
  auto window = Open(1);
  ASSERT_TRUE(window->Ready());
  sim::SimWriter* writer = window->Tile(0).SimWriter();
  ASSERT_NE(writer, nullptr);
  writer->Chip().Option[0] = 0x0000;
  ASSERT_TRUE(window->Tile(0).Start());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 20000));
  EXPECT_EQ(Shown(window->Tile(0), "TileResult"), "FAILED");
  EXPECT_EQ(Shown(window->Tile(0), "TileRedLine"), "OPTION ....... Not Blank!!");
  Journal journal;
  std::string error;
  ASSERT_TRUE(journal.OpenToRead(QDir(dir_.path()).filePath(kJournalFileName).toStdString(), error));
  const std::vector<PassRecord> rows = journal.Passes({}, error);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].outcome, PassOutcome::ChipFailed);
  EXPECT_EQ(rows[0].redLine, "OPTION ....... Not Blank!!");
}

// A tile's next number that a chip of another series carries at the same place already (another
// station's, with another increment) is stepped over, and the tile and the list of chips say so
// as kvxw does, in grey on a chip that went through.
TEST_F(ProductionWindowTest, AChipPastAValueAnotherSeriesCarriesSaysWhatItSteppedOver) {
  Start();
  LoadProgram();
  auto window = Open(1);
  ASSERT_TRUE(window->Ready());
  ProductionTile& tile = window->Tile(0);
  tile.SimWriter()->SetFreshChipEachPass(true);
  ASSERT_TRUE(tile.Start());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 10000));
  std::string error;
  PassRecord row = JournalRowsOf(JournalPath()).at(0);
  {
    Journal other;
    ASSERT_TRUE(other.Open(JournalPath(), error)) << error;
    row.series.replace(row.series.find("+1"), 2, "+2");
    row.serial = "0002";
    ASSERT_EQ(other.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
  }
  ASSERT_TRUE(tile.Start());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->AnyRunning(); }, 10000));
  const QString note = "stepped over 0002: chips of another series carry it at " + Q(row.slot) +
                       " already; this chip got 0003";
  EXPECT_EQ(Shown(tile, "TileResult"), "OK");
  EXPECT_EQ(Shown(tile, "TileSerial"), "Serial: 0003");
  EXPECT_EQ(Shown(tile, "TileRedLine"), note);
  EXPECT_NE(tile.findChild<QLabel*>("TileRedLine")->palette().color(QPalette::WindowText),
            QColor(0xC0, 0x00, 0x00));
  EXPECT_EQ(window->findChild<QTableWidget*>("ResultsList")->item(0, 4)->text(), note);
}

// Program > Production opens the journal KvxWriter.ini names (a floor's shared one, or here a
// file), on a worker, and the window follows once it is open; one that cannot be opened is told.
TEST_F(ProductionWindowTest, TheMenusWindowUsesTheJournalOfKvxWriterIni) {
  struct Case {
    const char* journal;
    bool opens;
  };
  for (const Case c : {Case{"floor.db", true}, Case{"no-such-folder/floor.db", false}}) {
    SCOPED_TRACE(c.journal);
    QFile ini(QDir(dir_.path()).filePath(kSettingsFileName));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QByteArray("journal=") + c.journal + "\n");
    ini.close();
    Start();
    LoadProgram();
    prompter_.messages.clear();
    form().findChild<QAction*>("ProductionAction")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] {
      return form().findChild<ProductionWindow*>() != nullptr || !prompter_.messages.isEmpty();
    }, 10000));
    auto* window = form().findChild<ProductionWindow*>();
    EXPECT_EQ(window != nullptr, c.opens) << prompter_.messages.join("|").toStdString();
    EXPECT_EQ(QFile::exists(QDir(dir_.path()).filePath(c.journal)), c.opens);
    EXPECT_FALSE(QFile::exists(QDir(dir_.path()).filePath(kJournalFileName)));
    if (!c.opens) {
      EXPECT_TRUE(prompter_.messages.join("|").contains("cannot be opened"));
    }
    delete window;
  }
}

}  // namespace
}  // namespace kvx::gui::test
