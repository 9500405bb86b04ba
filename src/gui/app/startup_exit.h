// The main window's start-up and exit: the start values, Default.cfg read at start and written
// at the close, the first showing's buffer windows, and a close that waits for a running worker
// (or connection check) to return first.
#pragma once

#include <QObject>

#include "gui/app/window_parts.h"

class QCloseEvent;
class QTimer;

namespace kvx::gui {


class StartupExit : public QObject {
  Q_OBJECT
 public:
  // `refreshTimer` starts once the start-up connection check has ended.
  StartupExit(const WindowParts& parts, QTimer* refreshTimer);

  // The window's creation: the selectors, Default.cfg, the commands' states, then the
  // connection check (off the GUI thread; the logo goes before any message).
  void Create();
  // The first showing: the ID window and the program-memory view.
  void FirstShow();
  // A close of the window: at once, or once the running worker has returned.
  void CloseRequested(QCloseEvent* event);
  // A termination signal asked for the close.
  void CloseBySignal();
  // After a worker's end: the close it held back goes on. True when the window closes.
  bool CloseIfAsked();
  bool Closed() const { return closed_; }
  int ExitStatus() const { return exitStatus_; }

 private:
  // The close's work, run once however the window closes: the port, the QTP file, Default.cfg.
  void SaveAtExit();

  WindowParts parts_;
  QTimer* refreshTimer_;
  bool closed_ = false;
  bool closeBySignal_ = false;
  bool closeAfterWorker_ = false;
  int exitStatus_ = 0;
};

}  // namespace kvx::gui
