#include "platform/thread.h"

#include <chrono>
#include <cstdio>
#include <exception>

#include "platform/ticks.h"

namespace dk {

WorkerThread::~WorkerThread() {
  if (thread_.joinable()) thread_.join();
}

bool WorkerThread::Start(std::function<void()> body) {
  if (thread_.joinable()) {
    if (Running()) return false;
    thread_.join();
  }
  try {
    auto st = std::make_shared<State>();
    std::thread t([st, body = std::move(body)]() {
      bool faulted = true;
      // Every run catches its own faults and reports them; this is the last
      // guard, so that a fault ends its thread and never the process.
      try {
        body();
        faulted = false;
      } catch (const std::exception& e) {
        std::fprintf(stderr, "[ERROR] worker thread: %s\n", e.what());
      } catch (...) {
        std::fprintf(stderr, "[ERROR] worker thread: unknown fault\n");
      }
      std::lock_guard<std::mutex> lk(st->m);
      st->faulted = faulted;
      st->done = true;
      st->cv.notify_all();
    });
    state_ = st;
    thread_ = std::move(t);
  } catch (const std::exception&) {
    return false;  // no thread from the system (or no memory for its state)
  }
  return true;
}

bool WorkerThread::Faulted() const {
  if (!state_) return false;
  std::lock_guard<std::mutex> lk(state_->m);
  return state_->faulted;
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

WorkerGroup::~WorkerGroup() {
  SignalAll();
  runs_.clear();
}

bool WorkerGroup::Launch(std::function<void(const StopFlag&)> body) {
  Reap();
  try {
    auto run = std::make_unique<Run>();
    Run* raw = run.get();
    runs_.reserve(runs_.size() + 1);  // so the push below cannot fail once the thread runs
    if (!raw->thread.Start([raw, body = std::move(body)] { body(raw->stop); })) return false;
    runs_.push_back(std::move(run));
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

void WorkerGroup::SignalAll() {
  for (auto& r : runs_) r->stop.Set();
}

void WorkerGroup::StopAll(uint32_t ms) {
  SignalAll();
  TickTimer t;
  t.Start();
  for (auto& r : runs_) {
    uint32_t used = t.Elapsed();
    r->thread.WaitFor(used >= ms ? 0 : ms - used);
  }
  Reap();
}

bool WorkerGroup::Running() const {
  for (const auto& r : runs_)
    if (r->thread.Running()) return true;
  return false;
}

void WorkerGroup::Reap() {
  for (auto it = runs_.begin(); it != runs_.end();) {
    if (!(*it)->thread.Running()) {
      (*it)->thread.WaitFor(0);
      it = runs_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace dk
