#pragma once
// The multiple IP setting run: one set-network request per ticked device,
// addresses from a consecutive range or from an IP assignment file, one at a
// time with a bounded wait for each result. Used by the window and the CLI.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/devices/device_record.h"
#include "engine/ops/set_network.h"
#include "engine/update/worker_messages.h"
#include "platform/thread.h"

struct NvtSettingTimings {
  SetNetworkTimings set_network;  // 1 s per device
  uint32_t stop_wait_ms = 3000;
};

// Everything the run needs, copied on the starting thread: the run never
// reads the list or the device table.
struct NvtSettingParam {
  int32_t assignment_mode = 0;  // 1: from the file; 0: consecutive range
  int32_t static_flag = 1;      // range mode: 1 static, 0 DHCP
  std::string file_path;
  uint32_t start_ip = 0, subnet_mask = 0, gateway = 0, dns_server = 0;  // network order
  std::string admin_id, admin_password;
  int32_t ip_setting_xflag = 0;  // bit 0 picks the second port pair
  std::vector<DeviceRecord> devices;  // the ticked devices in row order
  NvtSettingTimings timings;
};

// Results posted besides the set-network ones (wparam of UM_IP_SETTING_RESULT).
constexpr int32_t kNvtInvalidAddress = -4;  // the line's address texts are no addresses; nothing sent
extern const char kNvtInvalidAddressText[];  // "ip setting error 'invalid address'"

// UM_IP_CHECK_START after a fault: wparam kNvtSettingFault, text payload.
constexpr int32_t kNvtSettingFault = 1;
extern const char kNvtSettingFaultText[];  // "[ERROR] NvtSettingThreadProc : NvtSettingThreadProcRun"

// How many devices a range from start_ip can take before its last octet
// would pass 255.
int32_t NvtRangeCapacity(uint32_t start_ip);
// The refusal shown when count devices do not fit the range from start_ip.
std::string NvtRangeOverflowText(uint32_t start_ip, int32_t count);
// The address of the k-th device (from 0) of a range; false past .255.
bool NvtRangeAddress(uint32_t start_ip, int32_t k, uint32_t* ip);

// The run on the calling thread. Posts UM_IP_SETTING_RESULT for every device
// a request was built for (payload: the record with the type and addresses
// written; wparam: 0 accepted, 2 authentication, other device codes, -1 bad
// reply, kSetNetworkNoAnswer, kSetNetworkSendFailed, kNvtInvalidAddress),
// then UM_IP_CHECK_START. The stop flag is checked before every request.
// Returns the number of devices that accepted (a range past .255 sends
// nothing and returns -1).
int32_t NvtSettingThreadProc(const NvtSettingParam& p, const dk::StopFlag& stop, MessageSink* sink);

// A verification reply counts for a device that accepted sent only when it
// shows the new setting: the address sent for a static one, DHCP for a DHCP
// one (a reply from the old address before the device has moved does not).
bool NvtVerificationMatches(const DeviceRecord& sent, const DeviceRecord& reply);

// The plan shown before the run: per ticked device in order, what it gets.
struct NvtPlanItem {
  DeviceRecord record{};
  bool has_entry = false;  // file mode: false when the file does not name the device
  int32_t network_type = 1;
  std::string ip_text;  // the address as it will be sent (file: as written)
  std::vector<std::string> warnings;
};
// listed: every device of the list (for addresses already in use). -1 when
// the file cannot be opened (the plan then names no entry).
int32_t BuildNvtSettingPlan(const NvtSettingParam& p, const std::vector<DeviceRecord>& listed,
                            std::vector<NvtPlanItem>* out);
// One line per item: MAC, type and address, then its warnings.
std::string NvtPlanText(const std::vector<NvtPlanItem>& plan);

// Owns the run's thread; call from one thread. The sink must outlive it.
class NvtSettingRunner {
 public:
  NvtSettingRunner() = default;
  ~NvtSettingRunner();
  NvtSettingRunner(const NvtSettingRunner&) = delete;
  NvtSettingRunner& operator=(const NvtSettingRunner&) = delete;
  // False when a previous run did not end within its stop wait.
  bool Start(NvtSettingParam p, MessageSink* sink);
  void Stop();
  bool Running() const;

 private:
  dk::StopFlag stop_;
  dk::WorkerThread thread_;
  uint32_t stop_wait_ms_ = 3000;
};
