#pragma once
// The update panel (states 4 and 5) and its runs, the firmware update and the
// factory default run. The panel owns its fields' way to and from the
// settings; each run owns its start (the panel's checks, the selection list,
// the settings saved, the engine started), the last status of every selected
// device, the question before it is stopped and its closing box.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/ops/factory_default_run.h"
#include "engine/update/update_run.h"
#include "ui/operation.h"
#include "ui/run_status.h"

// "Firmware update" opens the panel; "Select" chooses the image; "Cancel"
// without a run closes the panel, its fields saved into the settings.
class UpdatePanelUi : public Operation {
 public:
  UpdatePanelUi(StateOwner* state, const RowsView* rows, PanelFields* fields, Operator* op, EngineAccess* engine)
      : Operation(state, ActiveOp::kNone, -1, false), rows_(rows), fields_(fields), operator_(op), engine_(engine) {}
  bool OnCommand(int id) override;
  // ": N pc(s) from a.b.c.d", N the ticked rows.
  void RefreshCount();
  void StoreIntoSettings();
  // Cancel without a run: the fields saved, the window back in state 0.
  void Close();
  const std::string& FirmwarePath() const { return firmware_path_; }

 private:
  void Open();
  void OnCancel();
  const RowsView* rows_;
  PanelFields* fields_;
  Operator* operator_;
  EngineAccess* engine_;
  std::string firmware_path_;
};

// The tables and roles both panel runs work with.
struct PanelRunRoles {
  StateOwner* state;
  const RowsView* rows;
  RowCells* cells;
  RowRecords* records;
  PanelFields* fields;
  Operator* op;
  EngineAccess* engine;
  UpdatePanelUi* panel;
  DeviceTable* selection;  // the selected devices of the run, keys 0, 1, ...
};

class PanelRun : public Operation {
 public:
  PanelRun(const PanelRunRoles& roles, ActiveOp kind)
      : Operation(roles.state, kind, kStateUpdateRun, true), r_(roles) {}

  // This run owns the window's state.
  bool Owns() const { return state_->Active() == Kind() && state_->State() == kStateUpdateRun; }
  bool Running() const { return Owns() && state_->Phase() == RunPhase::kRunning; }
  // Its start button, and Cancel while it runs (asks, stops within the run's bound, tells what was done).
  bool OnCommand(int id) override;
  // A discovery reply in state 5: the device's row takes its new record.
  void OnDeviceFound(const DeviceRecord& rec) override;
  // The run reads the tables on its thread: "Clear" leaves them.
  bool TakesClear() override { return true; }
  void Stop() override { StopRun(); }
  // "N of M devices were verified." and the others by MAC.
  std::string Tally() const;

 protected:
  // The refusals both runs share (text 57, nothing ticked, empty ID or
  // password), and the selection list built from the ticked rows. False when the run must not start.
  bool MayStart();
  // Starts the run through start (false: "Error, internal"), the panel then saved.
  void Start(const std::function<bool(MessageSink*)>& start);
  // A status report: noted (100 completes a device), and shown in its device's status cell.
  void OnStatus(const uint8_t mac[6], int32_t status, const std::string& text);
  virtual void OnStart() = 0;
  virtual int StartControl() const = 0;
  virtual void StopRun() = 0;
  virtual std::optional<RunStatusCell> StatusCell(int32_t status, const std::string& text) const = 0;
  virtual const char* StopQuestion() const = 0;
  virtual const char* StoppedText() const = 0;
  PanelRunRoles r_;

 private:
  bool AskToStop();
  int32_t BuildSelectionList();
};

class UpdateRunUi : public PanelRun {
 public:
  explicit UpdateRunUi(const PanelRunRoles& roles) : PanelRun(roles, ActiveOp::kUpdate) {}
  bool OnMessage(const WorkerMessage& msg) override;  // UM_UPDATE_STATUS, UM_UPDATE_DONE
  UpdateConfig ConfigFromPanel() const;

 private:
  void OnStart() override;
  int StartControl() const override { return IDC_UPDATE_START; }
  void OnDone(const WorkerMessage& msg);
  void StopRun() override;
  std::optional<RunStatusCell> StatusCell(int32_t status, const std::string& text) const override {
    return UpdateStatusCell(status, text);
  }
  const char* StopQuestion() const override;
  const char* StoppedText() const override;
};

class FactoryRunUi : public PanelRun {
 public:
  explicit FactoryRunUi(const PanelRunRoles& roles, const FactoryDefaultTimings& timings)
      : PanelRun(roles, ActiveOp::kFactory), timings_(timings) {}
  bool OnMessage(const WorkerMessage& msg) override;  // UM_FACTORY_STATUS, UM_FACTORY_DONE
  // The closing box's text; *missing counts the devices that did not come back.
  std::string DoneText(int* missing) const;

 private:
  void OnStart() override;
  int StartControl() const override { return IDC_FACTORY_DEFAULT; }
  void OnDone(const WorkerMessage& msg);
  void StopRun() override;
  std::optional<RunStatusCell> StatusCell(int32_t status, const std::string&) const override {
    return FactoryStatusCell(status);
  }
  const char* StopQuestion() const override;
  const char* StoppedText() const override;
  FactoryDefaultTimings timings_;
};
