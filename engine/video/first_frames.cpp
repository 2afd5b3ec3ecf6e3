#include "engine/video/first_frames.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>

#include "platform/thread.h"

void GrabFirstFrames(const std::vector<FirstFrameJob>& jobs, const VideoTimings& t, uint32_t timeout_ms,
                     int concurrency, std::vector<FirstFrameResult>* out, const FirstFrameDone& on_done) {
  out->assign(jobs.size(), FirstFrameResult());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next.fetch_add(1); i < jobs.size(); i = next.fetch_add(1)) {
      FirstFrameResult& r = (*out)[i];
      r.code = kVideoNoPort;
      try {
        if (jobs[i].has_port)
          r.code = GrabFirstFrame(jobs[i].src, t, timeout_ms, &r.frame, &r.first_frame_us, &r.width, &r.height);
      } catch (const std::exception&) {
        r.code = kVideoRefused;  // a fault fails this device, not the sheet
      }
      if (r.code != kVideoOk) r.width = r.height = 0;
      if (on_done) {
        try {
          on_done(i, r);
        } catch (const std::exception&) {
          // The callback's own fault: the result stands as read.
        }
      }
      if (r.code != kVideoOk || on_done) r.frame = VideoFrame();  // its pixels go at once
    }
  };
  const int n = std::clamp(concurrency, 1, 64);
  std::vector<std::unique_ptr<dk::WorkerThread>> threads;
  for (int i = 0; i < n && size_t(i) < jobs.size(); ++i) {
    auto th = std::make_unique<dk::WorkerThread>();
    if (!th->Start(work)) break;  // fewer threads share the devices
    threads.push_back(std::move(th));
  }
  if (threads.empty()) work();  // no thread at all: every device on this one
  for (auto& th : threads) th->WaitFor(UINT32_MAX);  // every job is bounded
}
