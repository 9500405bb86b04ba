// kvxwriter: the desktop program. One instance per user; the start-up logo while the main window
// is created; SIGTERM, SIGINT and SIGHUP close the main window as File > Exit does.
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <memory>

#include "gui/app/app_guard.h"
#include "gui/app/logo_form.h"
#include "gui/app/main_form.h"
#include "gui/app/prompter.h"

#if defined(__SANITIZE_THREAD__)
// The distribution's Qt is not instrumented: ThreadSanitizer checks our code, not Qt's insides.
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }
#endif

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("KVX Writer");
  QApplication::setApplicationVersion("2.63");

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
  TMainForm* window = nullptr;
  bool closeAsked = false;
  QObject::connect(signalBridge.get(), &SignalBridge::received, [&window, &closeAsked] {
    if (window != nullptr) window->CloseBySignal();
    else closeAsked = true;
  });

  auto* logo = new TLogoForm;
  logo->show();
  logo->repaint();
  QApplication::processEvents();

  MainFormOptions options;
  options.closeLogo = [&logo] {
    if (logo == nullptr) return;
    logo->hide();
    logo->deleteLater();
    logo = nullptr;
  };
  TMainForm form(options);
  options.closeLogo();
  window = &form;
  // Maximized; without a window manager to do it, the window takes the screen's free area.
  if (QScreen* screen = QGuiApplication::primaryScreen()) form.setGeometry(screen->availableGeometry());
  form.showMaximized();
  if (closeAsked) QTimer::singleShot(0, &form, &TMainForm::CloseBySignal);
  const int status = QApplication::exec();
  return status != 0 ? status : form.ExitStatus();
}
