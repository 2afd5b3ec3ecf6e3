#pragma once
// Worker threads with cooperative stop: a worker checks its StopFlag and ends
// by itself; the owner waits a bounded time. Nothing is ever killed.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace dk {

class StopFlag {
 public:
  void Set() { v_.store(1, std::memory_order_release); }
  void Clear() { v_.store(0, std::memory_order_release); }
  bool IsSet() const { return v_.load(std::memory_order_acquire) != 0; }

 private:
  std::atomic<int> v_{0};
};

class WorkerThread {
 public:
  WorkerThread() = default;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  // Joins: workers are bounded, so this always returns.
  ~WorkerThread();

  // Starts body on a new thread; false when one is still attached or the
  // system gives no thread (never throws). An exception that escapes body
  // ends only that thread (it is reported on standard error and Faulted()
  // says so); the process goes on.
  bool Start(std::function<void()> body);
  // The last body ended by an exception.
  bool Faulted() const;
  // True while a started body has not returned.
  bool Running() const;
  // Waits up to ms for the body to return; true (and joined) when it did.
  // A thread that is still running stays attached and is joined later.
  bool WaitFor(uint32_t ms);
  // True when a thread is attached (running or finished but not joined).
  bool Attached() const { return thread_.joinable(); }

 private:
  struct State {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    bool faulted = false;
  };
  std::shared_ptr<State> state_;
  std::thread thread_;
};

// Runs that replace one another (a newer query or ping pass supersedes the
// older): each run has its own stop flag, so a superseded run can be told to
// stop without the caller waiting for it; finished runs are joined as they go.
class WorkerGroup {
 public:
  WorkerGroup() = default;
  WorkerGroup(const WorkerGroup&) = delete;
  WorkerGroup& operator=(const WorkerGroup&) = delete;
  // Stops every run and joins (runs are bounded, so this returns).
  ~WorkerGroup();

  // Starts body on its own thread with its own stop flag; false when the
  // system gives no thread (never throws).
  bool Launch(std::function<void(const StopFlag&)> body);
  // Sets every run's stop flag without waiting.
  void SignalAll();
  // Sets every flag, waits up to ms in all, and joins the runs that ended.
  void StopAll(uint32_t ms);
  bool Running() const;

 private:
  struct Run {
    StopFlag stop;
    WorkerThread thread;
  };
  void Reap();
  std::vector<std::unique_ptr<Run>> runs_;
};

}  // namespace dk
