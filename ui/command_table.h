#pragma once
// Which command controls may be pressed: one pure function of what the window
// knows. Nothing else enables or disables a command control; a new command
// (a button, a panel button or a popup entry) is one more rule in the table.
#include <cstdint>
#include <vector>

#include "ui/control_ids.h"

// The operation that owns the window's state, and where its run stands.
enum class ActiveOp : int { kNone, kScan, kApply, kMultipleIp, kUpdate, kFactory };
enum class RunPhase : int {
  kNone,
  kAsking,     // its questions and dialogs are open
  kSending,    // its requests are still going out to the devices
  kVerifying,  // every request is out; waiting for the devices to answer
  kRunning,    // a run that writes to the devices (update, factory default)
  kEnded,      // the run ended with failures; the rows show which
};

struct CommandInputs {
  int32_t state = kStateIdle;
  ActiveOp op = ActiveOp::kNone;
  RunPhase phase = RunPhase::kNone;
  int32_t rows = 0;          // rows in the list
  int32_t ticked = 0;        // ticked rows
  bool row_selected = false;
  bool worker_running = false;  // a run of the active operation has not ended yet
  bool panel_dhcp = false;      // the network type radios show "DHCP"
};

struct CommandRule {
  int id;
  const char* name;
  const char* when;  // the rule in words, as docs/ui.md shows it
  bool (*enabled)(const CommandInputs&);
};

// Every command control and its rule.
const std::vector<CommandRule>& CommandRules();

struct CommandState {
  int id;
  bool enabled;
};
std::vector<CommandState> ComputeCommandStates(const CommandInputs& in);
// The state of one control; false for an identifier the table does not know.
bool CommandEnabled(const CommandInputs& in, int id);
