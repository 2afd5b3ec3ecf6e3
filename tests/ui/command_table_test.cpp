// The command table: one row per state and phase, with what may be pressed
// (a command that would do nothing where it is pressed is disabled there).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "ui/command_table.h"

namespace {

CommandInputs In(int32_t state, ActiveOp op = ActiveOp::kNone, RunPhase phase = RunPhase::kNone, int32_t ticked = 0,
                 bool selected = false, bool worker = false) {
  CommandInputs in;
  in.state = state;
  in.op = op;
  in.phase = phase;
  in.ticked = ticked;
  in.row_selected = selected;
  in.worker_running = worker;
  return in;
}

std::set<int> EnabledTopButtons(const CommandInputs& in) {
  std::set<int> on;
  for (int id : {IDC_DISCOVERY, IDC_CLEAR, IDC_DELETE_ARP, IDC_PING_RESPONSE, IDC_MULTIPLE_IP, IDC_FIRMWARE_UPDATE,
                 IDC_APPLY, IDC_UPDATE_CANCEL, ID_MENU_WEB})
    if (CommandEnabled(in, id)) on.insert(id);
  return on;
}

TEST(CommandTable, EachStateAndPhaseEnablesItsCommands) {
  constexpr int D = IDC_DISCOVERY, C = IDC_CLEAR, A = IDC_DELETE_ARP, P = IDC_PING_RESPONSE, M = IDC_MULTIPLE_IP,
                F = IDC_FIRMWARE_UPDATE, Y = IDC_APPLY, X = IDC_UPDATE_CANCEL, W = ID_MENU_WEB;
  using O = ActiveOp;
  using R = RunPhase;
  const struct {
    const char* what;
    CommandInputs in;
    std::set<int> on;
  } rows[] = {
      {"idle", In(0), {D, C, A, P, X}},
      {"idle, a row selected", In(0, O::kNone, R::kNone, 0, true), {D, C, A, P, Y, X, W}},
      {"idle, two ticked", In(0, O::kNone, R::kNone, 2, true), {D, C, A, P, M, F, X, W}},
      {"scanning", In(1, O::kScan, R::kNone, 0, false, true), {C, A, P, X}},
      {"Apply asking", In(0, O::kApply, R::kAsking, 0, true), {A, X, W}},
      {"verifying one device", In(2, O::kApply, R::kVerifying, 0, true), {C, A, X, W}},
      {"multiple IP dialog open", In(0, O::kMultipleIp, R::kAsking, 2), {A, X}},
      {"multiple IP sending", In(3, O::kMultipleIp, R::kSending, 2, false, true), {A, X}},
      {"multiple IP verifying", In(3, O::kMultipleIp, R::kVerifying, 2), {C, A, X}},
      // A run that ended without its last message must not hold the window.
      {"multiple IP sender gone", In(3, O::kMultipleIp, R::kSending, 2), {C, A, X}},
      {"update panel", In(4, O::kNone, R::kNone, 1), {X}},
      {"update running", In(5, O::kUpdate, R::kRunning, 1, false, true), {X}},
      {"update ended failed", In(5, O::kUpdate, R::kEnded, 1), {X}},
      {"factory running", In(5, O::kFactory, R::kRunning, 1, true, true), {X, W}},
      {"syslog view", In(6, O::kNone, R::kNone, 1), {D, C, A, P, M, F, X}},
  };
  for (const auto& r : rows) EXPECT_EQ(EnabledTopButtons(r.in), r.on) << r.what;
}

TEST(CommandTable, AddressControlsFollowTheDhcpRadioAndPppoeNeverOpens) {
  CommandInputs in = In(0, ActiveOp::kNone, RunPhase::kNone, 0, true);
  EXPECT_TRUE(CommandEnabled(in, IDC_IPADDRESS));
  in.panel_dhcp = true;
  for (int id : {IDC_IPADDRESS, IDC_SUBNETMASK, IDC_GATEWAY, IDC_DNS}) EXPECT_FALSE(CommandEnabled(in, id)) << id;
  EXPECT_TRUE(CommandEnabled(in, IDC_APPLY));
  EXPECT_TRUE(CommandEnabled(in, IDC_STATIC_IP));
  EXPECT_FALSE(CommandEnabled(in, IDC_PPPOE));
  EXPECT_FALSE(CommandEnabled(in, 4242)) << "unknown identifiers are never enabled";
}

// From every combination the window can be in, once no worker runs, a
// control that leads back to state 0 is enabled: "Clear" outside the panel
// states, "Cancel" on the panel. (While an operation asks, its modal dialog
// holds the way out.)
TEST(CommandTable, EveryStateWithoutARunningWorkerHasAWayOut) {
  for (int32_t state = 0; state <= 6; ++state)
    for (int op = 0; op <= static_cast<int>(ActiveOp::kFactory); ++op)
      for (int phase = 0; phase <= static_cast<int>(RunPhase::kEnded); ++phase)
        for (int32_t ticked : {0, 1, 17})
          for (bool selected : {false, true})
            for (bool dhcp : {false, true}) {
              if (static_cast<RunPhase>(phase) == RunPhase::kAsking) continue;
              CommandInputs in = In(state, static_cast<ActiveOp>(op), static_cast<RunPhase>(phase), ticked, selected);
              in.panel_dhcp = dhcp;
              const int way_out = state == 4 || state == 5 ? IDC_UPDATE_CANCEL : IDC_CLEAR;
              EXPECT_TRUE(state == 0 || CommandEnabled(in, way_out))
                  << "state " << state << " op " << op << " phase " << phase << " ticked " << ticked;
            }
}

TEST(CommandTable, EveryRuleHasADistinctControlAndWords) {
  std::set<int> ids;
  for (const CommandRule& r : CommandRules()) {
    EXPECT_TRUE(ids.insert(r.id).second) << r.name;
    EXPECT_NE(std::string(r.when), "") << r.name;
  }
  EXPECT_EQ(ComputeCommandStates(In(0)).size(), CommandRules().size());
}

}  // namespace

namespace {

// docs/ui.md's table of what may be pressed is the command table's own
// words: one row per rule, "| ID "name" | when |", nothing else.
TEST(CommandTable, TheDocumentedTableIsTheCode) {
  const char* src = std::getenv("DK_SOURCE_DIR");
  ASSERT_NE(src, nullptr) << "DK_SOURCE_DIR is not set";
  std::ifstream in(std::string(src) + "/docs/ui.md");
  ASSERT_TRUE(in) << "no docs/ui.md under " << src;
  std::vector<std::string> documented;
  bool in_section = false, in_table = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("## ", 0) == 0) in_section = line == "## What may be pressed";
    if (!in_section) continue;
    if (line.rfind("| Control |", 0) == 0) {
      in_table = true;
      continue;
    }
    if (in_table && line.rfind("|---", 0) == 0) continue;
    if (in_table && line.rfind("| ", 0) == 0) documented.push_back(line);
    else if (in_table) break;
  }
  std::vector<std::string> expected;
  std::string table;
  for (const CommandRule& r : CommandRules()) {
    expected.push_back("| " + std::to_string(r.id) + " \"" + r.name + "\" | " + r.when + " |");
    table += expected.back() + "\n";
  }
  EXPECT_EQ(documented, expected) << "docs/ui.md should hold, under \"## What may be pressed\":\n"
                                  << "| Control | Enabled when |\n|---|---|\n"
                                  << table;
}

}  // namespace
