#include "engine/video/first_frames.h"

#include <algorithm>
#include <atomic>
#include <thread>

void GrabFirstFrames(const std::vector<FirstFrameJob>& jobs, const VideoTimings& t, uint32_t timeout_ms,
                     int concurrency, std::vector<FirstFrameResult>* out) {
  out->assign(jobs.size(), FirstFrameResult());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next.fetch_add(1); i < jobs.size(); i = next.fetch_add(1)) {
      FirstFrameResult& r = (*out)[i];
      if (!jobs[i].has_port) {
        r.code = kVideoNoPort;
        continue;
      }
      r.code = GrabFirstFrame(jobs[i].src, t, timeout_ms, &r.frame, &r.first_frame_us);
      if (r.code != kVideoOk) r.frame = VideoFrame();
    }
  };
  const int n = std::clamp(concurrency, 1, 64);
  std::vector<std::thread> threads;
  for (int i = 0; i < n && size_t(i) < jobs.size(); ++i) threads.emplace_back(work);
  for (std::thread& th : threads) th.join();  // every job is bounded
}
