// The production window drives several simulated Writers at once from the loaded workspace: each
// tile keeps its own pace and shows its own outcome, and every chip is in the one journal with a
// number of its own.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cstring>
#include <set>

#include "app_test_support.h"
#include "core/device/status_panel.h"
#include "core/production/journal.h"
#include "core/production/journal_settings.h"
#include "gui/app/production_window.h"
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
    options.journalPath = QDir(dir_.path()).filePath(kJournalFileName).toStdString();
    options.env = [com2](const char* name) -> const char* {
      if (std::strcmp(name, "KVXW_COM2") == 0) return com2;
      return std::strncmp(name, "KVXW_COM", 8) == 0 ? "sim" : nullptr;
    };
    options.writers = writers;
    auto window = std::make_unique<ProductionWindow>(ws(), options, prompter_);
    window->show();
    return window;
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
  for (int t = 0; t < 2; ++t) window->Tile(t).SimWriter()->SetFreshChipEachPass(true);
  silent->Faults().SilentAfter = silent->BytesReceived() + 200;
  empty->InsertChip(sim::ChipContent::Empty);

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
  EXPECT_FALSE(Shown(window->Tile(2), "TileRedLine").isEmpty());
  EXPECT_EQ(Shown(window->Tile(3), "TileResult").toStdString(), "LINK FAILED");
  EXPECT_EQ(Shown(window->Tile(3), "TileCounts").toStdString(), "OK: 0   Failed: 1");
  // Its chip failed before its number went out: the number was given back, none is shown.
  EXPECT_EQ(Shown(window->Tile(3), "TileSerial").toStdString(), "Serial: -");
  EXPECT_EQ(Shown(window->Tile(3), "TileRedLine").toStdString(), "Nothing in socket or type error!!");

  // The journal has every chip, with numbers of their own; the loaded workspace is untouched.
  Journal journal;
  std::string error;
  ASSERT_TRUE(journal.OpenToRead(QDir(dir_.path()).filePath(kJournalFileName).toStdString(), error));
  std::set<std::string> okNumbers;
  long rows = 0;
  for (const PassRecord& r : journal.Passes({}, error)) {
    ++rows;
    if (r.outcome == PassOutcome::Ok) {
      EXPECT_TRUE(okNumbers.insert(r.serial).second) << r.serial;
    }
  }
  EXPECT_EQ(rows, 4);
  std::set<QString> journaled;
  for (const std::string& n : okNumbers) journaled.insert("Serial: " + QString::fromStdString(n));
  EXPECT_EQ(journaled, serials) << "each tile shows the number its chip got";
  EXPECT_EQ(ws().production.SerialValue[0], 1);

  // A second chip on a tile that went through takes the next free number.
  ASSERT_TRUE(window->Tile(0).Start());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Tile(0).Running(); }, 10000));
  EXPECT_EQ(Shown(window->Tile(0), "TileCounts").toStdString(), "OK: 2   Failed: 0");
  EXPECT_FALSE(okNumbers.count(Shown(window->Tile(0), "TileSerial").mid(8).toStdString()));
}

// Closing the window during a pass stops it; the window goes once the pass has ended, without
// the GUI thread ever waiting for the Writer.
TEST_F(ProductionWindowTest, ClosingDuringAPassStopsItAndClosesOnceItEnded) {
  Start();
  LoadProgram();
  auto window = Open(1);
  ASSERT_TRUE(window->Ready());
  window->Tile(0).SimWriter()->Faults().SilentAfter = 0;  // a Writer that never answers
  ASSERT_TRUE(window->Tile(0).Start());
  window->close();
  EXPECT_TRUE(window->isVisible()) << "still up while the pass winds down";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 10000));
  EXPECT_FALSE(window->AnyRunning());
  EXPECT_EQ(Shown(window->Tile(0), "TileResult"), "STOPPED");
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
