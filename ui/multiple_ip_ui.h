#pragma once
// The multiple IP setting's window part: the plan and the confirmation, the
// run's per-device results (state 3 while its requests go out), and the
// verification that awaits every device that accepted its request at the last
// address it was sent.
#include <cstdint>
#include <set>

#include "engine/ops/multiple_ip.h"
#include "ui/operation.h"

class CNVTSettingDlg;

class MultipleIpUi : public Operation {
 public:
  MultipleIpUi(StateOwner* state, const RowsView* rows, RowCells* cells, RowRecords* records, Operator* op,
               EngineAccess* engine, VerificationScans* scans, const NvtSettingTimings& timings);

  bool OnCommand(int id) override;                   // "Multiple IP setting"
  bool OnMessage(const WorkerMessage& msg) override;  // UM_IP_SETTING_RESULT, UM_IP_CHECK_START
  void OnDeviceFound(const DeviceRecord& rec) override;  // a discovery reply in state 3
  bool TakesClear() override;
  void OnClear() override { Reset(); }
  void OnIdleAgain(int32_t old_state) override;
  void Stop() override;

  // The multiple IP setting dialog, kept and reused (created at first use).
  CNVTSettingDlg* Dialog();
  // The devices still awaited (each with the address it was sent) and their count.
  DeviceTable* VerificationList() { return &verify_list_; }
  int32_t PendingCount() const { return pending_count_; }
  void SetPendingCount(int32_t n) { pending_count_ = n; }
  // The verification is over (state 0 or "Clear"): nobody is awaited.
  void Reset();

 private:
  void OnMultipleIpSetting();
  void OnIpSettingResult(const WorkerMessage& msg);
  void OnNvtSettingDone(const WorkerMessage& msg);
  void OnIpCheckStart();
  const RowsView* rows_;
  RowCells* cells_;
  RowRecords* records_;
  Operator* operator_;
  EngineAccess* engine_;
  VerificationScans* scans_;
  NvtSettingTimings timings_;
  CNVTSettingDlg* dialog_ = nullptr;  // a child of the window
  DeviceTable verify_list_;
  int32_t pending_count_ = 0;
  std::set<int> run_rows_;  // rows of the devices the last run sent to
};
