#pragma once
// First pictures of many devices at once, for the CLI's contact sheet: a
// bounded number of connections run at a time, each on its own time-out, so a
// device that never answers holds one place and delays nobody else.
#include <cstdint>
#include <vector>

#include "engine/video/video_client.h"

struct FirstFrameJob {
  VideoSource src;
  bool has_port = true;  // false: kVideoNoPort without connecting
};

struct FirstFrameResult {
  int32_t code = kVideoNoAnswer;
  VideoFrame frame;             // with kVideoOk
  int64_t first_frame_us = -1;  // connect to the first decoded picture
};

// GrabFirstFrame for every job, at most concurrency (1-64) at a time; results
// in job order. Returns when every job has ended: each takes at most
// timeout_ms plus the client's stop wait.
void GrabFirstFrames(const std::vector<FirstFrameJob>& jobs, const VideoTimings& t, uint32_t timeout_ms,
                     int concurrency, std::vector<FirstFrameResult>* out);
