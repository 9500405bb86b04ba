// Auto Program on the desktop records every chip in the production journal beside Default.cfg,
// refuses a first serial number that went out already, and starts nothing without its journal.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app_test_support.h"
#include "core/device/status_panel.h"
#include "core/production/journal.h"
#include "core/production/journal_settings.h"
#include "core/files/program_file.h"
#include "core/production/qtp_file.h"
#include "core/production/sqlite_db.h"
#include "sim/sim_writer.h"

namespace kvx::gui::test {
namespace {

class DesktopJournalTest : public MainWindowTest {
 public:
  // A device with a valid program and two-byte serial numbers from `first` at 0x20.
  void SerialSetup(int first) {
    SelectDevice("KVX-03");
    LoadSerialProgram(first);
  }
  // Auto Program for `passes` chips ("Continue" between them), then Exit.
  void AutoProgram(int passes) {
    form().findChild<QAction*>("AutoProgramAction")->trigger();
    // The journal (a shared one's server may be slow) is opened and read on a worker: the dialog
    // comes once the GUI thread hears back, never within the trigger.
    EXPECT_EQ(Dialog(), nullptr);
    EXPECT_FALSE(form().CommandAllowed());
    for (int pass = 1; pass <= passes; ++pass) {
      ASSERT_TRUE(WaitForButton("Button2")) << pass;
      // The pass enables its buttons before the journal has its end: "Continue" waits for that.
      ASSERT_TRUE(QTest::qWaitFor([&] { return !form().Busy(); }, 10000)) << pass;
      if (pass < passes) Dialog()->Button("Button2")->click();
      else ASSERT_TRUE(CloseWith("Button1"));
    }
  }
  std::vector<PassRecord> Rows() { return RowsOf(JournalPath()); }
  static std::vector<PassRecord> RowsOf(const std::string& path) {
    Journal journal;
    std::string error;
    EXPECT_TRUE(journal.OpenToRead(path, error)) << error;
    return journal.Passes({}, error);
  }
  // kvxw with `args` in the test's folder; its exit status, its output in `out`.
  int Kvxw(const QStringList& args, QString* out = nullptr) {
    QProcess kvxw;
    kvxw.setWorkingDirectory(dir_.path());
    kvxw.start(KVXW_PATH, args);
    EXPECT_TRUE(kvxw.waitForFinished(60000));
    const QString all = kvxw.readAllStandardOutput() + kvxw.readAllStandardError();
    if (out != nullptr) *out = all;
    return kvxw.exitStatus() == QProcess::NormalExit ? kvxw.exitCode() : -1;
  }
  // A bin file of the device's program words (none blank) loaded as File > Open loads it; its
  // path.
  std::string LoadBinFile() {
    const QString path = dir_.filePath("p.bin");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < ws().device.ProgramBytes / 2; ++i) {
      const char word[2] = {static_cast<char>(i), 0x0A};
      file.write(word, 2);
    }
    file.close();
    LoadReport report = OpenProgramFile(ws(), path.toStdString());
    EXPECT_FALSE(report.stopped);
    FinishOpen(ws(), report);
    return path.toStdString();
  }
  std::string JournalPath() const { return QDir(dir_.path()).filePath(kJournalFileName).toStdString(); }
  // Auto Program against a shared journal whose server takes the connection and never answers.
  void WhileTheServerDoesNotAnswer(bool closeMeanwhile);
};

TEST_F(DesktopJournalTest, PassesAreJournaledAndAUsedFirstNumberIsRefusedOrResumed) {
  Start();
  SerialSetup(1);
  AutoProgram(2);
  std::vector<PassRecord> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].serial, i == 0 ? "0001" : "0002");
    EXPECT_EQ(rows[i].outcome, PassOutcome::Ok);
    EXPECT_EQ(rows[i].port, ws().settings.PortName);
    EXPECT_FALSE(rows[i].writer.empty());
  }

  // The same first number again: refused with where it went; "No" starts nothing, "Yes" resumes.
  struct Case {
    bool yes;
    bool runs;
  };
  for (const Case c : {Case{false, false}, Case{true, true}}) {
    SCOPED_TRACE(c.yes);
    SerialSetup(1);
    prompter_.messages.clear();
    prompter_.boxes.clear();
    prompter_.yesNo = {c.yes};
    if (c.runs) {
      AutoProgram(1);
      EXPECT_EQ(writer().Chip().Program[0x21], 0x3103);  // the next free number
    } else {
      form().findChild<QAction*>("AutoProgramAction")->trigger();
      // The verdict comes from a worker; the question is asked once it is there.
      ASSERT_TRUE(QTest::qWaitFor([&] {
        return !prompter_.Texts(TestPrompter::Kind::YesNo).isEmpty() && !form().Busy();
      }, 10000));
      EXPECT_EQ(Dialog(), nullptr);
    }
    ASSERT_FALSE(prompter_.messages.isEmpty());
    EXPECT_TRUE(prompter_.messages.first().startsWith("Serial number 0001 went out on "));
    EXPECT_TRUE(prompter_.messages.first().contains(QString::fromStdString(ws().settings.PortName)));
    EXPECT_TRUE(prompter_.messages.first().contains("the next free one is 0003"));
    EXPECT_EQ(prompter_.Texts(TestPrompter::Kind::YesNo).size(), 1);  // asked once, as a question
    EXPECT_TRUE(prompter_.yesNo.empty());
  }
  rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].serial, "0003");
}

// A pass its own first check refuses (an OPTION field left blank) is no chip: it takes no
// number and leaves no row, and the next chip gets the first number.
TEST_F(DesktopJournalTest, APassRefusedBeforeTheWriterIsAskedTakesNoNumber) {
  Start();
  SerialSetup(1);
  ws().results.OptionStatus = 1;
  AutoProgram(1);
  EXPECT_TRUE(Rows().empty());
  ws().results.OptionStatus = 0;
  AutoProgram(1);
  const std::vector<PassRecord> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].serial, "0001");
  EXPECT_EQ(rows[0].outcome, PassOutcome::Ok);
}

// As kvxw with --resume: the question names the record that went out and the one to start from.
TEST_F(DesktopJournalTest, AQtpFileLoadedAgainAsksToResumeAfterItsLastRecordUsed) {
  Start();
  SerialSetup(5);
  ws().production.SerialByteCount = 1;
  const std::string qtp = dir_.filePath("parts.txt").toStdString();
  ASSERT_EQ(WriteQtpFile(ws(), qtp, 3), "");  // numbers 05, 06, 07
  prompter_.yesNo = {true};  // only the second load is asked about
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    ASSERT_TRUE(LoadQtpFile(ws(), qtp).loaded);  // back at its first record
    prompter_.messages.clear();
    AutoProgram(1);
    EXPECT_EQ(writer().Chip().Program[0x20], 0x3100 + 4 + run);
    const QString asked = prompter_.messages.isEmpty() ? QString() : prompter_.messages.first();
    EXPECT_EQ(asked.startsWith("QTP record 1 (serial number 05) went out on "), run == 2)
        << asked.toStdString();
    if (run == 2) {
      EXPECT_TRUE(asked.endsWith("the next free one is record 2.\n\nStart from record 2?"))
          << asked.toStdString();
    }
  }
  EXPECT_TRUE(prompter_.yesNo.empty());
  const std::vector<PassRecord> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].record, 2);
  EXPECT_EQ(rows[1].serial, "06");
}

// A chip that failed after its serial number went into it keeps the number: "Continue" stamps
// the next one into the next chip, whether the numbers are counted or read from a QTP file.
TEST_F(DesktopJournalTest, AChipThatFailedAfterItsNumberWentInKeepsIt) {
  Start();
  for (const bool qtp : {false, true}) {
    SCOPED_TRACE(qtp ? "QTP file" : "counted");
    SerialSetup(1);
    if (qtp) {
      const std::string lot = dir_.filePath("lot.txt").toStdString();
      ASSERT_EQ(WriteQtpFile(ws(), lot, 5), "");  // numbers 0001 to 0005
      ASSERT_TRUE(LoadQtpFile(ws(), lot).loaded);
      // The counted chips carry 0001 and 0002 at the same place: the file starts after them.
      prompter_.yesNo = {true};
    }
    writer().Faults().WriteFailAt = 0x30 * 2;  // in the program stream, past the serial words
    AutoProgram(2);
    EXPECT_TRUE(prompter_.yesNo.empty());
    std::vector<PassRecord> rows = Rows();
    ASSERT_EQ(rows.size(), qtp ? 4u : 2u);
    rows.erase(rows.begin(), rows.end() - 2);
    EXPECT_EQ(rows[0].serial, qtp ? "0003" : "0001");
    EXPECT_EQ(rows[0].outcome, PassOutcome::ChipFailed);
    EXPECT_TRUE(rows[0].keepsNumber);
    EXPECT_EQ(rows[1].serial, qtp ? "0004" : "0002");
    EXPECT_EQ(rows[1].outcome, PassOutcome::Ok);
    EXPECT_EQ(rows[1].record, qtp ? 4 : 0);
    EXPECT_EQ(writer().Chip().Program[0x21], qtp ? 0x3104 : 0x3102);
  }
}

// The passes a dead run left unfinished are told once, when the journal opens, and not again at
// every Auto Program after it.
TEST_F(DesktopJournalTest, TheUnfinishedPassesOfADeadRunAreToldOnce) {
  {
    Journal dying;
    std::string error;
    ASSERT_TRUE(dying.Open(JournalPath(), error)) << error;
    PassRecord row;
    row.port = "COM9";
    ASSERT_EQ(dying.Reserve(row, error), Journal::ReserveResult::Reserved) << error;
  }  // never finished
  // That run was another process's, which has ended since.
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ASSERT_GT(ended, 0);
  ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
  {
    SqliteDb db;
    ASSERT_TRUE(db.Open(JournalPath(), false));
    ASSERT_TRUE(db.Exec("UPDATE runs SET pid = " + std::to_string(ended)));
  }
  Start();
  SerialSetup(1);
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    prompter_.messages.clear();
    AutoProgram(1);
    EXPECT_EQ(prompter_.messages.filter("ended without finishing").size(), run == 1 ? 1 : 0)
        << prompter_.messages.join("|").toStdString();
  }
  EXPECT_EQ(Rows().back().serial, "0002");
}

TEST_F(DesktopJournalTest, AJournalThatCannotBeOpenedStopsTheCommandBeforeTheWriter) {
  Start();
  SerialSetup(1);
  ASSERT_TRUE(QDir(dir_.path()).mkdir(kJournalFileName));
  form().findChild<QAction*>("ForceWriteAction")->setVisible(true);  // the engineering controls
  for (QAction* command : {form().findChild<QAction*>("AutoProgramAction"), form().findChild<QAction*>("ForceWriteAction")}) {
    SCOPED_TRACE(command->objectName().toStdString());
    prompter_.messages.clear();
    const long before = writer().BytesReceived();
    command->trigger();
    // The journal opens on a worker: its answer comes back as an event.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompter_.messages.isEmpty(); }, 10000));
    EXPECT_EQ(Dialog(), nullptr);
    EXPECT_EQ(writer().BytesReceived(), before);
    ASSERT_EQ(prompter_.messages.size(), 1);
    EXPECT_TRUE(prompter_.messages.first().contains("cannot be opened"));
    EXPECT_TRUE(prompter_.messages.first().contains("no chip was programmed"));
  }
}

// A "server" on the loopback that takes connections and never says a word, as a host behind a
// firewall that swallows the replies: libpq waits for it up to its connect time-out.
class SilentServer {
 public:
  SilentServer() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(listen_, 4) == 0 &&
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { HangUp(); }
  int Port() const { return port_; }
  // Whether a client is knocking (its connection waits to be accepted); takes it when it is.
  bool Knocked() {
    pollfd p{listen_, POLLIN, 0};
    if (::poll(&p, 1, 0) != 1) return false;
    client_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    return client_ >= 0;
  }
  // Closes everything: the client sees the connection end, a new one is refused.
  void HangUp() {
    for (int* fd : {&client_, &listen_})
      if (*fd >= 0) ::close(*fd), *fd = -1;
  }

 private:
  int listen_ = -1;
  int client_ = -1;
  int port_ = 0;
};

TEST_F(DesktopJournalTest, TheWindowAnswersWhileASharedJournalsServerDoesNotThenSaysWhyOrCloses) {
  for (const bool closeMeanwhile : {false, true}) {
    SCOPED_TRACE(closeMeanwhile ? "closed meanwhile" : "left open");
    prompter_.messages.clear();
    WhileTheServerDoesNotAnswer(closeMeanwhile);
  }
}

void DesktopJournalTest::WhileTheServerDoesNotAnswer(bool closeMeanwhile) {
  SilentServer server;
  ASSERT_NE(server.Port(), 0);
  QFile ini(QDir(dir_.path()).filePath(kSettingsFileName));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write(QString("journal=postgresql://kvx@127.0.0.1:%1/floor?sslmode=disable\n").arg(server.Port()).toUtf8());
  ini.close();
  Start();
  SerialSetup(1);
  const long before = writer().BytesReceived();
  form().findChild<QAction*>("AutoProgramAction")->trigger();
  // The worker is connecting: the GUI thread runs events meanwhile (this wait is made of them),
  // and a timer set now fires while the server still has not answered.
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.Knocked(); }, 10000));
  bool timerFired = false;
  QTimer::singleShot(0, &form(), [&] { timerFired = true; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return timerFired; }, 10000));
  EXPECT_TRUE(prompter_.messages.isEmpty());
  // No second command starts while the journal opens.
  form().findChild<QAction*>("AutoProgramAction")->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(Dialog(), nullptr);
  if (closeMeanwhile) {
    // The window waits for the open to end, then closes without starting the command.
    form().close();
    EXPECT_TRUE(form().isVisible());
    server.HangUp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form().isVisible(); }, 10000));
    EXPECT_EQ(Dialog(), nullptr);
    EXPECT_EQ(writer().BytesReceived(), before);
    return;
  }

  server.HangUp();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !prompter_.messages.isEmpty(); }, 10000));
  ASSERT_EQ(prompter_.messages.size(), 1) << prompter_.messages.join("|").toStdString();
  const QString message = prompter_.messages.first();
  EXPECT_TRUE(message.startsWith("the shared journal postgresql://kvx@127.0.0.1:")) << message.toStdString();
  EXPECT_TRUE(message.contains("cannot be reached")) << message.toStdString();
  EXPECT_TRUE(message.endsWith("no chip was programmed")) << message.toStdString();
  EXPECT_EQ(Dialog(), nullptr);
  EXPECT_EQ(writer().BytesReceived(), before);
}

}  // namespace
}  // namespace kvx::gui::test

namespace kvx::gui::test {
namespace {

// Force Write journals its chips, without a serial number, whichever front end runs it: kvxw
// force-write --count 2 and the desktop's Force Write with one "Continue" write the same rows.
TEST_F(DesktopJournalTest, ForceWriteWritesTheSameRowsFromKvxwAndTheDesktop) {
  Start();
  SelectDevice("KVX-01");
  const std::string program = LoadBinFile();
  ws().production.SerialNoMode = true;  // Force Write leaves it: its chips carry no number
  QAction* forceWrite = form().findChild<QAction*>("ForceWriteAction");
  forceWrite->setVisible(true);  // the engineering controls
  forceWrite->trigger();
  for (int pass = 1; pass <= 2; ++pass) {
    ASSERT_TRUE(WaitForButton("Button2")) << pass;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form().Busy(); }, 10000)) << pass;
    if (pass < 2) Dialog()->Button("Button2")->click();
    else ASSERT_TRUE(CloseWith("Button1"));
  }
  const std::string cliJournal = dir_.filePath("cli.db").toStdString();
  QString out;
  EXPECT_EQ(Kvxw({"force-write", "--port", "sim", "--device", "KVX-01", "--file",
                  QString::fromStdString(program), "--count", "2", "--journal",
                  QString::fromStdString(cliJournal)}, &out), 0) << out.toStdString();

  const std::vector<PassRecord> desktop = Rows(), cli = RowsOf(cliJournal);
  ASSERT_EQ(desktop.size(), 2u);
  ASSERT_EQ(cli.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    for (const PassRecord* row : {&desktop[i], &cli[i]}) {
      EXPECT_EQ(row->outcome, PassOutcome::Ok);
      EXPECT_TRUE(row->counted);
      EXPECT_EQ(row->serial, "");
      EXPECT_EQ(row->series, "");
      EXPECT_EQ(row->passCount, static_cast<long>(i + 1));
    }
    EXPECT_EQ(cli[i].device, desktop[i].device);
    EXPECT_EQ(cli[i].dataChecksum, desktop[i].dataChecksum);
    EXPECT_EQ(cli[i].optionWord, desktop[i].optionWord);
    EXPECT_EQ(cli[i].programSha256, desktop[i].programSha256);
    EXPECT_EQ(cli[i].redLine, desktop[i].redLine);
  }
}

}  // namespace
}  // namespace kvx::gui::test
