#include "tests/support/fake_talq_device.h"

#include <cstring>

#include "engine/devices/device_record.h"
#include "platform/socket.h"
#include "platform/ticks.h"
#include "sim/sim_wire.h"

namespace dktest {

namespace {
const uint32_t kLoopback = IpFromOctets(127, 0, 0, 1);
}  // namespace

dksim::SimDeviceConfig TestDevice(uint8_t mac_last, const std::string& model) {
  dksim::SimDeviceConfig d;
  const uint8_t mac[6] = {0x00, 0x1C, 0x63, 0x10, 0x20, mac_last};
  std::memcpy(d.mac, mac, 6);
  d.device_byte = 0x42;
  d.model = model;
  d.text2 = "second";
  d.text3 = "third";
  d.ip = IpFromOctets(192, 168, 1, mac_last);
  d.mask = IpFromOctets(255, 255, 255, 0);
  d.gateway = IpFromOctets(192, 168, 1, 1);
  d.dns = IpFromOctets(8, 8, 8, 8);
  d.av_port1 = 554;
  d.items = dksim::kItemMaskWeb | dksim::kItemMaskAv1;
  return d;
}

std::vector<uint8_t> DiscoveryReply(const dksim::SimDeviceConfig& d) {
  uint8_t buf[dksim::kMaxReply];
  const int n = dksim::BuildDiscoveryReply(d, 0, buf, sizeof buf);
  return n > 0 ? std::vector<uint8_t>(buf, buf + n) : std::vector<uint8_t>();
}

FakeTalqDevices::FakeTalqDevices(uint16_t port, std::vector<Device> devices, uint32_t life_ms)
    : devices_(std::move(devices)) {
  sock_ = dk::UdpOpen();
  ok_ = sock_ >= 0 && dk::SocketBind(sock_, kLoopback, port) == 0;
  for (const Device& d : devices_) {
    if (!d.reply_from || SenderFor(d.reply_from) >= 0) continue;
    const int s = dk::UdpOpen();
    ok_ = ok_ && s >= 0 && dk::SocketBind(s, d.reply_from, 0) == 0;
    senders_.push_back({d.reply_from, s});
  }
  if (ok_) thread_ = std::thread([this, life_ms] { Run(life_ms); });
}

FakeTalqDevices::~FakeTalqDevices() {
  stop_.Set();
  if (thread_.joinable()) thread_.join();
  for (auto& [ip, s] : senders_)
    if (s >= 0) dk::SocketClose(s);
  if (sock_ >= 0) dk::SocketClose(sock_);
}

std::vector<std::vector<uint8_t>> FakeTalqDevices::SetNetworkRequests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return set_network_;
}

int FakeTalqDevices::SenderFor(uint32_t ip) const {
  if (!ip) return sock_;
  for (const auto& [from, s] : senders_)
    if (from == ip) return s;
  return -1;
}

void FakeTalqDevices::Run(uint32_t life_ms) {
  dk::TickTimer life;
  life.Start();
  while (!stop_.IsSet() && !life.Expired(life_ms)) {
    if (dk::SocketWaitReadable(sock_, 0, 20000) != 1) continue;
    uint8_t b[1500];
    uint32_t ip = 0;
    uint16_t port = 0;
    const int n = dk::UdpRecvFrom(sock_, b, sizeof b, &ip, &port);
    dksim::ParsedRequest req;
    if (n <= 0 || dksim::ParseRequest(b, size_t(n), &req) != 0) continue;
    if (req.kind == dksim::RequestKind::kDiscovery) {
      discovery_.fetch_add(1);
      for (const Device& d : devices_) {
        if (d.answers_discovery && !d.answers_discovery()) continue;
        const std::vector<uint8_t> r = DiscoveryReply(d.cfg);
        dk::UdpSendTo(SenderFor(d.reply_from), r.data(), r.size(), ip, port);
      }
    } else if (req.kind == dksim::RequestKind::kSetNetwork) {
      {
        std::lock_guard<std::mutex> lock(mu_);
        set_network_.emplace_back(b, b + n);
      }
      for (const Device& d : devices_) {
        if (std::memcmp(d.cfg.mac, req.mac, 6) != 0 || d.set_network_result < 0) continue;
        uint8_t r[8];
        const int rn = dksim::BuildResultReply(d.cfg.reply_version, uint8_t(d.set_network_result), 0, r, sizeof r);
        if (rn > 0) dk::UdpSendTo(SenderFor(d.reply_from), r, size_t(rn), ip, port);
      }
    }
  }
}

}  // namespace dktest
