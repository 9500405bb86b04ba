// kvxwriter: the desktop program. One instance per user; the start-up logo while the main window
// is created; SIGTERM, SIGINT and SIGHUP close the main window as File > Exit does.
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <cstring>
#include <iostream>
#include <memory>

#include "build_info.h"
#include "core/production/sqlite_db.h"

#include "gui/app/app_guard.h"
#include "gui/app/logo_window.h"
#include "gui/app/main_window.h"
#include "gui/common/prompter.h"

#if defined(__SANITIZE_THREAD__)
// The distribution's Qt is not instrumented: ThreadSanitizer checks our code, not Qt's insides.
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }
#endif

using namespace kvx::gui;

namespace {

// --help and --version answer on the terminal without opening a window, so they work without a
// display (the manual page is made from them at build time).
bool AnswerOnTerminal(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::cout << "kvxwriter " << KVX_VERSION << "\n"
                << "commit " << KVX_GIT_COMMIT << "\n"
                << "Qt " << qVersion() << " (built with " << QT_VERSION_STR << ")\n"
                << "SQLite " << kvx::SqliteLibraryVersion() << "\n";
      return true;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout
          << "usage: kvxwriter [OPTIONS]\n\n"
             "The desktop program of KVX Writer: load, edit and save program images, and drive\n"
             "the Writer (a device programmer on an RS-232 port, or the simulated Writer) to\n"
             "erase, blank-check, read, program and verify chips, one by one or in production\n"
             "with serial numbers and the production journal. One instance runs per user.\n\n"
             "options:\n"
             "  --help                  this text\n"
             "  --version               the version, the commit it was built from, Qt's and\n"
             "                          SQLite's versions\n"
             "  -platform NAME          Qt's platform plugin (xcb, wayland, offscreen, ...)\n\n"
             "SIGTERM, SIGINT and SIGHUP close the main window as File > Exit does.\n"
             "The command-line tool kvxw does the same work from a shell or a test controller;\n"
             "see kvxw(1).\n";
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerOnTerminal(argc, argv)) return 0;
  QApplication app(argc, argv);
  QApplication::setApplicationName("KVX Writer");
  QApplication::setApplicationVersion(KVX_VERSION);

  // The signals are caught before the lock is taken: once another start can see this instance,
  // a signal closes it in order. A signal that comes before the main window exists closes the
  // window as soon as it does.
  auto signalBridge = std::make_unique<SignalBridge>();
  InstanceLock lock;
  if (!lock.Acquire()) {
    signalBridge.reset();  // the refusal ends on a signal as any short program does
    DefaultPrompter().Message(nullptr, lock.Problem().isEmpty() ? "Process is running!" : lock.Problem());
    return 1;
  }
  MainWindow* window = nullptr;
  bool closeAsked = false;
  QObject::connect(signalBridge.get(), &SignalBridge::received, [&window, &closeAsked] {
    if (window != nullptr) window->CloseBySignal();
    else closeAsked = true;
  });

  auto* logo = new LogoWindow;
  logo->show();
  logo->repaint();
  QApplication::processEvents();

  MainWindowOptions options;
  options.closeLogo = [&logo] {
    if (logo == nullptr) return;
    logo->hide();
    logo->deleteLater();
    logo = nullptr;
  };
  MainWindow form(options);
  options.closeLogo();
  window = &form;
  // Maximized; without a window manager to do it, the window takes the screen's free area.
  if (QScreen* screen = QGuiApplication::primaryScreen()) form.setGeometry(screen->availableGeometry());
  form.showMaximized();
  if (closeAsked) QTimer::singleShot(0, &form, &MainWindow::CloseBySignal);
  const int status = QApplication::exec();
  return status != 0 ? status : form.ExitStatus();
}
