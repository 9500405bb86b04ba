// Fill Buffer, the option editor and the serial-number setup, driven through their windows.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "core/device/status_panel.h"
#include "core/editors/buffer_edit.h"
#include "core/production/serial_setup.h"
#include "editors_fixture.h"
#include "gui/editors/buffer_views.h"
#include "gui/editors/option_editor.h"
#include "gui/editors/serial_setup_dialog.h"
#include "gui/editors/small_dialogs.h"

namespace kvx::gui {
namespace {

QString Cell(ProgramMemoryView* view, int address) {
  return view->grid->model()->index(address / 8, address % 8).data().toString();
}

TEST_F(EditorsTest, FillWritesTheRangeAndRefusesBadEntries) {
  UseDevice("KVX-43");
  windows->showDisassembly();
  QPointer<FillBufferDialog> fill = static_cast<FillBufferDialog*>(commands->onFillBuffer());
  EXPECT_EQ(fill->startEdit->text(), "0");
  EXPECT_EQ(fill->endEdit->text(), "17FF");
  EXPECT_EQ(fill->dataEdit->text(), "3FFF");
  fill->startEdit->setText("10");
  fill->endEdit->setText("1f");
  fill->dataEdit->setText("1234");
  QTest::mouseClick(fill->findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
  WaitGone(fill.data());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(Cell(windows->ProgramView(), 0x0F), "3FFF");
  EXPECT_EQ(Cell(windows->ProgramView(), 0x10), "1234");
  EXPECT_EQ(Cell(windows->ProgramView(), 0x1F), "1234");
  EXPECT_EQ(windows->Disassembly(), nullptr);
  EXPECT_GE(panelRedraws, 1);

  const struct {
    const char* start;
    const char* end;
    const char* data;
    const char* message;
  } refused[] = {{"1800", "17FF", "0", "Start address is a invalid value!"},
                 {"0", "1800", "0", "End address is a invalid value!"},
                 {"20", "10", "0", "Start address is a invalid value!"},
                 {"0", "10", "4000", "Data is a invalid value!"}};
  for (const auto& c : refused) {
    fill = static_cast<FillBufferDialog*>(commands->onFillBuffer());
    fill->startEdit->setText(c.start);
    fill->endEdit->setText(c.end);
    fill->dataEdit->setText(c.data);
    fill->onFill();
    WaitGone(fill.data());  // the dialog closes in every case
    ASSERT_EQ(prompter.boxes.size(), 1u) << c.message;
    EXPECT_EQ(prompter.boxes[0].kind, test::TestPrompter::Kind::Error);  // the box captioned "Error"
    EXPECT_EQ(TakeMessages()[0], c.message);
  }
  EXPECT_EQ(Cell(windows->ProgramView(), 0), "3FFF");
}

TEST_F(EditorsTest, OptionEditorChangesOnlyTheChosenField) {
  UseDevice("KVX-03");  // oscillator, OST, WDT, PED and security; no PRD
  ws->image.OptionLow = 0x03;  // an oscillator code no list names
  ws->image.OptionHigh = 0x1F;
  QPointer<OptionEditor> editor = static_cast<OptionEditor*>(commands->onEditOption());
  EXPECT_EQ(editor->windowTitle(), "Edit OPTION");
  EXPECT_TRUE(editor->noteText->toPlainText().endsWith(
      "\n        (Please refer to the spec for the actual value)"));
  QComboBox* osc = editor->findChild<QComboBox*>("ComboBox1");
  QComboBox* wdt = editor->findChild<QComboBox*>("ComboBox3");
  QComboBox* prd = editor->findChild<QComboBox*>("ComboBox6");
  EXPECT_EQ(osc->count(), 5);
  EXPECT_EQ(osc->currentIndex(), 0);  // unlisted code: item 0
  EXPECT_FALSE(prd->isEnabled());
  EXPECT_FALSE(editor->findChild<QLabel*>("StaticText6")->isEnabled());
  EXPECT_EQ(wdt->itemText(1), "Disable");
  wdt->setCurrentIndex(1);
  Q_EMIT wdt->activated(1);
  editor->onStoreOption();
  WaitGone(editor.data());
  // WDT variant 1 lives in bits 1-2 of the high byte; everything else stays as read.
  EXPECT_EQ(ws->image.OptionLow, 0x03);
  EXPECT_EQ(ws->image.OptionHigh, (0x1F & 0x79) | 0x02);
  EXPECT_TRUE(ws->panel.RefreshPending);
  EXPECT_EQ(RefreshData(*ws).lines[WdtField].text, "Disable");

  editor = static_cast<OptionEditor*>(commands->onEditOption());
  QComboBox* security = editor->findChild<QComboBox*>("ComboBox5");
  security->setCurrentIndex(1);
  Q_EMIT security->activated(1);
  QTest::mouseClick(editor->findChild<QPushButton*>("BitBtn2"), Qt::LeftButton);  // Cancel
  WaitGone(editor.data());
  EXPECT_EQ(ws->image.OptionHigh, (0x1F & 0x79) | 0x02);
}

TEST_F(EditorsTest, SerialSetupRefusesBadAddressesAndStampsAValidOne) {
  UseDevice("KVX-03");  // 512 words
  QPointer<SerialSetupDialog> setup = static_cast<SerialSetupDialog*>(commands->onSerialSetup());
  EXPECT_EQ(setup->windowTitle(), "Serial No.");
  setup->startAddressEdit->setText("10");
  setup->byteCountEdit->setText("2");
  setup->onByteCountLeft();
  EXPECT_EQ(setup->startValueEdit->text(), "0000");
  setup->startValueEdit->setText("12AB");
  setup->onOk();  // the words there are blank, not RTIW
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(prompter.boxes[0].kind, test::TestPrompter::Kind::Error);  // the box captioned "Error"
  EXPECT_EQ(TakeMessages()[0], kMsgSetupNotRtiw);
  EXPECT_FALSE(ws->production.SerialNoMode);
  EXPECT_TRUE(setup->isVisible());

  setup->startAddressEdit->setText("1FF");  // the second word would lie past the device
  setup->onOk();
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"Start address overflow!!"});

  for (int a : {0x10, 0x11}) ws->image.ProgramBuffer[2 * a + 1] = 0x62;  // RTIW 00
  setup->startAddressEdit->setText("0010");
  setup->onOk();
  WaitGone(setup.data());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_TRUE(ws->production.SerialNoMode);
  EXPECT_TRUE(ws->settings.SerialCommandsLocked);
  EXPECT_GE(commandUpdates, 1);
  EXPECT_EQ(ws->production.SerialText, "12AB");
  EXPECT_EQ(Cell(windows->ProgramView(), 0x10), "3112");
  EXPECT_EQ(Cell(windows->ProgramView(), 0x11), "31AB");

  setup = static_cast<SerialSetupDialog*>(commands->onSerialSetup());
  EXPECT_EQ(setup->startValueEdit->text(), "12AB");
  QTest::mouseClick(setup->findChild<QPushButton*>("BitBtn3"), Qt::LeftButton);  // Disable
  WaitGone(setup.data());
  EXPECT_FALSE(ws->production.SerialNoMode);
  EXPECT_FALSE(ws->settings.SerialCommandsLocked);
}

// The byte order the operator picks is the one OK stores and stamps, at the first press.
TEST_F(EditorsTest, SerialSetupStampsInTheByteOrderPicked) {
  UseDevice("KVX-03");
  for (int a : {0x10, 0x11}) ws->image.ProgramBuffer[2 * a + 1] = 0x62;  // RTIW 00
  QPointer<SerialSetupDialog> setup = static_cast<SerialSetupDialog*>(commands->onSerialSetup());
  ASSERT_TRUE(setup->msbFirstButton->isChecked());
  setup->startAddressEdit->setText("0010");
  setup->byteCountEdit->setText("2");
  setup->onByteCountLeft();
  setup->startValueEdit->setText("12AB");
  QTest::mouseClick(setup->lsbFirstButton, Qt::LeftButton);
  QTest::mouseClick(setup->findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);  // OK
  WaitGone(setup.data());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(ws->production.SerialByteOrder, 1);
  EXPECT_EQ(Cell(windows->ProgramView(), 0x10), "31AB");  // the low byte first
  EXPECT_EQ(Cell(windows->ProgramView(), 0x11), "3112");
  setup = static_cast<SerialSetupDialog*>(commands->onSerialSetup());
  EXPECT_TRUE(setup->lsbFirstButton->isChecked());
  setup->reject();
}

TEST_F(EditorsTest, SerialSetupKeyFiltersAndQtpFile) {
  UseDevice("KVX-03");
  for (int a : {0x20}) ws->image.ProgramBuffer[2 * a + 1] = 0x62;
  QPointer<SerialSetupDialog> setup = static_cast<SerialSetupDialog*>(commands->onSerialSetup());
  setup->startAddressEdit->clear();
  QTest::keyClicks(setup->startAddressEdit, "2g0");
  EXPECT_EQ(setup->startAddressEdit->text(), "20");
  setup->onStartAddressLeft();
  EXPECT_EQ(setup->startAddressEdit->text(), "0020");
  setup->byteCountEdit->clear();
  QTest::keyClicks(setup->byteCountEdit, "91");
  EXPECT_EQ(setup->byteCountEdit->text(), "1");
  setup->startValueEdit->clear();
  QTest::keyClicks(setup->startValueEdit, "fe");
  EXPECT_EQ(setup->startValueEdit->text(), "FE");
  setup->pseudoRandomButton->click();
  EXPECT_FALSE(setup->incrementEdit->isEnabled());
  setup->partCountEdit->setText("3");

  const QString qtp = TempPath(QString::fromUtf8("Nummern ö"));
  AnswerFile(qtp, 1);
  setup->onSaveQtpFile();
  WaitGone(setup.data());
  EXPECT_TRUE(TakeMessages().empty());
  QFile file(qtp + ".txt");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().startsWith(":02002000FE31"));
}

// The operation lines come from tables where "&&" shows as one "&"; the editors' texts (an ID
// read from a chip among them) show as written, and neither is taken for markup.
TEST(WidgetText, LabelsShowTheirAmpersandsByTheirRuleAndNeverAsMarkup) {
  struct Case {
    const char* text;
    Ampersands rule;
    const char* shown;
  };
  const Case cases[] = {
      {"ID && Checksum verify OK!!", Ampersands::DoubledShowOnce, "ID & Checksum verify OK!!"},
      {"ID && Checksum verify OK!!", Ampersands::AsWritten, "ID && Checksum verify OK!!"},
      {"A & B", Ampersands::DoubledShowOnce, "A & B"},
      {"&&&", Ampersands::DoubledShowOnce, "&&"},
      {"<b>KV</b>", Ampersands::AsWritten, "<b>KV</b>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    QLabel label;
    SetLabelText(&label, c.text, c.rule);
    EXPECT_EQ(label.text(), c.shown);
    EXPECT_EQ(label.accessibleName(), c.shown);
    EXPECT_EQ(label.textFormat(), Qt::PlainText);
  }
}

}  // namespace
}  // namespace kvx::gui
