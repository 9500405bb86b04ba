// kvxwriter: the desktop program. One instance per user; the start-up logo while the main window
// is created; SIGTERM, SIGINT and SIGHUP close the main window as File > Exit does.
#include <QApplication>
#include <QScreen>

#include "gui/app/app_guard.h"
#include "gui/app/logo_form.h"
#include "gui/app/main_form.h"
#include "gui/app/prompter.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("KVX Writer");
  QApplication::setApplicationVersion("2.63");

  InstanceLock lock;
  if (!lock.Acquire()) {
    DefaultPrompter().Message(nullptr, "Process is running!");
    return 1;
  }
  SignalBridge signalBridge;

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
  QObject::connect(&signalBridge, &SignalBridge::received, &form, [&form] { form.close(); });
  // Maximized; without a window manager to do it, the window takes the screen's free area.
  if (QScreen* screen = QGuiApplication::primaryScreen()) form.setGeometry(screen->availableGeometry());
  form.showMaximized();
  return QApplication::exec();
}
