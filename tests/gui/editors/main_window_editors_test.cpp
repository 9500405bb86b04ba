// The buffer windows and editors inside the main window: a Read whose data shows in the views,
// the panel's double-clicks, the serial-number lock on the single-step commands.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <deque>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app_test_support.h"
#include "core/device/status_panel.h"
#include "core/device/text_convert.h"
#include "core/editors/buffer_edit.h"
#include "gui/editors/buffer_views.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"
#include "gui/editors/option_editor.h"
#include "gui/editors/id_window.h"
#include "gui/editors/serial_setup_dialog.h"
#include "gui/editors/word_entry_dialog.h"
#include "sim/chip_model.h"
#include "sim/sim_writer.h"

namespace kvx::gui::test {
namespace {

using EditorsInMainWindow = MainWindowTest;

ProgramMemoryView* ProgramView(MainWindow& f) { return f.findChild<ProgramMemoryView*>("TMDIChild"); }

TEST_F(EditorsInMainWindow, ReadDataAppearsInEveryView) {
  MainWindow& f = Start();
  SelectDevice("KVX-01");
  writer().InsertChip(sim::ChipContent::Programmed);
  const int word0 = sim::ReadAreaWord(writer().Chip(), sim::kProgramArea, 0);
  f.findChild<QAction*>("ReadICAction")->trigger();
  ASSERT_TRUE(WaitForButton());
  ASSERT_TRUE(CloseWith());
  ASSERT_TRUE(ws().results.ReadCompleted);
  ProgramMemoryView* view = ProgramView(f);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->grid->model()->index(0, 0).data().toString().toStdString(),
            ProgramWordText(ws(), 0));
  EXPECT_EQ(ProgramWordText(ws(), 0), HexDigits(word0 & 0x3FFF, 4));
  auto* eeprom = f.findChild<EepromWindow*>("TEEDataForm");
  ASSERT_NE(eeprom, nullptr);
  EXPECT_EQ(eeprom->grid->model()->index(0, 0).data().toString().toStdString(),
            EepromByteText(ws(), 0));
  EXPECT_NE(f.findChild<IdChecksumWindow*>("TIDChecksumForm"), nullptr);
}

// The program window a file opened is still up when the chip is read: that one window now shows
// the chip's words under "Program Memory", and the ID window the chip's ID.
TEST_F(EditorsInMainWindow, ReadShowsInTheProgramWindowAlreadyOpen) {
  MainWindow& f = Start();
  SelectDevice("KVX-01");
  const QString program = dir_.filePath("p01.bin");
  {
    QFile file(program);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(ws().device.ProgramBytes, '\x11'));
  }
  prompter_.files = {{true, program, 1}};
  f.findChild<QAction*>("FileOpen1")->trigger();
  ASSERT_NE(ProgramView(f), nullptr);
  ASSERT_NE(ProgramView(f)->windowTitle(), "Program Memory");  // the file's caption

  writer().InsertChip(sim::ChipContent::Programmed);
  writer().Chip().Id[0] = 'K' | ('V' << 7);
  f.findChild<QAction*>("ReadICAction")->trigger();
  ASSERT_TRUE(WaitForButton());
  ASSERT_TRUE(CloseWith());
  EXPECT_EQ(f.findChildren<ProgramMemoryView*>().size(), 1);
  ProgramMemoryView* view = ProgramView(f);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->windowTitle(), "Program Memory");
  const int word0 = sim::ReadAreaWord(writer().Chip(), sim::kProgramArea, 0);
  EXPECT_EQ(view->grid->model()->index(0, 0).data().toString().toStdString(),
            HexDigits(word0 & 0x3FFF, 4));
  auto* id = f.findChild<IdChecksumWindow*>();
  ASSERT_NE(id, nullptr);
  EXPECT_TRUE(id->idLabel->text().startsWith("KV")) << id->idLabel->text().toStdString();
}

TEST_F(EditorsInMainWindow, EditReachesThePanelChecksumAndDoubleClicksOpenTheEditors) {
  MainWindow& f = Start();
  ProgramMemoryView* view = ProgramView(f);
  ASSERT_NE(view, nullptr);
  QPointer<WordEntryDialog> edit = view->onEditWord(view->grid->model()->index(0, 1));
  edit->valueEdit->setText("1234");
  edit->onOk();
  EXPECT_TRUE(QTest::qWaitFor([&] { return edit.isNull(); }, 2000));
  EXPECT_EQ(Text("Label11").toStdString(), ws().panel.ChecksumText);
  EXPECT_EQ(ProgramWordText(ws(), 1), "1234");

  QTest::mouseDClick(Find("Label5"), Qt::LeftButton);  // the panel's OPTION area
  auto* option = f.findChild<OptionEditor*>("TEditOption");
  ASSERT_NE(option, nullptr);
  option->reject();

  f.findChild<IdChecksumWindow*>()->parentWidget()->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !windowFlags().IdChecksumFormOpen; }, 2000));
  QTest::mouseDClick(Find("Label18"), Qt::LeftButton);  // the "ID :" box brings it back
  EXPECT_TRUE(windowFlags().IdChecksumFormOpen);
  EXPECT_NE(f.findChild<IdChecksumWindow*>(), nullptr);

  EXPECT_FALSE(f.findChild<QAction*>("FileSaveAsItem")->isEnabled());
  f.findChild<QAction*>("Disassemble1")->trigger();
  EXPECT_TRUE(f.findChild<QAction*>("FileSaveAsItem")->isEnabled());
}

// The serial setup's "replace the QTP file?" is a Yes/No question of the window's prompter: its
// answer alone decides, whatever the reset-address warning's Abort/Ignore channel would say.
TEST_F(EditorsInMainWindow, AQtpFileIsReplacedOnlyWhenTheQuestionIsAnsweredYes) {
  MainWindow& f = Start();
  SelectDevice("KVX-03");
  ws().image.ProgramBuffer[2 * 0x20 + 1] = 0x62;  // RTIW 00
  const QString qtp = dir_.filePath("parts.txt");
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes);
    {
      QFile old(qtp);
      ASSERT_TRUE(old.open(QIODevice::WriteOnly));
      old.write("old\r\n");
    }
    prompter_.messages.clear();
    prompter_.boxes.clear();
    prompter_.ignore = !yes;
    prompter_.yesNo = {yes};
    prompter_.files = {{true, qtp, 1}};
    f.findChild<QAction*>("SerialNoMode1")->trigger();
    QPointer<SerialSetupDialog> setup = f.findChild<SerialSetupDialog*>();
    ASSERT_NE(setup, nullptr);
    setup->startAddressEdit->setText("0020");
    setup->byteCountEdit->setText("1");
    setup->startValueEdit->setText("5A");
    setup->partCountEdit->setText("2");
    setup->onSaveQtpFile();
    EXPECT_TRUE(prompter_.yesNo.empty());
    EXPECT_TRUE(prompter_.files.empty());
    EXPECT_EQ(prompter_.Texts(TestPrompter::Kind::YesNo).size(), 1);
    EXPECT_TRUE(prompter_.Texts(TestPrompter::Kind::AbortIgnore).isEmpty());
    QFile file(qtp);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().startsWith(":020020005A31"), yes);
    if (setup) setup->reject();
    EXPECT_TRUE(QTest::qWaitFor([&] { return setup.isNull(); }, 2000));
  }
}

TEST_F(EditorsInMainWindow, SerialModeLocksTheSingleStepCommandsUntilDisabled) {
  MainWindow& f = Start();
  SelectDevice("KVX-03");
  ws().image.ProgramBuffer[2 * 0x20 + 1] = 0x62;  // RTIW 00
  f.findChild<QAction*>("SerialNoMode1")->trigger();
  QPointer<SerialSetupDialog> setup = f.findChild<SerialSetupDialog*>();
  ASSERT_NE(setup, nullptr);
  setup->startAddressEdit->setText("0020");
  setup->startValueEdit->setText("5A");
  setup->onOk();
  EXPECT_TRUE(QTest::qWaitFor([&] { return setup.isNull(); }, 2000));
  for (QAction* a : {f.findChild<QAction*>("ID3"), f.findChild<QAction*>("ProgramMemory2"), f.findChild<QAction*>("ProgramOption")}) EXPECT_FALSE(a->isEnabled());
  EXPECT_EQ(ProgramView(f)->grid->model()->index(4, 0).data().toString(), "315A");
  EXPECT_EQ(Text("Label15"), "5A");

  f.findChild<QAction*>("SerialNoMode1")->trigger();
  setup = f.findChild<SerialSetupDialog*>();
  setup->findChild<QPushButton*>("BitBtn3")->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return setup.isNull(); }, 2000));
  for (QAction* a : {f.findChild<QAction*>("ID3"), f.findChild<QAction*>("ProgramMemory2"), f.findChild<QAction*>("ProgramOption")}) EXPECT_TRUE(a->isEnabled());
}

TEST_F(EditorsInMainWindow, ConfigurationLoadMovesTheDeviceListAndTheEepromCommands) {
  MainWindow& f = Start();
  SelectDevice("KVX-02");  // a flash part
  const QString program = dir_.filePath(QString::fromUtf8("Daten ä.bin"));
  const QString config = dir_.filePath(QString::fromUtf8("Daten ä.cfg"));
  prompter_.files = {{true, config, 1}};
  ws().files.LastProgramPath = program.toStdString();
  {
    QFile file(program);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(ws().device.ProgramBytes, '\x11'));
  }
  f.findChild<QAction*>("FileSaveItem")->trigger();  // Save Config File

  SelectDevice("KVX-03");  // no EEPROM
  EXPECT_FALSE(f.findChild<QAction*>("EEPROM1")->isEnabled());
  prompter_.files.push_back({true, config, 1});
  f.findChild<QAction*>("LoadConfig1")->trigger();
  EXPECT_TRUE(prompter_.files.empty());
  EXPECT_TRUE(prompter_.messages.isEmpty()) << prompter_.messages.join("|").toStdString();
  EXPECT_EQ(f.statusPanel()->findChild<QComboBox*>("ComboBox2")->currentText(), "KVX-02");
  EXPECT_TRUE(f.findChild<QAction*>("EEPROM1")->isEnabled());
  EXPECT_EQ(ProgramView(f)->grid->model()->index(0, 0).data().toString(), "1111");
  EXPECT_EQ(Text("Label11").toStdString(), ws().panel.ChecksumText);
  // The simulated socket follows the device the configuration brought.
  f.findChild<QAction*>("BlankCheckAction")->trigger();
  ASSERT_TRUE(WaitForButton());
  for (QLabel* line : Dialog()->findChildren<QLabel*>())
    EXPECT_FALSE(line->text().contains("Nothing in socket")) << line->text().toStdString();
  ASSERT_TRUE(CloseWith());
}

// Scrolls and repaints `grid` while a worker owns the workspace; true when `cell` showed anything
// but `before` meanwhile.
bool ChangedWhileBusy(MainWindow& f, QTableView* grid, int row, int column, const QString& before) {
  bool changed = false;
  for (int top = 0; f.Busy(); top = (top + 37) % grid->model()->rowCount()) {
    grid->scrollTo(grid->model()->index(top, 0));
    grid->viewport()->repaint();
    changed = changed || grid->model()->index(row, column).data().toString() != before;
    QCoreApplication::processEvents();
  }
  return changed;
}

QString Cell(QTableView* grid, int row, int column) { return grid->model()->index(row, column).data().toString(); }

TEST_F(EditorsInMainWindow, TheGridsShowTheirSnapshotWhileAReadOrAnAutoProgramWritesTheBuffers) {
  MainWindow& f = Start(/*simulatedTime=*/false);
  SelectDevice("KVX-02");  // a flash part: the program and the EEPROM views
  f.findChild<QAction*>("EEPROM1")->trigger();
  writer().InsertChip(sim::ChipContent::Programmed);
  writer().Faults().BaudDelay = true;  // the stream takes the line's time
  QTableView* program = ProgramView(f)->grid;
  QTableView* eeprom = f.findChild<EepromWindow*>("TEEDataForm")->grid;
  const QString word0 = Cell(program, 0, 0);
  const QString byte0 = Cell(eeprom, 0, 0);
  f.findChild<QAction*>("ReadICAction")->trigger();
  ASSERT_TRUE(f.Busy());
  EXPECT_FALSE(ChangedWhileBusy(f, program, 0, 0, word0));
  ASSERT_TRUE(WaitForButton());
  EXPECT_EQ(Cell(program, 0, 0), word0);
  EXPECT_EQ(Cell(eeprom, 0, 0), byte0);
  ASSERT_TRUE(CloseWith());
  program = ProgramView(f)->grid;  // rebuilt from what was read
  EXPECT_EQ(Cell(program, 0, 0).toStdString(), ProgramWordText(ws(), 0));
  EXPECT_NE(Cell(program, 0, 0), word0);

  // Auto Program stamps the serial number into word 0x21 on its worker.
  writer().InsertChip(sim::ChipContent::Blank);
  LoadSerialProgram(7);
  f.RebuildBufferWindows();
  program = ProgramView(f)->grid;
  const QString word21 = Cell(program, 4, 1);
  EXPECT_EQ(word21, "3100");
  f.findChild<QAction*>("AutoProgramAction")->trigger();
  ASSERT_TRUE(f.Busy());
  EXPECT_FALSE(ChangedWhileBusy(f, program, 4, 1, word21));
  ASSERT_TRUE(WaitForButton("Button2"));
  EXPECT_EQ(writer().Chip().Program[0x21], 0x3107);
  ASSERT_TRUE(CloseWith("Button1"));
  EXPECT_EQ(Cell(ProgramView(f)->grid, 4, 1).toStdString(), ProgramWordText(ws(), 0x21));
}

TEST_F(EditorsInMainWindow, ABlankIdShowsDotsInItsTwoLabelsOnly) {
  MainWindow& f = Start();
  auto* idWindow = f.findChild<IdChecksumWindow*>("TIDChecksumForm");
  ASSERT_NE(idWindow, nullptr);
  ASSERT_TRUE(idWindow->asciiButton->isChecked());
  for (std::size_t k = 0; k < ws().image.IdBuffer.size(); ++k) ws().image.IdBuffer[k] = k % 2 == 0 ? 0x7F : ws().device.BlankHigh;
  idWindow->ShowIdLabels();
  f.RefreshPanelNow();
  EXPECT_EQ(idWindow->idLabel->text(), "............");
  EXPECT_EQ(Text("Label18"), "............");
  // The bytes and the editor's text keep the blank bytes.
  EXPECT_EQ(ws().image.IdBuffer[0], 0x7F);
  EXPECT_EQ(IdModifyText(ws(), false), std::string(12, '\x7F'));
}

}  // namespace
}  // namespace kvx::gui::test
