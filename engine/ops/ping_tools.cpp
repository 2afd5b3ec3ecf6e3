#include "engine/ops/ping_tools.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "engine/devices/device_record.h"
#include "engine/devices/device_table.h"
#include "platform/ticks.h"

int32_t RunCommand(const std::vector<std::string>& argv, std::string* output) {
  return dk::ProcessRun(argv, output, dk::ProcessTimings{});
}

const char* RunCommandFailureText(int32_t rc) {
  if (rc == dk::kProcessPipeFailed) return "Error";
  if (rc == dk::kProcessSpawnFailed) return "Failed to execute CreateProcess().";
  return nullptr;
}

std::vector<std::string> PingCommandArgs(uint32_t ip, int count, int timeout_ms) {
  if (count < 1) count = 1;
  // iputils reads -W 0 as "wait for ever"; Windows' -w 0 is no wait at all.
  if (timeout_ms < 1) timeout_ms = 1;
  char addr[16];
  FormatIp(ip, addr);
#ifdef _WIN32
  // "ping -n %d -w %d %s": count, time-out in milliseconds, address.
  return {"ping", "-n", std::to_string(count), "-w", std::to_string(timeout_ms), addr};
#else
  char secs[32];
  std::snprintf(secs, sizeof secs, "%d.%03d", timeout_ms / 1000, timeout_ms % 1000);
  return {"ping", "-c", std::to_string(count), "-W", secs, addr};
#endif
}

bool PingOutputAnswered(const std::string& output) {
#ifdef _WIN32
  // The summary's "Lost = 0 (0% loss)".
  return output.find(" = 0 (0%") != std::string::npos;
#else
  return output.find(" 0% packet loss") != std::string::npos;
#endif
}

int32_t PingCheck(uint32_t ip, int count, int timeout_ms) {
  std::string out;
  dk::ProcessTimings pt;
  // ping sends one request a second; allow for all of them and the last wait.
  int c = count < 1 ? 1 : count;
  int w = timeout_ms < 1 ? 1 : timeout_ms;
  pt.limit_ms = static_cast<uint32_t>(c) * 1000u + static_cast<uint32_t>(w) + 5000u;
  int32_t rc = dk::ProcessRun(PingCommandArgs(ip, count, timeout_ms), &out, pt);
  if (rc < 0) return 0;
  return PingOutputAnswered(out) ? 1 : 0;
}

std::vector<std::string> DeleteArpTableArgs() {
#ifdef _WIN32
  return {"arp", "-d"};
#else
  return {"ip", "neigh", "flush", "all"};
#endif
}

int32_t DeleteArpTable() { return RunCommand(DeleteArpTableArgs(), nullptr); }

namespace {
int32_t PingThreadProcRun(const std::vector<PingTarget>& targets, const PingTimings& t, const dk::StopFlag& stop,
                          MessageSink* sink) {
  int32_t checked = 0;
  for (const PingTarget& target : targets) {
    if (stop.IsSet()) break;
    int32_t r = PingCheck(target.ip, t.count, t.timeout_ms);
    // A run that was stopped (restarted, or the list cleared) reports no more.
    if (stop.IsSet()) break;
    if (sink) sink->Post(MakePingResult(target.mac, target.ip, r == 1));
    ++checked;
  }
  return checked;
}
}  // namespace

int32_t PingThreadProc(const std::vector<PingTarget>& targets, const PingTimings& t, const dk::StopFlag& stop,
                       MessageSink* sink) {
  try {
    return PingThreadProcRun(targets, t, stop, sink);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "[ERROR] PingThreadProc : PingThreadProcRun (%s)\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "[ERROR] PingThreadProc : PingThreadProcRun\n");
  }
  return -1;
}

PingRunner::PingRunner(const PingTimings& timings) : timings_(timings) {}

bool PingRunner::Start(std::vector<PingTarget> targets, MessageSink* sink) {
  // A run still busy with its last ping after the wait finishes on its own
  // and posts nothing more; the new run does not wait for it.
  Stop();
  PingTimings t = timings_;
  if (runs_.Launch([t, sink, targets = std::move(targets)](const dk::StopFlag& stop) {
        PingThreadProc(targets, t, stop, sink);
      }))
    return true;
  std::fprintf(stderr, "[ERROR] PingThreadProc : PingThreadProcRun\n");  // no thread: no pass
  return false;
}

void PingRunner::Stop() { runs_.StopAll(timings_.stop_wait_ms); }

bool PingRunner::Running() const { return runs_.Running(); }

std::vector<PingTarget> PingTargetsFromTable(const DeviceTable& table) {
  std::vector<std::pair<int32_t, PingTarget>> keyed;
  for (const auto& e : table) {
    PingTarget t{};
    std::copy(e->record.mac, e->record.mac + 6, t.mac);
    t.ip = e->record.ip;
    keyed.emplace_back(e->key, t);
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<PingTarget> out;
  out.reserve(keyed.size());
  for (auto& k : keyed) out.push_back(k.second);
  return out;
}
