#pragma once
// Information query of one device: ping, then system mode, firmware version
// and serial number, each posted to the window as a text.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/ops/device_http_client.h"
#include "engine/ops/http_requests.h"
#include "engine/update/worker_messages.h"
#include "platform/thread.h"

struct InfoQueryTimings {
  int ping_count = 1;
  int ping_timeout_ms = 5;
  HttpClientTimings http;   // 3000 ms deadline, 1 ms waits
  CurlTimings curl = SystemModeCurlTimings();  // 3 s, as the value requests
  uint32_t stop_wait_ms = 3000;
};

struct VersionQueryParam {
  uint32_t ip;
  uint16_t port;  // web port, 0 means 80
  InfoQueryTimings timings;
};

// Fixed credentials of the query (never the operator's).
extern const char kInfoQueryUser[];      // "root"
extern const char kDefaultDevicePassword[];

// Runs the whole query on the calling thread, posts UM_SYSTEM_MODE_TEXT,
// UM_FIRMWARE_VERSION_TEXT, UM_SERIAL_TEXT. Posts nothing more once stop is
// set. Returns 0 (-1 when the device did not answer ping).
int32_t GetVersionThreadProc(const VersionQueryParam& p, const dk::StopFlag& stop, MessageSink* sink);

// Starts queries on worker threads. A new Start stops the query before it
// (so an older selection's answers cannot overwrite a newer one's) without
// waiting for it; Stop waits up to stop_wait_ms for all of them.
class InfoQueryRunner {
 public:
  InfoQueryRunner() = default;
  ~InfoQueryRunner() = default;  // stops and joins (workers are bounded)
  InfoQueryRunner(const InfoQueryRunner&) = delete;
  InfoQueryRunner& operator=(const InfoQueryRunner&) = delete;

  bool Start(const VersionQueryParam&, MessageSink*);
  void Stop();
  bool Running() const;

 private:
  dk::WorkerGroup runs_;  // the newest is the current query
  uint32_t stop_wait_ms_ = 3000;
};
