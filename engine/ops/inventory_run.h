#pragma once
// The inventory run: the information query's three facts (system mode,
// firmware version, serial number) for many devices at once, at most
// `concurrency` devices in flight, each device's result posted as it comes.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/devices/device_record.h"
#include "engine/ops/device_http_client.h"
#include "engine/ops/http_requests.h"
#include "engine/ops/info_query.h"
#include "engine/update/worker_messages.h"
#include "platform/thread.h"

struct InventoryTimings {
  int ping_count = 1;
  int ping_timeout_ms = 5;
  bool ping_socket = true;  // an ICMP socket where one can be had; false: the system ping
  // The value requests keep their 3 s deadline; a longer readability wait
  // than the panel's 1 ms only spares CPU (an answer still ends it at once).
  HttpClientTimings http{3000, 20000, 3000};
  CurlTimings curl = SystemModeCurlTimings();  // 3 s for the system-mode query
  int32_t concurrency = 32;                     // devices in flight
  uint32_t stop_wait_ms = 3000;                 // how long Stop waits for the run
};

struct InventoryConfig {
  std::vector<DeviceRecord> devices;  // copies; results name them by index
  // Addresses that more than one device answers from, also counting devices
  // outside `devices` (the front end's whole list); pairs inside `devices`
  // are found by the run itself.
  std::vector<uint32_t> shared_ips;
  InventoryTimings timings;
  // The information query's credentials unless given.
  std::string user = kInfoQueryUser, password = kDefaultDevicePassword;
};

// The addresses that two or more of the records hold, ascending.
std::vector<uint32_t> SharedAddresses(const std::vector<DeviceRecord>& records);

// The per-device texts are the panel's: "failed" where the ping or a request
// failed, "-" for a mode reply that names neither mode.
extern const char kInventoryFailed[];  // "failed"
// The three texts of a device whose address another device answers from:
// its answers could not be told from the other's, so it is not asked, and it
// counts as failed.
extern const char kInventorySharedAddress[];  // "shared address"
// wparam of UM_INVENTORY_DONE when the run was stopped before its end.
constexpr int32_t kInventoryStopped = 1;

// Reads one device (ping, then the mode query beside the two value requests).
// Honours stop: requests in flight end early and their texts are "failed".
// 1 when the ping and all three requests answered, else 0.
int32_t ReadDeviceInventory(int32_t index, const DeviceRecord& rec, const InventoryTimings& t,
                            const dk::StopFlag& stop, InventoryResult* out, const std::string& user = kInfoQueryUser,
                            const std::string& password = kDefaultDevicePassword);

// The run on the calling thread: posts UM_INVENTORY_RESULT per device as it
// is read (none once stop is set; a device at a shared address at once) and UM_INVENTORY_DONE at the end (wparam
// kInventoryStopped after a stop). results (may be null) receives what was
// read, in device order (devices not read are left out). Returns the number
// of devices that answered every request, -1 on a fault.
int32_t InventoryThreadProc(const InventoryConfig& cfg, const dk::StopFlag& stop, MessageSink* sink,
                            std::vector<InventoryResult>* results);

// ---------------------------------------------------------------- texts

// Column captions of the table and the CSV header, in this order.
extern const char* const kInventoryColumns[7];  // "MAC address" ... "Version match"

// One device's cells as UTF-8 (device bytes that are not UTF-8 read as
// Latin-1): MAC "%02X:..:%02X", dotted address, model, the three texts and,
// when a version is expected, "yes" or "no".
struct InventoryRowText {
  std::string mac, ip, model, system_mode, firmware_version, serial_number, version_match;
};
// result null: not read yet (its three texts empty). expected empty: no match column text.
InventoryRowText InventoryRowFor(const DeviceRecord& rec, const InventoryResult* result, const std::string& expected);
// The firmware version is exactly the expected text.
bool InventoryVersionMatches(const InventoryResult& result, const std::string& expected);
// For a table cell or a terminal: VisibleText (engine/devices/device_format.h).
std::string InventoryVisibleText(const std::string& utf8);

// Header and rows as the export writes them (RFC 4180, CRLF, UTF-8); the
// device's texts through the formula guard (a lone "-" is the mode's own
// text and stays). with_match adds the "Version match" column.
std::string InventoryCsvText(const std::vector<InventoryRowText>& rows, bool with_match);
// Through a temporary file renamed over path. 0, or -1 with *error.
int32_t WriteInventoryCsv(const std::string& path, const std::vector<InventoryRowText>& rows, bool with_match,
                          std::string* error);

// Owns one run's thread and stop flag (call from one thread).
class InventoryRunner {
 public:
  InventoryRunner() = default;
  ~InventoryRunner();  // stops and joins; the run always ends by itself
  InventoryRunner(const InventoryRunner&) = delete;
  InventoryRunner& operator=(const InventoryRunner&) = delete;

  // False when a run is still going or no thread could be started.
  bool Start(InventoryConfig cfg, MessageSink* sink);
  // Sets the stop flag and waits up to stop_wait_ms for the run to end.
  void Stop();
  bool Running() const;

 private:
  dk::StopFlag stop_;
  dk::WorkerThread thread_;
  uint32_t stop_wait_ms_ = InventoryTimings{}.stop_wait_ms;
};
