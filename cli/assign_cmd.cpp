// dravenkit-cli assign: the window's multiple IP setting from the command
// line: one scan, one set-network request per chosen device (from a start
// address or from an IP assignment file), then the same verification.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "config/assignment_file.h"
#include "config/language.h"
#include "config/settings.h"
#include "engine/ops/multiple_ip.h"
#include "engine/talq/talq_client.h"

namespace {

struct AssignOptions {
  std::string start, mask, gateway, dns, file, user, password;
  bool dhcp = false, all = false, dry_run = false, json = false;
  std::vector<std::string> macs;
  double verify_timeout = 60;
  bool user_given = false, password_given = false;
  PasswordChoice pw;
};

struct DeviceOutcome {
  DeviceRecord record{};
  bool requested = false;
  std::string assigned;  // the address sent
  int32_t type = 1;
  std::string result = "no-entry";
  int32_t code = 0;
  bool verified = false;
  std::string ip;  // where it answered afterwards
};


// Prints each result as the run reports it and keeps it for the summary.
class AssignSink : public MessageSink {
 public:
  AssignSink(std::vector<DeviceOutcome>* out, bool quiet) : out_(out), quiet_(quiet) {}
  void Post(WorkerMessage msg) override {
    const auto* rec = std::get_if<DeviceRecord>(&msg.payload);
    if (msg.id != UM_IP_SETTING_RESULT || !rec) return;
    for (DeviceOutcome& d : *out_) {
      if (std::memcmp(d.record.mac, rec->mac, 6) != 0) continue;
      d.code = msg.wparam;
      d.type = rec->network_type;
      if (msg.wparam == kNvtInvalidAddress) {
        d.result = "invalid-address";
      } else {
        d.requested = true;
        d.assigned = IpText(rec->configured_ip);
        d.result = SetNetworkOutcomeName(SetNetworkOutcomeOf(msg.wparam));
        if (msg.wparam == 0) sent.push_back(*rec);
      }
      if (!quiet_)
        std::printf("%s\t%s\t%s\t%s\n", MacText(rec->mac).c_str(), d.type == 1 ? "STATIC" : "DHCP",
                    d.requested ? d.assigned.c_str() : "-", d.result.c_str());
      std::fflush(stdout);
      break;
    }
  }
  std::vector<DeviceRecord> sent;  // accepted, as sent: what the verification waits for

 private:
  std::vector<DeviceOutcome>* out_;
  bool quiet_;
};

std::string StatusText(const DeviceOutcome& d) {
  if (d.result == "no-entry") return "";
  if (d.result == "invalid-address") return kNvtInvalidAddressText;
  if (d.code == 0) return LanguageDefault(d.verified ? 40 : 42);
  if (d.code == 2) return "ip setting error 'authentication'";
  if (d.code == kSetNetworkNoAnswer) return kSetNetworkNoAnswerText;
  return "ip setting error 'unknown'";
}

int Usage(const std::string& text) {
  std::fprintf(stderr, "dravenkit-cli assign: %s\n", text.c_str());
  return kCliUsage;
}

int RunAssign(const AssignOptions& o) {
  const bool range = !o.start.empty();
  if (range == !o.file.empty()) return Usage("give either --start or --file");
  if (o.all == !o.macs.empty()) return Usage("give either --mac (one or more) or --all");
  if (!range && (!o.mask.empty() || !o.gateway.empty() || !o.dns.empty() || o.dhcp))
    return Usage("--mask, --gateway, --dns and --dhcp go with --start");
  if (o.verify_timeout < 0) return Usage("--verify-timeout must not be negative");

  CNVTSettings settings;
  (void)settings.Load();  // read only: the command never writes the settings
  TalqSetTraceEnabled(settings.XDEBUG_SERVER_ENABLE == 1);
  NvtSettingParam p;
  p.assignment_mode = range ? 0 : 1;
  p.static_flag = o.dhcp ? 0 : 1;
  p.file_path = o.file;
  p.subnet_mask = IpFromOctets(settings.IP_SETTING_SUBNETMASK[0], settings.IP_SETTING_SUBNETMASK[1],
                               settings.IP_SETTING_SUBNETMASK[2], settings.IP_SETTING_SUBNETMASK[3]);
  p.gateway = IpFromOctets(settings.IP_SETTING_GATEWAY[0], settings.IP_SETTING_GATEWAY[1],
                           settings.IP_SETTING_GATEWAY[2], settings.IP_SETTING_GATEWAY[3]);
  p.dns_server = IpFromOctets(settings.IP_SETTING_DEFAULT_DNS[0], settings.IP_SETTING_DEFAULT_DNS[1],
                              settings.IP_SETTING_DEFAULT_DNS[2], settings.IP_SETTING_DEFAULT_DNS[3]);
  const std::pair<const std::string*, uint32_t*> addresses[] = {
      {&o.start, &p.start_ip}, {&o.mask, &p.subnet_mask}, {&o.gateway, &p.gateway}, {&o.dns, &p.dns_server}};
  for (const auto& [text, value] : addresses)
    if (!text->empty() && ParseIpText(*text, value) != 0) return Usage("'" + *text + "' is not an IPv4 address");
  if (range && p.start_ip == 0) return Usage("the start address is 0.0.0.0");
  p.admin_id = o.user_given ? o.user : std::string(settings.IP_SETTING_ID, strnlen(settings.IP_SETTING_ID, 64));
  p.admin_password = o.password_given ? o.password
                                      : std::string(settings.IP_SETTING_PASSWORD, strnlen(settings.IP_SETTING_PASSWORD, 64));
  if (!AdminIdProblem(p.admin_id).empty()) return Usage(AdminIdProblem(p.admin_id));
  if (!AdminPasswordProblem(p.admin_password).empty()) return Usage(AdminPasswordProblem(p.admin_password));
  p.ip_setting_xflag = settings.IP_SETTING_XFLAG;
  if (range && static_cast<int32_t>(o.macs.size()) > NvtRangeCapacity(p.start_ip))
    return Usage(NvtRangeOverflowText(p.start_ip, static_cast<int32_t>(o.macs.size())));
  if (!range && ReadAssignmentFile(o.file, nullptr) < 0) {
    std::fprintf(stderr, "dravenkit-cli assign: cannot open '%s'\n", o.file.c_str());
    return kCliFailed;
  }

  std::vector<DeviceRecord> found;
  if (ScanOnce(settings.XFLAG, &found) != 0) return kCliFailed;
  std::string error;
  if (SelectDevices(found, o.macs, o.all, &p.devices, &error) != 0) {
    std::fprintf(stderr, "dravenkit-cli assign: %s\n", error.c_str());
    return kCliFailed;
  }
  if (range && static_cast<int32_t>(p.devices.size()) > NvtRangeCapacity(p.start_ip))
    return Usage(NvtRangeOverflowText(p.start_ip, static_cast<int32_t>(p.devices.size())));

  if (o.dry_run) {
    std::vector<NvtPlanItem> plan;
    BuildNvtSettingPlan(p, found, &plan);
    if (!o.json) {
      std::fputs(NvtPlanText(plan).c_str(), stdout);
      return std::fflush(stdout) == 0 ? kCliOk : kCliFailed;
    }
    nlohmann::ordered_json j = nlohmann::ordered_json::array();
    for (const NvtPlanItem& item : plan) {
      nlohmann::ordered_json d;
      d["mac"] = MacText(item.record.mac);
      const nlohmann::ordered_json none;
      d["type"] = item.has_entry ? nlohmann::ordered_json(item.network_type == 1 ? "STATIC" : "DHCP") : none;
      d["ip"] = item.has_entry ? nlohmann::ordered_json(JsonText(item.ip_text)) : none;
      d["warnings"] = item.warnings;
      j.push_back(d);
    }
    nlohmann::ordered_json top;
    top["plan"] = j;
    return PrintJson(top) ? kCliOk : kCliFailed;
  }

  std::vector<DeviceOutcome> outcomes(p.devices.size());
  for (size_t i = 0; i < p.devices.size(); ++i) outcomes[i].record = p.devices[i];
  AssignSink sink(&outcomes, o.json);
  dk::StopFlag stop;
  NvtSettingThreadProc(p, stop, &sink);

  // The verification: a scan at once, then every 3000 ms, until every
  // accepted device answers with its new setting or the time is up.
  std::vector<DeviceRecord> pending = sink.sent;
  size_t left = pending.size();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int64_t>(o.verify_timeout * 1000));
  while (left > 0) {
    const auto round = std::chrono::steady_clock::now();
    std::vector<DeviceRecord> seen;
    ScanOnce(settings.XFLAG, &seen);
    for (const DeviceRecord& rec : seen) {
      for (DeviceRecord& want : pending) {
        if (!NvtVerificationMatches(want, rec)) continue;
        std::memset(want.mac, 0, 6);
        --left;
        for (DeviceOutcome& d : outcomes) {
          if (std::memcmp(d.record.mac, rec.mac, 6) != 0) continue;
          d.verified = true;
          d.ip = IpText(rec.ip);
          if (!o.json) std::printf("%s\tverified\t%s\n", MacText(rec.mac).c_str(), d.ip.c_str());
        }
        break;
      }
    }
    std::fflush(stdout);
    const auto next = round + std::chrono::milliseconds(3000);
    if (left == 0 || next >= deadline) break;
    std::this_thread::sleep_until(next);
  }

  int requested = 0, accepted = 0, verified = 0;
  bool ok = true;
  for (const DeviceOutcome& d : outcomes) {
    requested += d.requested;
    accepted += d.requested && d.code == 0;
    verified += d.verified;
    if (d.result == "invalid-address" || (d.requested && (d.code != 0 || !d.verified))) ok = false;
  }
  if (o.json) {
    nlohmann::ordered_json arr = nlohmann::ordered_json::array();
    for (const DeviceOutcome& d : outcomes) {
      const nlohmann::ordered_json none;
      nlohmann::ordered_json j;
      j["mac"] = MacText(d.record.mac);
      j["assigned"] = d.requested ? nlohmann::ordered_json(d.assigned) : none;
      j["type"] = d.result == "no-entry" ? none : nlohmann::ordered_json(d.type == 1 ? "STATIC" : "DHCP");
      j["result"] = d.result;
      j["verified"] = d.verified;
      j["ip"] = d.verified ? nlohmann::ordered_json(d.ip) : none;
      j["status"] = StatusText(d);
      arr.push_back(j);
    }
    nlohmann::ordered_json top;
    top["devices"] = arr;
    if (!PrintJson(top)) return kCliFailed;
  } else {
    std::printf("%zu device(s): %d request(s), %d accepted, %d verified\n", outcomes.size(), requested, accepted,
                verified);
    for (const DeviceOutcome& d : outcomes)
      if (d.result == "no-entry") std::printf("%s\tno-entry\n", MacText(d.record.mac).c_str());
  }
  if (std::fflush(stdout) != 0) return kCliFailed;
  return ok ? kCliOk : kCliFailed;
}

}  // namespace

void AddAssignCommand(CLI::App& app, int* status) {
  auto o = std::make_shared<AssignOptions>();
  CLI::App* sub = app.add_subcommand("assign", "give many devices new addresses (range or assignment file)");
  sub->footer(
      "usage: dravenkit-cli assign (--start IP [--mask M] [--gateway G] [--dns D] [--dhcp] | --file PATH)\n"
      "                            (--mac MAC ... | --all) [--user ID] [--password PW | --password-file FILE]\n"
      "                            [--verify-timeout SECONDS] [--dry-run] [--json]\n"
      "One discovery scan, then one set-network request per chosen device in order: consecutive addresses "
      "from --start (the last number counts up), or the lines of an IP assignment file that name the "
      "device's MAC. Mask, gateway, DNS server, ID and password default to the IP_SETTING values of "
      "Dravenkit.ini, which is never written. Accepted devices are then watched (a scan every 3 s) until "
      "they answer with their new setting or --verify-timeout (default 60 s) passes. --dry-run prints the "
      "plan and sends nothing. Exit status 0 when every device that got a request accepted it and was "
      "seen again, 1 otherwise, 2 for usage errors (also a range that would pass .255).");
  sub->add_option("--start", o->start, "first address of the range");
  sub->add_option("--mask", o->mask, "subnet mask (range mode)");
  sub->add_option("--gateway", o->gateway, "gateway (range mode)");
  sub->add_option("--dns", o->dns, "DNS server (range mode)");
  sub->add_flag("--dhcp", o->dhcp, "request DHCP instead of static addresses (range mode)");
  sub->add_option("--file", o->file, "IP assignment file");
  sub->add_option("--mac", o->macs, "a device to set (repeatable; three MAC forms)");
  sub->add_flag("--all", o->all, "every device the scan listed, in list order");
  auto* user = sub->add_option("--user", o->user, "administrator ID (default IP_SETTING_ID)");
  AddPasswordOptions(sub, &o->pw, "administrator password (default IP_SETTING_PASSWORD)");
  sub->add_option("--verify-timeout", o->verify_timeout, "seconds to wait for the devices to answer again");
  sub->add_flag("--dry-run", o->dry_run, "print the plan, send nothing");
  sub->add_flag("--json", o->json, "print one JSON object at the end");
  sub->callback([o, status, user] {
    o->user_given = user->count() > 0;
    const int pw = ResolvePassword("dravenkit-cli assign", o->pw, &o->password);
    if (pw < 0) {
      *status = kCliUsage;
      return;
    }
    o->password_given = pw == 1;
    *status = RunAssign(*o);
  });
}
