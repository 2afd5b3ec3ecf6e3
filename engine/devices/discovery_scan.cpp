#include "engine/devices/discovery_scan.h"

#include <algorithm>

#include "engine/talq/talq_client.h"
#include "platform/socket_wait.h"
#include "platform/ticks.h"

const char kTalqThreadFaultText[] = "[ERROR] TalqThreadProc : TalqThreadProcRun";

namespace {

// Closes the client on every way out of the run, a fault included.
struct ScanClient {
  TalqClient c{};
  bool opened = false;  // the initialiser ran, so the slots are filled
  ~ScanClient() {
    if (opened) c.Close(&c.socket);
  }
  int socket() const { return opened ? c.socket : -1; }
};

void OpenAndBroadcast(ScanClient* sc, uint16_t bind_port, uint16_t dest_port) {
  sc->opened = true;
  // A client that failed to open still gets its broadcast attempt and its
  // place in the poll order; the scan runs its window either way.
  (void)TALQCLIENT_OpenPorts(&sc->c, bind_port, dest_port);
  (void)sc->c.Broadcast(&sc->c);
}

// One poll of one client. True when its socket was readable (a datagram was
// taken), so the caller polls again at once instead of idling.
bool PollClient(ScanClient* sc, int32_t microseconds, MessageSink* sink) {
  TalqClient* c = &sc->c;
  // A socket that never opened can only make select fail; skip it.
  if (sc->socket() < 0) return false;
  if (c->Wait(c, 0, microseconds) <= 0) return false;
  // The parser gives 1 only for a freshly parsed reply (a code-1 datagram
  // reads as -1), so a positive result other than 1 is a foreign datagram.
  if (c->RecvDiscovery(c) == 1) sink->Post(MakeDeviceFound(c->parse));
  return true;
}

void TalqThreadProcRun(const ScanConfig& cfg, const dk::StopFlag& stop, MessageSink* sink, ScanClient* a,
                       ScanClient* b) {
  dk::TickTimer watch;
  watch.Start();
  const uint32_t window = cfg.timings.window_ms;
  const uint32_t slice = std::max<uint32_t>(1, cfg.timings.idle_slice_ms);
  const bool has_b = (cfg.xflag & 1) != 0;

  OpenAndBroadcast(a, cfg.ports.a_bind, cfg.ports.a_dest);
  if (has_b) OpenAndBroadcast(b, cfg.ports.b_bind, cfg.ports.b_dest);

  bool b_polled = false;
  while (!stop.IsSet()) {
    bool readable = PollClient(a, (has_b && !b_polled) ? 1 : 0, sink);
    if (has_b) {
      readable = PollClient(b, 0, sink) || readable;
      b_polled = true;
    }
    const uint32_t elapsed = watch.Elapsed();
    if (elapsed >= window) break;
    if (!readable) {
      // Nothing waiting: sleep until either socket has data, at most one
      // slice so the stop flag and the window end are seen promptly.
      const uint32_t wait = std::min(window - elapsed, slice);
      const int sockets[2] = {a->socket(), has_b ? b->socket() : -1};
      const int ready = dk::SocketWaitAnyReadable(sockets, 2, wait);
      if (ready < 0) {
        dk::SleepMs(wait);
      } else if (ready > 0 && cfg.timings.burst_pause_ms > 0) {
        // Replies of a large segment come in bursts; waking once per
        // datagram costs a context switch each. A short pause drains many
        // per wake-up; the pass after it still runs before the window check,
        // so no reply that arrived in time is lost.
        dk::SleepMs(std::min(cfg.timings.burst_pause_ms, window - std::min(window, watch.Elapsed())));
      }
    }
  }
}

}  // namespace

void TalqThreadProc(const ScanConfig& cfg, const dk::StopFlag& stop, MessageSink* sink) {
  if (!sink) return;  // nobody to report to: no scan either
  bool faulted = false;
  try {
    ScanClient a, b;
    TalqThreadProcRun(cfg, stop, sink, &a, &b);
  } catch (...) {
    faulted = true;
  }
  try {
    if (faulted) {
      WorkerMessage m = MakeText(UM_SCAN_DONE, kTalqThreadFaultText);
      m.wparam = kScanDoneFault;
      sink->Post(std::move(m));
    } else {
      sink->Post(MakeSignal(UM_SCAN_DONE));
    }
  } catch (...) {
    // Nothing is left to report through; the thread still ends normally.
  }
}

DiscoveryScanner::~DiscoveryScanner() { Stop(); }

bool DiscoveryScanner::Start(const ScanConfig& cfg, MessageSink* sink) {
  Stop();
  if (!sink) return false;
  if (thread_.Running()) return false;
  stop_.Clear();
  stop_wait_ms_ = cfg.timings.stop_wait_ms;
  if (thread_.Start([this, cfg, sink] { TalqThreadProc(cfg, stop_, sink); })) return true;
  // No thread: the scan ends as a faulted one does, so its owner says so.
  WorkerMessage m = MakeText(UM_SCAN_DONE, kTalqThreadFaultText);
  m.wparam = kScanDoneFault;
  sink->Post(std::move(m));
  return false;
}

void DiscoveryScanner::Stop() {
  if (!thread_.Attached()) return;
  stop_.Set();
  (void)thread_.WaitFor(stop_wait_ms_);
}

bool DiscoveryScanner::Running() const { return thread_.Running(); }
