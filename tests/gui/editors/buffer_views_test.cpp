// The program-memory, EEPROM, ID and disassembly windows as the operator uses them.
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "core/device/catalogue.h"
#include "core/device/checksum.h"
#include "core/editors/buffer_edit.h"
#include "editors_fixture.h"
#include "gui/editors/buffer_views.h"
#include "gui/editors/disassembly_window.h"
#include "gui/editors/id_window.h"
#include "gui/editors/word_entry_dialog.h"
#include "gui/editors/small_dialogs.h"

namespace kvx::gui {
namespace {

QString Cell(QTableView* grid, int row, int column) {
  return grid->model()->index(row, column).data().toString();
}

TEST_F(EditorsTest, LargestDeviceGridHasItsHeadersAndEveryWord) {
  UseDevice("KVX-43");
  ProgramMemoryView* view = windows->ProgramView();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(windows->Flags().BufferViewOpen);
  EXPECT_EQ(view->windowTitle(), "Program Memory");
  QAbstractItemModel* model = view->grid->model();
  EXPECT_EQ(model->rowCount(), 768);
  EXPECT_EQ(model->columnCount(), 8);
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "+0/8");
  EXPECT_EQ(model->headerData(7, Qt::Horizontal).toString(), "+7/F");
  EXPECT_EQ(model->headerData(767, Qt::Vertical).toString(), "0x17F8");
  EXPECT_EQ(Cell(view->grid, 767, 7), "3FFF");
}

TEST_F(EditorsTest, DoubleClickEditReachesTheBufferAndThePanelChecksum) {
  ProgramMemoryView* view = windows->ProgramView();
  const std::string blankSum = ws->panel.ChecksumText;
  QTableView* grid = view->grid;
  const QModelIndex cell = grid->model()->index(1, 2);  // word 0x000A
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
  auto* dialog = view->findChild<WordEntryDialog*>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "Enter new value");
  EXPECT_EQ(dialog->valueEdit->text(), "3FFF");
  dialog->valueEdit->clear();
  QTest::keyClicks(dialog->valueEdit, "x7g");  // only hexadecimal digits get through
  EXPECT_EQ(dialog->valueEdit->text(), "7");
  QTest::mouseClick(dialog->findChild<QPushButton*>("OKBtn"), Qt::LeftButton);
  WaitGone(dialog);
  EXPECT_EQ(ws->image.ProgramBuffer[20], 0x07);
  EXPECT_EQ(ws->image.ProgramBuffer[21], 0x00);
  EXPECT_EQ(Cell(grid, 1, 2), "0007");
  EXPECT_NE(ws->panel.ChecksumText, blankSum);
  EXPECT_GE(panelRedraws, 1);
}

TEST_F(EditorsTest, TooLargeValueIsRefusedAndCancelKeepsTheWord) {
  UseDevice("KVX-49");  // 11-bit words
  ProgramMemoryView* view = windows->ProgramView();
  QPointer<WordEntryDialog> dialog = view->onEditWord(view->grid->model()->index(0, 0));
  EXPECT_EQ(dialog->valueEdit->text(), "07FF");
  dialog->valueEdit->setText("800");
  dialog->onOk();
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(prompter.boxes[0].kind, test::TestPrompter::Kind::Error);  // the box captioned "Error"
  EXPECT_EQ(prompter.boxes[0].text, "Invalid Value,too large!");
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->valueEdit->text(), "07FF");
  dialog->valueEdit->setText("123");
  QTest::mouseClick(dialog->findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
  WaitGone(dialog.data());
  EXPECT_EQ(ProgramWordText(*ws, 0), "07FF");
}

TEST_F(EditorsTest, EepromViewEditsOneByteOnASingleClick) {
  windows->showEeprom();
  EepromWindow* view = windows->EepromView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->windowTitle(), "EEPROM data");
  EXPECT_EQ(view->grid->model()->rowCount(), 8);
  QPointer<WordEntryDialog> dialog = view->onEditByte(view->grid->model()->index(1, 2));
  dialog->valueEdit->setText("A5");
  dialog->onOk();
  WaitGone(dialog.data());
  EXPECT_EQ(ws->image.EepromBuffer[0x12], 0xA5);
  EXPECT_EQ(Cell(view->grid, 1, 2), "A5");

  UseDevice("KVX-03");  // no EEPROM: the view goes
  EXPECT_EQ(windows->EepromView(), nullptr);
  EXPECT_FALSE(windows->Flags().EepromViewOpen);
}

TEST_F(EditorsTest, IdTypedInEachModeShowsInTheWindowAndOnThePanel) {
  IdChecksumWindow* id = windows->IdWindow();
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(id->checksumLabel->text(), "Blank");
  QPointer<IdEditDialog> edit = id->onEditId();
  EXPECT_TRUE(edit->asciiEdit->isVisibleTo(edit) && !edit->hexEdit->isVisibleTo(edit));
  edit->asciiEdit->setText("KVX-1");
  edit->onStoreId();
  WaitGone(edit.data());
  // The blank bytes after the text are characters too (0x7F), up to the twelfth; the label shows
  // each as ".", having no printable character.
  EXPECT_EQ(id->idLabel->text(), "KVX-1.......");
  EXPECT_EQ(ws->panel.IdText, "KVX-1" + std::string(7, '\x7F'));

  id->hexButton->click();
  EXPECT_TRUE(ws->settings.IdDisplayHex);
  EXPECT_EQ(ws->panel.IdText, "4B 56 58 2D 31 7F 7F 7F 7F 7F 7F 7F");
  edit = id->onEditId();
  EXPECT_TRUE(edit->hexEdit->isVisibleTo(edit) && !edit->asciiEdit->isVisibleTo(edit));
  edit->hexEdit->setCursorPosition(0);
  QTest::keyClicks(edit->hexEdit, "a1b2");  // upper-cased by the mask
  edit->onStoreId();
  WaitGone(edit.data());
  EXPECT_EQ(id->idLabel->text().left(8), "21 32 58");  // 0xA1 & 0x7F, 0xB2 & 0x7F
  EXPECT_EQ(ws->panel.IdText.substr(0, 8), "21 32 58");
  EXPECT_GE(panelRedraws, 3);

  commands->onClearId();
  EXPECT_EQ(windows->IdWindow()->idLabel->text(), "7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F");
}

TEST_F(EditorsTest, IdWindowHeightTogglesUncoverItsPanels) {
  IdChecksumWindow* id = windows->IdWindow();
  auto* dump = id->findChild<QLabel*>("Label8");
  EXPECT_FALSE(dump->isVisible());
  id->onToggleWriterPanel();
  EXPECT_EQ(id->FormHeight(), 430);
  EXPECT_TRUE(dump->isVisible());
  EXPECT_FALSE(id->bodyOption1Label->isVisible());
  id->onToggleOptionLines();
  EXPECT_EQ(id->FormHeight(), 490);
  EXPECT_TRUE(id->bodyOption1Label->isVisible());
  id->onToggleWriterPanel();
  EXPECT_EQ(id->FormHeight(), 210);
}

TEST_F(EditorsTest, ReadDataAppearsInEveryView) {
  ws->image.ProgramBuffer[0] = 0x21;  // what a Read leaves in the buffers
  ws->image.ProgramBuffer[1] = 0x30;
  ws->image.EepromBuffer[5] = 0x5A;
  ws->image.IdBuffer[0] = 'R';
  ws->files.BufferCaption = "old.kvh";
  windows->AfterRead();
  EXPECT_EQ(Cell(windows->ProgramView()->grid, 0, 0), "1821");
  EXPECT_EQ(windows->ProgramView()->windowTitle(), "Program Memory");
  ASSERT_NE(windows->EepromView(), nullptr);
  EXPECT_EQ(Cell(windows->EepromView()->grid, 0, 5), "5A");
  EXPECT_EQ(windows->IdWindow()->idLabel->text().left(1), "R");
  EXPECT_TRUE(windows->Flags().IdChecksumFormOpen && windows->Flags().EepromViewOpen && windows->Flags().BufferViewOpen);
}

TEST_F(EditorsTest, ClosingAWindowLowersItsFlagAndViewBringsItBack) {
  windows->Frame(windows->ProgramView())->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !windows->Flags().BufferViewOpen; }, 2000));
  windows->showProgramMemory();
  EXPECT_TRUE(windows->Flags().BufferViewOpen);
  ASSERT_NE(windows->ProgramView(), nullptr);
  EXPECT_EQ(area->subWindowList().size(), 2);  // the ID window and the view, no duplicate
}

TEST_F(EditorsTest, DisassemblyWindowSavesItsListing) {
  EXPECT_FALSE(commands->SaveDisassemblyEnabled());
  ws->image.ProgramBuffer[0] = 0x03;  // BCR STATUS,ZF
  ws->image.ProgramBuffer[1] = 0x02;
  windows->showDisassembly();
  DisassemblyWindow* listing = windows->Disassembly();
  ASSERT_NE(listing, nullptr);
  EXPECT_TRUE(commands->SaveDisassemblyEnabled());
  EXPECT_TRUE(listing->listingText->isReadOnly());
  EXPECT_TRUE(QFontInfo(listing->listingText->font()).fixedPitch());
  EXPECT_TRUE(listing->listingText->toPlainText().contains("BCR     STATUS,ZF"));

  const QString path = TempPath(QString::fromUtf8("Liste ä b.dis"));
  AnswerFile(TempPath("refused.txt"), 2);
  commands->onSaveDisassembly();
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"File can't be saved!"});
  EXPECT_FALSE(QFile::exists(TempPath("refused.txt")));
  AnswerFile(path, 1);
  commands->onSaveDisassembly();
  EXPECT_TRUE(TakeMessages().empty());
  ASSERT_EQ(prompter.fileRequests.back().title, "Save disassembly");
  EXPECT_EQ(prompter.fileRequests.back().defaultSuffix, "dis");
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll().toStdString(), listing->Listing());

  commands->onClearBuffer();  // the listing would be out of date
  EXPECT_EQ(windows->Disassembly(), nullptr);
  EXPECT_FALSE(commands->SaveDisassemblyEnabled());
}

}  // namespace
}  // namespace kvx::gui
