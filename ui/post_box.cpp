// What the workers post to: queued to the window's thread while the window is
// open, dropped once it has closed.
#include "ui/post_box.h"

#include <QPointer>

#include "ui/main_window.h"
#include "ui/window_operations.h"

void WindowPostBox::Post(WorkerMessage msg) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!window_) return;  // closed: the payload goes with msg
  // Queued to the window's thread; a window destroyed meanwhile takes its
  // pending events with it, and the pointer check covers the rest.
  QPointer<CDravenkitDlg> target(window_);
  QMetaObject::invokeMethod(
      window_,
      [target, m = std::move(msg)]() {
        if (target && !target->closed_) target->WorkerMessageHandler(m);
      },
      Qt::QueuedConnection);
}

void WindowPostBox::PostQueryText(WorkerMessage msg, uint32_t generation) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!window_) return;
  QPointer<CDravenkitDlg> target(window_);
  QMetaObject::invokeMethod(
      window_,
      [target, generation, m = std::move(msg)]() {
        if (!target || target->closed_ || generation != target->ops_->info_query.Generation()) return;  // void
        target->WorkerMessageHandler(m);
      },
      Qt::QueuedConnection);
}

void WindowPostBox::Detach() {
  std::lock_guard<std::mutex> lock(mu_);
  window_ = nullptr;
}
