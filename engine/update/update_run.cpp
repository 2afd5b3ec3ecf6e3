#include "engine/update/update_run.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>

#include "engine/ops/factory_default_run.h"
#include "engine/ops/ping_tools.h"
#include "engine/talq/talq_client.h"
#include "platform/ticks.h"

const char kUpdateThreadFaultText[] = "[ERROR] NvtUpdateManagerThreadProc : NvtUpdateManagerThreadProcRun";
const char kInitFactoryText[] = "Init. factory";
const char kSetFactoryText[] = "Set factory ...";
const char kFactorySuccessfulText[] = "factorydefault successful";
const char kUpdateVersionRequiredText[] = "Firmware version is required";

UpdateRefusal CheckUpdateConfig(const UpdateConfig& cfg) {
  UpdateRefusal r;
  if (cfg.ip_setting) {
    r.text = AdminIdProblem(cfg.before_id);
    if (!r.text.empty()) {
      r.field = UpdateField::kId;
      return r;
    }
    r.text = AdminPasswordProblem(cfg.before_password);
    if (!r.text.empty()) {
      r.field = UpdateField::kPassword;
      return r;
    }
  }
  if (cfg.expected_version.empty()) {
    r.field = UpdateField::kVersion;
    r.text = kUpdateVersionRequiredText;
  }
  return r;
}

std::string UpdateStatusText(int32_t status, const std::string& report_text) {
  switch (status) {
    case 0: return "update init";
    case 1: return "ip setting ...";
    case 2: return "Now preparing for update ...";
    case 100: return report_text.empty() ? "update complete." : report_text;
    case -1: return "update error 'UPLOAD_TOOL -1'";
    case -2: return "update error 'UPLOAD_TOOL -2'";
    case -3: return "update error 'UPLOAD_FIRMWARE'";
    case -4: return "update error 'SESSION -1'";
    case -5: return "update error 'CONNECTION -2'";
    case -6: return "ip setting error 'authentication'";
    case -7: return "ip setting error 'unknown'";
    case -8: return "update error 'THREAD -1'";
    case -9: return "update error 'UPDATE_TIMEOUT'";
    case -10: return "update error 'AFTER_PROCESSING'";
    case -11: return "update error 'CHECK_FIRMWARE_VERSION'";
    case -12: return "update error 'CHECK_FACTORYDEFAULT'";
    case -14: return "update error 'THREAD DOUPLOAD'";
    default: break;
  }
  if (status > 100) return report_text.empty() ? "..." : report_text;
  return "";
}

TalqPorts UpdateFirstPorts(int32_t xflag) { return TalqPortPair((xflag & 6) != 0 ? 1 : 0); }

TalqPorts UpdateSecondPorts(int32_t xflag) {
  if (xflag & 1) return TalqPortPair(1);
  if (xflag & 2) return TalqPortPair(0);
  return UpdateFirstPorts(xflag);
}

namespace {

std::string Cut(const std::string& s, size_t n) { return s.size() > n ? s.substr(0, n) : s; }

struct Entry {
  DeviceRecord rec;
  size_t index;  // position in the configured list
  int32_t status = kUpdateQueued;
  std::string text;
  bool has_version = false;
  std::string version;
  uint32_t offered_ip = 0;  // address step: sent, but no result accepted it
  bool upload_started = false;
  bool upload_ended = false;
  long upload_http = 0;
  uint32_t check_ip = 0;
  uint16_t check_port = 0;
  bool checking = false;
  bool factory_started = false;
};

// How an upload thread ended, read by the run.
struct UploadEnd {
  std::atomic<bool> ended{false};
  std::atomic<int32_t> rc{0};
  std::atomic<long> http{0};
  std::atomic<bool> body_sent{false};  // every byte of the body was written
};

// A version check that has ended, handed from its thread to the run.
struct CheckDone {
  size_t entry;
  std::string version;
};

class Run {
 public:
  Run(const UpdateConfig& cfg, const dk::StopFlag& stop, MessageSink* sink)
      : cfg_(cfg), t_(cfg.timings), stop_(stop), sink_(sink), uploaded_(cfg.devices.size()),
        upload_ends_(cfg.devices.size()) {
    for (size_t i = 0; i < cfg.devices.size(); ++i) {
      Entry e;
      e.rec = cfg.devices[i];
      e.index = i;
      entries_.push_back(e);
      all_.push_back(e);
    }
    expected_ = Cut(cfg.expected_version, 255);
    attempts_ = cfg.type_index == 0 ? t_.attempts_type0 : t_.attempts_other;
  }
  ~Run() {
    // Uploads and checks still going end at once: they see abort_ and are bounded.
    abort_.Set();
    checks_.clear();
    uploads_.clear();
  }

  UpdateOutcome Go();
  UpdateRunResult Result(UpdateOutcome outcome) const;

 private:
  void Post(Entry& e, int32_t status, const char* text = "") {
    e.status = status;
    e.text = Cut(text, 63);
    all_[e.index] = e;
    if (sink_) sink_->Post(MakeStatus(UM_UPDATE_STATUS, e.rec.mac, status, e.text.c_str()));
  }
  void FlushArp() {
    if (cfg_.flush_arp) (void)DeleteArpTable();
  }
  bool Stopped() const { return stop_.IsSet(); }
  bool Pause(uint32_t ms) { return SleepUnlessStopped(ms, stop_, t_.slice_ms); }

  void AddressStep();
  // Removes the entries that match from the run. Each counts as failed: one
  // still waiting (0, 1) ends as not back in time, so its row and the
  // result say so; a refused one keeps its refusal.
  template <typename Pred>
  void Drop(Pred match) {
    for (Entry& e : entries_)
      if (match(e) && e.status >= 0) Post(e, kUpdateTimeout);
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), match), entries_.end());
  }
  void Uploads();
  bool WaitAndCheck();  // true when every started upload was verified
  bool FactoryAfter();  // true when every device came back at the factory address
  void StartCheck(size_t i, const DeviceRecord& reply);
  void TakeFinishedChecks();
  void TakeFinishedUploads();
  bool OpenClient(const TalqPorts& p, TalqClient* c) {
    *c = TalqClient{};
    if (TALQCLIENT_OpenPorts(c, p.bind, p.dest) == 0) return true;
    if (c->socket >= 0) TALQCLIENT_Close(&c->socket);
    return false;
  }
  DiscoveryWatchTimings WatchTimings(uint32_t tick_ms) const {
    DiscoveryWatchTimings w;
    w.broadcast_ms = t_.broadcast_ms;
    w.tick_ms = tick_ms;
    w.slice_ms = t_.slice_ms;
    return w;
  }

  const UpdateConfig& cfg_;
  const UpdateTimings& t_;
  const dk::StopFlag& stop_;
  MessageSink* sink_;
  std::string expected_;
  int32_t attempts_ = 4;
  std::vector<Entry> entries_;  // the selection list as the run changes it
  std::vector<Entry> all_;      // every configured device, for the result
  std::vector<std::atomic<uint64_t>> uploaded_;
  std::vector<UploadEnd> upload_ends_;
  int32_t started_ = 0;
  int32_t verified_ = 0;

  dk::StopFlag abort_;  // ends uploads and checks when the run ends; outlives them
  std::mutex done_mu_;
  std::vector<CheckDone> done_;
  int32_t checks_running_ = 0;
  std::vector<std::unique_ptr<dk::WorkerThread>> checks_;
  std::vector<std::unique_ptr<dk::WorkerThread>> uploads_;
};

void Run::AddressStep() {
  const TalqPorts ports = UpdateFirstPorts(cfg_.xflag);
  // CheckUpdateConfig has refused credentials over their limits: none is cut here.
  const std::string& id = cfg_.before_id;
  const std::string& pw = cfg_.before_password;
  int32_t accepted = 0, found = 0, offset = 0;
  for (Entry& e : entries_) {
    if (Stopped()) return;
    const int32_t last = IpOctet(cfg_.start_ip, 3) + offset++;
    if (last > 255) {
      // The start address plus the offset leaves the subnet: no address to offer.
      Post(e, kUpdateIpRefused);
      continue;
    }
    const uint32_t ip = IpFromOctets(IpOctet(cfg_.start_ip, 0), IpOctet(cfg_.start_ip, 1), IpOctet(cfg_.start_ip, 2),
                                     static_cast<uint8_t>(last));
    SetNetworkRequest req;
    if (FillSetNetworkRequest(e.rec, 1, id.c_str(), pw.c_str(), ip, cfg_.subnet_mask, cfg_.gateway,
                              cfg_.dns_server, &req) != 0)
      continue;
    const int32_t r = SendSetNetworkRequest(req, ports, t_.set_network);
    // Without a result the device may have taken the address or not.
    if (r == kSetNetworkNoAnswer || r == kSetNetworkSendFailed || r == -1) e.offered_ip = ip;
    if (r == 0) {
      // Only a device that took the address is looked for (and uploaded to) there.
      e.rec.ip = ip;
      e.rec.configured_ip = ip;
      e.rec.network_type = 1;
      Post(e, kUpdateIpAccepted);
      ++accepted;
    } else if (r == 2) {
      Post(e, kUpdateIpAuthRefused);
    } else if (r >= 0 || r == -1) {
      Post(e, kUpdateIpRefused);
    }
  }
  if (Stopped()) return;
  TalqClient client;
  if (!OpenClient(ports, &client)) {
    Drop([](const Entry&) { return true; });  // no device can be seen again
    return;
  }
  dk::TickTimer limit;
  limit.Start();
  bool leave = false;
  // A device whose result was lost may still be moving: before the limit
  // only an answer from the address it was sent counts; once the limit has
  // passed, a last round of broadcasts takes it wherever it answers then.
  auto unsure = [](const Entry& e) { return e.status == kUpdateQueued && e.offered_ip != 0; };
  const uint32_t last_round_ms = 2 * t_.broadcast_ms;
  DiscoveryWatchHooks hooks;
  hooks.active = [&] {
    if (leave) return false;
    const bool past = limit.Expired(t_.reappear_ms);
    const bool any_unsure = std::any_of(entries_.begin(), entries_.end(), unsure);
    if ((past && !any_unsure) || limit.Expired(t_.reappear_ms + last_round_ms)) {
      Drop([](const Entry& e) { return e.status < kUpdateFoundAgain; });
      return false;
    }
    return true;
  };
  hooks.reply = [&](const DeviceRecord& reply) {
    const bool past = limit.Expired(t_.reappear_ms);
    for (Entry& e : entries_) {
      if (e.status < 0 || e.status == kUpdateFoundAgain || std::memcmp(e.rec.mac, reply.mac, 6) != 0) continue;
      if (past && !unsure(e)) continue;  // the last round is for the unsure ones only
      // A device that took its new address counts once it answers from there.
      if (e.status == kUpdateIpAccepted && reply.ip != e.rec.ip) continue;
      if (unsure(e) && !past && reply.ip != e.offered_ip) continue;
      if (unsure(e) && reply.ip == e.offered_ip) {
        e.rec.configured_ip = e.offered_ip;
        e.rec.network_type = 1;
      }
      const bool was_accepted = e.status == kUpdateIpAccepted;
      e.rec.ip = reply.ip;  // the upload goes where the device answers from
      e.rec.web_port = reply.web_port;
      if (sink_) sink_->Post(MakeDeviceFound(reply));
      Post(e, kUpdateFoundAgain);
      if (was_accepted) ++found;
    }
    if (found >= accepted && !std::any_of(entries_.begin(), entries_.end(), unsure)) leave = true;
  };
  (void)WatchDiscovery(&client, WatchTimings(t_.reappear_ms + 1), stop_, hooks);
  TALQCLIENT_Close(&client.socket);
}

void Run::Uploads() {
  FlushArp();
  for (Entry& e : entries_) {
    if (Stopped()) return;
    char ip[16];
    UpdateJob job = MakeUpdateJob(cfg_.firmware_path, FormatIp(e.rec.ip, ip), cfg_.before_id.c_str(),
                                  cfg_.before_password.c_str(), e.rec.web_port, cfg_.type_index);
    job.timings = t_.upload;
    job.stop = &abort_;
    job.progress_ms = t_.progress_ms;
    std::atomic<uint64_t>* counter = &uploaded_[e.index];
    const size_t index = e.index;
    auto observer = cfg_.upload_progress;
    job.progress = [counter, index, observer](uint64_t sent) {
      counter->store(sent, std::memory_order_relaxed);
      if (observer) observer(index, sent);
    };
    UploadEnd* end = &upload_ends_[e.index];
    auto thread = std::make_unique<dk::WorkerThread>();
    bool ok = false;
    try {
      ok = thread->Start([job, end] {
        long http = 0;
        bool body_sent = false;
        int32_t rc = kUpdateUploadFailed;
        try {
          rc = UploadProc(job, nullptr, &http, &body_sent);
        } catch (...) {
          rc = kUpdateUploadFailed;
          body_sent = false;
        }
        end->rc.store(rc);
        end->http.store(http);
        end->body_sent.store(body_sent);
        end->ended.store(true, std::memory_order_release);
      });
    } catch (const std::exception&) {
      ok = false;
    }
    if (!ok) {
      Post(e, kUpdateUploadThreadFailed);
      continue;
    }
    // The head start: a longer upload goes on beside the next ones.
    dk::TickTimer head;
    head.Start();
    while (!Stopped() && !head.Expired(t_.head_start_ms)) {
      if (thread->WaitFor(std::min(t_.slice_ms, t_.head_start_ms - head.Elapsed()))) break;
    }
    uploads_.push_back(std::move(thread));
    e.upload_started = true;
    ++started_;
    Post(e, kUpdateUploadStarted);
    TakeFinishedUploads();  // an upload that failed within its head start says so at once
  }
  if (Stopped()) return;
  dk::TickTimer pause;
  pause.Start();
  while (!Stopped() && !pause.Expired(t_.after_uploads_ms)) {
    TakeFinishedUploads();
    dk::SleepMs(std::min<uint32_t>(t_.slice_ms, t_.after_uploads_ms - std::min(pause.Elapsed(), t_.after_uploads_ms)));
  }
  TakeFinishedUploads();
}

void Run::TakeFinishedUploads() {
  for (Entry& e : entries_) {
    if (!e.upload_started || e.upload_ended) continue;
    const UploadEnd& end = upload_ends_[e.index];
    if (!end.ended.load(std::memory_order_acquire)) continue;
    e.upload_ended = true;
    e.upload_http = end.http.load();
    all_[e.index] = e;
    const int32_t rc = end.rc.load();
    // An upload cut before its last byte, or refused, is final at once: the
    // device has nothing new to restart with, so it is neither waited for
    // nor checked. One that took every byte and then went without an answer
    // (empty reply, reset, a flash longer than the stall bound) may well be
    // restarting with its image: it is waited for and checked like any other.
    if (e.status < 0 || e.status >= kUpdateVerified) continue;
    if (rc == -1) {
      Post(e, kUpdateUploadNoHandle);
    } else if (rc != 0 && !end.body_sent.load()) {
      Post(e, kUpdateUploadFailed);
    } else if (e.upload_http >= 400) {
      Post(e, kUpdateUploadRefused);
    }
  }
}

void Run::StartCheck(size_t i, const DeviceRecord& reply) {
  Entry& e = entries_[i];
  char ip[16];
  FormatIp(reply.ip, ip);
  const std::string host = ip;
  const uint16_t port = reply.web_port == 0 ? 80 : reply.web_port;  // no web port item: the default port
  e.check_ip = reply.ip;
  e.check_port = port;
  all_[e.index] = e;
  const std::string user = cfg_.after_id, password = cfg_.after_password, expected = expected_;
  const int32_t attempts = attempts_;
  const uint32_t pause = t_.attempt_pause_ms, slice = t_.slice_ms;
  const HttpClientTimings http = t_.http;
  const dk::StopFlag* abort = &abort_;
  auto thread = std::make_unique<dk::WorkerThread>();
  bool ok = false;
  try {
    ok = thread->Start([this, i, host, port, user, password, expected, attempts, pause, slice, http, abort] {
      std::string version;
      try {
        DeviceHttpClient client(http);
        client.SetStopFlag(abort);
        for (int32_t a = 0; a < attempts; ++a) {
          if (!SleepUnlessStopped(pause, *abort, slice)) break;
          char value[kHttpValueSize] = {};
          (void)client.Request(host.c_str(), port, user.c_str(), password.c_str(), "general", "software_version",
                               value);
          version = Cut(value, 63);
          if (version == expected) break;
        }
      } catch (...) {
        version.clear();  // a check that faulted read nothing
      }
      std::lock_guard<std::mutex> lk(done_mu_);
      done_.push_back({i, version});
    });
  } catch (const std::exception&) {
    ok = false;
  }
  if (!ok) {
    // No check could be made for the device.
    Post(e, kUpdateWrongVersion);
    return;
  }
  e.checking = true;
  ++checks_running_;
  checks_.push_back(std::move(thread));
}

void Run::TakeFinishedChecks() {
  std::vector<CheckDone> done;
  {
    std::lock_guard<std::mutex> lk(done_mu_);
    done.swap(done_);
  }
  if (done.empty()) return;  // called on every pass of the wait loop: keep it cheap
  for (const CheckDone& d : done) {
    Entry& e = entries_[d.entry];
    e.checking = false;
    --checks_running_;
    e.has_version = true;
    e.version = d.version;
    if (d.version == expected_) {
      ++verified_;
      Post(e, kUpdateVerified, d.version.c_str());
    } else {
      Post(e, kUpdateWrongVersion, d.version.c_str());
    }
  }
  // Join the threads that have ended; the rest are joined at a later result or at the end.
  checks_.erase(std::remove_if(checks_.begin(), checks_.end(),
                               [](const std::unique_ptr<dk::WorkerThread>& t) { return !t->Running() && t->WaitFor(0); }),
                checks_.end());
}

bool Run::WaitAndCheck() {
  TalqClient client;
  if (!OpenClient(UpdateSecondPorts(cfg_.xflag), &client)) {
    // Without a client no device can be seen coming back.
    for (Entry& e : entries_)
      if (e.status >= 0 && e.status < kUpdateVerified) Post(e, kUpdateTimeout);
    return false;
  }
  auto waiting = [](const Entry& e) { return e.status >= 0 && e.status < kUpdateVerified; };
  dk::TickTimer overall;
  overall.Start();
  DiscoveryWatchHooks hooks;
  hooks.active = [&] {
    TakeFinishedUploads();
    TakeFinishedChecks();
    if (overall.Expired(t_.overall_ms)) return false;
    // Ends as soon as no entry can change any more.
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.checking || waiting(e); });
  };
  hooks.tick = [&] {
    for (Entry& e : entries_) {
      if (e.checking || !waiting(e)) continue;
      const int32_t v = e.status + 1;
      Post(e, v >= t_.give_up_status ? kUpdateTimeout : v);
    }
  };
  hooks.reply = [&](const DeviceRecord& reply) {
    for (size_t i = 0; i < entries_.size(); ++i) {
      Entry& e = entries_[i];
      if (e.checking || e.status < 0 || e.status >= t_.check_below || std::memcmp(e.rec.mac, reply.mac, 6) != 0)
        continue;
      // A device still taking its image has not restarted with it: a check
      // now would read the old version and fail a device that is fine.
      if (e.upload_started && !e.upload_ended) continue;
      // A device whose check cannot start now is checked at one of its next replies.
      if (checks_running_ >= std::max<int32_t>(1, t_.max_checks)) continue;
      StartCheck(i, reply);
    }
  };
  (void)WatchDiscovery(&client, WatchTimings(t_.tick_ms), stop_, hooks);
  TALQCLIENT_Close(&client.socket);
  if (Stopped()) return false;
  return started_ > 0 && verified_ == started_;
}

bool Run::FactoryAfter() {
  FactoryRequestGroup group;
  int32_t sent = 0, back = 0;
  bool all_started = true;
  for (size_t i = 0; i < entries_.size(); ++i) {
    Entry& e = entries_[i];
    if (Stopped()) return false;
    if (e.status <= 0) continue;
    char ip[16];
    FactoryDefaultParam p = MakeFactoryDefaultParam(FormatIp(e.rec.ip, ip), cfg_.after_id.c_str(),
                                                    cfg_.after_password.c_str(), e.rec.web_port);
    p.timings = t_.factory;
    e.factory_started = group.Start(p, i);
    all_started = all_started && e.factory_started;
    Post(e, e.factory_started ? kUpdateVerified : kUpdateFactoryThreadFailed, kInitFactoryText);
  }
  // A refused request is final at once, whenever its answer comes: during
  // the request wait or in the watch for the factory address after it.
  bool refused = false;
  auto take = [&] {
    for (const FactoryRequestGroup::Finished& f : group.TakeFinished()) {
      if (f.tag >= entries_.size() || f.rc != 0 || f.http < 400) continue;
      Entry& e = entries_[f.tag];
      e.factory_started = false;
      refused = true;
      Post(e, kUpdateFactoryRefused);
    }
  };
  (void)group.WaitAll(t_.factory_wait_ms, stop_, t_.slice_ms, take);
  take();
  if (Stopped()) return false;
  // Every device whose request went out is waited for, whether or not its
  // request thread has ended yet.
  for (Entry& e : entries_) {
    if (!e.factory_started) continue;
    Post(e, kUpdateVerified, kSetFactoryText);
    ++sent;
  }
  FlushArp();
  TalqClient client;
  if (!OpenClient(UpdateSecondPorts(cfg_.xflag), &client)) return false;
  dk::TickTimer overall;
  overall.Start();
  auto awaited = [](const Entry& e) { return e.factory_started && e.status == kUpdateVerified; };
  DiscoveryWatchHooks hooks;
  hooks.active = [&] {
    take();
    return std::any_of(entries_.begin(), entries_.end(), awaited) && !overall.Expired(t_.overall_ms);
  };
  hooks.reply = [&](const DeviceRecord& reply) {
    for (Entry& e : entries_) {
      if (!awaited(e) || std::memcmp(e.rec.mac, reply.mac, 6) != 0) continue;
      if (!IsFactoryAddress(reply)) continue;
      e.rec.ip = reply.ip;
      if (sink_) sink_->Post(MakeDeviceFound(reply));
      Post(e, kUpdateFactoryBack, kFactorySuccessfulText);
      ++back;
    }
  };
  (void)WatchDiscovery(&client, WatchTimings(t_.overall_ms), stop_, hooks);
  TALQCLIENT_Close(&client.socket);
  take();
  return !Stopped() && all_started && !refused && back == sent;
}

UpdateOutcome Run::Go() {
  if (!CheckUpdateConfig(cfg_).text.empty()) return UpdateOutcome::kFailed;  // nothing sent
  for (Entry& e : entries_) Post(e, kUpdateQueued);
  FlushArp();
  if (cfg_.ip_setting) {
    AddressStep();
    if (Stopped()) return UpdateOutcome::kStopped;
  }
  // Nothing left to update is a failure, not a success; so is a device that
  // left the run after the address step (it was not updated).
  if (entries_.empty()) return UpdateOutcome::kFailed;
  const bool dropped = entries_.size() < all_.size();
  Uploads();
  if (Stopped()) return UpdateOutcome::kStopped;
  const bool updated = WaitAndCheck() && !dropped;
  if (Stopped()) return UpdateOutcome::kStopped;
  if (!updated) return UpdateOutcome::kFailed;
  // Every started upload verified; the run succeeds only when that is every
  // device selected (none dropped in the address step, none without a thread).
  const bool everyone =
      std::all_of(all_.begin(), all_.end(), [](const Entry& e) { return e.status == kUpdateVerified; });
  if (cfg_.factory_after) {
    // The verified devices are reset as asked, also when another was lost.
    const bool reset = FactoryAfter();
    if (Stopped()) return UpdateOutcome::kStopped;
    if (!reset) return UpdateOutcome::kFailed;
  }
  return everyone ? UpdateOutcome::kSucceeded : UpdateOutcome::kFailed;
}

UpdateRunResult Run::Result(UpdateOutcome outcome) const {
  UpdateRunResult r;
  r.outcome = outcome;
  for (const Entry& e : all_) {
    const bool kept =
        std::any_of(entries_.begin(), entries_.end(), [&](const Entry& k) { return k.index == e.index; });
    UpdateDeviceResult d;
    std::memcpy(d.mac, e.rec.mac, 6);
    d.ip = e.rec.ip;
    d.check_ip = e.check_ip;
    d.check_port = e.check_port;
    d.upload_http = e.upload_http;
    d.status = e.status;
    d.text = UpdateStatusText(e.status, e.text);
    d.has_version = e.has_version;
    d.version = e.version;
    d.uploaded = uploaded_[e.index].load(std::memory_order_relaxed);
    d.dropped = !kept;
    r.devices.push_back(std::move(d));
  }
  return r;
}

}  // namespace

int32_t UpdateRun(const UpdateConfig& cfg, const dk::StopFlag& stop, MessageSink* sink, UpdateRunResult* result) {
  UpdateOutcome outcome = UpdateOutcome::kFault;
  try {
    Run run(cfg, stop, sink);
    outcome = run.Go();
    if (result) *result = run.Result(outcome);
  } catch (...) {
    outcome = UpdateOutcome::kFault;
    std::fprintf(stderr, "%s\n", kUpdateThreadFaultText);
  }
  try {
    if (sink && outcome != UpdateOutcome::kStopped) {
      WorkerMessage m = outcome == UpdateOutcome::kFault ? MakeText(UM_UPDATE_DONE, kUpdateThreadFaultText)
                                                         : MakeSignal(UM_UPDATE_DONE);
      m.wparam = outcome == UpdateOutcome::kSucceeded ? 0
                 : outcome == UpdateOutcome::kFailed  ? kUpdateDoneFailed
                                                      : kUpdateDoneFault;
      sink->Post(std::move(m));
    }
  } catch (...) {
    // Nothing left to report through.
  }
  switch (outcome) {
    case UpdateOutcome::kSucceeded: return 0;
    case UpdateOutcome::kFailed: return 1;
    case UpdateOutcome::kStopped: return 2;
    case UpdateOutcome::kFault: break;
  }
  return -1;
}

UpdateRunner::~UpdateRunner() { Stop(); }

bool UpdateRunner::Start(const UpdateConfig& cfg, MessageSink* sink) {
  if (thread_.Running()) return false;
  (void)thread_.WaitFor(0);  // joins a finished run
  stop_.Clear();
  stop_wait_ms_ = cfg.timings.stop_wait_ms;
  try {
    return thread_.Start([this, cfg, sink] { (void)UpdateRun(cfg, stop_, sink, nullptr); });
  } catch (const std::exception&) {
    return false;
  }
}

void UpdateRunner::Stop() {
  if (!thread_.Attached()) return;
  stop_.Set();
  (void)thread_.WaitFor(stop_wait_ms_);
}

bool UpdateRunner::Running() const { return thread_.Running(); }
