#include "tests/segment/segment_support.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/ticks.h"
#include "sim/sim_fleet.h"
#include "tests/support/wait.h"

namespace segtest {

uint64_t MacKey(const uint8_t mac[6]) {
  uint64_t k = 0;
  for (int i = 0; i < 6; ++i) k = (k << 8) | mac[i];
  return k;
}

std::string IpText(uint32_t ip) {
  char b[16];
  return FormatIp(ip, b);
}

std::string MacText(const uint8_t mac[6]) {
  char b[18];
  return FormatMacPlain(mac, b);
}

ScanResult Scan(uint16_t bind_port, uint16_t dest_port, uint32_t window_ms) {
  ScanResult out;
  TalqClient c;
  if (TALQCLIENT_OpenPorts(&c, bind_port, dest_port) != 0) {
    c.Close(&c.socket);
    return out;
  }
  dk::TickTimer t;
  t.Start();
  c.Broadcast(&c);
  while (!t.Expired(window_ms)) {
    if (c.Wait(&c, 0, 1000) <= 0) continue;
    const int rc = c.RecvDiscovery(&c);
    if (rc == 1) {
      ++out.replies;
      const uint64_t k = MacKey(c.parse.mac);
      out.devices[k] = c.parse;
      ++out.replies_per_mac[k];
    } else {
      out.failures.push_back(rc);
    }
  }
  c.Close(&c.socket);
  return out;
}

bool WaitForDevice(const uint8_t mac[6], uint32_t want_ip, uint32_t limit_ms, DeviceRecord* out) {
  dk::TickTimer t;
  t.Start();
  const uint64_t k = MacKey(mac);
  while (!t.Expired(limit_ms)) {
    const ScanResult r = Scan(kTalqBindPort, kTalqDestPort, 500);
    auto it = r.devices.find(k);
    if (it != r.devices.end() && (want_ip == 0 || it->second.ip == want_ip)) {
      *out = it->second;
      return true;
    }
  }
  return false;
}

int SetNetwork(const SetNetworkRequest& req) {
  TalqClient c;
  if (TALQCLIENT_Open(&c) != 0) {
    c.Close(&c.socket);
    return -101;
  }
  int result = -100;
  if (c.SetNetwork(&c, &req) == 0) {
    dk::TickTimer t;
    t.Start();
    while (!t.Expired(1000)) {
      if (c.Wait(&c, 0, 10000) <= 0) continue;
      // A late discovery reply may sit in the queue; it is no answer to this.
      uint8_t peek[8];
      const long n = ::recv(c.socket, peek, sizeof peek, MSG_PEEK);
      if (n >= 8 && peek[7] == kTalqCodeDiscoveryReply) {
        c.RecvDiscovery(&c);
        continue;
      }
      result = c.RecvResult(&c.socket);
      break;
    }
  }
  c.Close(&c.socket);
  return result;
}

SetNetworkRequest StaticRequestFor(const dksim::SimDeviceConfig& d, const char* id, const char* password,
                                   uint32_t ip, uint32_t mask) {
  SetNetworkRequest r;
  std::memset(&r, 0, sizeof r);
  std::memcpy(r.mac, d.mac, 6);
  r.device_byte = d.device_byte;
  r.network_type = 1;
  std::memcpy(r.admin_id, id, std::min(std::strlen(id), sizeof r.admin_id));
  std::memcpy(r.admin_password, password, std::min(std::strlen(password), sizeof r.admin_password - 1));
  r.ip = ip;
  r.subnet_mask = mask;
  r.gateway = IpFromOctets(10, 77, 0, 1);
  r.dns_server = IpFromOctets(10, 77, 0, 1);
  return r;
}

DeviceRecord ExpectedRecord(const dksim::SimDeviceConfig& d) {
  DeviceRecord r;
  ZeroRecord(&r);
  auto copy = [](char* dst, size_t cap, const std::string& s) {
    const size_t n = std::min(cap - 1, s.size());
    std::memcpy(dst, s.data(), n);
    dst[n] = 0;
  };
  std::memcpy(r.mac, d.mac, 6);
  r.ip = d.ip;
  r.device_byte = d.device_byte;
  r.network_type = d.network_type;
  copy(r.model_name, sizeof r.model_name, d.model);
  copy(r.text2, sizeof r.text2, d.text2);
  copy(r.text3, sizeof r.text3, d.text3);
  r.trailing_byte = d.trailing;
  r.configured_ip = d.ip;
  r.subnet_mask = d.mask;
  r.gateway = d.gateway;
  r.dns_server = d.dns;
  copy(r.pppoe_text1, sizeof r.pppoe_text1, d.pppoe1);
  copy(r.pppoe_text2, sizeof r.pppoe_text2, d.pppoe2);
  copy(r.pppoe_text3, sizeof r.pppoe_text3, d.pppoe3);
  r.pppoe_value1 = d.pppoe_value1;
  r.pppoe_value2 = d.pppoe_value2;
  r.pppoe_value3 = d.pppoe_value3;
  r.item2_value = d.has_item2 ? d.item2 : 0;
  if (d.reply_version >= 3) {
    if (d.items & dksim::kItemMaskWeb) r.web_port = d.web_port;
    if (d.items & dksim::kItemMaskAv1) r.av_port1 = d.av_port1;
    if (d.items & dksim::kItemMaskAv2) r.av_port2 = d.av_port2;
    if (d.items & dksim::kItemMaskAv3) r.av_port3 = d.av_port3;
  }
  return r;
}

std::string RecordDiff(const DeviceRecord& g, const DeviceRecord& w) {
  std::string d;
  auto num = [&](const char* name, uint64_t a, uint64_t b) {
    if (a != b) d += std::string(name) + " " + std::to_string(a) + "!=" + std::to_string(b) + "; ";
  };
  auto str = [&](const char* name, const char* a, const char* b) {
    if (std::strcmp(a, b) != 0) d += std::string(name) + " '" + a + "'!='" + b + "'; ";
  };
  if (std::memcmp(g.mac, w.mac, 6) != 0) d += "mac; ";
  if (g.ip != w.ip) d += "ip " + IpText(g.ip) + "!=" + IpText(w.ip) + "; ";
  num("device_byte", g.device_byte, w.device_byte);
  num("network_type", g.network_type, w.network_type);
  str("model", g.model_name, w.model_name);
  str("text2", g.text2, w.text2);
  str("text3", g.text3, w.text3);
  num("trailing", g.trailing_byte, w.trailing_byte);
  if (g.configured_ip != w.configured_ip) d += "configured_ip " + IpText(g.configured_ip) + "; ";
  if (g.subnet_mask != w.subnet_mask) d += "mask; ";
  if (g.gateway != w.gateway) d += "gateway; ";
  if (g.dns_server != w.dns_server) d += "dns; ";
  str("pppoe1", g.pppoe_text1, w.pppoe_text1);
  str("pppoe2", g.pppoe_text2, w.pppoe_text2);
  str("pppoe3", g.pppoe_text3, w.pppoe_text3);
  num("pppoe_value1", g.pppoe_value1, w.pppoe_value1);
  num("pppoe_value2", g.pppoe_value2, w.pppoe_value2);
  num("pppoe_value3", g.pppoe_value3, w.pppoe_value3);
  num("item2", g.item2_value, w.item2_value);
  num("web_port", g.web_port, w.web_port);
  num("av1", g.av_port1, w.av_port1);
  num("av2", g.av_port2, w.av_port2);
  num("av3", g.av_port3, w.av_port3);
  return d;
}

std::vector<dksim::SimDeviceConfig> LoadTestFleet() {
  std::vector<dksim::SimDeviceConfig> fleet;
  const char* path = std::getenv("DK_TEST_FLEET");
  if (!path) return fleet;
  std::string err;
  if (dksim::LoadFleetFile(path, dksim::FleetDefaults(), &fleet, &err) != 0) return {};
  dksim::ApplyDuplicateAddresses(&fleet);
  return fleet;
}

std::string EventLog() {
  const char* path = std::getenv("DK_SEG_EVENT_LOG");
  if (!path) return "";
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::vector<std::string> EventLines(const std::vector<std::string>& needles) {
  std::vector<std::string> out;
  std::stringstream ss(EventLog());
  std::string line;
  while (std::getline(ss, line)) {
    bool all = true;
    for (const auto& n : needles) all = all && line.find(n) != std::string::npos;
    if (all) out.push_back(line);
  }
  return out;
}

bool WaitForEvent(const std::vector<std::string>& needles, size_t count, uint32_t limit_ms) {
  return dktest::WaitFor([&] { return EventLines(needles).size() >= count; }, limit_ms, 20);
}

}  // namespace segtest
