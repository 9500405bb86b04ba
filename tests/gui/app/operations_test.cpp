// Each operation dialog as the operator sees it end: its lines, their colours, and its closing
// button enabled only once the last line is there.
#include <QAction>
#include <QToolBar>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>
#include <functional>

#include "app_test_support.h"
#include "core/device/status_panel.h"
#include "core/device/text_convert.h"
#include "core/editors/buffer_edit.h"
#include "core/production/pass_time.h"
#include "core/production/qtp_file.h"
#include "sim/sim_writer.h"

namespace kvx::gui::test {
namespace {

class Operations : public MainWindowTest {
 public:
  // Some OPTION word whose every field decodes to a name.
  void ValidOption() {
    for (int high = 0; high < 0x80; ++high)
      for (int low = 0; low < 0x80; ++low) {
        ws().image.OptionLow = static_cast<std::uint8_t>(low);
        ws().image.OptionHigh = static_cast<std::uint8_t>(high);
        if (RefreshData(ws()).optionStatus == 0) return;
      }
    FAIL() << "no valid OPTION word";
  }
  void ProgramWords(int count) {
    for (int i = 0; i < count; ++i) {
      const StoredWord w = SplitWord(0x0A00 + i);
      ws().image.ProgramBuffer[2 * i] = w.first;
      ws().image.ProgramBuffer[2 * i + 1] = w.second;
    }
  }
};

// Every line of the dialog, for a failure's message.
std::string Lines(ProgressDialog* d) {
  std::string all;
  for (QLabel* l : d->findChildren<QLabel*>())
    all += l->objectName().toStdString() + "=" + l->text().toStdString() + (IsRed(l) ? " [red]" : "") + "; ";
  return all;
}

struct Line {
  const char* label;
  const char* text;
  bool red;
};

TEST_F(Operations, EachDialogEndsWithItsLinesAndOnlyThenItsButton) {
  const struct {
    const char* name;
    const char* device;
    std::function<void(Operations&)> setUp;
    const char* action;
    const char* dialog;
    std::vector<Line> lines;
    const char* button;
  } cases[] = {
      {"blank check", "KVX-03", nullptr, "BlankCheckAction", "BlankCheckForm",
       {{"Label2", "OPTION ....... OK", false}, {"Label4", "Data ......... OK.", false}}, "Button1"},
      {"erase", "KVX-01", nullptr, "EraseAction", "BlankCheckForm",
       {{"StaticText1", "Erase Flash Memory", false}, {"Label1", "Erase End", false},
        {"Label4", "Data ......... OK.", false}}, "Button1"},
      {"empty socket", "KVX-03", [](Operations& t) { t.writer().InsertChip(sim::ChipContent::Empty); },
       "BlankCheckAction", "BlankCheckForm",
       {{"Label2", "Nothing in socket or type error!!", true}}, "Button1"},
      {"silent Writer", "KVX-03", [](Operations& t) { t.writer().Faults().SilentAfter = 0; },
       "BlankCheckAction", "BlankCheckForm", {{"Label3", "Connect Timeout!!", true}}, "Button1"},
      {"read", "KVX-01", nullptr, "ReadICAction", "ReadForm",
       {{"Label1", "Read OPTION OK!", false}, {"Label2", "Read ID and Checksum OK!", false},
        {"Label3", "Read Data OK", false}, {"EEInfo", "Read EEPROM OK!", false}}, "Button1"},
      {"verify mismatch", "KVX-03", [](Operations& t) { t.ProgramWords(1); }, "VerifyICAction",
       "VerifyForm",
       {{"Label5", "Data Verify error at 0000H", false}, {"Label3", "IC=3FFFH, Buffer=0A00H", false}},
       "Button1"},
      {"verify with protect", "KVX-03", nullptr, "VerifywithProtect1", "VerifyForm",
       {{"StaticText1", "Verify with Protect", false}, {"Label4", "IC no protected!!", true}}, "Button1"},
      {"program memory", "KVX-03", [](Operations& t) { t.ProgramWords(16); }, "ProgramMemory2",
       "ProgramMemoryForm", {{"Label1", "Program Ok!!", false}, {"Label2", "Data verify OK!!", false}},
       "Button1"},
      {"program OPTION", "KVX-03", [](Operations& t) { t.ValidOption(); }, "ProgramOption",
       "ProgramOptionForm", {{"Label1", "OPTION program & verify OK!!", false}}, "Button1"},
      {"blank OPTION refused", "KVX-03", nullptr, "ProgramOption", "ProgramOptionForm",
       {{"Label1", "Some Options are Blank !!", true}}, "Button1"},
      {"ID and checksum", "KVX-03", nullptr, "ID3", "ProgramIDForm",
       {{"Label1", "Program Ok!!", false}, {"Label2", "ID & Checksum verify OK!!", false}}, "Button1"},
      {"write EEPROM", "KVX-01", [](Operations& t) { t.ws().image.EepromBuffer[3] = 0x5A; },
       "WriteEEAction", "ProgramEEPROM",
       {{"Label1", "EEPROM Program Ok!!", false}, {"Label3", "EEPROM Data Verify OK!!", false}},
       "ButtonOk"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    if (std::string(c.device) != "KVX-01") SelectDevice(c.device);
    prompter_.messages.clear();
    if (c.setUp) c.setUp(*this);
    form().findChild<QAction*>(c.action)->trigger();
    ProgressDialog* d = Dialog();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->objectName(), c.dialog);
    EXPECT_FALSE(d->Button(c.button)->isEnabled());
    if (!(d->windowFlags() & Qt::WindowCloseButtonHint)) {
      d->close();  // no close box, no enabled button: the operator cannot close it yet
      EXPECT_TRUE(d->isVisible());
    }
    ASSERT_TRUE(WaitForButton(c.button)) << Lines(d);
    // The button came last: every line is already there as the worker wrote it.
    for (const Line& l : c.lines) {
      QLabel* label = d->Line(l.label);
      ASSERT_NE(label, nullptr) << l.label;
      EXPECT_EQ(label->text(), l.text) << l.label;
      EXPECT_TRUE(label->isVisible()) << l.label;
      EXPECT_EQ(IsRed(label), l.red) << l.label;
      EXPECT_EQ(label->accessibleName(), l.text) << l.label;
    }
    // (The blank reset word's warning, answered "Ignore", has its own test.)
    EXPECT_TRUE(prompter_.messages.filter(QRegularExpression("^(?!Reset address)")).isEmpty())
        << prompter_.messages.join("|").toStdString();
    ASSERT_TRUE(CloseWith(c.button));
    form_.reset();
  }
}

TEST_F(Operations, ReadRedrawsThePanelFromTheChip) {
  Start();
  SelectDevice("KVX-03");
  // A programmed chip: what it holds comes into the buffers and onto the panel.
  writer().InsertChip(sim::ChipContent::Programmed);
  const std::string before = ws().panel.ChecksumText;
  form().findChild<QAction*>("ReadICAction")->trigger();
  ASSERT_TRUE(WaitForButton());
  EXPECT_EQ(Dialog()->GaugeBar()->value(), 100);
  EXPECT_FALSE(Dialog()->Line("EEInfo")->isVisible());  // an OTP part has no EEPROM step
  ASSERT_TRUE(CloseWith());
  EXPECT_TRUE(ws().results.ReadCompleted);
  EXPECT_TRUE(windowFlags().BufferViewOpen);
  EXPECT_NE(ws().panel.ChecksumText, before);
  EXPECT_EQ(Text("Label11"), QString::fromStdString(ws().panel.ChecksumText));
  EXPECT_EQ(Text("Label5"), QString::fromStdString(ws().panel.OptionLabelText[0]));
  EXPECT_EQ(ShownIdText(ws().panel.IdText).substr(0, 2), std::string(Text("Label18").left(2).toStdString()));
}

// The panel's "IC Checksum" (Label17) shows the checksum words the chip carries, never the
// buffer's data checksum: after a Read, and after Program ID has written new ones.
TEST_F(Operations, PanelIcChecksumShowsTheChipsChecksumAfterReadAndProgramId) {
  Start();
  SelectDevice("KVX-03");
  ws().settings.IdDisplayHex = true;  // the ID window's HEX mode: the four bytes as they are
  const auto chipChecksum = [this] {
    std::string text;
    for (int word : {6, 7}) {
      const int w = writer().Chip().Id[word];
      text += (text.empty() ? "" : " ") + HexDigits(w & 0x7F, 2) + " " + HexDigits(w >> 7, 2);
    }
    return QString::fromStdString(text);
  };
  writer().InsertChip(sim::ChipContent::Programmed);
  writer().Chip().Id[6] = 'C' | ('0' << 7);
  writer().Chip().Id[7] = 'D' | ('E' << 7);
  form().findChild<QAction*>("ReadICAction")->trigger();
  ASSERT_TRUE(WaitForButton());
  ASSERT_TRUE(CloseWith());
  EXPECT_EQ(Text("Label17"), "43 30 44 45");

  writer().InsertChip(sim::ChipContent::Blank);
  form().findChild<QAction*>("ID3")->trigger();
  ASSERT_TRUE(WaitForButton());
  EXPECT_EQ(Dialog()->Line("Label2")->text(), "ID & Checksum verify OK!!");
  ASSERT_TRUE(CloseWith());
  EXPECT_NE(chipChecksum(), "43 30 44 45");
  EXPECT_EQ(Text("Label17"), chipChecksum());
}

TEST_F(Operations, BlankResetAddressAsksAndAbortOpensNoDialog) {
  Start();
  SelectDevice("KVX-03");
  ProgramWords(4);
  prompter_.ignore = false;
  form().findChild<QAction*>("ProgramMemory2")->trigger();
  ASSERT_EQ(prompter_.messages.size(), 1);
  EXPECT_TRUE(prompter_.messages[0].startsWith("Reset address ("));
  EXPECT_EQ(Dialog(), nullptr);
}

TEST_F(Operations, ClosingForceWriteMidStreamEndsTheWorkerAndThePortStaysUsable) {
  // The link's time never moves on: only the stop can end the worker's wait for the Writer.
  FrozenClock frozen;
  Start(/*simulatedTime=*/false, &frozen);
  SelectDevice("KVX-19");  // 4096 words
  ProgramWords(4096);
  writer().Faults().SilentAfter = 3000;  // the Writer stops answering in the middle
  QTest::mouseDClick(form().findChild<QToolBar*>("ToolBar2")->findChild<QLabel*>("Label3"), Qt::LeftButton);
  form().findChild<QAction*>("ForceWriteAction")->trigger();
  // The first production command opens the journal on a worker: its dialog follows.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Dialog() != nullptr; }, 10000));
  ProgressDialog* d = Dialog();
  ASSERT_TRUE(QTest::qWaitFor([&] { return writer().BytesReceived() >= 3000; }, 10000));
  EXPECT_TRUE(form().Busy());
  QPointer<ProgressDialog> gone(d);
  d->close();  // its close box
  ASSERT_TRUE(QTest::qWaitFor([&] { return gone.isNull() || !gone->isVisible(); }, 5000));
  EXPECT_FALSE(form().Busy());
  // The next operation on the same port goes through.
  writer().Faults().SilentAfter = -1;
  writer().AbandonExchange();
  form().findChild<QAction*>("ReadICAction")->trigger();
  ASSERT_TRUE(WaitForButton());
  EXPECT_EQ(Dialog()->Line("Label3")->text(), "Read Data OK");
  ASSERT_TRUE(CloseWith());
}

TEST_F(Operations, AutoProgramTwoPassesStampsSerialNumbersAndCounts) {
  Start();
  SelectDevice("KVX-03");
  ProgramWords(64);
  ValidOption();
  // Serial numbers of two bytes, from 0x0001, in the RTIW words at 0x20 and 0x21.
  for (int a : {0x20, 0x21}) {
    const StoredWord w = SplitWord(0x3100);
    ws().image.ProgramBuffer[2 * a] = w.first;
    ws().image.ProgramBuffer[2 * a + 1] = w.second;
  }
  ws().production.SerialNoMode = true;
  ws().production.SerialStartAddress = 0x20;
  ws().production.SerialByteCount = 2;
  ws().production.SerialValue = {1, 0, 0, 0, 0, 0, 0, 0};
  form().findChild<QAction*>("AutoProgramAction")->trigger();
  // The first production command opens the journal on a worker: its dialog follows.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Dialog() != nullptr; }, 10000));
  ProgressDialog* d = Dialog();
  EXPECT_EQ(d->objectName(), "AutoProgramForm");
  for (int pass = 1; pass <= 2; ++pass) {
    SCOPED_TRACE(pass);
    ASSERT_TRUE(WaitForButton("Button2"));
    EXPECT_TRUE(d->Button("Button1")->isEnabled());
    EXPECT_EQ(d->Line("Label4")->text(), "OPTION program & verify OK!!");
    EXPECT_FALSE(IsRed(d->Line("Label2")));
    // The chip just programmed carries this pass's number.
    EXPECT_EQ(writer().Chip().Program[0x20], 0x3100);
    EXPECT_EQ(writer().Chip().Program[0x21], 0x3100 + pass);
    // The panel shows the count and the next number.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Text("Label13") == QString::number(pass); }, 2000));
    EXPECT_EQ(Text("Label15"), QString("%1").arg(pass + 1, 4, 16, QChar('0')).toUpper());
    if (pass == 1) d->Button("Button2")->click();  // Continue: the next chip
  }
  ASSERT_TRUE(CloseWith("Button1"));
  EXPECT_EQ(ws().production.PassCount, 2);
}

// The dialog says how long a pass takes once the Writer check has been timed: the wire time of
// the device's bytes, and an adapter's hold on every round trip on top.
TEST_F(Operations, AutoProgramShowsThePassTimeThePortPredicts) {
  const struct {
    const char* faults;  // of the simulated Writer, on the simulated clock
    int holdMs;          // -1: answers in no time, so nothing to predict from
  } cases[] = {{"", -1}, {"baud-delay", 0}, {"baud-delay answer-delay=16", 16}};
  Start();
  SelectDevice("KVX-03");
  ProgramWords(64);
  ValidOption();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.faults);
    writer().Faults() = sim::FaultSet{};
    std::string error;
    for (const QString& f : QString(c.faults).split(' ', Qt::SkipEmptyParts))
      ASSERT_TRUE(sim::ParseFault(f.toStdString(), writer().Faults(), error)) << error;
    ws().link.RoundTrip = {};
    form().findChild<QAction*>("AutoProgramAction")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Dialog() != nullptr; }, 10000));
    ProgressDialog* d = Dialog();
    ASSERT_TRUE(WaitForButton("Button2"));
    QLabel* prediction = d->PredictionLabel();
    if (c.holdMs < 0) {
      EXPECT_FALSE(prediction->isVisible());
    } else {
      const auto pass = PassTime(AutoPassExchange(ws()), std::chrono::milliseconds(c.holdMs));
      EXPECT_EQ(prediction->text(), Q("A pass: about " + DurationText(pass)));
      EXPECT_TRUE(prediction->isVisible());
    }
    ASSERT_TRUE(CloseWith("Button1"));
  }
}

TEST_F(Operations, AutoProgramEndsWithTheQtpFileAndRunsByItselfInFlashTestMode) {
  Start();
  SelectDevice("KVX-03");
  ProgramWords(64);
  ValidOption();
  const StoredWord rtiw = SplitWord(0x3100);
  ws().image.ProgramBuffer[2 * 0x20] = rtiw.first;
  ws().image.ProgramBuffer[2 * 0x20 + 1] = rtiw.second;
  ws().production.SerialStartAddress = 0x20;
  ws().production.SerialByteCount = 1;
  // A QTP file of one number: one pass, then its end.
  const std::string qtp = dir_.filePath("parts.txt").toStdString();
  ASSERT_EQ(WriteQtpFile(ws(), qtp, 1), "");
  ASSERT_TRUE(LoadQtpFile(ws(), qtp).loaded);
  ws().production.FlashPgmTestOn = true;  // would start the next pass by itself, but the file has ended
  QToolBar* portBar = form().findChild<QToolBar*>("ToolBar2");
  QTest::mouseDClick(portBar->findChild<QLabel*>("Label3"), Qt::LeftButton);  // the engineering panel
  QPushButton* qtpSim = portBar->findChild<QPushButton*>("QtpSim");
  ASSERT_TRUE(QTest::qWaitFor([&] { return qtpSim->isVisible(); }));
  ws().production.SerialNoMode = true;  // the simulation toggles in serial-number mode only
  qtpSim->click();          // the QTP simulation on: the button offers to switch it off
  ASSERT_EQ(qtpSim->text(), "Disable");
  form().findChild<QAction*>("AutoProgramAction")->trigger();
  ASSERT_TRUE(WaitForButton("Button1"));
  EXPECT_EQ(prompter_.messages.filter("QTP Program Finished!").size(), 1);
  EXPECT_EQ(qtpSim->text(), "Enable");  // the file's end switched the simulation off
  EXPECT_FALSE(Dialog()->Button("Button2")->isEnabled());  // only Exit
  EXPECT_FALSE(ws().production.SerialNoMode);
  ASSERT_TRUE(CloseWith("Button1"));
  EXPECT_EQ(Text("Label19"), "Disable");

  // The flash test mode: the next pass starts a second after the last, without "Continue".
  ws().production.QtpReadFile.reset();
  form().findChild<QAction*>("AutoProgramAction")->trigger();
  // The start verdict is read on a worker: the dialog follows.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Dialog() != nullptr; }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Text("Label13") == "3"; }, 10000));
  ASSERT_TRUE(WaitForButton("Button1"));
  ASSERT_TRUE(CloseWith("Button1"));
}

TEST_F(Operations, APassThatCannotStartSaysWhyAndTheDialogStillCloses) {
  Start();
  SelectDevice("KVX-03");
  ProgramWords(64);
  ValidOption();
  form().findChild<QAction*>("AutoProgramAction")->trigger();
  ASSERT_TRUE(WaitForButton("Button2"));
  // Another task holds the workspace when "Continue" comes: the runner refuses the pass.
  ASSERT_TRUE(ws().Busy.TryTake());
  prompter_.messages.clear();
  Dialog()->Button("Button2")->click();
  ws().Busy.Release();
  ASSERT_EQ(prompter_.messages.size(), 1);
  EXPECT_TRUE(prompter_.messages[0].startsWith("The operation could not start"));
  EXPECT_FALSE(Dialog()->Button("Button2")->isEnabled());
  ASSERT_TRUE(CloseWith("Button1"));
}

// A QTP file of one number: its pass ends on "QTP Program Finished!", which the worker waits on.
void OneNumberQtpFile(Operations& t) {
  t.SelectDevice("KVX-03");
  t.ProgramWords(64);
  t.ValidOption();
  const StoredWord rtiw = SplitWord(0x3100);
  t.ws().image.ProgramBuffer[2 * 0x20] = rtiw.first;
  t.ws().image.ProgramBuffer[2 * 0x20 + 1] = rtiw.second;
  t.ws().production.SerialStartAddress = 0x20;
  t.ws().production.SerialByteCount = 1;
  const std::string qtp = t.dir_.filePath("parts.txt").toStdString();
  ASSERT_EQ(WriteQtpFile(t.ws(), qtp, 1), "");
  ASSERT_TRUE(LoadQtpFile(t.ws(), qtp).loaded);
}

TEST_F(Operations, ClosingTheWindowWhileAWorkerWaitsOnItsBoxEndsTheWorkerAndTheWindow) {
  for (bool bySignal : {false, true}) {
    SCOPED_TRACE(bySignal);
    form_.reset();  // a fresh start: no Default.cfg, no journal
    for (const QString& name : QDir(dir_.path()).entryList(QDir::Files)) QFile::remove(dir_.filePath(name));
    prompter_.hold = false;
    Start();
    OneNumberQtpFile(*this);
    prompter_.hold = true;  // nobody answers the box
    form().findChild<QAction*>("AutoProgramAction")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return prompter_.held.size() == 1; }, 10000));
    EXPECT_EQ(prompter_.messages.last(), "QTP Program Finished!");
    EXPECT_TRUE(form().Busy());  // the worker waits for the operator's answer
    if (bySignal)
      form().CloseBySignal();
    else
      form().close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form().isVisible(); }, 5000));
    EXPECT_FALSE(form().Busy());
    EXPECT_TRUE(QFile::exists(dir_.filePath("Default.cfg")));
    for (auto& answer : prompter_.held) answer();  // an answer after the end changes nothing
    prompter_.held.clear();
  }
}

TEST_F(Operations, AWindowClosedWhileTheResetAddressWarningIsUpStartsNothing) {
  Start();
  SelectDevice("KVX-03");
  ProgramWords(4);  // the reset-address word stays blank: the warning comes
  prompter_.whileAsked = [this] { form().CloseBySignal(); };
  const long before = writer().BytesReceived();
  form().findChild<QAction*>("ProgramMemory2")->trigger();  // "Ignore"
  EXPECT_FALSE(form().isVisible());
  EXPECT_EQ(Dialog(), nullptr);
  QTest::qWait(0);
  EXPECT_FALSE(form().Busy());
  EXPECT_EQ(writer().BytesReceived(), before);
}

}  // namespace
}  // namespace kvx::gui::test
