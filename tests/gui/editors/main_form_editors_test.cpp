// The buffer windows and editors inside the main window: a Read whose data shows in the views,
// the panel's double-clicks, the serial-number lock on the single-step commands.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <deque>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app_test_support.h"
#include "core/device/text_convert.h"
#include "core/editors/buffer_edit.h"
#include "gui/editors/buffer_views.h"
#include "gui/editors/dialog_seams.h"
#include "gui/editors/edit_option.h"
#include "gui/editors/id_checksum_form.h"
#include "gui/editors/serial_setup_form.h"
#include "gui/editors/single_data_dialog.h"
#include "sim/chip_model.h"
#include "sim/sim_writer.h"

namespace kvx::gui::test {
namespace {

using EditorsInMainWindow = MainWindowTest;

TMDIChild* ProgramView(TMainForm& f) { return f.findChild<TMDIChild*>("TMDIChild"); }

TEST_F(EditorsInMainWindow, ReadDataAppearsInEveryView) {
  TMainForm& f = Start();
  SelectDevice("KVX-01");
  writer().InsertChip(sim::ChipContent::Programmed);
  const int word0 = sim::ReadAreaWord(writer().Chip(), sim::kProgramArea, 0);
  f.ReadICAction->trigger();
  ASSERT_TRUE(WaitForButton());
  ASSERT_TRUE(CloseWith());
  ASSERT_TRUE(ws().ReadCompleted);
  TMDIChild* view = ProgramView(f);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->StringGrid1->model()->index(0, 0).data().toString().toStdString(),
            ProgramWordText(ws(), 0));
  EXPECT_EQ(ProgramWordText(ws(), 0), HexDigits(word0 & 0x3FFF, 4));
  auto* eeprom = f.findChild<TEEDataForm*>("TEEDataForm");
  ASSERT_NE(eeprom, nullptr);
  EXPECT_EQ(eeprom->StringGrid1->model()->index(0, 0).data().toString().toStdString(),
            EepromByteText(ws(), 0));
  EXPECT_NE(f.findChild<TIDChecksumForm*>("TIDChecksumForm"), nullptr);
}

// The program window a file opened is still up when the chip is read: that one window now shows
// the chip's words under "Program Memory", and the ID window the chip's ID.
TEST_F(EditorsInMainWindow, ReadShowsInTheProgramWindowAlreadyOpen) {
  TMainForm& f = Start();
  SelectDevice("KVX-01");
  const QString program = dir_.filePath("p01.bin");
  {
    QFile file(program);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(ws().ProgramBytes, '\x11'));
  }
  SetFileDialogHook([&](const FileDialogRequest&) { return FileDialogAnswer{true, program, 1}; });
  f.FileOpen1->trigger();
  SetFileDialogHook({});
  ASSERT_NE(ProgramView(f), nullptr);
  ASSERT_NE(ProgramView(f)->windowTitle(), "Program Memory");  // the file's caption

  writer().InsertChip(sim::ChipContent::Programmed);
  writer().Chip().Id[0] = 'K' | ('V' << 7);
  f.ReadICAction->trigger();
  ASSERT_TRUE(WaitForButton());
  ASSERT_TRUE(CloseWith());
  EXPECT_EQ(f.findChildren<TMDIChild*>().size(), 1);
  TMDIChild* view = ProgramView(f);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->windowTitle(), "Program Memory");
  const int word0 = sim::ReadAreaWord(writer().Chip(), sim::kProgramArea, 0);
  EXPECT_EQ(view->StringGrid1->model()->index(0, 0).data().toString().toStdString(),
            HexDigits(word0 & 0x3FFF, 4));
  auto* id = f.findChild<TIDChecksumForm*>();
  ASSERT_NE(id, nullptr);
  EXPECT_TRUE(id->Label2->text().startsWith("KV")) << id->Label2->text().toStdString();
}

TEST_F(EditorsInMainWindow, EditReachesThePanelChecksumAndDoubleClicksOpenTheEditors) {
  TMainForm& f = Start();
  TMDIChild* view = ProgramView(f);
  ASSERT_NE(view, nullptr);
  QPointer<TEditSingleData> edit = view->StringGrid1DblClick(view->StringGrid1->model()->index(0, 1));
  edit->Edit1->setText("1234");
  edit->OKBtnClick();
  EXPECT_TRUE(QTest::qWaitFor([&] { return edit.isNull(); }, 2000));
  EXPECT_EQ(Text("Label11").toStdString(), ws().ChecksumText);
  EXPECT_EQ(ProgramWordText(ws(), 1), "1234");

  QTest::mouseDClick(Find("Label5"), Qt::LeftButton);  // the panel's OPTION area
  auto* option = f.findChild<TEditOption*>("TEditOption");
  ASSERT_NE(option, nullptr);
  option->reject();

  f.findChild<TIDChecksumForm*>()->parentWidget()->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !ws().IdChecksumFormOpen; }, 2000));
  QTest::mouseDClick(Find("Label18"), Qt::LeftButton);  // the "ID :" box brings it back
  EXPECT_TRUE(ws().IdChecksumFormOpen);
  EXPECT_NE(f.findChild<TIDChecksumForm*>(), nullptr);

  EXPECT_FALSE(f.FileSaveAsItem->isEnabled());
  f.Disassemble1->trigger();
  EXPECT_TRUE(f.FileSaveAsItem->isEnabled());
}

TEST_F(EditorsInMainWindow, SerialModeLocksTheSingleStepCommandsUntilDisabled) {
  TMainForm& f = Start();
  SelectDevice("KVX-03");
  ws().ProgramBuffer[2 * 0x20 + 1] = 0x62;  // RTIW 00
  f.SerialNoMode1->trigger();
  QPointer<TSerialNoSetupForm> setup = f.findChild<TSerialNoSetupForm*>();
  ASSERT_NE(setup, nullptr);
  setup->StartAddress->setText("0020");
  setup->StartValue->setText("5A");
  setup->BitBtn1Click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return setup.isNull(); }, 2000));
  for (QAction* a : {f.ID3, f.ProgramMemory2, f.ProgramOption}) EXPECT_FALSE(a->isEnabled());
  EXPECT_EQ(ProgramView(f)->StringGrid1->model()->index(4, 0).data().toString(), "315A");
  EXPECT_EQ(Text("Label15"), "5A");

  f.SerialNoMode1->trigger();
  setup = f.findChild<TSerialNoSetupForm*>();
  setup->findChild<QPushButton*>("BitBtn3")->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return setup.isNull(); }, 2000));
  for (QAction* a : {f.ID3, f.ProgramMemory2, f.ProgramOption}) EXPECT_TRUE(a->isEnabled());
}

TEST_F(EditorsInMainWindow, ConfigurationLoadMovesTheDeviceListAndTheEepromCommands) {
  TMainForm& f = Start();
  SelectDevice("KVX-02");  // a flash part
  const QString program = dir_.filePath(QString::fromUtf8("Daten ä.bin"));
  const QString config = dir_.filePath(QString::fromUtf8("Daten ä.cfg"));
  std::deque<FileDialogAnswer> answers{{true, config, 1}};
  SetFileDialogHook([&](const FileDialogRequest&) {
    FileDialogAnswer a = answers.front();
    answers.pop_front();
    return a;
  });
  ws().LastProgramPath = program.toStdString();
  {
    QFile file(program);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(ws().ProgramBytes, '\x11'));
  }
  f.FileSaveItem->trigger();  // Save Config File

  SelectDevice("KVX-03");  // no EEPROM
  EXPECT_FALSE(f.EEPROM1->isEnabled());
  answers.push_back({true, config, 1});
  f.LoadConfig1->trigger();
  SetFileDialogHook({});
  EXPECT_TRUE(prompter_.messages.isEmpty()) << prompter_.messages.join("|").toStdString();
  EXPECT_EQ(f.ComboBox2->currentText(), "KVX-02");
  EXPECT_TRUE(f.EEPROM1->isEnabled());
  EXPECT_EQ(ProgramView(f)->StringGrid1->model()->index(0, 0).data().toString(), "1111");
  EXPECT_EQ(Text("Label11").toStdString(), ws().ChecksumText);
}

}  // namespace
}  // namespace kvx::gui::test
