#pragma once
// The devices' video: each AV port serves RTSP with a live H.264 test picture
// (the device's MAC, stream, channel and a running clock), one path per
// channel, /ch1 to /ch4. GStreamer's RTSP server runs on its own thread with
// its own GMainLoop; the epoll loop accepts the connections and hands each one
// over with what the device is. A picture is encoded only while a viewer has
// it open.
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace dksim {

class Simulator;

// Picture of AV stream 1-3: size and frame rate. Stream 1 has the size
// given (--video-size, 640x360 by default); streams 2 and 3 keep theirs.
struct RtspPicture {
  int width, height, fps;
};
RtspPicture PictureOfStream(int stream, int width1 = 640, int height1 = 360);

// The device answering RTSP at local_ip:port and which of its streams the port
// is (1-3), or -1.
int AvDeviceAt(const Simulator& sim, uint32_t local_ip, uint16_t port, int* stream);

// One accepted connection and the device behind it.
struct RtspHandOver {
  int fd = -1;  // owned by the service from Hand on
  uint32_t peer_ip = 0;  // network byte order
  uint16_t peer_port = 0;
  std::string mac;       // AA:BB:CC:DD:EE:FF
  int stream = 1;
  RtspPicture picture{640, 360, 15};  // the stream's picture
  std::string user, password;
  bool busy = false;          // "rtsp-busy": 453 to every viewer
  bool refuse_auth = false;   // "auth-refuse": no credential is right
  bool resize = false;        // "rtsp-resize": the picture size changes every second
};

class RtspService {
 public:
  RtspService();
  ~RtspService();  // Stop
  RtspService(const RtspService&) = delete;
  RtspService& operator=(const RtspService&) = delete;

  // Any thread. Starts the service's thread on first use.
  void Hand(RtspHandOver h);
  // Starts the thread and GStreamer now (it takes a moment), so the first
  // viewer is answered as fast as the others.
  void Warm();
  // Closes every viewer and ends the thread.
  void Stop();
  // Connections handed over so far.
  uint64_t handed() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dksim
