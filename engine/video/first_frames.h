#pragma once
// First pictures of many devices at once, for the CLI's contact sheet: a
// bounded number of connections run at a time, each on its own time-out, so a
// device that never answers holds one place and delays nobody else.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/video/video_client.h"

struct FirstFrameJob {
  VideoSource src;
  bool has_port = true;  // false: kVideoNoPort without connecting
};

struct FirstFrameResult {
  int32_t code = kVideoNoAnswer;
  VideoFrame frame;             // with kVideoOk, unless on_frame took it
  int width = 0, height = 0;    // with kVideoOk: the stream's picture size (frame may be smaller)
  int64_t first_frame_us = -1;  // connect to the first decoded picture
};

// Called on a worker thread with a job's index and its result as soon as the
// job ends (different jobs at the same time).
using FirstFrameDone = std::function<void(size_t index, const FirstFrameResult& result)>;

// GrabFirstFrame for every job, at most concurrency (1-64) at a time; results
// in job order. Returns when every job has ended: each takes at most
// timeout_ms plus the client's stop wait. With on_done, each result goes
// there as its job ends and its picture is released right after, so the
// results keep no pixels.
void GrabFirstFrames(const std::vector<FirstFrameJob>& jobs, const VideoTimings& t, uint32_t timeout_ms,
                     int concurrency, std::vector<FirstFrameResult>* out, const FirstFrameDone& on_done = {});
