// dravenkit-cli factory-default (--mac MAC ... | --all) [--user ID] [--password PW | --password-file FILE]
// [--json]:
// the window's factory default run over devices chosen by MAC.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "config/settings.h"
#include "engine/ops/factory_default_run.h"
#include "engine/ops/http_requests.h"

namespace {

struct FactoryOptions {
  std::vector<std::string> macs;
  bool all = false;
  std::string user, password;
  bool user_given = false, password_given = false;
  PasswordChoice pw;
  bool json = false;
  uint32_t step_ms = 0;  // tests shorten the one-second step; 0 keeps the product timings
};



// What the window's status column says for a final or current value.
std::string StatusText(int32_t progress) {
  if (progress == kFactoryThreadFailed) return "request not sent (no thread)";
  const std::string text = FactoryStatusText(progress);
  return text.empty() ? std::to_string(progress) + "%" : text;
}

// Prints each device's changes as they come: the texts, and the progress at
// most every ten steps. The run posts from the calling thread only.
class ProgressPrinter : public MessageSink {
 public:
  explicit ProgressPrinter(bool quiet) : quiet_(quiet) {}
  void Post(WorkerMessage msg) override {
    if (quiet_) return;
    if (const auto* rec = std::get_if<DeviceRecord>(&msg.payload)) {
      std::printf("%s back at %s\n", MacText(rec->mac).c_str(), IpText(rec->ip).c_str());
    } else if (const auto* r = std::get_if<FactoryStatusReport>(&msg.payload)) {
      const bool step = r->status > kFactoryRequestStarted && r->status < kFactoryComplete;
      if (step && r->status % 10 != 0) return;
      std::printf("%s %s\n", MacText(r->mac).c_str(), StatusText(r->status).c_str());
    } else {
      return;
    }
    std::fflush(stdout);
  }

 private:
  bool quiet_;
};

int RunFactoryDefault(const FactoryOptions& o) {
  const char* me = "dravenkit-cli factory-default";
  if (CheckDeviceChoice(me, o.macs, o.all) != 0) return kCliUsage;
  CNVTSettings settings;
  (void)settings.Load();  // read only: the CLI never writes the settings
  if (HttpGlobalInit() != 0) {
    std::fprintf(stderr, "%s: HTTP library start-up failed\n", me);
    return kCliFailed;
  }
  std::vector<DeviceRecord> chosen;
  if (ScanAndChoose(me, settings.XFLAG, o.macs, o.all, &chosen) != 0) return kCliFailed;

  FactoryDefaultConfig cfg;
  cfg.user = o.user_given ? o.user
                          : std::string(settings.UPDATE_BEFORE_ID, strnlen(settings.UPDATE_BEFORE_ID,
                                                                            sizeof settings.UPDATE_BEFORE_ID));
  cfg.password = o.password_given ? o.password
                                  : std::string(settings.UPDATE_BEFORE_PASSWORD,
                                                strnlen(settings.UPDATE_BEFORE_PASSWORD,
                                                        sizeof settings.UPDATE_BEFORE_PASSWORD));
  cfg.devices = chosen;
  if (o.step_ms > 0) {
    FactoryDefaultTimings& t = cfg.timings;
    t.step_ms = o.step_ms;
    t.request_wait_ms = 10 * o.step_ms;
    t.watch.broadcast_ms = 3 * o.step_ms;
    t.found_pause_ms = 2 * o.step_ms;
  }
  dk::StopFlag stop;
  ProgressPrinter printer(o.json);
  FactoryRunResult result;
  if (NvtFactoryDefaultThreadProc(cfg, stop, &printer, &result) < 0) {
    std::fprintf(stderr, "%s\n", kFactoryThreadFaultText);
    return kCliFailed;
  }

  const int back = result.Complete();
  const int total = static_cast<int>(result.devices.size());
  if (o.json) {
    nlohmann::ordered_json j;
    j["devices"] = nlohmann::ordered_json::array();
    for (const FactoryDeviceOutcome& d : result.devices) {
      nlohmann::ordered_json e;
      e["mac"] = MacText(d.mac);
      e["ip_before"] = IpText(d.ip_before);
      e["progress"] = d.progress;
      e["status"] = StatusText(d.progress);
      e["ip_after"] = d.seen ? nlohmann::ordered_json(IpText(d.ip_after)) : nlohmann::ordered_json(nullptr);
      j["devices"].push_back(std::move(e));
    }
    if (!PrintJson(j)) return kCliFailed;
  } else {
    std::printf("%d of %d device%s back at %s\n", back, total, total == 1 ? "" : "s", kFactoryDefaultIpText);
    for (const FactoryDeviceOutcome& d : result.devices) {
      if (d.progress == kFactoryComplete) continue;
      std::string why;
      if (d.progress == kFactoryRefused) why = " refused the request (HTTP " + std::to_string(d.http) + ")";
      if (d.seen) why += " answered from " + IpText(d.ip_after);
      std::printf("  not back: %s (was %s)%s\n", MacText(d.mac).c_str(), IpText(d.ip_before).c_str(), why.c_str());
    }
    if (std::fflush(stdout) != 0) return kCliFailed;
  }
  return back == total ? kCliOk : kCliFailed;
}

}  // namespace

void AddFactoryDefaultCommand(CLI::App& app, int* status) {
  auto opts = std::make_shared<FactoryOptions>();
  FactoryOptions& o = *opts;
  CLI::App* sub = app.add_subcommand("factory-default", "reset devices to their factory settings");
  sub->add_option("--mac", o.macs, "a device by MAC address (repeatable; in this order)");
  sub->add_flag("--all", o.all, "every device that answers the discovery scan");
  CLI::Option* user = sub->add_option("--user", o.user, "administrator ID (default: UPDATE_BEFORE_ID)");
  AddPasswordOptions(sub, &o.pw, "administrator password (default: UPDATE_BEFORE_PASSWORD)");
  sub->add_flag("--json", o.json, "one JSON object at the end instead of progress lines");
  // Shortened step for tests; hidden from the help.
  sub->add_option("--step-ms", o.step_ms)->group("")->check(CLI::Range(1u, 1000u));
  sub->footer(
      "usage: dravenkit-cli factory-default (--mac MAC ... | --all) [--user ID]\n"
      "                                     [--password PW | --password-file FILE] [--json]\n"
      "One discovery scan (XFLAG from Dravenkit.ini), then the factory-default request to each device "
      "named (a MAC that did not answer is an error before anything is sent) or to every device found, "
      "and discovery until each answers again from 192.168.1.2 (about 100 s at most); a device that "
      "answers the request with an HTTP error (401 for wrong credentials, say) is not waited for and ends "
      "as \"factorydefault error 'CHECK_FACTORYDEFAULT'\". Prints each device's state as it changes and a "
      "summary; --json prints one object with \"devices\": mac, ip_before, progress, status, ip_after. "
      "Exit status 0 when every device came back, 1 otherwise, 2 usage error.");
  sub->callback([opts, status, user] {
    opts->user_given = user->count() > 0;
    const int pw = ResolvePassword("dravenkit-cli factory-default", opts->pw, &opts->password);
    if (pw < 0) {
      *status = kCliUsage;
      return;
    }
    opts->password_given = pw == 1;
    *status = RunFactoryDefault(*opts);
  });
}
