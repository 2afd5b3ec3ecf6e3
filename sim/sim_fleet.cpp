#include "sim/sim_fleet.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "engine/devices/device_record.h"
#include "sim/sim_wire.h"

namespace dksim {

namespace {

const char* const kFaultNames[kFaultCount] = {
    "no-discovery", "late", "auth-refuse", "no-move", "move-silent", "http-refuse",
    "http-hang", "http-split", "upload-cut", "dup-ip", "bad-length", "garbage",
    "reset-ignore", "reset-keep-ip", "rtsp-busy", "rtsp-silent", "upload-stall", "no-return",
    "wrong-version", "rtsp-resize", "upload-refuse", "move-late", "result-lost", "upload-reset",
    "factory-refuse-late",
};

std::string IpText(uint32_t ip) {
  char b[16];
  return FormatIp(ip, b);
}

bool ParseUnsigned(const std::string& s, uint64_t max, uint64_t* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(s.c_str(), &end, 0);
  if (errno != 0 || *end != 0 || s[0] == '-' || v > max) return false;
  *out = v;
  return true;
}

// Splits a line into key=value fields. False with *error on a syntax fault.
bool Tokenize(const std::string& line, std::vector<std::pair<std::string, std::string>>* fields,
              std::string* error) {
  size_t i = 0;
  const size_t n = line.size();
  while (true) {
    while (i < n && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= n || line[i] == '#') return true;
    size_t k = i;
    while (k < n && line[k] != '=' && line[k] != ' ' && line[k] != '\t') ++k;
    if (k >= n || line[k] != '=') {
      *error = "expected key=value near '" + line.substr(i, 20) + "'";
      return false;
    }
    std::string key = line.substr(i, k - i);
    if (key.empty()) {
      *error = "empty key";
      return false;
    }
    i = k + 1;
    std::string value;
    if (i < n && line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < n) {
        char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\' && i < n) c = line[i++];
        value.push_back(c);
      }
      if (!closed) {
        *error = "unterminated quote in " + key;
        return false;
      }
      if (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
        *error = "text after closing quote of " + key;
        return false;
      }
    } else {
      while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') value.push_back(line[i++]);
    }
    fields->emplace_back(std::move(key), std::move(value));
  }
}

bool ParsePorts(const std::string& v, SimDeviceConfig* d) {
  d->av_port1 = d->av_port2 = d->av_port3 = 0;
  d->items = kItemMaskWeb;
  if (v == "-" || v == "none") return true;
  uint16_t* slots[3] = {&d->av_port1, &d->av_port2, &d->av_port3};
  const uint8_t masks[3] = {kItemMaskAv1, kItemMaskAv2, kItemMaskAv3};
  std::stringstream ss(v);
  std::string part;
  int i = 0;
  while (std::getline(ss, part, '/')) {
    uint64_t p;
    if (i >= 3 || !ParseUnsigned(part, 65535, &p)) return false;
    *slots[i] = static_cast<uint16_t>(p);
    d->items |= masks[i];
    ++i;
  }
  return i > 0;
}

bool ParseItems(const std::string& v, uint8_t* mask) {
  *mask = 0;
  if (v == "none" || v == "-") return true;
  std::stringstream ss(v);
  std::string part;
  while (std::getline(ss, part, ',')) {
    uint64_t t;
    if (!ParseUnsigned(part, 255, &t) || t < 8 || t > 11) return false;
    *mask |= static_cast<uint8_t>(1u << (t - 8));
  }
  return true;
}

bool ParseFaults(const std::string& v, uint32_t* mask, std::string* bad) {
  *mask = 0;
  if (v.empty() || v == "none") return true;
  std::stringstream ss(v);
  std::string part;
  while (std::getline(ss, part, ',')) {
    const uint32_t f = FaultFromName(part);
    if (f == 0) {
      *bad = part;
      return false;
    }
    *mask |= f;
  }
  return true;
}

// Applies one field to d. False with *error when key or value is bad.
bool ApplyField(const std::string& key, const std::string& v, SimDeviceConfig* d, std::string* error) {
  uint64_t n = 0;
  auto bad = [&](const char* what) {
    *error = "bad " + key + " '" + v + "' (" + what + ")";
    return false;
  };
  auto ip_field = [&](uint32_t* dst) {
    if (ParseIp(v.c_str(), dst) != 0) return bad("expected a.b.c.d");
    return true;
  };
  auto text_field = [&](std::string* dst, size_t max) {
    if (v.size() > max) return bad("too long");
    *dst = v;
    return true;
  };
  if (key == "mac") {
    if (ParseMac(v, d->mac) != 0) return bad("expected AA:BB:CC:DD:EE:FF");
  } else if (key == "byte") {
    if (!ParseUnsigned(v, 255, &n)) return bad("0-255");
    d->device_byte = static_cast<uint8_t>(n);
  } else if (key == "model") {
    return text_field(&d->model, 255);
  } else if (key == "text2") {
    return text_field(&d->text2, 255);
  } else if (key == "text3") {
    return text_field(&d->text3, 255);
  } else if (key == "net") {
    if (v == "dhcp" || v == "0") d->network_type = 0;
    else if (v == "static" || v == "1") d->network_type = 1;
    else if (v == "pppoe" || v == "2") d->network_type = 2;
    else return bad("dhcp, static or pppoe");
  } else if (key == "ip") {
    return ip_field(&d->ip);
  } else if (key == "mask") {
    return ip_field(&d->mask);
  } else if (key == "gateway") {
    return ip_field(&d->gateway);
  } else if (key == "dns") {
    return ip_field(&d->dns);
  } else if (key == "pppoe1") {
    return text_field(&d->pppoe1, 255);
  } else if (key == "pppoe2") {
    return text_field(&d->pppoe2, 255);
  } else if (key == "pppoe3") {
    return text_field(&d->pppoe3, 255);
  } else if (key == "pppoe_value1") {
    if (!ParseUnsigned(v, 0xFFFFFFFFull, &n)) return bad("32-bit number");
    d->pppoe_value1 = static_cast<uint32_t>(n);
  } else if (key == "pppoe_value2") {
    if (!ParseUnsigned(v, 255, &n)) return bad("0-255");
    d->pppoe_value2 = static_cast<uint8_t>(n);
  } else if (key == "pppoe_value3") {
    if (!ParseUnsigned(v, 0xFFFFFFFFull, &n)) return bad("32-bit number");
    d->pppoe_value3 = static_cast<uint32_t>(n);
  } else if (key == "trailing") {
    if (!ParseUnsigned(v, 255, &n)) return bad("0-255");
    d->trailing = static_cast<uint8_t>(n);
  } else if (key == "web_port") {
    if (!ParseUnsigned(v, 65535, &n)) return bad("0-65535");
    d->web_port = static_cast<uint16_t>(n);
  } else if (key == "av_ports") {
    const uint8_t keep_web = d->items & kItemMaskWeb;
    if (!ParsePorts(v, d)) return bad("like 554/555/556, 554 or -");
    d->items = static_cast<uint8_t>((d->items & ~kItemMaskWeb) | keep_web);
  } else if (key == "items") {
    if (!ParseItems(v, &d->items)) return bad("item types 8-11 separated by commas, or none");
  } else if (key == "item2") {
    if (!ParseUnsigned(v, 255, &n)) return bad("0-255");
    d->has_item2 = true;
    d->item2 = static_cast<uint8_t>(n);
  } else if (key == "reply_version") {
    if (!ParseUnsigned(v, 255, &n)) return bad("0-255");
    d->reply_version = static_cast<uint8_t>(n);
  } else if (key == "firmware") {
    return text_field(&d->firmware, 63);
  } else if (key == "serial") {
    return text_field(&d->serial, 63);
  } else if (key == "mode") {
    if (v == "encoder") d->mode = SystemMode::kEncoder;
    else if (v == "decoder") d->mode = SystemMode::kDecoder;
    else return bad("encoder or decoder");
  } else if (key == "user") {
    return text_field(&d->user, 63);
  } else if (key == "password") {
    return text_field(&d->password, 63);
  } else if (key == "faults") {
    std::string which;
    if (!ParseFaults(v, &d->faults, &which)) {
      *error = "unknown fault '" + which + "'";
      return false;
    }
  } else {
    *error = "unknown key '" + key + "'";
    return false;
  }
  return true;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

}  // namespace

const char* FaultName(int i) { return (i >= 0 && i < kFaultCount) ? kFaultNames[i] : "?"; }

uint32_t FaultFromName(const std::string& name) {
  for (int i = 0; i < kFaultCount; ++i)
    if (name == kFaultNames[i]) return 1u << i;
  return 0;
}

std::string FaultList(uint32_t mask) {
  std::string out;
  for (int i = 0; i < kFaultCount; ++i) {
    if (mask & (1u << i)) {
      if (!out.empty()) out.push_back(',');
      out += kFaultNames[i];
    }
  }
  return out;
}

uint32_t FactoryIp() { return IpFromOctets(192, 168, 1, 2); }

FleetDefaults::FleetDefaults()
    : base_ip(IpFromOctets(10, 77, 1, 1)),
      mask(IpFromOctets(255, 255, 0, 0)),
      gateway(IpFromOctets(10, 77, 0, 1)),
      dns(IpFromOctets(10, 77, 0, 1)) {}

uint32_t GeneratedIp(uint32_t base_ip, int index) {
  uint32_t h = IpToHostOrder(base_ip);
  uint32_t last = h & 0xFF;
  if (last == 0 || last == 255) last = 1;
  const uint32_t pos = (last - 1) + static_cast<uint32_t>(index);
  const uint32_t block = (h & ~0xFFu) + (pos / 254) * 256;
  return IpFromHostOrder(block + pos % 254 + 1);
}

SimDeviceConfig GenerateDevice(int index, const FleetDefaults& def) {
  SimDeviceConfig d;
  const uint32_t i = static_cast<uint32_t>(index);
  // Locally administered prefix 02:44:4B ("DK").
  const uint8_t mac[6] = {0x02, 0x44, 0x4B, uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i)};
  std::memcpy(d.mac, mac, 6);
  const bool decoder = index % 3 == 2;
  d.mode = decoder ? SystemMode::kDecoder : SystemMode::kEncoder;
  d.device_byte = decoder ? 0x20 : 0x10;
  d.model = decoder ? "DK-D2100" : "DK-E2100";
  d.text2 = "sim";
  d.text3 = "#" + std::to_string(index + 1);
  d.network_type = 1;
  d.ip = GeneratedIp(def.base_ip, index);
  d.mask = def.mask;
  d.gateway = def.gateway;
  d.dns = def.dns;
  d.web_port = 80;
  d.av_port1 = 554;
  d.items = kItemMaskWeb | kItemMaskAv1;
  if (index % 3 != 2) {
    d.av_port2 = 555;
    d.items |= kItemMaskAv2;
  }
  if (index % 3 == 0) {
    d.av_port3 = 556;
    d.items |= kItemMaskAv3;
  }
  d.firmware = def.firmware;
  char serial[24];
  std::snprintf(serial, sizeof serial, "DKS%08u", i + 1);
  d.serial = serial;
  d.user = def.user;
  d.password = def.password;
  return d;
}

std::vector<SimDeviceConfig> GenerateFleet(int count, const FleetDefaults& def) {
  std::vector<SimDeviceConfig> fleet;
  fleet.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) fleet.push_back(GenerateDevice(i, def));
  return fleet;
}

int ParseFleetText(const std::string& text, const FleetDefaults& def, std::vector<SimDeviceConfig>* out,
                   std::string* error) {
  std::vector<SimDeviceConfig> fleet;
  std::stringstream ss(text);
  std::string line;
  int line_no = 0;
  while (std::getline(ss, line)) {
    ++line_no;
    std::vector<std::pair<std::string, std::string>> fields;
    std::string err;
    if (!Tokenize(line, &fields, &err)) {
      *error = "line " + std::to_string(line_no) + ": " + err;
      return -1;
    }
    if (fields.empty()) continue;
    SimDeviceConfig d = GenerateDevice(static_cast<int>(fleet.size()), def);
    std::set<std::string> seen;
    // av_ports decides the default items, so apply it before an explicit items=.
    std::stable_sort(fields.begin(), fields.end(), [](const auto& a, const auto& b) {
      return (a.first == "av_ports") > (b.first == "av_ports");
    });
    for (const auto& [key, value] : fields) {
      if (!seen.insert(key).second) {
        *error = "line " + std::to_string(line_no) + ": " + key + " given twice";
        return -1;
      }
      if (!ApplyField(key, value, &d, &err)) {
        *error = "line " + std::to_string(line_no) + ": " + err;
        return -1;
      }
    }
    fleet.push_back(std::move(d));
  }
  if (ValidateFleet(fleet, error) != 0) return -1;
  *out = std::move(fleet);
  return 0;
}

int LoadFleetFile(const std::string& path, const FleetDefaults& def, std::vector<SimDeviceConfig>* out,
                  std::string* error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    *error = "cannot read " + path;
    return -1;
  }
  std::stringstream ss;
  ss << f.rdbuf();
  if (ParseFleetText(ss.str(), def, out, error) != 0) {
    *error = path + ": " + *error;
    return -1;
  }
  return 0;
}

std::string FormatFleetLine(const SimDeviceConfig& d) {
  char mac[18];
  std::string s = "mac=" + std::string(FormatMacPlain(d.mac, mac));
  s += " byte=" + std::to_string(d.device_byte);
  s += " model=" + Quote(d.model) + " text2=" + Quote(d.text2) + " text3=" + Quote(d.text3);
  static const char* const nets[] = {"dhcp", "static", "pppoe"};
  s += " net=" + std::string(d.network_type <= 2 ? nets[d.network_type] : "static");
  s += " ip=" + IpText(d.ip) + " mask=" + IpText(d.mask) + " gateway=" + IpText(d.gateway) + " dns=" + IpText(d.dns);
  s += " pppoe1=" + Quote(d.pppoe1) + " pppoe2=" + Quote(d.pppoe2) + " pppoe3=" + Quote(d.pppoe3);
  s += " pppoe_value1=" + std::to_string(d.pppoe_value1) + " pppoe_value2=" + std::to_string(d.pppoe_value2) +
       " pppoe_value3=" + std::to_string(d.pppoe_value3);
  s += " trailing=" + std::to_string(d.trailing);
  s += " web_port=" + std::to_string(d.web_port);
  s += " av_ports=" + std::to_string(d.av_port1) + "/" + std::to_string(d.av_port2) + "/" + std::to_string(d.av_port3);
  std::string items;
  for (int t = 8; t <= 11; ++t) {
    if (d.items & (1u << (t - 8))) {
      if (!items.empty()) items += ",";
      items += std::to_string(t);
    }
  }
  s += " items=" + (items.empty() ? std::string("none") : items);
  if (d.has_item2) s += " item2=" + std::to_string(d.item2);
  s += " reply_version=" + std::to_string(d.reply_version);
  s += " firmware=" + Quote(d.firmware) + " serial=" + Quote(d.serial);
  s += std::string(" mode=") + (d.mode == SystemMode::kDecoder ? "decoder" : "encoder");
  s += " user=" + Quote(d.user) + " password=" + Quote(d.password);
  if (d.faults) s += " faults=" + FaultList(d.faults);
  return s;
}

int ParseFaultShare(const std::string& text, FaultShare* out) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos) return -1;
  const uint32_t f = FaultFromName(text.substr(0, eq));
  if (f == 0) return -1;
  std::string v = text.substr(eq + 1);
  bool percent = false;
  if (!v.empty() && v.back() == '%') {
    percent = true;
    v.pop_back();
  }
  if (v.empty()) return -1;
  char* end = nullptr;
  double share = std::strtod(v.c_str(), &end);
  if (*end != 0 || !std::isfinite(share)) return -1;
  if (percent) share /= 100.0;
  if (share < 0.0 || share > 1.0) return -1;
  out->fault = f;
  out->share = share;
  return 0;
}

uint64_t Rng::Next() {
  uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint64_t Rng::Range(uint64_t lo, uint64_t hi) {
  if (hi <= lo) return lo;
  return lo + Next() % (hi - lo + 1);
}

void ApplyFaultShares(std::vector<SimDeviceConfig>* fleet, const std::vector<FaultShare>& shares, uint64_t seed) {
  const size_t n = fleet->size();
  for (size_t k = 0; k < shares.size(); ++k) {
    const size_t count = std::min(n, static_cast<size_t>(std::llround(shares[k].share * double(n))));
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = i;
    Rng rng(seed ^ (0xD1B54A32D192ED03ull * (k + 1)));
    for (size_t i = n; i > 1; --i) std::swap(order[i - 1], order[rng.Next() % i]);
    for (size_t i = 0; i < count; ++i) (*fleet)[order[i]].faults |= shares[k].fault;
  }
}

void ApplyDuplicateAddresses(std::vector<SimDeviceConfig>* fleet) {
  const size_t n = fleet->size();
  if (n < 2) return;
  for (size_t i = 0; i < n; ++i) {
    if (!((*fleet)[i].faults & kFaultDupIp)) continue;
    // Take the address of the nearest following device that keeps its own.
    for (size_t step = 1; step < n; ++step) {
      const SimDeviceConfig& other = (*fleet)[(i + step) % n];
      if (!(other.faults & kFaultDupIp)) {
        (*fleet)[i].ip = other.ip;
        break;
      }
    }
  }
}

int ValidateFleet(const std::vector<SimDeviceConfig>& fleet, std::string* error) {
  std::set<uint64_t> macs;
  for (size_t i = 0; i < fleet.size(); ++i) {
    const SimDeviceConfig& d = fleet[i];
    uint64_t key = 0;
    for (int b = 0; b < 6; ++b) key = (key << 8) | d.mac[b];
    char mac[18];
    if (!macs.insert(key).second) {
      *error = "device " + std::to_string(i + 1) + ": MAC " + FormatMacPlain(d.mac, mac) + " used twice";
      return -1;
    }
    if (DiscoveryReplySize(d) < 0) {
      *error = "device " + std::to_string(i + 1) + ": texts too long for one reply";
      return -1;
    }
    if (!IpUsableForHost(d.ip)) {
      *error = "device " + std::to_string(i + 1) + ": address " + IpText(d.ip) + " cannot be a device address";
      return -1;
    }
  }
  return 0;
}

int ParseMac(const std::string& text, uint8_t mac[6]) {
  if (text.size() != 17) return -1;
  uint8_t m[6];
  for (int i = 0; i < 6; ++i) {
    auto hex = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    const int hi = hex(text[i * 3]), lo = hex(text[i * 3 + 1]);
    if (hi < 0 || lo < 0) return -1;
    if (i < 5 && text[i * 3 + 2] != ':' && text[i * 3 + 2] != '-') return -1;
    m[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  std::memcpy(mac, m, 6);
  return 0;
}

}  // namespace dksim
