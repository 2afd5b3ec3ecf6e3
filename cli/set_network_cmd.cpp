// dravenkit-cli set-network MAC (--static IP MASK GATEWAY DNS | --dhcp)
// --user ID --password PW [--verify-timeout SECONDS] [--json]: the window's
// "Apply" for one device by MAC, then rescans until the device answers again.
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
#include "config/language.h"
#include "config/settings.h"
#include "engine/devices/device_format.h"
#include "engine/ops/multiple_ip.h"
#include "engine/ops/set_network.h"
#include "engine/talq/talq_client.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRescanMs = 3000;
const char kNotFoundText[] = "no reply to discovery";

struct SetNetworkOptions {
  std::string mac;
  std::vector<std::string> static_addrs;  // IP MASK GATEWAY DNS
  bool dhcp = false;
  std::string user, password;
  PasswordChoice pw;
  int verify_timeout_s = 60;
  bool json = false;
};


// Texts with line breaks on one line of the human output.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\n') c = ' ';
  return s;
}

struct Report {
  std::string mac;
  std::string result;
  bool verified = false;
  std::string ip;  // empty: not seen after the change
  std::string status;
};

int Finish(const SetNetworkOptions& o, const Report& r) {
  if (o.json) {
    nlohmann::ordered_json j;
    j["mac"] = r.mac;
    j["result"] = r.result;
    j["verified"] = r.verified;
    j["ip"] = r.ip.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.ip);
    j["status"] = r.status;
    if (!PrintJson(j, 2)) return kCliFailed;
  }
  if (std::fflush(stdout) != 0) return kCliFailed;
  return r.verified ? kCliOk : kCliFailed;
}

void Line(const SetNetworkOptions& o, const std::string& mac, const std::string& text) {
  if (!o.json) std::printf("%s: %s\n", mac.c_str(), OneLine(text).c_str());
  std::fflush(stdout);
}

int RunSetNetwork(const SetNetworkOptions& o) {
  uint8_t mac[6];
  if (ParseMacText(o.mac, mac) != 0) {
    std::fprintf(stderr, "dravenkit-cli set-network: '%s' is not a MAC address\n", o.mac.c_str());
    return kCliUsage;
  }
  if (o.dhcp == !o.static_addrs.empty()) {
    std::fputs("dravenkit-cli set-network: give either --static IP MASK GATEWAY DNS or --dhcp\n", stderr);
    return kCliUsage;
  }
  uint32_t addr[4] = {};
  static const char* const kNames[4] = {"IP", "MASK", "GATEWAY", "DNS"};
  for (size_t i = 0; i < o.static_addrs.size() && i < 4; ++i) {
    if (ParseIpText(o.static_addrs[i], &addr[i]) != 0) {
      std::fprintf(stderr, "dravenkit-cli set-network: --static %s '%s' is not an IPv4 address\n", kNames[i],
                   o.static_addrs[i].c_str());
      return kCliUsage;
    }
  }
  if (o.user.empty() || !AdminIdProblem(o.user).empty()) {
    std::fprintf(stderr, "dravenkit-cli set-network: --user must have 1 to %zu bytes\n", kAdminIdMax);
    return kCliUsage;
  }
  // The credential block carries 16 bytes of the password: a longer one would go out cut.
  if (o.password.empty() || !AdminPasswordProblem(o.password).empty()) {
    std::fprintf(stderr, "dravenkit-cli set-network: the password (--password, --password-file or %s) must have 1 to %zu bytes\n",
                 kPasswordEnv, kAdminPasswordMax);
    return kCliUsage;
  }

  CNVTSettings settings;
  (void)settings.Load();  // as the window: a missing file leaves the built-in values
  TalqSetTraceEnabled(settings.XDEBUG_SERVER_ENABLE == 1);
  Report report;
  report.mac = MacText(mac);

  std::vector<DeviceRecord> found;
  (void)ScanOnce(settings.XFLAG, &found);
  const DeviceRecord* target = nullptr;
  for (const DeviceRecord& d : found)
    if (!std::memcmp(d.mac, mac, 6)) target = &d;
  if (!target) {
    std::fprintf(stderr, "dravenkit-cli set-network: device %s did not answer the scan\n", report.mac.c_str());
    report.result = "not-found";
    report.status = kNotFoundText;
    return Finish(o, report);
  }

  SetNetworkRequest req;
  const int32_t type = o.dhcp ? 0 : 1;
  if (FillSetNetworkRequest(*target, type, o.user.c_str(), o.password.c_str(), addr[0], addr[1], addr[2], addr[3],
                            &req) != 0)
    return kCliUsage;  // lengths were checked above
  const int32_t code = SendSetNetworkRequest(req, TalqPortPair(0), SetNetworkTimings{});
  const SetNetworkOutcome outcome = SetNetworkOutcomeOf(code);
  report.result = SetNetworkOutcomeName(outcome);
  switch (outcome) {
    case SetNetworkOutcome::kAccepted: report.status = LanguageDefault(42); break;
    case SetNetworkOutcome::kSendFailed: report.status = LanguageDefault(36); break;
    case SetNetworkOutcome::kAuthentication: report.status = LanguageDefault(37); break;
    case SetNetworkOutcome::kConfiguration: report.status = LanguageDefault(38); break;
    case SetNetworkOutcome::kNoAnswer: report.status = kSetNetworkNoAnswerText; break;
  }
  Line(o, report.mac, report.status);
  if (outcome != SetNetworkOutcome::kAccepted) return Finish(o, report);

  // Only an answer that shows the new setting counts (the window's test): a
  // device still answering from its old address has not moved yet.
  DeviceRecord want = *target;
  want.network_type = type;
  want.configured_ip = addr[0];
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(o.verify_timeout_s);
  Clock::time_point next = Clock::now();
  for (;;) {
    next += std::chrono::milliseconds(kRescanMs);
    if (next > deadline) break;
    std::this_thread::sleep_until(next);
    std::vector<DeviceRecord> seen;
    (void)ScanOnce(settings.XFLAG, &seen);
    const DeviceRecord* again = nullptr;
    for (const DeviceRecord& d : seen)
      if (NvtVerificationMatches(want, d)) again = &d;
    if (!again) continue;
    bool collision = false;
    for (const DeviceRecord& d : seen)
      if (std::memcmp(d.mac, mac, 6) != 0 && d.ip == again->ip) collision = true;
    char ip[16];
    report.verified = true;
    report.ip = FormatIp(again->ip, ip);
    report.status = LanguageDefault(collision ? 41 : 40);
    Line(o, report.mac, report.ip + " " + report.status);
    return Finish(o, report);
  }
  char text[64];
  std::snprintf(text, sizeof text, "not seen again within %d s", o.verify_timeout_s);
  Line(o, report.mac, text);
  return Finish(o, report);
}

}  // namespace

void AddSetNetworkCommand(CLI::App& app, int* status) {
  auto opts = std::make_shared<SetNetworkOptions>();
  CLI::App* sub = app.add_subcommand("set-network", "change one device's address by MAC and wait for it");
  sub->footer(
      "usage: dravenkit-cli set-network MAC (--static IP MASK GATEWAY DNS | --dhcp) --user ID\n"
      "                                 (--password PW | --password-file FILE | DRAVENKIT_PASSWORD set)\n"
      "                                 [--verify-timeout SECONDS] [--json]\n"
      "Finds the device with one discovery scan, sends it the new network setting by MAC and, once it "
      "accepted, scans every 3 seconds until it answers with the new setting (from the static address sent, "
      "or reporting DHCP), at most --verify-timeout seconds (default 60); answers from its old address "
      "before it moves do not count. MAC as 00:1A:2B:3C:4D:5E, 00-1A-2B-3C-4D-5E or 00:1A:2B - 3C:4D:5E. "
      "Exit status 0 when the device answered with the new setting, 1 otherwise, 2 for usage errors "
      "(an ID over 8 or a password over 16 bytes among them).");
  sub->add_option("MAC", opts->mac, "the device's MAC address")->required();
  CLI::Option* st = sub->add_option("--static", opts->static_addrs, "static address, mask, gateway and DNS server")
                        ->expected(4)
                        ->type_name("IP MASK GATEWAY DNS");
  CLI::Option* dhcp = sub->add_flag("--dhcp", opts->dhcp, "let the device take its address by DHCP");
  st->excludes(dhcp);
  sub->add_option("--user", opts->user, "administrator ID (at most 8 bytes)")->required();
  AddPasswordOptions(sub, &opts->pw, "administrator password (at most 16 bytes)");
  sub->add_option("--verify-timeout", opts->verify_timeout_s, "seconds to wait for the device (default 60)")
      ->check(CLI::Range(0, 86400));
  sub->add_flag("--json", opts->json, "print one JSON object at the end");
  sub->callback([opts, status] {
    *status = ResolvePassword("dravenkit-cli set-network", opts->pw, &opts->password) < 0 ? kCliUsage
                                                                                           : RunSetNetwork(*opts);
  });
}
