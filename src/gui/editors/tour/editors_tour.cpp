// Shows the buffer windows and editing dialogs one after another in the main window, with the
// largest device's program loaded, and takes a picture of the whole screen at each stop
// (`import -window root`, from ImageMagick). Run under an X server; scripts/screenshots.sh
// starts one and runs this after the main window's own tour.
//   editors_tour OUTDIR
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

#include "gui/app/main_window.h"
#include "gui/app/status_panel.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"
#include "gui/editors/buffer_views.h"
#include "gui/common/prompter.h"
#include "gui/editors/id_window.h"
#include "gui/editors/word_entry_dialog.h"
#include "gui/editors/small_dialogs.h"

using namespace kvx::gui;

namespace {

// A KVX-43 image (6144 words) of defined instructions, with a gap, as Intel HEX text.
QByteArray DemoProgram() {
  static constexpr int kPattern[] = {0x1820, 0x18A1, 0x3A55, 0x0103, 0x2800, 0x3100, 0x1004, 0x1B20};
  QByteArray text;
  for (int byte = 0; byte < 2 * 6144; byte += 16) {
    if (byte >= 0x400 && byte < 0x800) continue;  // left blank: an ORG line in the listing
    int sum = 16 + (byte >> 8) + (byte & 0xFF);
    QByteArray line = QByteArray(":10") + QByteArray::number(byte, 16).rightJustified(4, '0') + "00";
    for (int i = 0; i < 16; ++i) {
      const int word = kPattern[((byte + i) / 2) % 8] | (kPattern[((byte + i) / 2) % 8] == 0x2800 ? (byte / 2) & 0x7FF : 0);
      const int value = (byte + i) % 2 == 0 ? word & 0xFF : word >> 8;
      sum += value;
      line += QByteArray::number(value, 16).rightJustified(2, '0');
    }
    line += QByteArray::number((0x100 - (sum & 0xFF)) & 0xFF, 16).rightJustified(2, '0');
    text += line.toUpper() + "\r\n";
  }
  return text + ":00000001FF\r\n";
}

void Settle(int ms = 400) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

QString outDir;
int failures = 0;

void Shot(const char* name) {
  Settle();
  // Named apart from the main window's own tour, which writes into the same folder.
  const QString file = QDir(outDir).filePath("editors_" + QString::fromLatin1(name) + ".png");
  if (QProcess::execute("import", {"-window", "root", file}) != 0) {
    std::fprintf(stderr, "editors_tour: could not write %s\n", qPrintable(file));
    ++failures;
    return;
  }
  std::printf("%s\n", qPrintable(file));
}

// The dialog a command opened: the one visible.
QDialog* Open(MainWindow& f, QAction* action) {
  action->trigger();
  Settle(200);
  for (QDialog* d : f.findChildren<QDialog*>())
    if (d->isVisible()) return d;
  return nullptr;
}

}  // namespace

// Message boxes are not part of these pictures: they are answered at once; the file dialog
// opens the demonstration program.
class QuietPrompter : public Prompter {
 public:
  explicit QuietPrompter(QString program) : program_(std::move(program)) {}
  void Message(QWidget*, const QString&) override {}
  void Error(QWidget*, const QString&) override {}
  bool AbortIgnore(QWidget*, const QString&) override { return true; }
  bool YesNo(QWidget*, const QString&) override { return true; }
  FileDialogAnswer FileName(QWidget*, const FileDialogRequest&) override { return {true, program_, 2}; }

 private:
  QString program_;
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: editors_tour OUTDIR\n");
    return 2;
  }
  outDir = QString::fromLocal8Bit(argv[1]);
  QTemporaryDir dir;
  const QString program = dir.filePath(QString::fromUtf8("Demo programm ä.kvh"));
  {
    QFile file(program);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    file.write(DemoProgram());
  }
  MainWindowOptions options;
  options.env = [](const char* name) -> const char* {
    return std::strcmp(name, "KVXW_COM1") == 0 ? "sim" : nullptr;
  };
  options.startDir = dir.path();
  QuietPrompter prompter(program);
  options.prompter = &prompter;
  MainWindow f(options);
  // The whole screen, with or without a window manager.
  f.setGeometry(QGuiApplication::primaryScreen()->geometry());
  f.show();
  Settle();
  f.statusPanel()->findChild<QComboBox*>("ComboBox2")->setCurrentText("KVX-43");
  f.findChild<QAction*>("FileOpen1")->trigger();
  f.findChild<QAction*>("Disassemble1")->trigger();
  f.mdiArea()->tileSubWindows();
  Shot("main_window");

  auto* id = f.findChild<kvx::gui::IdChecksumWindow*>();
  id->onToggleWriterPanel();
  id->onToggleOptionLines();
  f.mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(id->parentWidget()));
  Shot("id_window");

  auto* view = f.findChild<kvx::gui::ProgramMemoryView*>();
  QDialog* dialog = view->onEditWord(view->grid->model()->index(2, 3));
  Shot("enter_new_value");
  dialog->reject();
  for (auto [action, name] : {std::pair{f.findChild<QAction*>("FillBuffer1"), "fill_buffer"}, std::pair{f.findChild<QAction*>("EditOPTION"), "edit_option"},
                              std::pair{f.findChild<QAction*>("SerialNoMode1"), "serial_no"}}) {
    dialog = Open(f, action);
    if (dialog == nullptr) return 1;
    Shot(name);
    dialog->reject();
    Settle(100);
  }
  QDialog* idModify = id->onEditId();
  Shot("id_modify_ascii");
  idModify->reject();
  id->hexButton->click();
  idModify = id->onEditId();
  Shot("id_modify_hex");
  idModify->reject();

  f.statusPanel()->findChild<QComboBox*>("ComboBox2")->setCurrentText("KVX-02");  // a flash part: the EEPROM view
  f.findChild<QAction*>("EEPROM1")->trigger();
  Shot("eeprom_view_kvx02");
  dialog = Open(f, f.findChild<QAction*>("EditOPTION"));
  Shot("edit_option_kvx02");
  if (dialog != nullptr) dialog->reject();
  return failures == 0 ? 0 : 1;
}
