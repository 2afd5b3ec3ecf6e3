// dravenkit-cli inventory [--mac MAC ... | --all] [--expect-version TEXT]
//   [--concurrency N] [--json | --csv [-o FILE]]: one scan, then the
// information query's three texts for many devices at once.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "config/settings.h"
#include "engine/ops/http_requests.h"
#include "engine/ops/inventory_run.h"
#include "engine/talq/talq_client.h"

namespace {

struct InventoryOptions {
  std::vector<std::string> macs;
  bool all = false;
  std::string expected;
  bool expected_given = false;
  int32_t concurrency = InventoryTimings{}.concurrency;
  std::string user = kInfoQueryUser, password = kDefaultDevicePassword;
  PasswordChoice pw;
  bool json = false;
  bool csv = false;
  std::string output;
};

// The run posts from its worker threads; progress goes to standard error only.
class ProgressSink : public MessageSink {
 public:
  ProgressSink(size_t total, bool show) : total_(total), show_(show) {}
  void Post(WorkerMessage msg) override {
    if (msg.id != UM_INVENTORY_RESULT || !show_) return;
    std::lock_guard<std::mutex> lk(mu_);
    ++done_;
    std::fprintf(stderr, "\r%zu of %zu devices read", done_, total_);
    if (done_ == total_) std::fputc('\n', stderr);
    std::fflush(stderr);
  }

 private:
  std::mutex mu_;
  size_t total_, done_ = 0;
  bool show_;
};

int RunInventory(const InventoryOptions& o) {
  const char* me = "dravenkit-cli inventory";
  if (CheckDeviceChoice(me, o.macs, o.all) != 0) return kCliUsage;
  CNVTSettings settings;
  (void)settings.Load();  // read only
  TalqSetTraceEnabled(settings.XDEBUG_SERVER_ENABLE == 1);
  if (HttpGlobalInit() != 0) {
    std::fprintf(stderr, "%s: HTTP library start-up failed\n", me);
    return kCliFailed;
  }
  std::vector<DeviceRecord> chosen, found;
  if (ScanAndChoose(me, settings.XFLAG, o.macs, o.all, &chosen, &found) != 0) return kCliFailed;

  InventoryConfig cfg;
  cfg.devices = chosen;
  cfg.shared_ips = SharedAddresses(found);  // also with a device that was not named
  cfg.timings.concurrency = o.concurrency;
  cfg.user = o.user;
  cfg.password = o.password;
  dk::StopFlag stop;
  ProgressSink progress(chosen.size(), isatty(STDERR_FILENO) == 1);
  std::vector<InventoryResult> results;
  if (InventoryThreadProc(cfg, stop, &progress, &results) < 0) {
    std::fprintf(stderr, "[ERROR] InventoryThreadProc : InventoryThreadProcRun\n");
    return kCliFailed;
  }

  // Every device is read once the run ends by itself.
  const std::string expected = o.expected_given ? o.expected : std::string();
  const bool with_match = o.expected_given;
  std::vector<InventoryRowText> rows;
  bool all_good = results.size() == chosen.size();
  for (const InventoryResult& r : results) {
    InventoryRowText t = InventoryRowFor(chosen[static_cast<size_t>(r.index)], &r, expected);
    if (with_match && expected.empty()) t.version_match = "no";  // an empty version never matches
    if (!r.Answered() || (with_match && t.version_match != "yes")) all_good = false;
    rows.push_back(std::move(t));
  }

  if (o.csv) {
    if (!o.output.empty()) {
      std::string error;
      if (WriteInventoryCsv(o.output, rows, with_match, &error) != 0) {
        std::fprintf(stderr, "Could not write \"%s\": %s\n", o.output.c_str(), error.c_str());
        return kCliFailed;
      }
    } else {
      std::fputs(InventoryCsvText(rows, with_match).c_str(), stdout);
    }
  } else if (o.json) {
    std::string s = "[\n";
    for (size_t i = 0; i < rows.size(); ++i) {
      const InventoryRowText& t = rows[i];
      nlohmann::ordered_json j;
      j["mac"] = t.mac;
      j["ip"] = t.ip;
      j["model"] = JsonText(t.model);
      j["system_mode"] = JsonText(t.system_mode);
      j["firmware_version"] = JsonText(t.firmware_version);
      j["serial_number"] = JsonText(t.serial_number);
      j["answered"] = results[i].Answered();
      j["shared_address"] = results[i].shared_address;
      if (with_match) j["version_matches"] = t.version_match == "yes";
      s += "  " + j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
           (i + 1 < rows.size() ? ",\n" : "\n");
    }
    s += "]\n";
    std::fputs(s.c_str(), stdout);
  } else {
    const size_t columns = with_match ? 7 : 6;
    for (size_t c = 0; c < columns; ++c) std::printf("%s%s", c ? "\t" : "", kInventoryColumns[c]);
    std::printf("\n");
    for (const InventoryRowText& t : rows) {
      const std::string* f[] = {&t.mac, &t.ip, &t.model, &t.system_mode, &t.firmware_version, &t.serial_number,
                                &t.version_match};
      for (size_t c = 0; c < columns; ++c)
        std::printf("%s%s", c ? "\t" : "", InventoryVisibleText(*f[c]).c_str());
      std::printf("\n");
    }
  }
  if (std::fflush(stdout) != 0) return kCliFailed;
  return all_good ? kCliOk : kCliFailed;
}

}  // namespace

void AddInventoryCommand(CLI::App& app, int* status) {
  auto opts = std::make_shared<InventoryOptions>();
  InventoryOptions& o = *opts;
  CLI::App* sub = app.add_subcommand("inventory", "read system mode, firmware version and serial number of many devices");
  sub->add_option("--mac", o.macs, "a device by MAC address (repeatable; in this order)");
  sub->add_flag("--all", o.all, "every device that answers the discovery scan");
  CLI::Option* expect = sub->add_option("--expect-version", o.expected, "the firmware version every device should run");
  sub->add_option("--concurrency", o.concurrency, "devices read at once (default 32)")->check(CLI::Range(1, 1024));
  sub->add_option("--user", o.user, "ID of the requests (default root)");
  AddPasswordOptions(sub, &o.pw, "password of the requests (default: the device default)");
  CLI::Option* json = sub->add_flag("--json", o.json, "print a JSON array, one device object per line");
  CLI::Option* csv = sub->add_flag("--csv", o.csv, "print the inventory as CSV");
  csv->excludes(json);
  sub->add_option("-o,--output", o.output, "with --csv: write the CSV to this file")->needs(csv);
  sub->footer(
      "usage: dravenkit-cli inventory [--mac MAC ... | --all] [--expect-version TEXT] [--concurrency N]\n"
      "                               [--user ID] [--password PW | --password-file FILE]\n"
      "                               [--json | --csv [-o FILE]]\n"
      "One discovery scan (XFLAG from Dravenkit.ini), then for each device named (a MAC that did not answer is "
      "an error) or every device found: a ping, the system mode, firmware version and serial number as the "
      "window's information panel reads them (ID \"root\" and the default password unless given), N devices "
      "at once. \"failed\" where the ping or a request failed; \"shared address\" for devices that answer "
      "from the same address as another (not asked, as their answers could not be told apart; they count as "
      "failed). Prints a tab-separated table (MAC address, IP address, model, system mode, firmware version, "
      "serial number and, with --expect-version, whether the version matches), a JSON array with the same "
      "fields, or CSV (RFC 4180, UTF-8; -o writes FILE through a temporary file renamed over it). Progress "
      "goes to standard error when it is a terminal. Exit status 0 when every device answered (and matched "
      "the expected version), 1 otherwise, 2 usage error.");
  sub->callback([opts, status, expect] {
    opts->expected_given = expect->count() > 0;
    if (ResolvePassword("dravenkit-cli inventory", opts->pw, &opts->password) < 0) {
      *status = kCliUsage;
      return;
    }
    *status = RunInventory(*opts);
  });
}
