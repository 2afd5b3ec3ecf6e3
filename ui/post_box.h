#pragma once
// What the workers post to. It outlives the window (the backend keeps it), and
// once the window has closed it drops every message.
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/update/worker_messages.h"

class CDravenkitDlg;

class WindowPostBox : public MessageSink {
 public:
  explicit WindowPostBox(CDravenkitDlg* window) : window_(window) {}
  void Post(WorkerMessage msg) override;  // any thread
  // An information query's message: handled only while that query is the newest.
  void PostQueryText(WorkerMessage msg, uint32_t generation);
  void Detach();  // the window's thread, at closing

 private:
  std::mutex mu_;
  CDravenkitDlg* window_;  // nullptr once detached
};

// The sink of one information query: its messages carry the query's generation.
class InfoQuerySink : public MessageSink {
 public:
  InfoQuerySink(std::shared_ptr<WindowPostBox> box, uint32_t generation)
      : box_(std::move(box)), generation_(generation) {}
  void Post(WorkerMessage msg) override { box_->PostQueryText(std::move(msg), generation_); }

 private:
  std::shared_ptr<WindowPostBox> box_;
  uint32_t generation_;
};
