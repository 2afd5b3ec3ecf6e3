#include "engine/ops/factory_default_run.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>

#include "engine/ops/ping_tools.h"
#include "platform/socket_wait.h"
#include "platform/ticks.h"

const char kFactoryDefaultIpText[] = "192.168.1.2";
const char kFactoryThreadFaultText[] = "[ERROR] NvtFactoryDefaultThreadProc : NvtFactoryDefaultThreadProcRun";

std::string FactoryStatusText(int32_t progress) {
  switch (progress) {
    case 0: return "factorydefault init";
    case 100: return "factorydefault complete.";
    case -1: return "factorydefault error 'UPLOAD_TOOL -1'";
    case -2: return "factorydefault error 'UPLOAD_TOOL -2'";
    case -3: return "factorydefault error 'UPLOAD_FIRMWARE'";
    case -4: return "factorydefault error 'SESSION -1'";
    case -5: return "factorydefault error 'CONNECTION -2'";
    case -8: return "factorydefault error 'THREAD -1'";
    case -9: return "factorydefault error 'FACTORY_TIMEOUT'";
    case -10: return "factorydefault error 'AFTER_PROCESSING'";
    case -11: return "factorydefault error 'CHECK_FIRMWARE_VERSION'";
    case -12: return "factorydefault error 'CHECK_FACTORYDEFAULT'";
    default: return "";
  }
}

bool IsFactoryAddress(const DeviceRecord& rec) {
  char ip[16];
  return std::strcmp(FormatIp(rec.ip, ip), kFactoryDefaultIpText) == 0;
}

bool SleepUnlessStopped(uint32_t ms, const dk::StopFlag& stop, uint32_t slice_ms) {
  dk::TickTimer t;
  t.Start();
  const uint32_t slice = std::max<uint32_t>(1, slice_ms);
  while (!stop.IsSet()) {
    const uint32_t elapsed = t.Elapsed();
    if (elapsed >= ms) return true;
    dk::SleepMs(std::min(ms - elapsed, slice));
  }
  return false;
}

// ---------------------------------------------------------------- request threads

struct FactoryRequestGroup::Shared {
  std::mutex m;
  std::condition_variable cv;
  int32_t running = 0;
  int32_t started = 0;
  std::vector<Finished> finished;  // not yet taken
  dk::StopFlag abort;
};

FactoryRequestGroup::FactoryRequestGroup() : shared_(std::make_shared<Shared>()) {}

FactoryRequestGroup::~FactoryRequestGroup() { Join(); }

bool FactoryRequestGroup::Start(const FactoryDefaultParam& param, size_t tag) {
  auto thread = std::make_unique<dk::WorkerThread>();
  std::shared_ptr<Shared> sh = shared_;
  {
    std::lock_guard<std::mutex> lk(sh->m);
    ++sh->running;
  }
  bool ok = false;
  try {
    ok = thread->Start([sh, param, tag] {
      Finished f{tag, -2, 0};
      try {
        f.rc = FactoryDefaultRequest(param, &sh->abort, &f.http);
      } catch (...) {
        f = Finished{tag, -2, 0};  // a request that faulted counts as failed
      }
      std::lock_guard<std::mutex> lk(sh->m);
      sh->finished.push_back(f);
      --sh->running;
      sh->cv.notify_all();
    });
  } catch (const std::exception&) {
    ok = false;  // no thread from the system
  }
  std::lock_guard<std::mutex> lk(sh->m);
  if (!ok) {
    --sh->running;
    return false;
  }
  ++sh->started;
  threads_.push_back(std::move(thread));
  return true;
}

bool FactoryRequestGroup::WaitAll(uint32_t ms, const dk::StopFlag& stop, uint32_t slice_ms,
                                  const std::function<void()>& each) {
  dk::TickTimer t;
  t.Start();
  const uint32_t slice = std::max<uint32_t>(1, slice_ms);
  std::unique_lock<std::mutex> lk(shared_->m);
  for (;;) {
    if (each && !shared_->finished.empty()) {
      lk.unlock();
      each();
      lk.lock();
    }
    if (shared_->running == 0) return true;
    if (stop.IsSet()) return false;
    const uint32_t elapsed = t.Elapsed();
    if (elapsed >= ms) return false;
    shared_->cv.wait_for(lk, std::chrono::milliseconds(std::min(ms - elapsed, slice)));
  }
}

std::vector<FactoryRequestGroup::Finished> FactoryRequestGroup::TakeFinished() {
  std::vector<Finished> out;
  std::lock_guard<std::mutex> lk(shared_->m);
  out.swap(shared_->finished);
  return out;
}

void FactoryRequestGroup::Abort() { shared_->abort.Set(); }

void FactoryRequestGroup::Join() {
  Abort();
  threads_.clear();  // each WorkerThread joins; transfers are bounded and aborted
}

int32_t FactoryRequestGroup::Started() const {
  std::lock_guard<std::mutex> lk(shared_->m);
  return shared_->started;
}

int32_t FactoryRequestGroup::Running() const {
  std::lock_guard<std::mutex> lk(shared_->m);
  return shared_->running;
}

// ---------------------------------------------------------------- discovery watch

int32_t WatchDiscovery(TalqClient* client, const DiscoveryWatchTimings& t, const dk::StopFlag& stop,
                       const DiscoveryWatchHooks& hooks) {
  if (!client || client->socket < 0) return -1;
  const uint32_t slice = std::max<uint32_t>(1, t.slice_ms);
  dk::TickTimer broadcast, tick;
  broadcast.Start();
  tick.Start();
  (void)client->Broadcast(client);
  for (;;) {
    if (stop.IsSet()) return 1;
    if (hooks.active && !hooks.active()) return 0;
    if (tick.Expired(t.tick_ms)) {
      tick.Start();
      if (hooks.tick) hooks.tick();
      continue;
    }
    if (broadcast.Expired(t.broadcast_ms)) {
      broadcast.Start();
      (void)client->Broadcast(client);
    }
    auto left = [](const dk::TickTimer& timer, uint32_t period) {
      const uint32_t e = timer.Elapsed();
      return e >= period ? 0u : period - e;
    };
    uint32_t wait = std::min({left(tick, t.tick_ms), left(broadcast, t.broadcast_ms), slice});
    uint32_t at = 0;
    if (hooks.next_due && hooks.next_due(&at)) {
      const int32_t left = static_cast<int32_t>(at - dk::TickCount());
      if (left <= 0) {
        if (hooks.due) hooks.due();
        continue;
      }
      wait = std::min(wait, static_cast<uint32_t>(left));
    }
    // Sleeps until a reply arrives or the next event is due: replies are
    // taken at once and an idle watch costs a few wake-ups a second.
    const int sock = client->socket;
    const int ready = dk::SocketWaitAnyReadable(&sock, 1, wait);
    if (ready > 0) {
      // 1 is a freshly parsed reply; other results are foreign or broken datagrams.
      if (client->RecvDiscovery(client) == 1 && hooks.reply) hooks.reply(client->parse);
    } else if (ready < 0) {
      dk::SleepMs(wait);
    }
  }
}

// ---------------------------------------------------------------- the run

int32_t FactoryRunResult::Complete() const {
  return static_cast<int32_t>(std::count_if(devices.begin(), devices.end(), [](const FactoryDeviceOutcome& d) {
    return d.progress == kFactoryComplete;
  }));
}

int32_t FactoryRunResult::Refused() const {
  return static_cast<int32_t>(std::count_if(devices.begin(), devices.end(), [](const FactoryDeviceOutcome& d) {
    return d.progress == kFactoryRefused;
  }));
}

namespace {

bool InProgress(int32_t v) { return v >= 0 && v < kFactoryComplete; }

class FactoryRun {
 public:
  FactoryRun(const FactoryDefaultConfig& cfg, const dk::StopFlag& stop, MessageSink* sink)
      : cfg_(cfg), t_(cfg.timings), stop_(stop), sink_(sink) {
    out_.resize(cfg.devices.size());
    for (size_t i = 0; i < out_.size(); ++i) {
      std::memcpy(out_[i].mac, cfg.devices[i].mac, 6);
      out_[i].ip_before = cfg.devices[i].ip;
      out_[i].progress = kFactoryInit;
    }
  }

  void Run();
  FactoryRunResult Result() const {
    FactoryRunResult r;
    r.devices = out_;
    r.stopped = stop_.IsSet();
    return r;
  }

 private:
  void Report(size_t i, int32_t v) {
    out_[i].progress = v;
    if (sink_) sink_->Post(MakeFactoryStatus(out_[i].mac, v));
  }
  // Every device in progress advances by one; reaching 100 this way is a time-out.
  void Advance() {
    for (size_t i = 0; i < out_.size(); ++i) {
      if (!InProgress(out_[i].progress)) continue;
      const int32_t v = out_[i].progress + 1;
      Report(i, v >= kFactoryComplete ? kFactoryTimeout : v);
    }
  }
  bool AnyInProgress() const {
    return std::any_of(out_.begin(), out_.end(), [](const FactoryDeviceOutcome& d) { return InProgress(d.progress); });
  }
  void SendRequests(FactoryRequestGroup* group);
  void TakeAnswers(FactoryRequestGroup* group);
  void ReportPending(bool all);
  void Watch(FactoryRequestGroup* group);
  void OnReply(const DeviceRecord& rec);

  const FactoryDefaultConfig& cfg_;
  const FactoryDefaultTimings& t_;
  const dk::StopFlag& stop_;
  MessageSink* sink_;
  std::vector<FactoryDeviceOutcome> out_;
  std::vector<bool> started_;
  // Devices back at the factory address whose completion is still to be reported.
  struct Pending {
    size_t index;
    uint32_t at;
  };
  std::vector<Pending> pending_;
};

void FactoryRun::SendRequests(FactoryRequestGroup* group) {
  started_.assign(out_.size(), false);
  for (size_t i = 0; i < out_.size(); ++i) {
    if (stop_.IsSet()) return;
    const DeviceRecord& rec = cfg_.devices[i];
    Report(i, kFactoryInit);
    char ip[16];
    FactoryDefaultParam p =
        MakeFactoryDefaultParam(FormatIp(rec.ip, ip), cfg_.user.c_str(), cfg_.password.c_str(), rec.web_port);
    p.timings = t_.curl;
    started_[i] = group->Start(p, i);
    Report(i, started_[i] ? kFactoryRequestStarted : kFactoryThreadFailed);
  }
}

void FactoryRun::TakeAnswers(FactoryRequestGroup* group) {
  for (const FactoryRequestGroup::Finished& f : group->TakeFinished()) {
    if (f.tag >= out_.size()) continue;
    out_[f.tag].http = f.http;
    // A refusal (wrong credentials, say) is final at once: the device will
    // not reset, so waiting for it would only end in a time-out.
    if (f.rc == 0 && f.http >= 400 && InProgress(out_[f.tag].progress)) Report(f.tag, kFactoryRefused);
  }
}

void FactoryRun::ReportPending(bool all) {
  const uint32_t now = dk::TickCount();
  while (!pending_.empty() && (all || static_cast<int32_t>(now - pending_.front().at) >= 0)) {
    Report(pending_.front().index, kFactoryComplete);
    pending_.erase(pending_.begin());
  }
}

void FactoryRun::OnReply(const DeviceRecord& rec) {
  for (size_t i = 0; i < out_.size(); ++i) {
    if (std::memcmp(out_[i].mac, rec.mac, 6) != 0) continue;
    out_[i].seen = true;
    out_[i].ip_after = rec.ip;
    if (InProgress(out_[i].progress) && IsFactoryAddress(rec)) {
      // Final at once (no more ticks); the row turns green after the pause.
      out_[i].progress = kFactoryComplete;
      if (sink_) sink_->Post(MakeDeviceFound(rec));
      pending_.push_back({i, dk::TickCount() + t_.found_pause_ms});
    }
    return;
  }
}

void FactoryRun::Watch(FactoryRequestGroup* group) {
  TalqClient client{};
  if (TALQCLIENT_OpenPorts(&client, t_.talq_bind_port, t_.talq_dest_port) != 0) {
    // Without a client no device can be seen coming back: say so rather
    // than leave the rows waiting.
    std::fputs("NvtFactoryDefaultThreadProc : TALQ client could not be opened.\n", stdout);
    if (client.socket >= 0) TALQCLIENT_Close(&client.socket);
    for (size_t i = 0; i < out_.size(); ++i)
      if (InProgress(out_[i].progress)) Report(i, kFactoryTimeout);
    return;
  }
  DiscoveryWatchTimings wt = t_.watch;
  wt.tick_ms = t_.step_ms;
  wt.slice_ms = std::min(wt.slice_ms, std::max<uint32_t>(1, t_.stop_slice_ms));
  DiscoveryWatchHooks hooks;
  hooks.active = [this, group] {
    TakeAnswers(group);  // a request that hung past the first wait may still be refused
    return AnyInProgress() || !pending_.empty();
  };
  hooks.tick = [this] { Advance(); };
  hooks.reply = [this](const DeviceRecord& rec) { OnReply(rec); };
  hooks.next_due = [this](uint32_t* at) {
    if (pending_.empty()) return false;
    *at = pending_.front().at;  // appended in time order
    return true;
  };
  hooks.due = [this] { ReportPending(false); };
  (void)WatchDiscovery(&client, wt, stop_, hooks);
  TALQCLIENT_Close(&client.socket);
  // After a stop, the devices already back are still said to be back.
  ReportPending(true);
}

void FactoryRun::Run() {
  (void)HttpGlobalInit();  // before the first request thread; once per program
  if (cfg_.flush_arp) (void)DeleteArpTable();
  FactoryRequestGroup group;
  SendRequests(&group);
  if (stop_.IsSet()) return;
  const bool all_ended =
      group.WaitAll(t_.request_wait_ms, stop_, t_.stop_slice_ms, [this, &group] { TakeAnswers(&group); });
  TakeAnswers(&group);
  if (all_ended) {
    for (size_t i = 0; i < out_.size(); ++i)
      if (started_[i] && InProgress(out_[i].progress)) Report(i, out_[i].progress + 1);
  }
  for (int32_t s = 0; s < t_.settle_steps && AnyInProgress(); ++s) {
    if (!SleepUnlessStopped(t_.step_ms, stop_, t_.stop_slice_ms)) return;
    TakeAnswers(&group);
    Advance();
  }
  if (stop_.IsSet() || out_.empty() || !AnyInProgress()) return;
  Watch(&group);
  // group's destructor aborts requests still hanging and joins them.
}

}  // namespace

int32_t NvtFactoryDefaultThreadProc(const FactoryDefaultConfig& cfg, const dk::StopFlag& stop, MessageSink* sink,
                                    FactoryRunResult* result) {
  int32_t rc = -1;
  bool faulted = false;
  try {
    FactoryRun run(cfg, stop, sink);
    run.Run();
    FactoryRunResult r = run.Result();
    rc = r.Complete();
    if (result) *result = std::move(r);
  } catch (...) {
    faulted = true;
    std::fprintf(stderr, "%s\n", kFactoryThreadFaultText);
  }
  try {
    if (sink) {
      if (faulted) {
        WorkerMessage m = MakeText(UM_FACTORY_DONE, kFactoryThreadFaultText);
        m.wparam = kFactoryDoneFault;
        sink->Post(std::move(m));
      } else {
        sink->Post(MakeSignal(UM_FACTORY_DONE));
      }
    }
  } catch (...) {
    // Nothing left to report through.
  }
  return rc;
}

FactoryDefaultRunner::~FactoryDefaultRunner() { Stop(); }

bool FactoryDefaultRunner::Start(const FactoryDefaultConfig& cfg, MessageSink* sink) {
  if (thread_.Running()) return false;
  (void)thread_.WaitFor(0);  // joins a finished run
  stop_.Clear();
  stop_wait_ms_ = cfg.timings.stop_wait_ms;
  try {
    return thread_.Start([this, cfg, sink] { NvtFactoryDefaultThreadProc(cfg, stop_, sink, nullptr); });
  } catch (const std::exception&) {
    return false;
  }
}

void FactoryDefaultRunner::Stop() {
  if (!thread_.Attached()) return;
  stop_.Set();
  (void)thread_.WaitFor(stop_wait_ms_);
}

bool FactoryDefaultRunner::Running() const { return thread_.Running(); }
