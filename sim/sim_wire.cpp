#include "sim/sim_wire.h"

#include <cstring>

#include "engine/devices/device_record.h"
#include "engine/talq/talq_wire.h"

namespace dksim {
namespace {

uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t GetLe32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
// Addresses travel first octet first; our uint32_t holds the octets in memory order.
uint32_t GetAddr(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// Reads a length-prefixed text at *pos into out (cap 256). False on overrun.
bool GetText(const uint8_t* d, size_t len, size_t* pos, char out[256]) {
  if (*pos >= len) return false;
  size_t n = d[*pos];
  if (*pos + 1 + n > len) return false;
  std::memcpy(out, d + *pos + 1, n);
  out[n] = 0;
  *pos += 1 + n;
  return true;
}

class Writer {
 public:
  Writer(uint8_t* out, size_t cap) : out_(out), cap_(cap) {}
  void U8(uint8_t v) {
    if (pos_ < cap_) out_[pos_] = v;
    ++pos_;
  }
  void Le16(uint16_t v) {
    U8(uint8_t(v));
    U8(uint8_t(v >> 8));
  }
  void Le32(uint32_t v) {
    for (int i = 0; i < 4; ++i) U8(uint8_t(v >> (8 * i)));
  }
  void Addr(uint32_t ip) {
    uint8_t o[4];
    std::memcpy(o, &ip, 4);
    for (uint8_t b : o) U8(b);
  }
  void Bytes(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) U8(b[i]);
  }
  bool Text(const std::string& s) {
    if (s.size() > 255) return false;
    U8(uint8_t(s.size()));
    Bytes(s.data(), s.size());
    return true;
  }
  void Item16(uint8_t type, uint16_t v) {
    U8(type);
    U8(2);
    Le16(v);
  }
  size_t pos() const { return pos_; }
  bool fits() const { return pos_ <= cap_; }

 private:
  uint8_t* out_;
  size_t cap_;
  size_t pos_ = 0;
};

// Fills the fields every addressed request shares (bytes 8..45).
void ParseAddressed(const uint8_t* d, ParsedRequest* r) {
  r->device_byte = d[8];
  std::memcpy(r->mac, d + 9, 6);
  r->network_type = d[15];
  std::memcpy(r->admin_id, d + 16, 8);
  r->password_len = TalqDecodeCredentialBlock(d + 24, r->password);
}

}  // namespace

const char* ParseErrorText(int code) {
  switch (code) {
    case kParseTooShort: return "too short";
    case kParseBadMagic: return "bad magic";
    case kParseBadLength: return "length field differs from size";
    case kParseUnknownCommand: return "unknown command";
    case kParseBadSize: return "size does not fit the command";
    case kParseTextOverrun: return "text runs past the end";
    default: return "malformed";
  }
}

int ParseRequest(const uint8_t* d, size_t len, ParsedRequest* out) {
  if (len < 8) return kParseTooShort;
  if (std::memcmp(d, "ADCT", 4) != 0) return kParseBadMagic;
  if (GetLe16(d + 5) != len) return kParseBadLength;
  ParsedRequest r;
  r.version = d[4];
  const uint8_t cmd = d[7];
  if (cmd == kTalqCmdDiscovery) {
    if (len != kTalqDiscoveryRequestSize) return kParseBadSize;
    r.kind = RequestKind::kDiscovery;
    r.device_byte = d[8];
    *out = r;
    return 0;
  }
  if (cmd == kTalqCmd5) {
    if (len != kTalqCommand5Size) return kParseBadSize;
    r.kind = RequestKind::kCommand5;
    ParseAddressed(d, &r);
    r.flag = d[46];
    TalqDecodeCredentialBlock(d + 47, r.secret2);
    *out = r;
    return 0;
  }
  if (cmd != kTalqCmdSetNetwork) return kParseUnknownCommand;
  if (len < kTalqSetNetworkDhcpSize) return kParseBadSize;
  r.kind = RequestKind::kSetNetwork;
  ParseAddressed(d, &r);
  size_t pos = 46;
  switch (r.network_type) {
    case 0:
      if (len != kTalqSetNetworkDhcpSize) return kParseBadSize;
      break;
    case 1:
      if (len != kTalqSetNetworkStaticSize) return kParseBadSize;
      r.ip = GetAddr(d + 46);
      r.mask = GetAddr(d + 50);
      r.gateway = GetAddr(d + 54);
      r.dns = GetAddr(d + 58);
      break;
    case 2:
      if (!GetText(d, len, &pos, r.pppoe1) || !GetText(d, len, &pos, r.pppoe2) ||
          !GetText(d, len, &pos, r.pppoe3))
        return kParseTextOverrun;
      if (pos + 9 != len) return kParseBadSize;
      r.pppoe_value1 = GetLe32(d + pos);
      r.pppoe_value2 = d[pos + 4];
      r.pppoe_value3 = GetLe32(d + pos + 5);
      break;
    case 3:
      if (!GetText(d, len, &pos, r.text1) || !GetText(d, len, &pos, r.text2)) return kParseTextOverrun;
      if (pos != len) return kParseBadSize;
      break;
    default:
      r.unknown_type = true;
      break;
  }
  *out = r;
  return 0;
}

void AdminIdText(const uint8_t id[8], char out[9]) {
  int n = 0;
  while (n < 8 && id[n] != 0) {
    out[n] = static_cast<char>(id[n]);
    ++n;
  }
  out[n] = 0;
}

int BuildDiscoveryReply(const SimDeviceConfig& dv, int length_adjust, uint8_t* out, size_t cap) {
  Writer w(out, cap);
  w.Bytes("TALQ", 4);
  w.U8(dv.reply_version);
  w.Le16(0);  // length, patched below
  w.U8(kTalqCodeDiscoveryReply);
  w.U8(dv.device_byte);
  w.Bytes(dv.mac, 6);
  w.U8(dv.network_type);
  w.U8(0);  // reserved
  if (!w.Text(dv.model) || !w.Text(dv.text2) || !w.Text(dv.text3)) return -1;
  w.Addr(dv.ip);
  w.Addr(dv.mask);
  w.Addr(dv.gateway);
  w.Addr(dv.dns);
  if (!w.Text(dv.pppoe1) || !w.Text(dv.pppoe2) || !w.Text(dv.pppoe3)) return -1;
  w.Le32(dv.pppoe_value1);
  w.U8(dv.pppoe_value2);
  w.Le32(dv.pppoe_value3);
  w.U8(dv.trailing);
  if (dv.has_item2) {
    w.U8(2);
    w.U8(1);
    w.U8(dv.item2);
  }
  if (dv.items & kItemMaskWeb) w.Item16(8, dv.web_port);
  if (dv.items & kItemMaskAv1) w.Item16(9, dv.av_port1);
  if (dv.items & kItemMaskAv2) w.Item16(10, dv.av_port2);
  if (dv.items & kItemMaskAv3) w.Item16(11, dv.av_port3);
  if (!w.fits() || w.pos() > kMaxReply) return -1;
  const uint16_t field = static_cast<uint16_t>(int(w.pos()) + length_adjust);
  out[5] = uint8_t(field);
  out[6] = uint8_t(field >> 8);
  return static_cast<int>(w.pos());
}

int DiscoveryReplySize(const SimDeviceConfig& d) {
  uint8_t buf[kMaxReply];
  return BuildDiscoveryReply(d, 0, buf, sizeof buf);
}

int BuildResultReply(uint8_t version, uint8_t code, int length_adjust, uint8_t* out, size_t cap) {
  if (cap < 8) return -1;
  std::memcpy(out, "TALQ", 4);
  out[4] = version;
  const uint16_t field = static_cast<uint16_t>(8 + length_adjust);
  out[5] = uint8_t(field);
  out[6] = uint8_t(field >> 8);
  out[7] = code;
  return 8;
}

bool MaskIsContiguous(uint32_t mask) {
  const uint32_t h = IpToHostOrder(mask);
  if (h == 0) return false;
  const uint32_t inv = ~h;
  return (inv & (inv + 1)) == 0;
}

bool IpUsableForHost(uint32_t ip) {
  const uint32_t h = IpToHostOrder(ip);
  const uint32_t first = h >> 24;
  if (h == 0 || h == 0xFFFFFFFFu) return false;
  if (first == 0 || first == 127 || first >= 224) return false;
  return true;
}

}  // namespace dksim
