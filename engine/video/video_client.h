#pragma once
// The live video client behind the monitoring window's viewer and the CLI's
// snapshot: RTSP over TCP (RTP interleaved) to rtsp://ADDRESS:PORT/ch<C>,
// demuxed and decoded with FFmpeg on a worker thread. Only the newest frame is
// kept; a frame nobody took yet is replaced by the next one.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/thread.h"

// Results of a connection, also the codes the viewer reports with its
// failure event (1 and 2 are the codes the window knows by name).
enum : int32_t {
  kVideoOk = 0,
  kVideoBusy = 1,       // 453 or 503: too many viewers
  kVideoAuth = 2,       // 401 or 403: wrong ID or password
  kVideoRefused = 3,    // any other refusal or protocol failure
  kVideoNoAnswer = 4,   // nothing within the answer time, or the stream stopped
  kVideoNoPort = 5,     // the device reports no port for the stream (never connected)
};

// Short English reason of a failure code ("wrong ID or password", ...), for
// tiles, captions and lines that name one device each.
const char* VideoFailureText(int32_t code);
// Machine name of a result: "ok", "auth", "busy", "refused", "no_answer", "no_port".
const char* VideoResultName(int32_t code);

struct VideoTimings {
  uint32_t answer_ms = 5000;     // connect, DESCRIBE ... PLAY and the first packet
  uint32_t stall_ms = 5000;      // a playing stream without packets this long has stopped
  uint32_t stop_wait_ms = 3000;  // Stop waits this long for the worker
};

struct VideoSource {
  std::string address;  // dotted or host name
  int port = 1852;
  std::string user;
  std::string password;
  int channel = 1;      // 1-4
  // Pictures larger than this are scaled down (aspect kept) as they are
  // converted, so a full-HD stream costs a small buffer where a small
  // picture is all that is needed (the contact sheet). 0: as they come.
  int max_width = 0, max_height = 0;
  // Only key frames are decoded (GrabFirstFrame: the first picture is one
  // anyway), so the decoder holds no reference frames between them.
  bool key_frames_only = false;
  // The connection ends with its first picture (GrabFirstFrame): the decoder
  // goes before the picture is converted and the connection right after, so a
  // grab holds its full-size buffers only while that one picture decodes.
  bool one_picture = false;
};

// The stream's URL without credentials (for captions and messages).
std::string VideoUrl(const VideoSource& s);
// The URL handed to the demuxer: ID and password percent-encoded as userinfo.
std::string VideoUrlWithCredentials(const VideoSource& s);
// Event code of an RTSP status of a refused request.
int32_t VideoCodeOfStatus(int status);

struct VideoFrame {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;  // width * 4 bytes a row, alpha 255
  uint64_t number = 0;        // 1 for the first decoded frame of a connection
  int stream_width = 0, stream_height = 0;  // the stream's picture (larger when scaled down)
};

// Called on the worker thread; implementations hand over to their own thread.
// gen tells connections apart: a report of an older one is stale.
class VideoSink {
 public:
  virtual ~VideoSink() = default;
  // A new newest frame is waiting (TakeFrame).
  virtual void OnVideoFrame(uint64_t gen) = 0;
  // The connection failed or the stream stopped (code kVideoBusy ... kVideoNoAnswer).
  // The worker ends after this.
  virtual void OnVideoFailed(uint64_t gen, int32_t code) = 0;
};

struct VideoStats {
  uint64_t frames = 0;         // decoded frames of the current connection
  uint64_t dropped = 0;        // frames replaced before anybody took them
  double fps = 0;              // over the last second or so
  int64_t first_frame_us = -1; // Start to the first decoded frame
  int width = 0, height = 0;
};

class VideoClient {
 public:
  VideoClient() = default;
  ~VideoClient();  // Stop
  VideoClient(const VideoClient&) = delete;
  VideoClient& operator=(const VideoClient&) = delete;

  // Starts a connection on a new worker (the one before is told to stop and
  // reports nothing more). Returns its generation. Never blocks on the network.
  // When the system gives no thread the sink hears kVideoRefused at once.
  uint64_t Start(const VideoSource& src, const VideoTimings& t, VideoSink* sink);
  // Tells the worker to stop and waits for it (bounded by stop_wait_ms).
  void Stop();
  // Tells the worker to stop without waiting (nothing more is reported); a
  // later Stop only waits. Lets an owner of many clients stop them all within
  // one stop wait instead of one after the other.
  void Signal();
  bool Running() const;
  uint64_t Generation() const { return gen_.load(); }

  // The newest frame, when one arrived since the last take. False otherwise.
  bool TakeFrame(VideoFrame* out);
  VideoStats Stats() const;

 private:
  struct Shared;
  void Body(const dk::StopFlag& stop, uint64_t gen, VideoSource src, VideoTimings t, VideoSink* sink);
  void Publish(uint64_t gen, VideoFrame* frame);

  std::atomic<uint64_t> gen_{0};
  uint32_t stop_wait_ms_ = 3000;
  mutable std::mutex mu_;  // the frame slot and the statistics
  VideoFrame slot_;
  bool slot_full_ = false;
  VideoStats stats_;
  // Last, so it is destroyed first: a worker that outlived Stop's bounded
  // wait is joined while the mutex, the slot and the generation it uses
  // still exist.
  dk::WorkerGroup runs_;
};

// One connection on the calling thread until the first complete frame:
// kVideoOk with *out, or a failure code. For the CLI.
// stream_width/stream_height (may be null): the stream's own picture size,
// also when out was scaled down (VideoSource::max_width).
int32_t GrabFirstFrame(const VideoSource& src, const VideoTimings& t, uint32_t timeout_ms,
                       VideoFrame* out, int64_t* first_frame_us, int* stream_width = nullptr,
                       int* stream_height = nullptr);
