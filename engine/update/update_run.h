#pragma once
// The firmware update run: optional address step, one upload thread per
// device, the wait for the devices to restart with their version checks, and
// an optional factory default afterwards. Plain C++; the window and
// dravenkit-cli start the same run.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/devices/device_record.h"
#include "engine/ops/device_http_client.h"
#include "engine/ops/http_requests.h"
#include "engine/ops/set_network.h"
#include "engine/update/firmware_upload.h"
#include "engine/update/worker_messages.h"
#include "platform/thread.h"

// Status values of a device in the run (UM_UPDATE_STATUS).
enum : int32_t {
  kUpdateQueued = 0,
  kUpdateIpAccepted = 1,
  kUpdateFoundAgain = 2,
  kUpdateUploadStarted = 3,
  kUpdateVerified = 100,
  kUpdateFactoryBack = 101,
  kUpdateUploadNoHandle = -1,  // UploadProc had no libcurl handle
  kUpdateUploadFailed = -2,    // the transfer failed: cut, stalled, unreachable, unreadable file
  kUpdateUploadRefused = -3,   // the device answered the upload with an HTTP status of 400 or more
  kUpdateIpAuthRefused = -6,
  kUpdateIpRefused = -7,
  kUpdateTimeout = -9,
  kUpdateWrongVersion = -11,
  kUpdateFactoryRefused = -12,  // the factory default request was answered with 400 or more
  kUpdateFactoryThreadFailed = -13,
  kUpdateUploadThreadFailed = -14,
};

// wparam of UM_UPDATE_DONE: 0 every device updated ("Update complete."),
// kUpdateDoneFailed the run ended with devices not updated (the window keeps
// its state until Cancel), kUpdateDoneFault a fault escaped the run (the
// payload is kUpdateThreadFaultText).
constexpr int32_t kUpdateDoneFailed = 1;
constexpr int32_t kUpdateDoneFault = 2;
extern const char kUpdateThreadFaultText[];  // "[ERROR] NvtUpdateManagerThreadProc : NvtUpdateManagerThreadProcRun"

extern const char kInitFactoryText[];        // "Init. factory"
extern const char kSetFactoryText[];         // "Set factory ..."
extern const char kFactorySuccessfulText[];  // "factorydefault successful"

// The status column's text for a status and its report text ("" where the
// column keeps what it showed).
std::string UpdateStatusText(int32_t status, const std::string& report_text);

struct UpdateTimings {
  SetNetworkTimings set_network;     // 1 s for each device's result
  uint32_t broadcast_ms = 3000;      // discovery re-broadcast while waiting
  uint32_t reappear_ms = 60000;      // devices back after the address step
  uint32_t head_start_ms = 5000;     // each upload before the next starts
  uint32_t after_uploads_ms = 3000;  // pause once every upload has started
  uint32_t tick_ms = 8000;           // status + 1 while waiting after the upload
  int32_t give_up_status = 100;      // a status ticking to this becomes -9
  int32_t check_below = 90;          // version checks only below this status
  int32_t attempts_type0 = 10;       // version check attempts, type index 0
  int32_t attempts_other = 4;        // ... any other index
  uint32_t attempt_pause_ms = 4000;  // before each attempt
  uint32_t factory_wait_ms = 10000;  // for the factory default request threads
  uint32_t overall_ms = 10800000;    // wait after the upload / the factory default
  int32_t max_checks = 256;          // version checks of different devices at once (a thread each, mostly asleep)
  uint32_t slice_ms = 100;           // longest wait before the stop flag is looked at
  uint32_t stop_wait_ms = 3000;      // how long UpdateRunner::Stop waits
  uint32_t progress_ms = 1000;       // upload progress reports per device
  CurlTimings upload = UploadCurlTimings();
  CurlTimings factory;
  HttpClientTimings http;
};

struct UpdateConfig {
  std::vector<DeviceRecord> devices;  // the selection list, in key order
  bool ip_setting = false;
  bool factory_after = false;
  int32_t type_index = 0;
  std::string before_id, before_password;  // the address step
  std::string after_id, after_password;    // version check and factory default
  std::string firmware_path;
  std::string expected_version;
  int32_t xflag = 0;  // UPDATE_XFLAG: the port pairs
  uint32_t start_ip = 0, subnet_mask = 0, gateway = 0, dns_server = 0;  // IP_SETTING_ addresses
  UpdateTimings timings;
  bool flush_arp = true;  // "arp -d" where the run empties the ARP cache
  // Called on upload threads (at most once per progress_ms per device) with
  // the device's index in devices and the bytes sent so far.
  std::function<void(size_t index, uint64_t sent)> upload_progress;
};

struct UpdateDeviceResult {
  uint8_t mac[6];
  uint32_t ip;            // the address the run used for the device
  uint32_t check_ip = 0;  // where its version check went (0: none started)
  uint16_t check_port = 0;
  long upload_http = 0;   // HTTP status the device answered its upload with (0: none)
  int32_t status;         // final status (see above)
  std::string text;       // text of the last status report
  bool has_version = false;
  std::string version;    // the version read by the check
  uint64_t uploaded = 0;  // bytes of the upload request sent
  bool dropped = false;   // left the run after the address step
};

enum class UpdateOutcome { kSucceeded, kFailed, kStopped, kFault };

struct UpdateRunResult {
  std::vector<UpdateDeviceResult> devices;  // in the order of UpdateConfig::devices
  UpdateOutcome outcome = UpdateOutcome::kFault;
};

// What refuses a run before anything is sent, and the panel field to focus.
enum class UpdateField { kNone, kId, kPassword, kVersion };
struct UpdateRefusal {
  UpdateField field = UpdateField::kNone;
  std::string text;  // "" when the run may start
};
extern const char kUpdateVersionRequiredText[];  // "Firmware version is required"
// An empty expected version (every check would fail on a device that took
// its image) and, when the address step sends them, an ID or password over
// its limit (it would go out cut and be refused).
UpdateRefusal CheckUpdateConfig(const UpdateConfig& cfg);

// Port pairs from UPDATE_XFLAG: the first (address step, uploads) and the
// second (wait after the upload, factory default).
TalqPorts UpdateFirstPorts(int32_t xflag);
TalqPorts UpdateSecondPorts(int32_t xflag);

// The run on the calling thread. Posts UM_UPDATE_STATUS per change,
// UM_DEVICE_FOUND for devices found again, and UM_UPDATE_DONE at the end
// (wparam as above); nothing more after a stop. result may be null. A
// configuration that CheckUpdateConfig refuses sends nothing and fails.
// Returns 0 succeeded, 1 failed, 2 stopped, -1 fault.
int32_t UpdateRun(const UpdateConfig& cfg, const dk::StopFlag& stop, MessageSink* sink, UpdateRunResult* result);

// Owns the run's thread and stop flag (NvtUpdateManagerThreadProc); call from one thread.
class UpdateRunner {
 public:
  UpdateRunner() = default;
  ~UpdateRunner();
  UpdateRunner(const UpdateRunner&) = delete;
  UpdateRunner& operator=(const UpdateRunner&) = delete;
  // False when a run is still going or no thread could be started.
  bool Start(const UpdateConfig& cfg, MessageSink* sink);
  // Sets the stop flag and waits up to stop_wait_ms for the run to end.
  void Stop();
  bool Running() const;

 private:
  dk::StopFlag stop_;
  dk::WorkerThread thread_;
  uint32_t stop_wait_ms_ = UpdateTimings{}.stop_wait_ms;
};
