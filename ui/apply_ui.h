#pragma once
// "Apply": the panel's setting sent to the selected device by MAC, and the
// one-device verification (state 2) that waits for the device to answer with it.
#include <cstdint>
#include <functional>

#include "engine/ops/set_network.h"
#include "ui/operation.h"

class Authentication;

class ApplyUi : public Operation {
 public:
  // run_authentication: runs the dialog (tests answer it); empty: exec().
  ApplyUi(StateOwner* state, const RowsView* rows, RowCells* cells, RowRecords* records, NetworkSettingPanel* panel,
          Operator* op, EngineAccess* engine, VerificationScans* scans, const SetNetworkTimings& timings,
          std::function<int(Authentication&)> run_authentication);

  bool OnCommand(int id) override;  // "Apply"
  // A discovery reply in state 2.
  void OnDeviceFound(const DeviceRecord& rec) override;
  // The device the verification waits for; its new setting is not known.
  void SetExpectedMac(const uint8_t mac[6]);

 private:
  void OnApply();
  void ApplyToDevice(int target, const DeviceRecord& rec);
  const RowsView* rows_;
  RowCells* cells_;
  RowRecords* records_;
  NetworkSettingPanel* panel_;
  Operator* operator_;
  EngineAccess* engine_;
  VerificationScans* scans_;
  SetNetworkTimings timings_;
  std::function<int(Authentication&)> run_authentication_;
  uint8_t expected_mac_[6] = {};
  DeviceRecord expected_setting_{};  // what "Apply" sent, when known
  bool expected_setting_known_ = false;
};
