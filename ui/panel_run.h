#pragma once
// The runs of the update panel, the firmware update and the factory default
// run: each owns where it stands, the last status of every selected device,
// the question before it is stopped and its closing box.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/update/worker_messages.h"
#include "ui/operation.h"
#include "ui/run_status.h"

class PanelRun {
 public:
  PanelRun(OperationHost* host, ActiveOp kind) : host_(host), kind_(kind) {}
  virtual ~PanelRun() = default;

  // Starts the run through start (false: "Error, internal"); the window has made its checks.
  bool Start(const std::function<bool(MessageSink*)>& start);
  // This run owns the window's state.
  bool Owns() const { return host_->Active() == kind_ && host_->State() == kStateUpdateRun; }
  bool Running() const { return Owns() && phase_ == RunPhase::kRunning; }
  // A device's status code (100 completes it).
  void Note(const uint8_t mac[6], int32_t status);
  // A status report: noted, and shown in its device's status cell.
  void OnStatus(const uint8_t mac[6], int32_t status, const std::string& text);
  // A discovery reply in state 5: the device's row takes its new record.
  void OnDeviceFound(const DeviceRecord& rec);
  // Cancel during the run: asks, stops within the run's bound, tells what was done.
  // False when the operator keeps the run going.
  bool AskToStop();
  // "N of M devices were verified." and the others by MAC.
  std::string Tally() const;
  // UM_UPDATE_DONE or UM_FACTORY_DONE.
  virtual void OnDone(const WorkerMessage& msg) = 0;

 protected:
  virtual void StopRun() = 0;
  virtual std::optional<RunStatusCell> StatusCell(int32_t status, const std::string& text) const = 0;
  virtual const char* StopQuestion() const = 0;
  virtual const char* StoppedText() const = 0;
  OperationHost* host_;
  ActiveOp kind_;
  RunPhase phase_ = RunPhase::kNone;
};

class UpdateRunUi : public PanelRun {
 public:
  explicit UpdateRunUi(OperationHost* host) : PanelRun(host, ActiveOp::kUpdate) {}
  void OnDone(const WorkerMessage& msg) override;

 private:
  void StopRun() override;
  std::optional<RunStatusCell> StatusCell(int32_t status, const std::string& text) const override {
    return UpdateStatusCell(status, text);
  }
  const char* StopQuestion() const override;
  const char* StoppedText() const override;
};

class FactoryRunUi : public PanelRun {
 public:
  explicit FactoryRunUi(OperationHost* host) : PanelRun(host, ActiveOp::kFactory) {}
  void OnDone(const WorkerMessage& msg) override;
  // The closing box's text; *missing counts the devices that did not come back.
  std::string DoneText(int* missing) const;

 private:
  void StopRun() override;
  std::optional<RunStatusCell> StatusCell(int32_t status, const std::string&) const override {
    return FactoryStatusCell(status);
  }
  const char* StopQuestion() const override;
  const char* StoppedText() const override;
};
