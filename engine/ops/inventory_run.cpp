#include "engine/ops/inventory_run.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>

#include "engine/devices/device_csv.h"
#include "engine/devices/device_format.h"
#include "engine/ops/info_query.h"
#include "engine/ops/inventory_ping.h"
#include "engine/ops/ping_tools.h"

const char kInventoryFailed[] = "failed";
const char kInventorySharedAddress[] = "shared address";

std::vector<uint32_t> SharedAddresses(const std::vector<DeviceRecord>& records) {
  std::vector<uint32_t> ips;
  ips.reserve(records.size());
  for (const DeviceRecord& r : records) ips.push_back(r.ip);
  std::sort(ips.begin(), ips.end());
  std::vector<uint32_t> shared;
  for (size_t i = 1; i < ips.size(); ++i)
    if (ips[i] == ips[i - 1] && (shared.empty() || shared.back() != ips[i])) shared.push_back(ips[i]);
  return shared;
}

namespace {

// The mode query runs beside the value requests, so a device that accepts
// and never answers costs one deadline for the mode and two for the values
// in sequence, not three.
std::string ReadSystemMode(const char* ip, uint16_t port, const InventoryTimings& t, const dk::StopFlag& stop,
                           const std::string& user, const std::string& password) {
  std::string mode;
  if (QuerySystemModeText(ip, port, &mode, t.curl, &stop, user.c_str(), password.c_str()) != 0 || stop.IsSet())
    return kInventoryFailed;
  return mode;
}

std::string ReadValue(DeviceHttpClient* client, const char* ip, uint16_t port, const char* conf, const char* item,
                      const dk::StopFlag& stop, const std::string& user, const std::string& password) {
  // A fresh buffer per request; no value by the deadline is "failed", as the panel shows it.
  char value[kHttpValueSize] = "";
  if (stop.IsSet()) return kInventoryFailed;
  const int32_t r = client->Request(ip, port, user.c_str(), password.c_str(), conf, item, value);
  if (r == -1 || !client->LastValueFound() || stop.IsSet()) return kInventoryFailed;
  return value;
}

}  // namespace

int32_t ReadDeviceInventory(int32_t index, const DeviceRecord& rec, const InventoryTimings& t,
                            const dk::StopFlag& stop, InventoryResult* out, const std::string& user,
                            const std::string& password) {
  InventoryResult& r = *out;
  r = InventoryResult{};
  r.index = index;
  std::memcpy(r.mac, rec.mac, 6);
  r.ip = rec.ip;
  r.system_mode = r.firmware_version = r.serial_number = kInventoryFailed;
  if (stop.IsSet()) return 0;
  r.answered_ping = (t.ping_socket ? InventoryPingCheck(rec.ip, t.ping_count, t.ping_timeout_ms, stop)
                                   : PingCheck(rec.ip, t.ping_count, t.ping_timeout_ms)) == 1;
  if (!r.answered_ping || stop.IsSet()) return 0;

  char ip[16];
  FormatIp(rec.ip, ip);
  const uint16_t port = rec.web_port == 0 ? 80 : rec.web_port;
  std::string mode;
  dk::WorkerThread mode_thread;
  bool beside = false;
  try {
    beside = mode_thread.Start([&] { mode = ReadSystemMode(ip, port, t, stop, user, password); });
  } catch (const std::exception&) {
    beside = false;  // no thread from the system: the query runs here
  }
  if (!beside) mode = ReadSystemMode(ip, port, t, stop, user, password);

  DeviceHttpClient client(t.http);
  client.SetStopFlag(&stop);
  r.firmware_version = ReadValue(&client, ip, port, "general", "software_version", stop, user, password);
  r.serial_number = ReadValue(&client, ip, port, nullptr, "serial", stop, user, password);
  if (beside) mode_thread.WaitFor(UINT32_MAX);  // bounded by the query's own deadline
  r.system_mode = mode;
  return r.Answered() ? 1 : 0;
}

namespace {

int32_t InventoryThreadProcRun(const InventoryConfig& cfg, const dk::StopFlag& stop, MessageSink* sink,
                               std::vector<InventoryResult>* results) {
  const size_t n = cfg.devices.size();
  std::vector<InventoryResult> got(n);
  std::vector<char> read(n, 0);
  std::atomic<size_t> next{0};
  std::atomic<int32_t> answered{0};
  std::mutex post_mu;  // one post at a time keeps a sink's order simple
  std::vector<uint32_t> shared = SharedAddresses(cfg.devices);
  shared.insert(shared.end(), cfg.shared_ips.begin(), cfg.shared_ips.end());
  std::sort(shared.begin(), shared.end());
  auto is_shared = [&shared](uint32_t ip) { return std::binary_search(shared.begin(), shared.end(), ip); };

  auto work = [&] {
    for (;;) {
      if (stop.IsSet()) return;
      const size_t i = next.fetch_add(1);
      if (i >= n) return;
      InventoryResult r;
      int32_t ok = 0;
      if (is_shared(cfg.devices[i].ip)) {
        // Two devices answer from one address: what comes back could be
        // either's, so neither is asked.
        r.index = static_cast<int32_t>(i);
        std::memcpy(r.mac, cfg.devices[i].mac, 6);
        r.ip = cfg.devices[i].ip;
        r.shared_address = true;
        r.system_mode = r.firmware_version = r.serial_number = kInventorySharedAddress;
      } else {
        ok = ReadDeviceInventory(static_cast<int32_t>(i), cfg.devices[i], cfg.timings, stop, &r, cfg.user, cfg.password);
      }
      if (stop.IsSet()) return;  // a stopped run reports nothing more
      answered.fetch_add(ok);
      std::lock_guard<std::mutex> lk(post_mu);
      got[i] = r;
      read[i] = 1;
      if (sink) sink->Post(WorkerMessage{UM_INVENTORY_RESULT, 0, std::move(r)});
    }
  };

  const size_t bound = static_cast<size_t>(std::max<int32_t>(1, cfg.timings.concurrency));
  const size_t workers = std::min(bound, n);
  std::vector<std::unique_ptr<dk::WorkerThread>> threads;
  threads.reserve(workers);
  for (size_t w = 0; w < workers; ++w) {
    auto th = std::make_unique<dk::WorkerThread>();
    bool ok = false;
    try {
      ok = th->Start(work);
    } catch (const std::exception&) {
      ok = false;
    }
    if (!ok) break;  // fewer threads share the devices
    threads.push_back(std::move(th));
  }
  if (threads.empty() && n > 0) work();  // no thread at all: read them here
  for (auto& th : threads) th->WaitFor(UINT32_MAX);  // each ends after its device in flight

  if (results) {
    results->clear();
    for (size_t i = 0; i < n; ++i)
      if (read[i]) results->push_back(got[i]);
  }
  const bool stopped = stop.IsSet();
  if (sink) sink->Post(WorkerMessage{UM_INVENTORY_DONE, stopped ? kInventoryStopped : 0, {}});
  return answered.load();
}

}  // namespace

int32_t InventoryThreadProc(const InventoryConfig& cfg, const dk::StopFlag& stop, MessageSink* sink,
                            std::vector<InventoryResult>* results) {
  try {
    return InventoryThreadProcRun(cfg, stop, sink, results);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "[ERROR] InventoryThreadProc : InventoryThreadProcRun (%s)\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "[ERROR] InventoryThreadProc : InventoryThreadProcRun\n");
  }
  if (sink) sink->Post(WorkerMessage{UM_INVENTORY_DONE, stop.IsSet() ? kInventoryStopped : 0, {}});
  return -1;
}

InventoryRunner::~InventoryRunner() { Stop(); }

bool InventoryRunner::Start(InventoryConfig cfg, MessageSink* sink) {
  if (thread_.Running()) return false;
  if (thread_.Attached()) thread_.WaitFor(stop_wait_ms_);  // the last run has ended: join it
  if (thread_.Attached()) return false;
  stop_.Clear();
  stop_wait_ms_ = cfg.timings.stop_wait_ms;
  if (thread_.Start([this, c = std::move(cfg), sink] { InventoryThreadProc(c, stop_, sink, nullptr); })) return true;
  // No thread: the run ends as a faulted one does.
  std::fprintf(stderr, "[ERROR] InventoryThreadProc : InventoryThreadProcRun\n");
  if (sink) sink->Post(WorkerMessage{UM_INVENTORY_DONE, 0, {}});
  return false;
}

void InventoryRunner::Stop() {
  stop_.Set();
  thread_.WaitFor(stop_wait_ms_);
}

bool InventoryRunner::Running() const { return thread_.Running(); }

// ---------------------------------------------------------------- texts

const char* const kInventoryColumns[7] = {"MAC address",      "IP address",    "Model name",   "System mode",
                                          "Firmware version", "Serial number", "Version match"};

bool InventoryVersionMatches(const InventoryResult& result, const std::string& expected) {
  return result.Answered() && result.firmware_version == expected;
}

InventoryRowText InventoryRowFor(const DeviceRecord& rec, const InventoryResult* result, const std::string& expected) {
  InventoryRowText t;
  char mac[18];
  t.mac = FormatMacPlain(rec.mac, mac);
  t.ip = DeviceIpCell(rec);
  t.model = Utf8FromBytes(DeviceModelCell(rec));
  if (result) {
    t.system_mode = Utf8FromBytes(result->system_mode);
    t.firmware_version = Utf8FromBytes(result->firmware_version);
    t.serial_number = Utf8FromBytes(result->serial_number);
    if (!expected.empty()) t.version_match = InventoryVersionMatches(*result, expected) ? "yes" : "no";
  }
  return t;
}

std::string InventoryVisibleText(const std::string& utf8) { return VisibleText(utf8); }

std::string InventoryCsvText(const std::vector<InventoryRowText>& rows, bool with_match) {
  const size_t columns = with_match ? 7 : 6;
  std::vector<std::string> header(kInventoryColumns, kInventoryColumns + columns);
  std::string out = CsvLine(header);
  auto guard = [](const std::string& v) { return v == "-" ? v : CsvFormulaGuard(v); };
  for (const InventoryRowText& r : rows) {
    std::vector<std::string> f = {r.mac,
                                  r.ip,
                                  guard(Utf8FromBytes(r.model)),
                                  guard(Utf8FromBytes(r.system_mode)),
                                  guard(Utf8FromBytes(r.firmware_version)),
                                  guard(Utf8FromBytes(r.serial_number))};
    if (with_match) f.push_back(r.version_match);
    out += CsvLine(f);
  }
  return out;
}

int32_t WriteInventoryCsv(const std::string& path, const std::vector<InventoryRowText>& rows, bool with_match,
                          std::string* error) {
  return WriteCsvText(path, InventoryCsvText(rows, with_match), error);
}
