#pragma once
// "Apply": the panel's setting sent to the selected device by MAC, and the
// one-device verification that waits for the device to answer with it.
#include <QColor>
#include <cstdint>
#include <functional>

#include "engine/ops/set_network.h"
#include "ui/operation.h"

class Authentication;

class ApplyUi {
 public:
  // run_authentication: runs the dialog (tests answer it); empty: exec().
  ApplyUi(OperationHost* host, const SetNetworkTimings& timings, std::function<int(Authentication&)> run_authentication)
      : host_(host), timings_(timings), run_authentication_(std::move(run_authentication)) {}

  void OnApply();
  // The device the verification waits for; its new setting is not known.
  void SetExpectedMac(const uint8_t mac[6]);
  // A discovery reply in state 1.
  void OnDeviceFound(const DeviceRecord& rec);

 private:
  bool ApplyToDevice(int target, const DeviceRecord& rec);
  OperationHost* host_;
  SetNetworkTimings timings_;
  std::function<int(Authentication&)> run_authentication_;
  uint8_t expected_mac_[6] = {};
  DeviceRecord expected_setting_{};  // what "Apply" sent, when known
  bool expected_setting_known_ = false;
};
