#include "gui/common/gui_queue.h"

namespace kvx::gui {

void GuiQueue::Post(std::function<void()> call) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    wake = calls_.empty();
    calls_.push_back(std::move(call));
  }
  // One wake-up for a run of calls: Drain takes them all, in order.
  if (wake) QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void GuiQueue::Drain() {
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard lock(mutex_);
      if (calls_.empty()) return;
      call = std::move(calls_.front());
      calls_.pop_front();
    }
    call();
  }
}

}  // namespace kvx::gui
