// File > Open of each kind, the configuration files, Save Program Memory and Load QTP File, with
// names that hold spaces and non-ASCII letters.
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMdiSubWindow>

#include "core/editors/buffer_edit.h"
#include "editors_fixture.h"
#include "gui/editors/buffer_views.h"
#include "gui/editors/id_window.h"

namespace kvx::gui {
namespace {

void Write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

// A KVX-01 bin image (1024 words) whose word 0 is `word0`, the rest blank.
QByteArray BinImage(int word0) {
  QByteArray bytes;
  for (int a = 0; a < 1024; ++a) {
    const int w = a == 0 ? word0 : 0x3FFF;
    bytes.append(static_cast<char>(w & 0xFF)).append(static_cast<char>(w >> 8));
  }
  return bytes;
}

TEST_F(EditorsTest, OpenReadsEveryFileKindIntoTheView) {
  const struct {
    const char* name;
    QByteArray bytes;
    const char* word0;  // as the view shows it afterwards; nullptr: not checked (translated)
    std::vector<std::string> messages;
  } files[] = {
      {"prog ä.bin", BinImage(0x1234), "1234", {}},
      {"prog ä.kvh", ":020000000A30C4\r\n:00000001FF\r\n", "300A", {}},
      {"pic code.obj", BinImage(0x0000), nullptr, {}},
      // The words the file leaves out read 0xFFFF, which no PIC core has: the translation warns.
      {"pic code.hex", ":020000000000FE\r\n:00000001FF\r\n", nullptr,
       {"Warning: File format error !(12 bit)"}},
  };
  for (const auto& f : files) {
    const QString path = TempPath(QString::fromUtf8(f.name));
    Write(path, f.bytes);
    AnswerFile(path, 1);
    commands->onOpenFile();
    EXPECT_EQ(TakeMessages(), f.messages) << f.name;
    ProgramMemoryView* view = windows->ProgramView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->windowTitle(), path) << f.name;
    EXPECT_EQ(windows->Frame(view)->windowTitle(), path);
    if (f.word0) {
      EXPECT_EQ(view->grid->model()->index(0, 0).data().toString(), f.word0) << f.name;
    }
  }
  const FileDialogRequest& open = prompter.fileRequests.back();
  EXPECT_EQ(open.title, "Open File");
  EXPECT_EQ(open.defaultSuffix, "bin");
  EXPECT_EQ(open.filters, (QStringList{"KVX bin (*.bin)", "KVX hex (*.kvh)", "PIC obj (*.obj)",
                                       "PIC hex (*.hex)", "Config file (*.cfg)", "All File (*.*)"}));
  EXPECT_EQ(open.fileName, TempPath("pic code"));  // the last file, up to its first "."
}

TEST_F(EditorsTest, BadFilesGetTheirMessageAndKeepTheView) {
  Write(TempPath("short.bin"), QByteArray(10, '\0'));
  Write(TempPath("notes.xyz"), "text");
  Write(TempPath("bad sum.kvh"), ":020000000A30C5\r\n:00000001FF\r\n");
  const struct {
    QString path;
    const char* message;
  } cases[] = {
      {TempPath("missing.bin"), "File don't exist!"},
      {TempPath("short.bin"), "File size unmatch!"},
      {TempPath("notes.xyz"), "File type incorrect!"},
      {TempPath("bad sum.kvh"), "Checksum error at line 1 !"},
  };
  for (const auto& c : cases) {
    AnswerFile(c.path, 6);
    commands->onOpenFile();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{c.message}) << c.message;
    EXPECT_NE(windows->ProgramView(), nullptr);
  }
  windows->showDisassembly();
  CancelFile();
  commands->onOpenFile();  // a cancelled Open still closes the listing
  EXPECT_EQ(windows->Disassembly(), nullptr);
}

TEST_F(EditorsTest, ConfigurationSavedAndLoadedBackRestoresTheWorkspace) {
  const QString program = TempPath(QString::fromUtf8("Prüfung 1.bin"));
  Write(program, BinImage(0x0155));
  AnswerFile(program, 1);
  commands->onOpenFile();
  ws->image.OptionLow = 0x15;
  ws->image.OptionHigh = 0x12;
  ws->image.IdBuffer[0] = 'Q';
  ws->production.SerialStartAddress = 0x40;
  ws->production.SerialIncrement = 7;

  const QString config = TempPath(QString::fromUtf8("Prüfung 1.cfg"));
  AnswerFile(config, 2);  // the "KVX Bin" filter
  commands->onSaveConfig();
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"File can't be saved!"});
  EXPECT_EQ(prompter.fileRequests.back().title, "Save Configuration");
  EXPECT_EQ(prompter.fileRequests.back().fileName, TempPath(QString::fromUtf8("Prüfung 1")));
  AnswerFile(config, 1);
  commands->onSaveConfig();
  EXPECT_TRUE(TakeMessages().empty());

  UseDevice("KVX-03");  // another device and blank buffers
  AnswerFile(config, 2);
  commands->onLoadConfig();
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"Can't load file!"});
  windows->Flags().ShownOnce = true;
  AnswerFile(config, 1);
  commands->onLoadConfig();
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(ws->device.DeviceName, "KVX-01");
  EXPECT_EQ(ws->image.IdBuffer[0], 'Q');
  EXPECT_EQ(ws->production.SerialStartAddress, 0x40);
  EXPECT_EQ(ws->production.SerialIncrement, 7);
  EXPECT_EQ(ProgramWordText(*ws, 0), "0155");
  EXPECT_EQ(windows->ProgramView()->grid->model()->rowCount(), 128);
  EXPECT_EQ(windows->ProgramView()->grid->model()->index(0, 0).data().toString(), "0155");
  EXPECT_EQ(windows->IdWindow()->idLabel->text().left(1), "Q");

  // The program file has gone: the device is taken over, then the workspace is reset.
  ASSERT_TRUE(QFile::remove(program));
  UseDevice("KVX-03");
  AnswerFile(config, 1);
  commands->onLoadConfig();
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"'" + program.toStdString() + "' file do not find!"});
  EXPECT_EQ(ws->device.DeviceName, "KVX-01");
  EXPECT_EQ(windows->ProgramView()->grid->model()->rowCount(), 128);
  EXPECT_EQ(windows->ProgramView()->grid->model()->index(0, 0).data().toString(), "3FFF");
  EXPECT_EQ(windows->IdWindow()->idLabel->text(), "............");  // a blank ID
}

TEST_F(EditorsTest, SaveProgramMemoryWritesTheBinImageOnlyUnderItsFilter) {
  const QString path = TempPath(QString::fromUtf8("Speicher ß.bin"));
  commands->onFillBuffer()->reject();
  ws->image.ProgramBuffer[0] = 0x34;
  ws->image.ProgramBuffer[1] = 0x24;  // 0x1234
  AnswerFile(path, 1);
  commands->onSaveProgramMemory();
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"Sorry, file can't be saved!"});
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_EQ(prompter.fileRequests.back().title, "Save program memory buffer");
  EXPECT_EQ(prompter.fileRequests.back().filterIndex, 2);
  AnswerFile(path, 2);
  commands->onSaveProgramMemory();
  EXPECT_TRUE(TakeMessages().empty());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), BinImage(0x1234));
}

TEST_F(EditorsTest, LoadQtpFileStampsTheFirstNumberIntoTheView) {
  ws->image.ProgramBuffer[2 * 0x10 + 1] = 0x62;
  ws->image.ProgramBuffer[2 * 0x11 + 1] = 0x62;
  const QString path = TempPath(QString::fromUtf8("Serien ü.txt"));
  Write(path, ":040010001231343144\r\n:00000001FF");
  AnswerFile(path, 1);  // chosen under "Config files": ignored
  commands->onLoadQtpFile();
  EXPECT_FALSE(ws->production.SerialNoMode);
  AnswerFile(path, 2);
  commands->onLoadQtpFile();
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_TRUE(ws->production.SerialNoMode);
  EXPECT_EQ(ws->production.QtpFileText, "Serien ü.txt");
  ProgramMemoryView* view = windows->ProgramView();
  EXPECT_EQ(view->grid->model()->index(2, 0).data().toString(), "3112");
  EXPECT_EQ(view->grid->model()->index(2, 1).data().toString(), "3134");

  Write(path, ":040010001231343544\r\n");  // second data byte is not 31
  AnswerFile(path, 2);
  commands->onLoadQtpFile();
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"File data error!"});
  EXPECT_FALSE(ws->production.SerialNoMode);
}

// Two sets of commands, each with its prompter: each one's dialogs and boxes reach its own
// prompter only, nothing goes through a hook that both would share.
TEST_F(EditorsTest, EachCommandsAsksThroughItsOwnPrompter) {
  test::TestPrompter other;
  QMdiArea otherArea;
  EditorCommands second(*ws, &otherArea, &otherArea, {}, other);
  other.files = {{true, TempPath("missing.bin"), 1}};
  second.onOpenFile();
  EXPECT_TRUE(other.files.empty());
  ASSERT_EQ(other.fileRequests.size(), 1u);
  EXPECT_EQ(other.messages.size(), 1);  // the missing file's message, in the second's prompter
  EXPECT_TRUE(prompter.fileRequests.empty());
  EXPECT_TRUE(TakeMessages().empty());

  CancelFile();
  commands->onLoadConfig();
  EXPECT_EQ(prompter.fileRequests.size(), 1u);
  EXPECT_EQ(other.fileRequests.size(), 1u);
}

}  // namespace
}  // namespace kvx::gui
