#pragma once
// The base of every operation's window part, and the small helpers they share.
// The window keeps its operations in one list and loops over it: a worker
// message goes to the first operation that takes it (a discovery reply to the
// owner of the state it arrives in), a command likewise, and closing, "Clear"
// and the close question ask each in turn.
#include <cstdint>
#include <functional>
#include <string>

#include "engine/update/worker_messages.h"
#include "ui/roles.h"

class Operation {
 public:
  // owned_state: the state its run holds (-1: none); writes: its run writes to devices.
  // An operation that never owns the window is given no state (nullptr).
  Operation(StateOwner* state, ActiveOp kind, int32_t owned_state, bool writes)
      : state_(state), kind_(kind), owned_state_(owned_state), writes_(writes) {}
  virtual ~Operation() = default;
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  ActiveOp Kind() const { return kind_; }
  int32_t OwnedState() const { return owned_state_; }
  bool WritesToDevices() const { return writes_; }
  // Where its run stands (kNone while it does not own the window).
  RunPhase Phase() const { return state_ && state_->Active() == kind_ ? state_->Phase() : RunPhase::kNone; }
  // Its run is writing to the devices now: closing would cut it off.
  bool WritingNow() const {
    return writes_ && state_ && state_->Active() == kind_ && state_->State() == owned_state_ &&
           (state_->Phase() == RunPhase::kSending || state_->Phase() == RunPhase::kRunning);
  }

  // A command control or menu entry; false when it is not this operation's.
  virtual bool OnCommand(int id) {
    (void)id;
    return false;
  }
  // A worker message; false when it is not this operation's.
  virtual bool OnMessage(const WorkerMessage& msg) {
    (void)msg;
    return false;
  }
  // A discovery reply in the state this operation owns.
  virtual void OnDeviceFound(const DeviceRecord& rec) { (void)rec; }
  // "Clear" in the state this operation owns: true when it answered it itself
  // (the tables stay as they are).
  virtual bool TakesClear() { return false; }
  // "Clear" empties the tables: what this operation keeps of them goes too.
  virtual void OnClear() {}
  // The window went back to state 0 from old_state.
  virtual void OnIdleAgain(int32_t old_state) { (void)old_state; }
  // Closing: its worker stops, with a bounded wait.
  virtual void Stop() {}

 protected:
  StateOwner* state_;

 private:
  ActiveOp kind_;
  int32_t owned_state_;
  bool writes_;
};

// The operation asks before it starts: it owns the window meanwhile, and the
// window is given back on every way out unless the run started.
class AskingClaim {
 public:
  AskingClaim(StateOwner* state, ActiveOp op) : state_(state), op_(op) { state_->Claim(op, RunPhase::kAsking); }
  ~AskingClaim() {
    if (state_->Active() == op_ && state_->Phase() == RunPhase::kAsking)
      state_->Claim(ActiveOp::kNone, RunPhase::kNone);
  }
  AskingClaim(const AskingClaim&) = delete;
  AskingClaim& operator=(const AskingClaim&) = delete;

 private:
  StateOwner* state_;
  ActiveOp op_;
};

// States in which a new operation may start: idle and the syslog view.
inline bool AcceptsNewOperation(int32_t state) { return state == kStateIdle || state == kStateSyslog; }

// While the multiple IP setting or a panel run goes on (states 3 and 5) the
// window's part of it works by row (the rows the requests went to, the rows
// that show each device's progress): sorting and "Clear" are refused then.
inline bool TablesInUse(int32_t state) { return state == kStateMultipleIp || state == kStateUpdateRun; }

// A worker's fault text (the message's payload), or fallback when it carries none.
std::string FaultTextOr(const WorkerMessage& msg, const char* fallback);

// Every row's marks cleared (see RowCells::ClearMarks) except where keep says so.
void ClearMarksExcept(RowCells* cells, int rows, const std::function<bool(int row)>& keep, bool progress_too = false);

// The MACs of the devices a closing box names: each after a newline, the first max of them.
struct MacLines {
  int count = 0;  // devices added, named or not
  std::string lines;
  void Add(const uint8_t mac[6], int max);
};
