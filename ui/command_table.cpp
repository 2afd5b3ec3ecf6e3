#include "ui/command_table.h"

namespace {

bool PanelShown(const CommandInputs& in) { return in.state == kStateUpdatePanel || in.state == kStateUpdateRun; }
bool Verifying(const CommandInputs& in) { return in.state == kStateVerifyOne || in.state == kStateMultipleIp; }
bool Asking(const CommandInputs& in) { return in.phase == RunPhase::kAsking; }
// A multiple IP setting run whose requests are still going out.
bool Sending(const CommandInputs& in) {
  return in.state == kStateMultipleIp && in.phase == RunPhase::kSending && in.worker_running;
}
bool Always(const CommandInputs&) { return true; }
bool Never(const CommandInputs&) { return false; }
// A new operation may start: idle or the syslog view, and nobody asking.
bool Accepting(const CommandInputs& in) {
  return (in.state == kStateIdle || in.state == kStateSyslog) && !Asking(in);
}
// The network setting panel edits the selected device, and only when it is the one device worked on.
bool NetworkPanelOpen(const CommandInputs& in) { return in.row_selected && in.ticked == 0 && !PanelShown(in); }

const char kAnswersDuringRun[] = "always (during a run it answers \"Update is in progress.\")";

const std::vector<CommandRule> kRules = {
    // A command that would do nothing where it is pressed is shown disabled there.
    {IDC_DISCOVERY, "Discovery", "in states 0, 6, not while an operation asks", Accepting},
    {IDC_CLEAR, "Clear", "not in states 4, 5, not while an operation asks, not while a multiple IP setting still sends",
     [](const CommandInputs& in) { return !PanelShown(in) && !Asking(in) && !Sending(in); }},
    {IDC_DELETE_ARP, "Delete ARP table", "not in states 4, 5",
     [](const CommandInputs& in) { return !PanelShown(in); }},
    {IDC_PING_RESPONSE, "Ping response", "not in states 2-5, not while an operation asks",
     [](const CommandInputs& in) { return !PanelShown(in) && !Verifying(in) && !Asking(in); }},
    {IDC_MULTIPLE_IP, "Multiple IP setting", "rows ticked, in states 0, 6, not while an operation asks",
     [](const CommandInputs& in) { return in.ticked > 0 && Accepting(in); }},
    {IDC_FIRMWARE_UPDATE, "Firmware update", "rows ticked, in states 0, 6, not while an operation asks",
     [](const CommandInputs& in) { return in.ticked > 0 && Accepting(in); }},
    {IDC_SYSLOG, "Syslog (hidden)", "rows ticked, not in states 4, 5",
     [](const CommandInputs& in) { return in.ticked > 0 && !PanelShown(in); }},
    {IDC_STATIC_IP, "Static IP", "a row selected, none ticked, not in states 4, 5", NetworkPanelOpen},
    {IDC_DHCP, "DHCP", "a row selected, none ticked, not in states 4, 5", NetworkPanelOpen},
    {IDC_PPPOE, "PPPoE", "never", Never},
    {IDC_IPADDRESS, "IP address", "as Static IP, and the panel not on DHCP",
     [](const CommandInputs& in) { return NetworkPanelOpen(in) && !in.panel_dhcp; }},
    {IDC_SUBNETMASK, "Subnet mask", "as Static IP, and the panel not on DHCP",
     [](const CommandInputs& in) { return NetworkPanelOpen(in) && !in.panel_dhcp; }},
    {IDC_GATEWAY, "Gateway", "as Static IP, and the panel not on DHCP",
     [](const CommandInputs& in) { return NetworkPanelOpen(in) && !in.panel_dhcp; }},
    {IDC_DNS, "DNS server", "as Static IP, and the panel not on DHCP",
     [](const CommandInputs& in) { return NetworkPanelOpen(in) && !in.panel_dhcp; }},
    {IDC_APPLY, "Apply", "a row selected, none ticked, in states 0, 6, not while an operation asks",
     [](const CommandInputs& in) { return NetworkPanelOpen(in) && Accepting(in); }},
    {IDC_SELECT_FILE, "Select file", kAnswersDuringRun, Always},
    {IDC_FACTORY_DEFAULT, "FactoryDefault", kAnswersDuringRun, Always},
    {IDC_UPDATE_START, "Firmware update (panel)", kAnswersDuringRun, Always},
    {IDC_UPDATE_CANCEL, "Cancel", "always (during a run it asks whether to stop it)", Always},
    {IDC_SYSLOG_START, "Start", "never (the syslog view has no thread to start)", Never},
    {IDC_SYSLOG_STOP, "Stop", "never (the syslog view has no thread to stop)", Never},
    {ID_MENU_MONITORING, "Monitoring", "a row selected", [](const CommandInputs& in) { return in.row_selected; }},
    {ID_MENU_WEB, "Web page", "a row selected", [](const CommandInputs& in) { return in.row_selected; }},
    {ID_MENU_VIDEO_WALL, "Video wall", "rows ticked (over 16 it opens to say that the wall shows at most 16)",
     [](const CommandInputs& in) { return in.ticked > 0; }},
    {ID_MENU_READ_INFORMATION, "Read information", "the list holds a device (the ticked rows, else every row)",
     [](const CommandInputs& in) { return in.rows > 0; }},
    {ID_MENU_EXPORT, "Export list...", "always (in the popup and in the window menu)", Always},
    {IDOK_HIDDEN, "(hidden OK)", "never", Never},
    {IDCANCEL_HIDDEN, "(hidden Cancel)", "never (Esc sends its command without the button)", Never},
};

}  // namespace

const std::vector<CommandRule>& CommandRules() { return kRules; }

std::vector<CommandState> ComputeCommandStates(const CommandInputs& in) {
  std::vector<CommandState> out;
  out.reserve(kRules.size());
  for (const CommandRule& r : kRules) out.push_back({r.id, r.enabled(in)});
  return out;
}

bool CommandEnabled(const CommandInputs& in, int id) {
  for (const CommandRule& r : kRules)
    if (r.id == id) return r.enabled(in);
  return false;
}
