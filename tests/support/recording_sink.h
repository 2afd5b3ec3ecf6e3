#pragma once
// A MessageSink that keeps every message, for assertions.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/update/worker_messages.h"

class RecordingSink : public MessageSink {
 public:
  void Post(WorkerMessage msg) override;
  std::vector<WorkerMessage> Take();       // all so far, in order; empties the record
  std::vector<WorkerMessage> Snapshot() const;
  size_t CountOf(int32_t id) const;
  // Waits up to ms until a message with this id has arrived; true when it has.
  bool WaitFor(int32_t id, uint32_t ms);

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::vector<WorkerMessage> msgs_;
};
