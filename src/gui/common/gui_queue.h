// Calls from a worker thread to the GUI thread, run there in the order they were posted. The
// calls wait in a queue of our own under a mutex; the GUI thread is only told (by a queued
// meta-call without arguments) that there is something to run. The hand-off is thus visible to
// ThreadSanitizer even though Qt's own event queue is not instrumented.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

namespace kvx::gui {

class GuiQueue : public QObject {
  Q_OBJECT
 public:
  explicit GuiQueue(QObject* parent) : QObject(parent) {}
  // From any thread. `call` runs on this object's thread, after every call posted before it;
  // calls still waiting when this object is destroyed are dropped.
  void Post(std::function<void()> call);

 public Q_SLOTS:
  void Drain();

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> calls_;
};

}  // namespace kvx::gui
