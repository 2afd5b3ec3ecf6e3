#include "sim/sim_core.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "engine/devices/device_record.h"

namespace dksim {

namespace {

uint64_t MacKey(const uint8_t mac[6]) {
  uint64_t k = 0;
  for (int i = 0; i < 6; ++i) k = (k << 8) | mac[i];
  return k;
}

const char* RequestName(const ParsedRequest& r) {
  switch (r.kind) {
    case RequestKind::kDiscovery: return "discovery";
    case RequestKind::kSetNetwork: return "set_network";
    case RequestKind::kCommand5: return "command5";
  }
  return "?";
}

struct HeapLater {
  template <class T>
  bool operator()(const T& a, const T& b) const {
    return a.due != b.due ? a.due > b.due : a.seq > b.seq;
  }
};

}  // namespace

SimOptions::SimOptions()
    : dhcp_first(IpFromOctets(10, 77, 200, 1)),
      dhcp_last(IpFromOctets(10, 77, 250, 254)),
      dhcp_mask(IpFromOctets(255, 255, 0, 0)),
      dhcp_gateway(IpFromOctets(10, 77, 0, 1)),
      dhcp_dns(IpFromOctets(10, 77, 0, 1)) {}

// ---------------------------------------------------------------------------
// TimerQueue

void TimerQueue::At(uint64_t due_us, Fn fn) {
  heap_.push_back(Item{due_us, seq_++, std::move(fn)});
  std::push_heap(heap_.begin(), heap_.end(), HeapLater{});
}

uint64_t TimerQueue::Next() const { return heap_.empty() ? UINT64_MAX : heap_.front().due; }

int TimerQueue::RunDue(uint64_t now_us, int max) {
  int ran = 0;
  while (!heap_.empty() && heap_.front().due <= now_us && ran < max) {
    std::pop_heap(heap_.begin(), heap_.end(), HeapLater{});
    Fn fn = std::move(heap_.back().fn);
    heap_.pop_back();
    fn();
    ++ran;
  }
  return ran;
}

// ---------------------------------------------------------------------------
// Simulator

Simulator::Simulator(std::vector<SimDeviceConfig> fleet, const SimOptions& opt, SimIo* io, EventLog* log)
    : opt_(opt), io_(io), log_(log ? log : &null_log_), rng_(opt.seed) {
  devices_.reserve(fleet.size());
  for (size_t i = 0; i < fleet.size(); ++i) {
    SimDevice d;
    d.cfg = fleet[i];
    d.fleet = fleet[i];
    by_mac_.emplace(MacKey(d.cfg.mac), static_cast<int>(i));
    devices_.push_back(std::move(d));
  }
  start_us_ = io_->NowUs();
}

void Simulator::Start() {
  for (size_t i = 0; i < devices_.size(); ++i) HoldAddress(static_cast<int>(i));
}

void Simulator::Stop() {
  for (size_t i = 0; i < devices_.size(); ++i) ReleaseAddress(static_cast<int>(i));
}

uint64_t Simulator::RunDue(uint64_t early_us) {
  timers_.RunDue(io_->NowUs() + early_us);
  return timers_.Next();
}

int Simulator::FindByMac(const uint8_t mac[6]) const {
  auto it = by_mac_.find(MacKey(mac));
  return it == by_mac_.end() ? -1 : it->second;
}

void Simulator::HoldAddress(int dev) {
  SimDevice& d = devices_[static_cast<size_t>(dev)];
  const uint32_t ip = d.cfg.ip;
  if (d.held_ip == ip && ip != 0) return;
  ReleaseAddress(dev);
  by_ip_[ip].push_back(dev);
  if (addr_refs_[ip]++ == 0) io_->AddressUp(ip);
  d.held_ip = ip;
}

void Simulator::ReleaseAddress(int dev) {
  SimDevice& d = devices_[static_cast<size_t>(dev)];
  if (d.held_ip == 0) return;
  const uint32_t ip = d.held_ip;
  d.held_ip = 0;
  auto it = by_ip_.find(ip);
  if (it != by_ip_.end()) {
    auto& v = it->second;
    v.erase(std::remove(v.begin(), v.end(), dev), v.end());
    if (v.empty()) by_ip_.erase(it);
  }
  auto r = addr_refs_.find(ip);
  if (r != addr_refs_.end() && --r->second <= 0) {
    addr_refs_.erase(r);
    io_->AddressDown(ip);
  }
}

void Simulator::OnDatagram(uint16_t local_port, uint32_t from_ip, uint16_t from_port, uint32_t dst_ip,
                           const uint8_t* data, size_t len) {
  ParsedRequest r;
  const int rc = ParseRequest(data, len, &r);
  if (rc != 0) {
    if (log_->enabled())
      log_->Write(Line("datagram_rejected")
                      .Num("port", local_port)
                      .Ip("from", from_ip)
                      .Num("from_port", from_port)
                      .Num("len", static_cast<int64_t>(len))
                      .Str("reason", ParseErrorText(rc))
                      .Finish());
    return;
  }
  if (r.kind == RequestKind::kDiscovery) {
    HandleDiscovery(local_port, from_ip, from_port, dst_ip);
  } else {
    HandleAddressed(local_port, from_ip, from_port, r);
  }
}

void Simulator::HandleDiscovery(uint16_t local_port, uint32_t from_ip, uint16_t from_port, uint32_t dst_ip) {
  const uint64_t now = io_->NowUs();
  const uint64_t id = next_round_++;
  Round round;
  round.start_us = now;
  round.port = local_port;
  round.from_ip = from_ip;
  round.from_port = from_port;
  // A request sent to one device's own address reaches only that device.
  const std::vector<int>* only = nullptr;
  auto held = by_ip_.find(dst_ip);
  if (held != by_ip_.end()) only = &held->second;
  const size_t n = only ? only->size() : devices_.size();
  if (log_->enabled())
    log_->Write(Line("discovery_request")
                    .Num("round", static_cast<int64_t>(id))
                    .Num("port", local_port)
                    .Ip("from", from_ip)
                    .Num("from_port", from_port)
                    .Ip("to", dst_ip)
                    .Finish());
  for (size_t k = 0; k < n; ++k) {
    const int i = only ? (*only)[k] : static_cast<int>(k);
    SimDevice& d = devices_[static_cast<size_t>(i)];
    const char* drop = nullptr;
    if (d.state != DevState::kUp) drop = d.state == DevState::kDead ? "never answers again" : "restarting";
    else if (d.cfg.faults & kFaultNoDiscovery) drop = "no-discovery fault";
    else if (d.pending >= opt_.max_pending_replies) drop = "reply queue full";
    if (drop) {
      ++round.dropped;
      if (log_->enabled() && opt_.log_each_discovery)
        log_->Write(Line("discovery_dropped").Dev(i, d.cfg.mac).Num("round", int64_t(id)).Str("reason", drop).Finish());
      continue;
    }
    uint64_t delay_us = rng_.Range(uint64_t(opt_.timings.spread_min_ms) * 1000, uint64_t(opt_.timings.spread_max_ms) * 1000);
    if (d.cfg.faults & kFaultLate) delay_us += uint64_t(opt_.timings.late_ms) * 1000;
    const uint64_t planned = now + delay_us;
    ++d.pending;
    ++round.pending;
    timers_.At(planned, [this, i, local_port, from_port, id, planned] {
      SendDiscoveryReply(i, local_port, from_port, id, planned);
    });
  }
  if (round.pending == 0) {
    if (log_->enabled())
      log_->Write(Line("discovery_done")
                      .Num("round", int64_t(id))
                      .Num("answered", 0)
                      .Num("dropped", round.dropped)
                      .Num("span_ms", 0)
                      .Num("max_late_us", 0)
                      .Finish());
    return;
  }
  rounds_.emplace(id, round);
}

void Simulator::SendDiscoveryReply(int dev, uint16_t local_port, uint16_t dst_port, uint64_t round, uint64_t planned) {
  SimDevice& d = devices_[static_cast<size_t>(dev)];
  if (d.pending > 0) --d.pending;
  const uint64_t now = io_->NowUs();
  const uint64_t late = now > planned ? now - planned : 0;
  if (d.state != DevState::kUp) {
    if (log_->enabled() && opt_.log_each_discovery)
      log_->Write(Line("discovery_dropped").Dev(dev, d.cfg.mac).Num("round", int64_t(round)).Str("reason", "went silent").Finish());
    FinishRoundReply(round, false, now, late);
    return;
  }
  uint8_t buf[kMaxReply];
  const int n = BuildDiscoveryReply(d.cfg, (d.cfg.faults & kFaultBadLength) ? 1 : 0, buf, sizeof buf);
  bool sent = false;
  if (n > 0) {
    if (d.cfg.faults & kFaultGarbage) SendGarbage(dev, local_port, dst_port, buf, static_cast<size_t>(n));
    sent = io_->SendBroadcast(local_port, d.cfg.ip, dst_port, buf, static_cast<size_t>(n)) == 0;
  }
  if (sent) {
    ++d.answered;
    ++replies_sent_;
  }
  max_late_us_ = std::max(max_late_us_, late);
  if (log_->enabled() && opt_.log_each_discovery)
    log_->Write(Line(sent ? "discovery_answered" : "discovery_send_failed")
                    .Dev(dev, d.cfg.mac)
                    .Num("round", int64_t(round))
                    .Ip("ip", d.cfg.ip)
                    .Num("to_port", dst_port)
                    .Num("late_us", int64_t(late))
                    .Finish());
  FinishRoundReply(round, sent, now, late);
}

void Simulator::FinishRoundReply(uint64_t id, bool answered, uint64_t now_us, uint64_t late_us) {
  auto it = rounds_.find(id);
  if (it == rounds_.end()) return;
  Round& r = it->second;
  if (answered) ++r.answered;
  else ++r.dropped;
  r.last_us = now_us;
  r.max_late_us = std::max(r.max_late_us, late_us);
  if (--r.pending > 0) return;
  if (log_->enabled())
    log_->Write(Line("discovery_done")
                    .Num("round", int64_t(id))
                    .Num("port", r.port)
                    .Ip("from", r.from_ip)
                    .Num("answered", r.answered)
                    .Num("dropped", r.dropped)
                    .Num("span_ms", int64_t((r.last_us - r.start_us) / 1000))
                    .Num("max_late_us", int64_t(r.max_late_us))
                    .Finish());
  rounds_.erase(it);
}

void Simulator::SendGarbage(int dev, uint16_t local_port, uint16_t dst_port, const uint8_t* reply, size_t len) {
  const SimDevice& d = devices_[static_cast<size_t>(dev)];
  // Junk without the reply magic, then the reply cut short with its full length field.
  uint8_t junk[64];
  const size_t jn = static_cast<size_t>(rng_.Range(1, sizeof junk));
  for (size_t i = 0; i < jn; ++i) junk[i] = static_cast<uint8_t>(rng_.Next());
  if (junk[0] == 'T') junk[0] = 'X';
  io_->SendBroadcast(local_port, d.cfg.ip, dst_port, junk, jn);
  if (len > 8) io_->SendBroadcast(local_port, d.cfg.ip, dst_port, reply, len / 2);
  if (log_->enabled())
    log_->Write(Line("garbage_sent").Dev(dev, d.cfg.mac).Num("junk_len", int64_t(jn)).Num("cut_len", int64_t(len / 2)).Finish());
}

bool Simulator::CredentialsOk(const SimDevice& d, const uint8_t id[8], const char* password) const {
  if (d.cfg.faults & kFaultAuthRefuse) return false;
  uint8_t want[8] = {};
  std::memcpy(want, d.cfg.user.data(), std::min<size_t>(8, d.cfg.user.size()));
  if (std::memcmp(want, id, 8) != 0) return false;
  // The credential block carries at most 16 characters of the password.
  return d.cfg.password.substr(0, 16) == password;
}

bool Simulator::HttpCredentialsOk(const SimDevice& d, const std::string& user, const std::string& password) const {
  if (d.cfg.faults & kFaultAuthRefuse) return false;
  return user == d.cfg.user && password == d.cfg.password;
}

void Simulator::HandleAddressed(uint16_t local_port, uint32_t from_ip, uint16_t from_port, const ParsedRequest& r) {
  const int dev = FindByMac(r.mac);
  char id[9];
  AdminIdText(r.admin_id, id);
  if (dev < 0) {
    if (log_->enabled())
      log_->Write(Line("request_unmatched").Str("request", RequestName(r)).Mac("mac", r.mac).Ip("from", from_ip).Finish());
    return;
  }
  SimDevice& d = devices_[static_cast<size_t>(dev)];
  if (d.state != DevState::kUp) {
    if (log_->enabled())
      log_->Write(Line("request_ignored")
                      .Dev(dev, d.cfg.mac)
                      .Str("request", RequestName(r))
                      .Str("reason", d.state == DevState::kDead ? "never answers again" : "restarting")
                      .Finish());
    return;
  }
  if (r.kind == RequestKind::kSetNetwork) {
    HandleSetNetwork(dev, local_port, from_ip, from_port, r);
    return;
  }
  // Command 5: checked like any request, but this device model does not act on it.
  const bool ok = CredentialsOk(d, r.admin_id, r.password);
  const uint8_t code = ok ? kResultUnsupported : kResultAuth;
  if (log_->enabled())
    log_->Write(Line("command5")
                    .Dev(dev, d.cfg.mac)
                    .Bytes("id", id, std::strlen(id))
                    .Num("flag", r.flag)
                    .Num("result", code)
                    .Finish());
  SendResult(dev, local_port, from_port, code);
}

void Simulator::HandleSetNetwork(int dev, uint16_t local_port, uint32_t from_ip, uint16_t from_port,
                                 const ParsedRequest& r) {
  SimDevice& d = devices_[static_cast<size_t>(dev)];
  char id[9];
  AdminIdText(r.admin_id, id);
  uint8_t code = kResultOk;
  const char* reason = "accepted";
  if (!CredentialsOk(d, r.admin_id, r.password)) {
    code = kResultAuth;
    reason = (d.cfg.faults & kFaultAuthRefuse) ? "auth-refuse fault" : "wrong credentials";
  } else if (r.unknown_type) {
    code = kResultInvalid;
    reason = "unknown network type";
  } else if (r.network_type == 3) {
    code = kResultUnsupported;
    reason = "network type 3 not supported";
  } else if (r.network_type == 1 && !IpUsableForHost(r.ip)) {
    code = kResultInvalid;
    reason = "invalid address";
  } else if (r.network_type == 1 && !MaskIsContiguous(r.mask)) {
    code = kResultInvalid;
    reason = "invalid subnet mask";
  }
  if (log_->enabled()) {
    JsonLine l = Line("set_network");
    l.Dev(dev, d.cfg.mac)
        .Ip("from", from_ip)
        .Bytes("id", id, std::strlen(id))
        .Num("device_byte", r.device_byte)
        .Num("type", r.network_type)
        .Num("result", code)
        .Str("reason", reason);
    if (r.network_type == 1) l.Ip("ip", r.ip).Ip("mask", r.mask).Ip("gateway", r.gateway).Ip("dns", r.dns);
    if (r.network_type == 2)
      l.Str("pppoe1", r.pppoe1).Str("pppoe2", r.pppoe2).Str("pppoe3", r.pppoe3).Num("pppoe_value1", r.pppoe_value1)
          .Num("pppoe_value2", r.pppoe_value2).Num("pppoe_value3", r.pppoe_value3);
    if (r.network_type == 3) l.Str("text1", r.text1).Str("text2", r.text2);
    log_->Write(l.Finish());
  }
  if (!(d.cfg.faults & kFaultResultLost)) SendResult(dev, local_port, from_port, code);
  if (code != kResultOk) return;
  if (d.cfg.faults & kFaultNoMove) {
    if (log_->enabled()) log_->Write(Line("move_skipped").Dev(dev, d.cfg.mac).Str("reason", "no-move fault").Finish());
    return;
  }
  const uint32_t epoch = d.epoch;
  auto req = std::make_shared<ParsedRequest>(r);
  const uint32_t delay = (d.cfg.faults & kFaultMoveLate) ? opt_.timings.move_late_ms : opt_.timings.move_delay_ms;
  timers_.At(io_->NowUs() + uint64_t(delay) * 1000, [this, dev, epoch, req] {
    SimDevice& dd = devices_[static_cast<size_t>(dev)];
    if (dd.epoch != epoch || dd.state != DevState::kUp) return;  // restarted or reset meanwhile
    ApplySetNetwork(dev, *req);
  });
}

void Simulator::SendResult(int dev, uint16_t local_port, uint16_t dst_port, uint8_t code) {
  const SimDevice& d = devices_[static_cast<size_t>(dev)];
  uint8_t buf[8];
  const int n = BuildResultReply(d.cfg.reply_version, code, (d.cfg.faults & kFaultBadLength) ? 1 : 0, buf, sizeof buf);
  if (d.cfg.faults & kFaultGarbage) SendGarbage(dev, local_port, dst_port, buf, static_cast<size_t>(n));
  io_->SendBroadcast(local_port, d.cfg.ip, dst_port, buf, static_cast<size_t>(n));
}

uint32_t Simulator::LeaseAddress(int dev) {
  const uint32_t first = IpToHostOrder(opt_.dhcp_first), last = IpToHostOrder(opt_.dhcp_last);
  if (last < first) return 0;
  const uint64_t size = uint64_t(last) - first + 1;
  const uint32_t own = devices_[static_cast<size_t>(dev)].cfg.ip;
  for (uint64_t k = 0; k < size && k < (1u << 20); ++k) {
    const uint32_t h = first + static_cast<uint32_t>((dhcp_cursor_ + k) % size);
    const uint32_t ip = IpFromHostOrder(h);
    if ((h & 0xFF) == 0 || (h & 0xFF) == 255 || !IpUsableForHost(ip)) continue;
    if (ip != own && addr_refs_.count(ip)) continue;
    dhcp_cursor_ = static_cast<uint32_t>((dhcp_cursor_ + k + 1) % size);
    return ip;
  }
  return 0;
}

void Simulator::MoveTo(int dev, uint32_t ip) {
  SimDevice& d = devices_[static_cast<size_t>(dev)];
  const uint32_t from = d.cfg.ip;
  if (from != ip) {
    d.cfg.ip = ip;
    HoldAddress(dev);
  }
  if (log_->enabled())
    log_->Write(Line("moved").Dev(dev, d.cfg.mac).Ip("from", from).Ip("to", ip).Num("type", d.cfg.network_type).Finish());
}

void Simulator::ApplySetNetwork(int dev, const ParsedRequest& r) {
  SimDevice& d = devices_[static_cast<size_t>(dev)];
  if (r.network_type == 1) {
    d.cfg.network_type = 1;
    d.cfg.mask = r.mask;
    d.cfg.gateway = r.gateway;
    d.cfg.dns = r.dns;
    MoveTo(dev, r.ip);
  } else if (r.network_type == 0) {
    const uint32_t lease = LeaseAddress(dev);
    d.cfg.network_type = 0;
    if (lease == 0) {
      if (log_->enabled()) log_->Write(Line("dhcp_pool_empty").Dev(dev, d.cfg.mac).Finish());
    } else {
      d.cfg.mask = opt_.dhcp_mask;
      d.cfg.gateway = opt_.dhcp_gateway;
      d.cfg.dns = opt_.dhcp_dns;
      MoveTo(dev, lease);
    }
  } else if (r.network_type == 2) {
    d.cfg.network_type = 2;
    d.cfg.pppoe1 = r.pppoe1;
    d.cfg.pppoe2 = r.pppoe2;
    d.cfg.pppoe3 = r.pppoe3;
    d.cfg.pppoe_value1 = r.pppoe_value1;
    d.cfg.pppoe_value2 = r.pppoe_value2;
    d.cfg.pppoe_value3 = r.pppoe_value3;
    if (log_->enabled()) log_->Write(Line("pppoe_stored").Dev(dev, d.cfg.mac).Str("pppoe1", d.cfg.pppoe1).Finish());
  }
  if (d.cfg.faults & kFaultMoveSilent) {
    d.state = DevState::kDead;
    if (log_->enabled()) log_->Write(Line("silent_forever").Dev(dev, d.cfg.mac).Ip("ip", d.cfg.ip).Finish());
  }
}

void Simulator::GoSilent(int dev, uint32_t duration_ms, const char* why, std::function<void(SimDevice&)> back) {
  SimDevice& d = devices_[static_cast<size_t>(dev)];
  d.state = DevState::kSilent;
  const uint32_t epoch = ++d.epoch;
  const uint64_t now = io_->NowUs();
  if (log_->enabled())
    log_->Write(Line("silent").Dev(dev, d.cfg.mac).Str("why", why).Num("ms", duration_ms).Finish());
  const uint64_t grace = uint64_t(opt_.timings.grace_ms) * 1000;
  timers_.At(now + grace, [this, dev, epoch] {
    if (devices_[static_cast<size_t>(dev)].epoch == epoch) ReleaseAddress(dev);
  });
  const uint64_t until = now + std::max<uint64_t>(uint64_t(duration_ms) * 1000, grace + 1000);
  timers_.At(until, [this, dev, epoch, back = std::move(back)] {
    SimDevice& dd = devices_[static_cast<size_t>(dev)];
    if (dd.epoch != epoch) return;
    back(dd);
    if (dd.state == DevState::kDead) return;  // the address stays released
    dd.state = DevState::kUp;
    HoldAddress(dev);
    if (log_->enabled())
      log_->Write(Line("back")
                      .Dev(dev, dd.cfg.mac)
                      .Ip("ip", dd.cfg.ip)
                      .Num("web_port", dd.cfg.web_port)
                      .Str("firmware", dd.cfg.firmware)
                      .Finish());
  });
}

int Simulator::DeviceAt(uint32_t local_ip, uint16_t local_port) const {
  auto it = by_ip_.find(local_ip);
  if (it == by_ip_.end()) return -1;
  int fallback = -1;
  for (int dev : it->second) {
    const SimDevice& d = devices_[static_cast<size_t>(dev)];
    if (d.cfg.web_port != local_port) continue;
    if (d.state == DevState::kUp) return dev;
    if (fallback < 0) fallback = dev;
  }
  return fallback;
}

bool Simulator::RefusesConnection(int dev) const {
  if (dev < 0) return true;
  const SimDevice& d = devices_[static_cast<size_t>(dev)];
  return d.state != DevState::kUp || (d.cfg.faults & kFaultHttpRefuse);
}

void Simulator::LogHttp(const char* event, int dev, const ConnInfo& c, const std::string& detail) {
  if (!log_->enabled()) return;
  JsonLine l = Line(event);
  if (dev >= 0) l.Dev(dev, devices_[static_cast<size_t>(dev)].cfg.mac);
  l.Ip("ip", c.local_ip).Num("port", c.local_port).Ip("from", c.peer_ip).Num("conn", int64_t(c.id));
  if (!detail.empty()) l.Str("detail", detail);
  log_->Write(l.Finish());
}

HttpVerdict Simulator::OnHttpHead(int dev, const ConnInfo& c, const HttpHead& h) {
  SimDevice& d = devices_[static_cast<size_t>(dev)];
  if (log_->enabled()) {
    JsonLine l = Line("http_request");
    l.Dev(dev, d.cfg.mac).Ip("ip", c.local_ip).Num("port", c.local_port).Ip("from", c.peer_ip).Num("conn", int64_t(c.id));
    l.Bytes("line", h.request_line.data(), std::min<size_t>(h.request_line.size(), 1024));
    if (h.content_length >= 0) l.Num("content_length", h.content_length);
    if (h.chunked) l.Bool("chunked", true);
    log_->Write(l.Finish());
  }
  HttpVerdict v;
  if (d.cfg.faults & kFaultHttpHang) {
    v.kind = HttpVerdict::kHang;
    return v;
  }
  auto respond = [&](int status, std::string body) {
    v.kind = HttpVerdict::kRespond;
    v.status = status;
    v.body = std::move(body);
    return v;
  };
  const bool get = h.method == "GET";
  const bool post = h.method == "POST";
  std::string user, pwd, value;
  QueryValue(h.query, "USER", &user);
  QueryValue(h.query, "PWD", &pwd);
  if (h.path == "/GetValue.asp") {
    if (!get) return respond(405, "");
    if (!HttpCredentialsOk(d, user, pwd)) return respond(401, "");
    std::string conf, item;
    QueryValue(h.query, "CONF", &conf);
    QueryValue(h.query, "ITEM", &item);
    if (conf == "general" && item == "software_version") return respond(200, d.cfg.firmware + "\r\n");
    return respond(404, "");
  }
  if (h.path == "/SysCommand.asp") {
    if (!get) return respond(405, "");
    std::string type;
    QueryValue(h.query, "TYPE", &type);
    if (type != "serial" && type != "factoryDefault") return respond(404, "");
    if (!HttpCredentialsOk(d, user, pwd)) {
      LogHttp("http_auth_refused", dev, c, type);
      return respond(401, "");
    }
    if (type == "serial") return respond(200, d.cfg.serial + "\r\n");
    if (d.cfg.faults & kFaultFactoryRefuseLate) {
      LogHttp("http_auth_refused", dev, c, "factory-refuse-late fault");
      respond(401, "");
      v.delay_ms = opt_.timings.refuse_delay_ms;
      return v;
    }
    if (d.cfg.faults & kFaultResetIgnore) {
      LogHttp("factory_reset_ignored", dev, c, "reset-ignore fault");
      return respond(200, "OK\r\n");
    }
    if (log_->enabled()) log_->Write(Line("factory_reset").Dev(dev, d.cfg.mac).Ip("ip", d.cfg.ip).Finish());
    GoSilent(dev, opt_.timings.reset_delay_ms, "factory default", [this, dev](SimDevice& dd) {
      // "reset-keep-ip" keeps its network settings, so it answers from where it was.
      if (!(dd.cfg.faults & kFaultResetKeepIp)) {
        dd.cfg.network_type = 1;
        dd.cfg.ip = FactoryIp();
        dd.cfg.mask = IpFromOctets(255, 255, 255, 0);
        dd.cfg.gateway = IpFromOctets(192, 168, 1, 1);
        dd.cfg.dns = IpFromOctets(192, 168, 1, 1);
      }
      dd.cfg.web_port = 80;
      dd.cfg.pppoe1.clear();
      dd.cfg.pppoe2.clear();
      dd.cfg.pppoe3.clear();
      dd.cfg.pppoe_value1 = dd.cfg.pppoe_value3 = 0;
      dd.cfg.pppoe_value2 = 0;
      dd.cfg.user = dd.fleet.user;
      dd.cfg.password = dd.fleet.password;
      if (log_->enabled()) log_->Write(Line("reset").Dev(dev, dd.cfg.mac).Ip("ip", dd.cfg.ip).Finish());
    });
    return respond(200, "OK\r\n");
  }
  if (h.path == "/cgi-bin/GetJsonValue.cgi") {
    if (!post) return respond(405, "");
    std::string type;
    if (!QueryValue(h.query, "TYPE", &type) || type != "json") return respond(404, "");
    v.kind = HttpVerdict::kReadBody;
    return v;
  }
  if (h.path == "/cgi-bin/upload.cgi" || h.path == "/cgi-bin/Upload.cgi") {
    if (!post) return respond(405, "");
    v.kind = HttpVerdict::kUpload;
    v.upload_field = h.path == "/cgi-bin/upload.cgi" ? "_f_l_a_s_h_3_" : "FirmwareFile";
    return v;
  }
  return respond(404, "");
}

HttpVerdict Simulator::OnHttpBody(int dev, const ConnInfo& c, const HttpHead& h, const std::string& body) {
  (void)h;
  SimDevice& d = devices_[static_cast<size_t>(dev)];
  HttpVerdict v;
  std::string user, pwd, data;
  if (!JsonStringMember(body, "data", &data)) {
    LogHttp("http_rejected", dev, c, "JSON body without data member");
    v.status = 400;
    return v;
  }
  JsonStringMember(body, "username", &user);
  JsonStringMember(body, "password", &pwd);
  if (!HttpCredentialsOk(d, user, pwd)) {
    LogHttp("http_auth_refused", dev, c, "json");
    v.status = 401;
    return v;
  }
  if (data != "All.General.SystemMode.VALUE") {
    v.status = 404;
    return v;
  }
  v.status = 200;
  v.content_type = "application/json";
  v.body = d.cfg.mode == SystemMode::kDecoder ? "\"decoder\"\r\n" : "\"encoder\"\r\n";
  return v;
}

HttpVerdict Simulator::OnUploadEnd(int dev, const ConnInfo& c, const UploadResult& r) {
  SimDevice& d = devices_[static_cast<size_t>(dev)];
  if (log_->enabled()) {
    JsonLine l = Line("upload");
    l.Dev(dev, d.cfg.mac).Num("conn", int64_t(c.id)).Num("body_bytes", int64_t(r.body_bytes)).Num("bytes", int64_t(r.file_bytes));
    l.Bool("complete", r.body_complete).Bool("field_found", r.field_found).Bool("header", r.has_header);
    if (r.has_header) l.Str("version", r.version);
    l.Bytes("filename", r.filename.data(), std::min<size_t>(r.filename.size(), 1024));
    if (!r.saved_path.empty()) l.Str("saved", r.saved_path);
    log_->Write(l.Finish());
  }
  HttpVerdict v;
  if (!r.body_complete || !r.field_found) {
    v.status = 400;
    return v;
  }
  if (d.cfg.faults & kFaultUploadRefuse) {
    LogHttp("upload_refused", dev, c, "upload-refuse fault");
    v.status = 500;
    return v;
  }
  // "wrong-version" ignores the image's version; "no-return" never comes back.
  const bool header = r.has_header && !(d.cfg.faults & kFaultWrongVersion);
  const bool no_return = (d.cfg.faults & kFaultNoReturn) != 0;
  const std::string version = r.version;
  if (log_->enabled())
    log_->Write(Line("restart").Dev(dev, d.cfg.mac).Num("ms", opt_.timings.restart_ms)
                    .Str("version", header ? version : d.cfg.firmware).Finish());
  // "upload-reset" restarts as soon as the image is in, without an answer.
  if (d.cfg.faults & kFaultUploadReset) {
    LogHttp("upload_reset", dev, c, "upload-reset fault");
    v.reset = true;
  }
  GoSilent(dev, opt_.timings.restart_ms, "firmware restart", [this, dev, header, version, no_return](SimDevice& dd) {
    if (no_return) {
      dd.state = DevState::kDead;
      if (log_->enabled()) log_->Write(Line("silent_forever").Dev(dev, dd.cfg.mac).Ip("ip", dd.cfg.ip).Finish());
      return;
    }
    if (header) dd.cfg.firmware = version;
  });
  if (v.reset) return v;
  v.status = 200;
  v.body = "OK\r\n";
  return v;
}

void Simulator::OnUploadCut(int dev, const ConnInfo& c, uint64_t body_bytes) {
  LogHttp("upload_cut", dev, c, std::to_string(body_bytes) + " bytes");
}

}  // namespace dksim
