#pragma once
// The factory default run: the factory-default request to every selected
// device (one request thread each), then TALQ discovery until each device
// answers again from its factory address. The two halves are also used by
// the firmware update run's optional last phase.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/devices/device_record.h"
#include "engine/ops/http_requests.h"
#include "engine/talq/talq_client.h"
#include "engine/update/worker_messages.h"
#include "platform/thread.h"

// Text of the fault report, and the wparam that marks UM_FACTORY_DONE after a
// fault (its std::string payload is then this text).
extern const char kFactoryThreadFaultText[];  // "[ERROR] NvtFactoryDefaultThreadProc : NvtFactoryDefaultThreadProcRun"
constexpr int32_t kFactoryDoneFault = 1;

// The address a device answers from after a factory reset.
extern const char kFactoryDefaultIpText[];  // "192.168.1.2"
// True when the record's address written as dotted text is exactly the factory address.
bool IsFactoryAddress(const DeviceRecord& rec);

// Sleeps up to ms in slices of at most slice_ms; false (early) once stop is set.
bool SleepUnlessStopped(uint32_t ms, const dk::StopFlag& stop, uint32_t slice_ms);

// ---------------------------------------------------------------- request threads

// One factory-default request thread per device, however many. Transfers are
// bounded by their CurlTimings and aborted by Abort(); the destructor aborts
// what is still running and joins every thread, so nothing outlives the owner.
class FactoryRequestGroup {
 public:
  FactoryRequestGroup();
  ~FactoryRequestGroup();
  FactoryRequestGroup(const FactoryRequestGroup&) = delete;
  FactoryRequestGroup& operator=(const FactoryRequestGroup&) = delete;

  // Starts a thread running the request with its own copy of param; false
  // when the system gave no thread (the request is not sent). tag names the
  // request in TakeFinished.
  bool Start(const FactoryDefaultParam& param, size_t tag = 0);
  // Waits up to ms for every started request together, looking at stop every
  // slice_ms; each (may be empty) is called whenever a request has ended
  // meanwhile. True when all have ended; false on time-out or stop.
  bool WaitAll(uint32_t ms, const dk::StopFlag& stop, uint32_t slice_ms = 50,
               const std::function<void()>& each = {});
  // The requests that ended since the last call: tag, result (0 answered,
  // -2 failed, -1 no handle) and the HTTP status answered (0 none).
  struct Finished {
    size_t tag;
    int32_t rc;
    long http;
  };
  std::vector<Finished> TakeFinished();
  // Aborts the transfers still running (they end within about a second).
  void Abort();
  // Aborts and joins every thread.
  void Join();
  int32_t Started() const;
  int32_t Running() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  std::vector<std::unique_ptr<dk::WorkerThread>> threads_;
};

// ---------------------------------------------------------------- discovery watch

struct DiscoveryWatchTimings {
  uint32_t broadcast_ms = 3000;  // a discovery request this often
  uint32_t tick_ms = 1000;       // the caller's tick
  uint32_t slice_ms = 100;       // longest socket wait, so the stop flag is seen promptly
};

struct DiscoveryWatchHooks {
  // The loop runs while this is true (checked before every wait).
  std::function<bool()> active;
  // Called every tick_ms.
  std::function<void()> tick;
  // Called for every parsed discovery reply.
  std::function<void(const DeviceRecord&)> reply;
  // Optional: the next time (a TickCount value) the caller wants tick-like
  // attention, so a pending deadline of its own ends the wait; due() is called then.
  std::function<bool(uint32_t* at)> next_due;
  std::function<void()> due;
};

// Broadcasts a discovery request on the open client at once and then every
// broadcast_ms, takes every reply as it arrives (the wait ends on data) and
// calls tick every tick_ms, until active() is false or stop is set. Between
// events it waits on the socket, never spinning. 0, 1 when stopped, -1 when
// the client has no socket.
int32_t WatchDiscovery(TalqClient* client, const DiscoveryWatchTimings& t, const dk::StopFlag& stop,
                       const DiscoveryWatchHooks& hooks);

// ---------------------------------------------------------------- the run

struct FactoryDefaultTimings {
  uint32_t request_wait_ms = 10000;  // for all request threads together
  int32_t settle_steps = 10;         // one-step advances after the requests
  uint32_t step_ms = 1000;           // a settle step, and the watch tick
  DiscoveryWatchTimings watch;       // broadcast every 3000 ms, tick 1000 ms
  uint32_t found_pause_ms = 2000;    // a device back is reported complete this much later
  uint32_t stop_wait_ms = 3000;      // how long Stop waits for the run
  uint32_t stop_slice_ms = 50;       // stop-flag look interval of the waits
  CurlTimings curl;                  // bounds of each request transfer
  uint16_t talq_bind_port = 32153;   // tests move the ports
  uint16_t talq_dest_port = 32154;
};

// Progress values of a device.
enum : int32_t {
  kFactoryInit = 0,
  kFactoryRequestStarted = 3,
  kFactoryComplete = 100,
  kFactoryRefused = -12,  // the device answered the request with 400 or more
  kFactoryTimeout = -9,
  kFactoryThreadFailed = -13,
};
// The status column's text of a factory progress value ("" where the column
// keeps what it showed or shows a bar).
std::string FactoryStatusText(int32_t progress);

struct FactoryDefaultConfig {
  std::string user;      // administrator ID and password of the requests
  std::string password;
  std::vector<DeviceRecord> devices;  // the selection list, in key order
  FactoryDefaultTimings timings;
  bool flush_arp = true;  // "arp -d" before the requests
};

struct FactoryDeviceOutcome {
  uint8_t mac[6];
  uint32_t ip_before;  // where the request went
  int32_t progress;    // final value: 100, -9, -13, or in progress when stopped
  bool seen = false;   // answered discovery during the watch
  uint32_t ip_after = 0;  // the address of its last reply (when seen)
  long http = 0;          // status its request was answered with (0: none)
};

struct FactoryRunResult {
  std::vector<FactoryDeviceOutcome> devices;  // in selection order
  bool stopped = false;
  int32_t Complete() const;  // devices at 100
  int32_t Refused() const;   // devices whose request was refused
};

// The run on the calling thread: posts UM_FACTORY_STATUS per change,
// UM_DEVICE_FOUND with the reply of a device back at "192.168.1.2", and
// UM_FACTORY_DONE once at the end (also after a stop or a fault). A request
// answered with 400 or more ends its device at once as kFactoryRefused. After
// a stop, the devices already back are still reported complete. result may
// be null. Returns the number of devices that came back, -1 on a fault.
int32_t NvtFactoryDefaultThreadProc(const FactoryDefaultConfig& cfg, const dk::StopFlag& stop, MessageSink* sink,
                                    FactoryRunResult* result);

// Owns the run's thread and stop flag (call from one thread).
class FactoryDefaultRunner {
 public:
  FactoryDefaultRunner() = default;
  ~FactoryDefaultRunner();  // stops; the run always ends by itself
  FactoryDefaultRunner(const FactoryDefaultRunner&) = delete;
  FactoryDefaultRunner& operator=(const FactoryDefaultRunner&) = delete;

  // False when a run is still going or no thread could be started.
  bool Start(const FactoryDefaultConfig& cfg, MessageSink* sink);
  // Sets the stop flag and waits up to stop_wait_ms for the run to end.
  void Stop();
  bool Running() const;

 private:
  dk::StopFlag stop_;
  dk::WorkerThread thread_;
  uint32_t stop_wait_ms_ = FactoryDefaultTimings{}.stop_wait_ms;
};
