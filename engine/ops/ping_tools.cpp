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
  // iputils reads -W 0 as "wait for ever".
  if (timeout_ms < 1) timeout_ms = 1;
  char secs[32];
  std::snprintf(secs, sizeof secs, "%d.%03d", timeout_ms / 1000, timeout_ms % 1000);
  char addr[16];
  FormatIp(ip, addr);
  return {"ping", "-c", std::to_string(count), "-W", secs, addr};
}

bool PingOutputAnswered(const std::string& output) { return output.find(" 0% packet loss") != std::string::npos; }

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

std::vector<std::string> DeleteArpTableArgs() { return {"ip", "neigh", "flush", "all"}; }

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

struct PingRunner::Slot {
  dk::StopFlag stop;
  dk::WorkerThread thread;
};

PingRunner::PingRunner(const PingTimings& timings) : timings_(timings) {}

PingRunner::~PingRunner() {
  for (auto& s : slots_) s->stop.Set();
  slots_.clear();  // joins; a run ends after the ping in flight
}

void PingRunner::Reap() {
  for (auto it = slots_.begin(); it != slots_.end();) {
    if (!(*it)->thread.Running()) {
      (*it)->thread.WaitFor(0);
      it = slots_.erase(it);
    } else {
      ++it;
    }
  }
}

bool PingRunner::Start(std::vector<PingTarget> targets, MessageSink* sink) {
  // A run still busy with its last ping after the wait finishes on its own
  // and posts nothing more; the new run does not wait for it.
  Stop();
  auto slot = std::make_unique<Slot>();
  Slot* raw = slot.get();
  PingTimings t = timings_;
  bool ok = raw->thread.Start(
      [raw, t, sink, targets = std::move(targets)] { PingThreadProc(targets, t, raw->stop, sink); });
  if (ok) slots_.push_back(std::move(slot));
  return ok;
}

void PingRunner::Stop() {
  for (auto& s : slots_) s->stop.Set();
  dk::TickTimer t;
  t.Start();
  for (auto& s : slots_) {
    uint32_t used = t.Elapsed();
    s->thread.WaitFor(used >= timings_.stop_wait_ms ? 0 : timings_.stop_wait_ms - used);
  }
  Reap();
}

bool PingRunner::Running() const {
  for (const auto& s : slots_)
    if (s->thread.Running()) return true;
  return false;
}

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
