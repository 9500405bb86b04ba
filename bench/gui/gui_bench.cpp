// gui_bench: how long the desktop program takes from start to an idle main window (target 0.5 s
// or less), and from a command to its operation dialog on screen (target under 50 ms). Runs
// offscreen on the simulated Writer; prints each time against its target.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gui/app/main_window.h"
#include "gui/app/progress_dialog.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

using namespace kvx::gui;

namespace {

class Silent : public Prompter {
 public:
  void Message(QWidget*, const QString&) override {}
  bool AbortIgnore(QWidget*, const QString&) override { return true; }
};

// Runs the event loop until nothing is left to do.
void Idle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents(QEventLoop::AllEvents);
}

void Report(const char* what, double ms, double target) {
  std::fflush(stdout);
  std::printf("%-40s %8.2f ms  (target %.0f ms, %s)\n", what, ms, target, ms <= target ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer start;
  start.start();
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QTemporaryDir dir;
  Silent silent;
  MainWindowOptions options;
  options.env = [](const char* name) -> const char* {
    return std::strcmp(name, "KVXW_COM1") == 0 ? "sim" : nullptr;
  };
  options.startDir = dir.path();
  options.prompter = &silent;
  auto form = std::make_unique<MainWindow>(options);
  form->showMaximized();
  // Idle once the start-up connection check (off the GUI thread) has ended.
  do Idle();
  while (form->Busy());
  Report("start to idle main window", static_cast<double>(start.nsecsElapsed()) / 1e6, 500);

  // A dialog's opening: from the command to the dialog shown with its worker started.
  constexpr int kRounds = 20;
  double total = 0, worst = 0;
  for (int i = 0; i < kRounds; ++i) {
    QElapsedTimer t;
    t.start();
    form->findChild<QAction*>("BlankCheckAction")->trigger();
    ProgressDialog* dialog = nullptr;
    while (dialog == nullptr) {
      QApplication::processEvents();
      for (ProgressDialog* d : form->findChildren<ProgressDialog*>())
        if (d->isVisible()) dialog = d;
      if (t.elapsed() > 10000) {
        std::printf("the Blank Check dialog did not open\n");
        return 1;
      }
    }
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    total += ms;
    worst = std::max(worst, ms);
    while (!dialog->Button("Button1")->isEnabled()) QApplication::processEvents();
    QPointer<ProgressDialog> closing(dialog);
    dialog->Button("Button1")->click();
    while (form->Busy() || (closing && closing->isVisible())) QApplication::processEvents();
    Idle();
  }
  Report("operation dialog opening (mean)", total / kRounds, 50);
  Report("operation dialog opening (worst)", worst, 50);
  form.reset();
  return 0;
}
