#pragma once
// The discovery scan: one broadcast on each TALQ client, then every reply
// collected for a short window and handed to the sink as a DeviceRecord copy.
#include <cstdint>

#include "engine/update/worker_messages.h"
#include "platform/thread.h"

struct ScanTimings {
  uint32_t window_ms = 500;      // replies later than this after the start are not seen
  uint32_t stop_wait_ms = 3000;  // how long Stop waits for the thread to end
  uint32_t idle_slice_ms = 4;    // longest idle wait between polls (bounds the stop latency)
  uint32_t burst_pause_ms = 1;   // after an idle wait ends on data, let a burst gather before draining it
};

// Port pairs of the two clients; the product values are the defaults. Tests
// move them so that parallel runs in one namespace do not collide.
struct ScanPorts {
  uint16_t a_bind = 32153;
  uint16_t a_dest = 32154;
  uint16_t b_bind = 33001;
  uint16_t b_dest = 33000;
};

struct ScanConfig {
  int32_t xflag = 0;  // bit 0: also scan on the second port pair (client B)
  ScanTimings timings;
  ScanPorts ports;
};

// Text of the fault report, and the wparam that marks UM_SCAN_DONE after a fault.
extern const char kTalqThreadFaultText[];  // "[ERROR] TalqThreadProc : TalqThreadProcRun"
constexpr int32_t kScanDoneFault = 1;

// One scan on the calling thread: posts UM_DEVICE_FOUND per reply, then UM_SCAN_DONE (also after a fault).
// A normal end posts UM_SCAN_DONE with wparam 0 and no payload. When the run
// faulted, UM_SCAN_DONE carries wparam kScanDoneFault and the text
// kTalqThreadFaultText as its std::string payload: the receiver shows that
// message box first, then handles the end as usual.
void TalqThreadProc(const ScanConfig& cfg, const dk::StopFlag& stop, MessageSink* sink);

// Owns the scan thread and its stop flag. Not thread-safe: call from one
// (the window's) thread. The sink must outlive the scanner.
class DiscoveryScanner {
 public:
  DiscoveryScanner() = default;
  ~DiscoveryScanner();  // stops the scan; the thread always ends by itself
  DiscoveryScanner(const DiscoveryScanner&) = delete;
  DiscoveryScanner& operator=(const DiscoveryScanner&) = delete;

  // Stops a running scan first (bounded wait), clears the stop flag and starts
  // a new scan thread. False when no thread was started (the previous one did
  // not end within its stop wait).
  bool Start(const ScanConfig&, MessageSink*);  // stops a running scan first
  // Sets the stop flag and waits up to stop_wait_ms of the last start for the
  // thread to end. Never kills it.
  void Stop();
  bool Running() const;

 private:
  dk::StopFlag stop_;
  dk::WorkerThread thread_;
  uint32_t stop_wait_ms_ = ScanTimings{}.stop_wait_ms;
};
