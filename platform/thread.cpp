#include "platform/thread.h"

#include <chrono>

namespace dk {

WorkerThread::~WorkerThread() {
  if (thread_.joinable()) thread_.join();
}

bool WorkerThread::Start(std::function<void()> body) {
  if (thread_.joinable()) {
    if (Running()) return false;
    thread_.join();
  }
  auto st = std::make_shared<State>();
  state_ = st;
  thread_ = std::thread([st, body = std::move(body)]() {
    body();
    std::lock_guard<std::mutex> lk(st->m);
    st->done = true;
    st->cv.notify_all();
  });
  return true;
}

bool WorkerThread::Running() const {
  if (!thread_.joinable() || !state_) return false;
  std::lock_guard<std::mutex> lk(state_->m);
  return !state_->done;
}

bool WorkerThread::WaitFor(uint32_t ms) {
  if (!thread_.joinable()) return true;
  {
    std::unique_lock<std::mutex> lk(state_->m);
    if (!state_->cv.wait_for(lk, std::chrono::milliseconds(ms), [&] { return state_->done; })) return false;
  }
  thread_.join();
  return true;
}

}  // namespace dk
