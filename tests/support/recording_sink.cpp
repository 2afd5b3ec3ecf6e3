#include "tests/support/recording_sink.h"

#include <algorithm>
#include <chrono>

void RecordingSink::Post(WorkerMessage msg) {
  std::lock_guard<std::mutex> lk(mu_);
  msgs_.push_back(std::move(msg));
  cv_.notify_all();
}

std::vector<WorkerMessage> RecordingSink::Take() {
  std::lock_guard<std::mutex> lk(mu_);
  std::vector<WorkerMessage> out;
  out.swap(msgs_);
  return out;
}

std::vector<WorkerMessage> RecordingSink::Snapshot() const {
  std::lock_guard<std::mutex> lk(mu_);
  return msgs_;
}

size_t RecordingSink::CountOf(int32_t id) const {
  std::lock_guard<std::mutex> lk(mu_);
  return static_cast<size_t>(std::count_if(msgs_.begin(), msgs_.end(), [&](const WorkerMessage& m) { return m.id == id; }));
}

bool RecordingSink::WaitFor(int32_t id, uint32_t ms) {
  std::unique_lock<std::mutex> lk(mu_);
  return cv_.wait_for(lk, std::chrono::milliseconds(ms), [&] {
    return std::any_of(msgs_.begin(), msgs_.end(), [&](const WorkerMessage& m) { return m.id == id; });
  });
}
