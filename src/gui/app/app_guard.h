// What the program's entry guards: one instance per user, and the termination signals turned
// into an orderly close of the main window.
#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace kvx::gui {

// The single-instance lock: an flock on a file of the user's in the temporary folder ($TMPDIR or
// /tmp), whatever the session. The system drops it when its holder ends in any way, so a crashed
// first instance never leaves it stale.
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // True when this process now holds the lock; false when another one does, or when the lock
  // file cannot be used (Problem() says why).
  bool Acquire();
  const QString& Problem() const { return problem_; }
  static QString LockPath();

 private:
  int fd_ = -1;
  QString problem_;
};

// SIGTERM, SIGINT and SIGHUP: the handler only writes a byte into a pipe; the event loop reads
// it and emits `received`, so no Qt code runs inside the handler.
class SignalBridge : public QObject {
  Q_OBJECT
 public:
  explicit SignalBridge(QObject* parent = nullptr);
  ~SignalBridge() override;

 Q_SIGNALS:
  void received(int signal);

 private:
  void ReadPipe();
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kvx::gui
