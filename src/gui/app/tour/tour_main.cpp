// kvxwriter_tour: the main window on the simulated Writer, taken through each of its dialogs, with
// a picture of the whole screen at each stop (`import -window root`, from ImageMagick). Run under
// an X server; scripts/screenshots.sh starts one.
//   kvxwriter_tour OUTDIR
#include <QSpinBox>
#include <QLineEdit>
#include <QAction>
#include <QToolBar>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProgressBar>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "core/device/status_panel.h"
#include "gui/app/about_box.h"
#include "gui/app/counter_dialog.h"
#include "gui/app/download_dialog.h"
#include "gui/app/journal_window.h"
#include "gui/app/logo_window.h"
#include "gui/app/main_window.h"
#include "gui/app/status_panel.h"
#include "gui/app/production_window.h"
#include "gui/app/progress_dialog.h"
#include "gui/common/prompter.h"
#include "sim/sim_writer.h"

using namespace kvx::gui;

namespace {

QString outDir;
int failures = 0;

// Runs the event loop until `done` holds or `ms` have passed.
bool WaitUntil(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void Settle() {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 400) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Shot(const QString& name) {
  Settle();
  const QString file = QDir(outDir).filePath(name + ".png");
  if (QProcess::execute("import", {"-window", "root", file}) != 0) {
    std::fprintf(stderr, "kvxwriter_tour: could not write %s\n", qPrintable(file));
    ++failures;
    return;
  }
  std::printf("%s\n", qPrintable(file));
  std::fflush(stdout);
}

ProgressDialog* VisibleDialog(MainWindow& form) {
  for (ProgressDialog* d : form.findChildren<ProgressDialog*>())
    if (d->isVisible()) return d;
  return nullptr;
}

ProgressDialog* OpenDialog(MainWindow& form) {
  ProgressDialog* found = nullptr;
  WaitUntil([&] { return (found = VisibleDialog(form)) != nullptr; });
  return found;
}

// Triggers `action`, waits for the dialog's end (`button` enabled), takes its picture and closes
// it with `closeButton`.
void Operation(MainWindow& form, QAction* action, const QString& name, const char* button = "Button1",
               const char* closeButton = nullptr) {
  action->trigger();
  ProgressDialog* d = OpenDialog(form);
  if (d == nullptr || !WaitUntil([&] { return d->Button(button)->isEnabled(); })) {
    std::fprintf(stderr, "kvxwriter_tour: %s did not end\n", qPrintable(name));
    ++failures;
    return;
  }
  Shot(name);
  d->Button(closeButton != nullptr ? closeButton : button)->click();
  WaitUntil([&] { return !form.Busy() && VisibleDialog(form) == nullptr; }, 3000);
}

void ProgramWords(kvx::Workspace& ws, int count) {
  for (int i = 0; i < count; ++i) {
    const kvx::StoredWord w = kvx::SplitWord(0x0A00 + (i * 37) % 0x600);
    ws.image.ProgramBuffer[2 * i] = w.first;
    ws.image.ProgramBuffer[2 * i + 1] = w.second;
  }
}

// Two-byte serial numbers from `first` in two RTIW words at 0x20.
void SerialNumbers(kvx::Workspace& ws, int first) {
  for (int a : {0x20, 0x21}) {
    const kvx::StoredWord w = kvx::SplitWord(0x3100);
    ws.image.ProgramBuffer[2 * a] = w.first;
    ws.image.ProgramBuffer[2 * a + 1] = w.second;
  }
  ws.production.SerialNoMode = true;
  ws.production.SerialStartAddress = 0x20;
  ws.production.SerialByteCount = 2;
  ws.production.SerialValue = {first, 0, 0, 0, 0, 0, 0, 0};
}

void ValidOption(kvx::Workspace& ws) {
  for (int high = 0x7F; high >= 0; --high)
    for (int low = 0x7F; low >= 0; --low) {
      ws.image.OptionLow = static_cast<std::uint8_t>(low);
      ws.image.OptionHigh = static_cast<std::uint8_t>(high);
      if (kvx::RefreshData(ws).optionStatus == 0) return;
    }
}

template <class T>
void Modal(MainWindow& form, QAction* action, const char* objectName, const QString& name) {
  action->trigger();
  T* box = nullptr;
  WaitUntil([&] { return (box = form.findChild<T*>(objectName)) != nullptr && box->isVisible(); });
  if (box == nullptr) {
    ++failures;
    return;
  }
  Shot(name);
  box->reject();
  box->deleteLater();
  Settle();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("KVX Writer");
  if (argc < 2) {
    std::fprintf(stderr, "usage: kvxwriter_tour OUTDIR\n");
    return 2;
  }
  outDir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(outDir);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();

  auto* logo = new LogoWindow;
  logo->show();
  Shot("logo");
  logo->deleteLater();

  MainWindowOptions options;
  options.env = [](const char* name) -> const char* {
    return QByteArray(name) == "KVXW_COM1" ? "sim" : nullptr;
  };
  QTemporaryDir startDir;  // a folder of its own: no Default.cfg of an earlier run
  options.startDir = startDir.path();
  MainWindow form(options);
  form.setGeometry(screen);
  form.showMaximized();
  WaitUntil([&] { return form.isVisible() && !form.Busy(); });  // and the start-up check has ended
  kvx::Workspace& ws = form.workspace();
  auto device = [&](const char* name) {
    form.statusPanel()->findChild<QComboBox*>("ComboBox2")->setCurrentText(name);
    Settle();
  };

  device("KVX-03");
  ProgramWords(ws, 0x200);
  ValidOption(ws);
  form.RefreshPanelNow();
  form.RebuildBufferWindows();  // the windows show the program just put in
  Shot("main_window");

  Operation(form, form.findChild<QAction*>("BlankCheckAction"), "blank_check");
  Operation(form, form.findChild<QAction*>("ProgramMemory2"), "program_memory");
  Operation(form, form.findChild<QAction*>("ProgramOption"), "program_option");
  Operation(form, form.findChild<QAction*>("ID3"), "program_id");
  Operation(form, form.findChild<QAction*>("VerifyICAction"), "verify");
  Operation(form, form.findChild<QAction*>("VerifywithProtect1"), "verify_with_protect");
  Operation(form, form.findChild<QAction*>("ReadICAction"), "read");
  form.simBench().Writer()->InsertChip(kvx::sim::ChipContent::Empty);
  Operation(form, form.findChild<QAction*>("BlankCheckAction"), "blank_check_empty_socket");
  form.simBench().Writer()->InsertChip(kvx::sim::ChipContent::Blank);

  // Auto Program with serial numbers in two RTIW words.
  SerialNumbers(ws, 1);
  Operation(form, form.findChild<QAction*>("AutoProgramAction"), "auto_program", "Button2", "Button1");

  // The engineering controls and Force Write.
  QMetaObject::invokeMethod(&form, [&] {
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(4, 4), QPointF(4, 4), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.findChild<QToolBar*>("ToolBar2")->findChild<QLabel*>("Label3"), &dbl);
  });
  Settle();
  Operation(form, form.findChild<QAction*>("ForceWriteAction"), "force_write", "Button2", "Button1");

  device("KVX-01");
  ProgramWords(ws, 0x400);
  ws.image.EepromBuffer[0] = 0x12;
  Operation(form, form.findChild<QAction*>("EraseAction"), "erase");
  Operation(form, form.findChild<QAction*>("WriteEEAction"), "write_eeprom", "ButtonOk");
  Operation(form, form.findChild<QAction*>("ReadICAction"), "read_flash");

  Modal<CounterDialog>(form, form.findChild<QAction*>("CounterMode1"), "CounterSetupForm", "counter_setup");
  Modal<DownloadDialog>(form, form.findChild<QAction*>("DownLoad1"), "DeviceForm", "device_select");
  Modal<AboutBox>(form, form.findChild<QAction*>("HelpAbout1"), "AboutBox", "about");
  Modal<VersionInfoDialog>(form, form.findChild<QAction*>("VersionInfo1"), "VersionInfo", "version_info");

  // The production journal's window over the chips of this tour.
  form.findChild<QAction*>("JournalAction")->trigger();
  if (auto* journal = form.findChild<JournalWindow*>("JournalForm")) {
    while (journal->Loading()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    journal->resize(1100, 650);
    Shot("journal");
    journal->close();
  } else {
    std::fprintf(stderr, "kvxwriter_tour: the journal window did not open\n");
    ++failures;
  }

  // The production window: eight Writers mid-run, then their outcomes (one with an empty socket,
  // one going silent).
  {
    device("KVX-03");
    ProgramWords(ws, 0x200);
    ValidOption(ws);
    SerialNumbers(ws, 0x10);
    struct YesPrompter : Prompter {
      bool YesNo(QWidget*, const QString&) override { return true; }
    } yes;
    ProductionOptions production;
    production.journalPath = QDir(startDir.path()).filePath("kvx-journal.db").toStdString();
    production.env = [](const char* name) -> const char* {
      return QByteArray(name).startsWith("KVXW_COM") ? "sim" : nullptr;
    };
    production.writers = 8;
    ProductionWindow window(ws, production, yes, &form);
    window.setGeometry(screen);
    window.show();
    for (int t = 0; t < window.Tiles(); ++t)
      if (kvx::sim::SimWriter* w = window.Tile(t).SimWriter()) {
        w->Faults().BaudDelay = true;
        w->SetFreshChipEachPass(true);
      }
    if (kvx::sim::SimWriter* w = window.Tile(3).SimWriter())
      w->InsertChip(kvx::sim::ChipContent::Empty);
    // The third Writer goes silent in the middle of its chip: it runs until its time-out.
    if (kvx::sim::SimWriter* w = window.Tile(2).SimWriter())
      w->Faults().SilentAfter = w->BytesReceived() + 300;
    // The shift's lot, operator and target.
    window.findChild<QLineEdit*>("LotField")->setText("L-2026-1208");
    window.findChild<QLineEdit*>("OperatorField")->setText("A. Operator");
    window.findChild<QSpinBox*>("TargetCount")->setValue(500);
    // In operator mode, as a station runs all shift.
    window.EnterOperatorMode();
    window.StartAll();
    WaitUntil([&] { return !window.Tile(3).Running(); });
    Shot("production_running");
    WaitUntil([&] { return !window.AnyRunning(); }, 60000);
    Shot("production");
    window.LeaveOperatorMode();
    window.close();
  }

  form.close();
  return failures == 0 ? 0 : 1;
}
