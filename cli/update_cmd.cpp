// dravenkit-cli update: one discovery scan, then the firmware update run of
// the window over the devices named (or all found).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "config/settings.h"
#include "engine/update/update_run.h"

namespace {

struct UpdateOptions {
  std::string file;
  std::string version;
  int type = -2;  // -2: from the settings
  std::vector<std::string> macs;
  bool all = false;
  std::string user, password;
  bool user_given = false, password_given = false;
  PasswordChoice pw;
  bool ip_setting = false;
  bool factory_after = false;
  bool json = false;
};

std::string Text(const char* bytes, size_t max) { return std::string(bytes, strnlen(bytes, max)); }
uint32_t Address(const uint8_t o[4]) { return IpFromOctets(o[0], o[1], o[2], o[3]); }
bool Updated(const UpdateDeviceResult& d) {
  return !d.dropped && (d.status == kUpdateVerified || d.status == kUpdateFactoryBack);
}

// Prints a line per status change (run thread) and the upload progress
// (upload threads); one lock keeps the lines whole.
class LineSink : public MessageSink {
 public:
  LineSink(bool quiet, const std::vector<DeviceRecord>* devices) : quiet_(quiet), devices_(devices) {}
  void Post(WorkerMessage msg) override {
    const auto* r = std::get_if<StatusReport>(&msg.payload);
    if (quiet_ || msg.id != UM_UPDATE_STATUS || !r) return;
    std::string text = UpdateStatusText(r->status, std::string(r->text, strnlen(r->text, sizeof r->text)));
    if (text.empty() && r->status == kUpdateUploadStarted) text = "upload started";
    if (text.empty() && r->status > kUpdateUploadStarted && r->status < kUpdateVerified)
      text = "waiting for the device to restart";
    if (text.empty()) text = "-";
    char mac[24];
    std::lock_guard<std::mutex> lk(mu_);
    std::printf("%s %d %s\n", FormatMacPlain(r->mac, mac), r->status, Printable(text).c_str());
    std::fflush(stdout);
  }
  void Progress(size_t index, uint64_t sent) {
    if (quiet_ || index >= devices_->size()) return;
    char mac[24];
    std::lock_guard<std::mutex> lk(mu_);
    std::printf("%s upload %llu bytes sent\n", FormatMacPlain((*devices_)[index].mac, mac),
                static_cast<unsigned long long>(sent));
    std::fflush(stdout);
  }

 private:
  bool quiet_;
  const std::vector<DeviceRecord>* devices_;
  std::mutex mu_;
};

int RunUpdate(const UpdateOptions& o) {
  if (o.type != -2 && o.type != 0 && o.type != 1) {
    std::fputs("dravenkit-cli update: --type must be 0 or 1\n", stderr);
    return kCliUsage;
  }
  if (o.all == !o.macs.empty()) {
    std::fputs("dravenkit-cli update: give --mac MAC ... or --all\n", stderr);
    return kCliUsage;
  }
  // Every check would fail on a device that took its image.
  if (o.version.empty()) {
    std::fputs("dravenkit-cli update: --version must not be empty\n", stderr);
    return kCliUsage;
  }
  for (const std::string& m : o.macs) {
    uint8_t mac[6];
    if (ParseMacText(m, mac) != 0) {
      std::fprintf(stderr, "dravenkit-cli update: '%s' is not a MAC address\n", m.c_str());
      return kCliUsage;
    }
  }
  // The image is read by each upload; one that cannot be read now fails
  // before anything is sent.
  if (FILE* f = std::fopen(o.file.c_str(), "rb")) {
    std::fclose(f);
  } else {
    std::fprintf(stderr, "dravenkit-cli update: cannot read firmware file '%s'\n", o.file.c_str());
    return kCliFailed;
  }
  if (HttpGlobalInit() != 0) {
    std::fputs("dravenkit-cli update: HTTP library start-up failed\n", stderr);
    return kCliFailed;
  }
  CNVTSettings settings;
  (void)settings.Load();
  const std::string before_id =
      o.user_given ? o.user : Text(settings.UPDATE_BEFORE_ID, sizeof settings.UPDATE_BEFORE_ID);
  const std::string before_password =
      o.password_given ? o.password : Text(settings.UPDATE_BEFORE_PASSWORD, sizeof settings.UPDATE_BEFORE_PASSWORD);
  if (o.ip_setting) {
    // The address step sends them by TALQ: a longer text would go out cut.
    std::string problem = AdminIdProblem(before_id);
    if (problem.empty()) problem = AdminPasswordProblem(before_password);
    if (!problem.empty()) {
      std::fprintf(stderr, "dravenkit-cli update: %s\n", problem.c_str());
      return kCliUsage;
    }
  }
  std::vector<DeviceRecord> found, devices;
  if (ScanOnce(settings.XFLAG, &found) != 0) return kCliFailed;
  std::string error;
  if (SelectDevices(found, o.macs, o.all, &devices, &error) != 0) {
    std::fprintf(stderr, "dravenkit-cli update: %s\n", error.c_str());
    return kCliFailed;
  }
  if (devices.empty()) {
    std::fputs("dravenkit-cli update: no device answered\n", stderr);
    return kCliFailed;
  }

  UpdateConfig cfg;
  cfg.devices = devices;
  cfg.ip_setting = o.ip_setting;
  cfg.factory_after = o.factory_after;
  const int code = settings.UPDATE_PROJECT_CODE;
  cfg.type_index = o.type != -2 ? o.type : (code == 0 || code == 1 ? code : -1);
  cfg.before_id = before_id.substr(0, 63);
  cfg.before_password = before_password.substr(0, 63);
  cfg.after_id = Text(settings.UPDATE_AFTER_ID, sizeof settings.UPDATE_AFTER_ID).substr(0, 63);
  cfg.after_password = Text(settings.UPDATE_AFTER_PASSWORD, sizeof settings.UPDATE_AFTER_PASSWORD).substr(0, 63);
  cfg.firmware_path = o.file;
  cfg.expected_version = o.version.substr(0, 255);
  cfg.xflag = settings.UPDATE_XFLAG;
  cfg.start_ip = Address(settings.IP_SETTING_START_IP);
  cfg.subnet_mask = Address(settings.IP_SETTING_SUBNETMASK);
  cfg.gateway = Address(settings.IP_SETTING_GATEWAY);
  cfg.dns_server = Address(settings.IP_SETTING_DEFAULT_DNS);
  LineSink lines(o.json, &devices);
  cfg.upload_progress = [&lines](size_t index, uint64_t sent) { lines.Progress(index, sent); };

  dk::StopFlag stop;
  UpdateRunResult result;
  const int32_t r = UpdateRun(cfg, stop, &lines, &result);

  if (o.json) {
    nlohmann::ordered_json j;
    j["devices"] = nlohmann::ordered_json::array();
    for (const UpdateDeviceResult& d : result.devices) {
      char mac[24], ip[16];
      nlohmann::ordered_json e;
      e["mac"] = FormatMacPlain(d.mac, mac);
      e["ip"] = FormatIp(d.ip, ip);
      e["status"] = d.status;
      e["text"] = JsonText(d.text);
      e["updated"] = Updated(d);
      e["dropped"] = d.dropped;
      e["version"] = d.has_version ? nlohmann::ordered_json(JsonText(d.version)) : nlohmann::ordered_json(nullptr);
      e["uploaded_bytes"] = d.uploaded;
      e["upload_http_status"] = d.upload_http == 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(d.upload_http);
      j["devices"].push_back(e);
    }
    j["result"] = r == 0 ? "complete" : "failed";
    if (!PrintJson(j, 2)) return kCliFailed;
  } else {
    int updated = 0;
    std::string missing;
    for (const UpdateDeviceResult& d : result.devices) {
      char mac[24], ip[16];
      FormatMacPlain(d.mac, mac);
      if (Updated(d)) ++updated;
      // With --factory-after a device ends well only back at the factory address.
      if (!Updated(d) || (o.factory_after && d.status != kUpdateFactoryBack)) {
        missing += missing.empty() ? "; failed: " : ", ";
        missing += mac;
      }
      std::printf("%s %s %d %s%s\n", mac, FormatIp(d.ip, ip), d.status,
                  Printable(d.text.empty() ? std::string("-") : d.text).c_str(),
                  d.dropped ? " (dropped after the IP setting: not found at its new address)" : "");
    }
    // A device that is not named as updated is named here, whatever the reason.
    std::printf("%s %d of %zu devices updated%s\n", r == 0 ? "Update complete." : "Update failed:", updated,
                result.devices.size(), missing.c_str());
  }
  if (std::fflush(stdout) != 0) return kCliFailed;
  return r == 0 ? kCliOk : kCliFailed;
}

}  // namespace

void AddUpdateCommand(CLI::App& app, int* status) {
  auto opts = std::make_shared<UpdateOptions>();
  CLI::App* sub = app.add_subcommand("update", "update the firmware of devices");
  sub->footer(
      "usage: dravenkit-cli update --file PATH --version TEXT [--type 0|1] (--mac MAC ... | --all)\n"
      "                            [--user ID] [--password PW | --password-file FILE] [--ip-setting]\n"
      "                            [--factory-after] [--json]\n"
      "One discovery scan, then the window's update run over the devices named (in the order given) or all "
      "found: optional static addresses from IP_SETTING_START_IP on, the upload, the wait for each device to "
      "restart and the check of its firmware version, optionally a factory default afterwards. Type, ID and "
      "password default to UPDATE_PROJECT_CODE, UPDATE_BEFORE_ID and UPDATE_BEFORE_PASSWORD; the check and "
      "the factory default use UPDATE_AFTER_ID and UPDATE_AFTER_PASSWORD (Dravenkit.ini beside the "
      "executable, never written). Prints a line per status change and the upload progress, then a "
      "summary naming every device that failed; --json one object at the end. An upload cut before its "
      "last byte, or answered with an HTTP error, ends that device at once (-1, -2, -3); one that sent every "
      "byte and then got no answer, an empty reply or a reset goes on to the wait and the version check. "
      "With --ip-setting a device not found at its new address within 60 s leaves the run as failed (-9, "
      "\"dropped\" in the JSON). An empty --version, and with --ip-setting an ID over 8 or a password over "
      "16 bytes, is a usage error before anything is sent. Exit status 0 only when every device selected "
      "was updated (and with --factory-after came back at 192.168.1.2), 1 otherwise, 2 usage error.");
  sub->add_option("--file", opts->file, "firmware image")->required();
  sub->add_option("--version", opts->version, "the firmware version expected after the update")->required();
  sub->add_option("--type", opts->type, "0 TERN1, 1 PLOV (default UPDATE_PROJECT_CODE)");
  sub->add_option("--mac", opts->macs, "devices to update, in this order");
  sub->add_flag("--all", opts->all, "every device that answered");
  sub->add_option("--user", opts->user, "administrator ID before the update")
      ->each([opts](const std::string&) { opts->user_given = true; });
  AddPasswordOptions(sub, &opts->pw, "administrator password before the update (default UPDATE_BEFORE_PASSWORD)");
  sub->add_flag("--ip-setting", opts->ip_setting, "give each device a static address first");
  sub->add_flag("--factory-after", opts->factory_after, "factory default after a complete update");
  sub->add_flag("--json", opts->json, "print one JSON object at the end");
  sub->callback([opts, status] {
    const int pw = ResolvePassword("dravenkit-cli update", opts->pw, &opts->password);
    opts->password_given = pw == 1;
    *status = pw < 0 ? kCliUsage : RunUpdate(*opts);
  });
}
