#pragma once
// Helpers for tests that run inside a simulated segment's PC namespace
// (started by scripts/segment): scans with the tool's TALQ client, the
// records a fleet's devices should produce, the simulator's event log.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/devices/device_record.h"
#include "engine/talq/talq_client.h"
#include "sim/sim_device.h"

namespace segtest {

uint64_t MacKey(const uint8_t mac[6]);

struct ScanResult {
  std::map<uint64_t, DeviceRecord> devices;  // by MAC, last reply wins
  int replies = 0;                           // positive RecvDiscovery results
  std::vector<int> failures;                 // non-positive RecvDiscovery results
  std::map<uint64_t, int> replies_per_mac;
};

// One scan as the discovery thread does it: broadcast once, then poll with
// near-zero waits until window_ms have passed. keep_open_ms extends the
// listening past the window (the reply of a late device).
ScanResult Scan(uint16_t bind_port, uint16_t dest_port, uint32_t window_ms);

// Scans until the device with mac answers (from want_ip, unless 0), at most
// limit_ms. True and *out when it did.
bool WaitForDevice(const uint8_t mac[6], uint32_t want_ip, uint32_t limit_ms, DeviceRecord* out);

// Sends one set-network request with a fresh client on the default ports and
// reads the result within 1 s, skipping discovery replies. The result code,
// -1 for a reply that failed the checks, or -100 when none came.
int SetNetwork(const SetNetworkRequest& req);
SetNetworkRequest StaticRequestFor(const dksim::SimDeviceConfig& d, const char* id, const char* password,
                                   uint32_t ip, uint32_t mask);

// The record the tool should parse from device d's reply.
DeviceRecord ExpectedRecord(const dksim::SimDeviceConfig& d);
// Field-by-field comparison; "" when equal, else the differing fields.
std::string RecordDiff(const DeviceRecord& got, const DeviceRecord& want);

// The fleet the segment was started with (path in env DK_TEST_FLEET).
std::vector<dksim::SimDeviceConfig> LoadTestFleet();
// The simulator's event log so far (path in env DK_SEG_EVENT_LOG); "" when none.
std::string EventLog();
// Lines of the event log that contain every needle.
std::vector<std::string> EventLines(const std::vector<std::string>& needles);
// Waits (wall clock, at most limit_ms) until the log holds count such lines.
bool WaitForEvent(const std::vector<std::string>& needles, size_t count = 1, uint32_t limit_ms = 10000);

std::string IpText(uint32_t ip);
std::string MacText(const uint8_t mac[6]);

}  // namespace segtest
