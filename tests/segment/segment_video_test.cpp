// The live video client against the simulator's RTSP streams.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "engine/video/video_client.h"

namespace {

VideoSource Source(const char* ip, int port, const char* password, int channel = 1) {
  VideoSource s;
  s.address = ip;
  s.port = port;
  s.user = "root";
  s.password = password;
  s.channel = channel;
  return s;
}

VideoTimings Short() {
  VideoTimings t;
  t.answer_ms = 1500;
  t.stall_ms = 1500;
  return t;
}

int DistinctColours(const VideoFrame& f) {
  std::set<uint32_t> seen;
  for (size_t i = 0; i + 3 < f.bgra.size(); i += 4 * 97)
    seen.insert(uint32_t(f.bgra[i]) | uint32_t(f.bgra[i + 1]) << 8 | uint32_t(f.bgra[i + 2]) << 16);
  return static_cast<int>(seen.size());
}

TEST(SegmentVideo, DecodesEachStreamsPicture) {
  struct Case {
    int port, channel, width, height;
  } cases[] = {{554, 1, 640, 360}, {555, 4, 480, 270}, {556, 2, 320, 180}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    VideoFrame f;
    int64_t first_us = -1;
    ASSERT_EQ(GrabFirstFrame(Source("10.77.1.1", c.port, "pa ss@:/w", c.channel), VideoTimings(), 8000, &f, &first_us),
              kVideoOk);
    EXPECT_EQ(f.width, c.width);
    EXPECT_EQ(f.height, c.height);
    ASSERT_EQ(f.bgra.size(), size_t(c.width) * size_t(c.height) * 4);
    EXPECT_GT(DistinctColours(f), 8);
    EXPECT_GT(first_us, 0);
  }
}

TEST(SegmentVideo, FailuresAreTold) {
  struct Case {
    const char* ip;
    const char* password;
    int32_t code;
  } cases[] = {
      {"10.77.1.1", "tulp", kVideoAuth},        // wrong password
      {"10.77.1.5", "tulp", kVideoAuth},        // auth-refuse
      {"10.77.1.2", "tulp", kVideoBusy},        // rtsp-busy
      {"10.77.1.3", "tulp", kVideoNoAnswer},    // rtsp-silent
      {"10.77.1.4", "tulp", kVideoRefused},     // no AV port: reset at once
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ip);
    VideoFrame f;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(GrabFirstFrame(Source(c.ip, 554, c.password), Short(), 8000, &f, nullptr), c.code);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(4));
  }
}

class Recorder : public VideoSink {
 public:
  void OnVideoFrame(uint64_t) override { frames++; }
  void OnVideoFailed(uint64_t, int32_t) override { failures++; }
  std::atomic<int> frames{0}, failures{0};
};

TEST(SegmentVideo, StopEndsAWaitingWorkerAtOnceAndReportsNothing) {
  Recorder r;
  VideoClient client;
  client.Start(Source("10.77.1.3", 554, "tulp"), VideoTimings(), &r);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // connected by now, or still connecting: both must stop at once
  ASSERT_TRUE(client.Running()) << "the silent device cannot have ended the worker";
  const auto t0 = std::chrono::steady_clock::now();
  client.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
  EXPECT_FALSE(client.Running());
  EXPECT_EQ(r.failures.load(), 0);
}

// rtsp-resize: the picture halves and comes back every second; every frame
// is whole at its own size and the stream goes on.
TEST(SegmentVideo, APictureThatChangesSizeKeepsComing) {
  Recorder r;
  VideoClient client;
  client.Start(Source("10.77.1.6", 554, "tulp"), VideoTimings(), &r);
  std::set<std::pair<int, int>> sizes;
  VideoFrame f;
  bool whole = true;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (sizes.size() < 2 && r.failures.load() == 0 && std::chrono::steady_clock::now() < end) {
    if (client.TakeFrame(&f)) {
      sizes.insert({f.width, f.height});
      whole = whole && f.bgra.size() == size_t(f.width) * size_t(f.height) * 4;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::set<std::pair<int, int>> want = {{640, 360}, {320, 180}};
  EXPECT_EQ(sizes, want);
  EXPECT_TRUE(whole);
  EXPECT_EQ(r.failures.load(), 0);
  client.Stop();
}

// A one-picture connection (the first-picture grab) ends by itself with its
// picture: one frame, no failure, the worker gone without a Stop; a live one
// (above) keeps decoding.
TEST(SegmentVideo, AOnePictureConnectionEndsWithItsPicture) {
  Recorder r;
  VideoClient client;
  VideoSource s = Source("10.77.1.1", 554, "pa ss@:/w");
  s.key_frames_only = true;
  s.one_picture = true;
  client.Start(s, VideoTimings(), &r);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((r.frames.load() == 0 || client.Running()) && r.failures.load() == 0 &&
         std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(client.Running());
  EXPECT_EQ(r.frames.load(), 1);
  EXPECT_EQ(r.failures.load(), 0);
  EXPECT_EQ(client.Stats().frames, 1u);
  VideoFrame f;
  ASSERT_TRUE(client.TakeFrame(&f));
  EXPECT_EQ(f.width, 640);
  EXPECT_EQ(f.height, 360);
}

}  // namespace
