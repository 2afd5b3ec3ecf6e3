#pragma once
// Reachability check through the system "ping", the ARP cache flush, and the
// "Ping response" run over the listed devices.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/update/worker_messages.h"
#include "platform/process.h"
#include "platform/thread.h"

// Runs argv (no shell) and waits for it to end; output (may be null) gets its
// standard output. The exit status (>= 0), or a negative dk::kProcess* code.
int32_t RunCommand(const std::vector<std::string>& argv, std::string* output);
// The runner's message for a failure code ("Error", "Failed to execute
// CreateProcess()."), or nullptr when rc is not a start failure.
const char* RunCommandFailureText(int32_t rc);

// "ping -c <count> -W <seconds>" with fractional seconds (5 ms is 0.005);
// on Windows "ping -n <count> -w <milliseconds>".
std::vector<std::string> PingCommandArgs(uint32_t ip, int count, int timeout_ms);
// True when ping's summary reports " 0% packet loss" (Windows: " = 0 (0%").
bool PingOutputAnswered(const std::string& output);
// 1 answered, 0 not (also when ping could not be run).
int32_t PingCheck(uint32_t ip, int count, int timeout_ms);

// Empties the ARP (neighbour) cache: "ip neigh flush all" (Windows: "arp -d").
// RunCommand's result.
int32_t DeleteArpTable();
std::vector<std::string> DeleteArpTableArgs();

struct PingTarget {
  uint8_t mac[6];
  uint32_t ip;
};

struct PingTimings {
  int count = 1;
  int timeout_ms = 5;
  uint32_t stop_wait_ms = 100;
};

// Checks each target in order and posts UM_PING_RESULT (MAC and address by
// value). Looks at stop before each device and posts nothing once it is set.
// Returns the number of devices checked.
int32_t PingThreadProc(const std::vector<PingTarget>& targets, const PingTimings&, const dk::StopFlag& stop,
                       MessageSink* sink);

// At most one current run; Start stops it (waiting stop_wait_ms) and begins
// again from the first device.
class PingRunner {
 public:
  explicit PingRunner(const PingTimings& timings = {});
  ~PingRunner() = default;  // stops and joins (a run ends after the ping in flight)
  PingRunner(const PingRunner&) = delete;
  PingRunner& operator=(const PingRunner&) = delete;

  bool Start(std::vector<PingTarget>, MessageSink*);
  void Stop();  // sets the flag, waits up to stop_wait_ms (100 ms)
  bool Running() const;

 private:
  PingTimings timings_;
  dk::WorkerGroup runs_;  // the newest is the current run
};

// Targets from the device table, in key order.
class DeviceTable;
std::vector<PingTarget> PingTargetsFromTable(const DeviceTable& table);
