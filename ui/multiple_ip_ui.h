#pragma once
// The multiple IP setting's window part: the plan and the confirmation, the
// run's per-device results, and the verification that awaits every device
// that accepted its request at the last address it was sent.
#include <cstdint>
#include <set>

#include "engine/ops/multiple_ip.h"
#include "ui/operation.h"

class MultipleIpUi {
 public:
  MultipleIpUi(OperationHost* host, const NvtSettingTimings& timings) : host_(host), timings_(timings) {}

  void OnMultipleIpSetting();
  // UM_IP_SETTING_RESULT, UM_IP_CHECK_START, and a discovery reply in state 3.
  void OnIpSettingResult(const WorkerMessage& msg);
  void OnNvtSettingDone(const WorkerMessage& msg);
  void OnDeviceFound(const DeviceRecord& rec);
  // The devices still awaited (each with the address it was sent) and their count.
  DeviceTable* VerificationList() { return &verify_list_; }
  int32_t PendingCount() const { return pending_count_; }
  void SetPendingCount(int32_t n) { pending_count_ = n; }
  // The verification is over (state 0 or "Clear"): nobody is awaited.
  void Reset();

 private:
  void OnIpCheckStart();
  OperationHost* host_;
  NvtSettingTimings timings_;
  DeviceTable verify_list_;
  int32_t pending_count_ = 0;
  std::set<int> run_rows_;  // rows of the devices the last run sent to
};
