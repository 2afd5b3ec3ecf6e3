#include "engine/talq/talq_wire.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr uint8_t kRequestMagic[4] = {'A', 'D', 'C', 'T'};
constexpr uint8_t kReplyMagic[4] = {'T', 'A', 'L', 'Q'};

// Bounded writer: every write past cap marks the build as failed.
struct Writer {
  uint8_t* out;
  size_t cap;
  size_t pos = 0;
  bool ok = true;
  void U8(uint8_t v) {
    if (pos < cap)
      out[pos] = v;
    else
      ok = false;
    ++pos;
  }
  void Bytes(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) U8(b[i]);
  }
  void Le16(uint16_t v) {
    U8(uint8_t(v));
    U8(uint8_t(v >> 8));
  }
  void Le32(uint32_t v) {
    for (int i = 0; i < 4; ++i) U8(uint8_t(v >> (8 * i)));
  }
  void Ip(uint32_t ip) {
    for (int i = 0; i < 4; ++i) U8(IpOctet(ip, i));
  }
  // Zero-padded fixed field from a text of at most n characters.
  void Fixed(const char* text, size_t n) {
    size_t len = strnlen(text, n);
    Bytes(text, len);
    for (size_t i = len; i < n; ++i) U8(0);
  }
  // Length byte and the text without terminator.
  void Text(const char* text, size_t field) {
    size_t len = strnlen(text, field);
    if (len > 255) len = 255;
    U8(uint8_t(len));
    Bytes(text, len);
  }
  void PatchLength() {
    if (cap >= 7 && pos <= 0xFFFF) {
      out[5] = uint8_t(pos);
      out[6] = uint8_t(pos >> 8);
    } else {
      ok = false;
    }
  }
};

void Header(Writer* w, uint8_t command) {
  w->Bytes(kRequestMagic, 4);
  w->U8(kTalqVersion);
  w->Le16(0);  // length, patched at the end
  w->U8(command);
}

void Credential22(Writer* w, uint32_t r, const char* secret) {
  uint8_t block[kTalqCredentialBlockSize];
  TalqBuildCredentialBlock(r, nullptr, secret, block);
  w->Bytes(block, kTalqCredentialSentSize);
}

int Finish(Writer* w) {
  w->PatchLength();
  return w->ok ? static_cast<int>(w->pos) : -1;
}

// Reads past the received size (or past the 1024-byte buffer) as zero.
struct Reader {
  const uint8_t* d;
  size_t n;
  size_t pos = 0;
  uint8_t At(size_t i) const { return i < n ? d[i] : 0; }
  uint8_t U8() { return At(pos++); }
  uint32_t Ip() {
    uint8_t o[4];
    for (auto& b : o) b = U8();
    return IpFromOctets(o[0], o[1], o[2], o[3]);
  }
  uint32_t Le32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(U8()) << (8 * i);
    return v;
  }
  void Text(char* field, size_t cap) {
    size_t len = U8();
    size_t keep = len < cap - 1 ? len : cap - 1;
    for (size_t i = 0; i < keep; ++i) field[i] = static_cast<char>(At(pos + i));
    std::memset(field + keep, 0, cap - keep);
    pos += len;
  }
};

}  // namespace

void TalqBuildCredentialBlock(uint32_t r, const uint8_t* prefix14, const char* secret, uint8_t out[32]) {
  uint8_t b[kTalqCredentialBlockSize] = {};
  b[0] = uint8_t(r);
  b[1] = uint8_t(r >> 8);
  if (prefix14) std::memcpy(b + 2, prefix14, 14);
  size_t len = secret ? strnlen(secret, 16) : 0;
  std::memcpy(b + 16, secret, len);
  for (size_t i = 2; i < kTalqCredentialBlockSize; ++i) b[i] ^= b[0];
  for (size_t i = 0; i < kTalqCredentialBlockSize; ++i) out[i] = b[kTalqCredentialBlockSize - 1 - i];
}

int TalqDecodeCredentialBlock(const uint8_t in22[22], char secret[17]) {
  // Sent byte j is block byte 31 - j: bytes 16..21 are the XORed zero
  // prefix, i.e. the key itself; bytes 15..0 are the secret's 16 bytes.
  const uint8_t key = in22[16];
  int len = 0;
  for (int k = 0; k < 16; ++k) {
    uint8_t c = in22[15 - k] ^ key;
    secret[k] = static_cast<char>(c);
    if (c == 0) break;
    ++len;
  }
  secret[len] = 0;
  return len;
}

uint32_t TalqCredentialRandom() {
  // A pure function of the current second, so two blocks built within one
  // second share it, without touching the C library's shared generator.
  uint64_t x = static_cast<uint64_t>(std::time(nullptr));
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  x ^= x >> 31;
  return static_cast<uint32_t>(x & 0x7FFFFFFF);
}

int TalqBuildDiscoveryRequest(uint8_t* out, size_t cap) {
  Writer w{out, cap};
  Header(&w, kTalqCmdDiscovery);
  w.U8(0xFF);
  return Finish(&w);
}

int TalqBuildSetNetwork(const SetNetworkRequest& req, uint32_t r, uint8_t* out, size_t cap) {
  if (req.network_type < 0 || req.network_type > 2) return -1;
  Writer w{out, cap};
  Header(&w, kTalqCmdSetNetwork);
  w.U8(req.device_byte);
  w.Bytes(req.mac, 6);
  w.U8(uint8_t(req.network_type));
  w.Fixed(req.admin_id, sizeof req.admin_id);
  char password[sizeof req.admin_password + 1] = {};
  std::memcpy(password, req.admin_password, sizeof req.admin_password);
  Credential22(&w, r, password);
  if (req.network_type == 1) {
    w.Ip(req.ip);
    w.Ip(req.subnet_mask);
    w.Ip(req.gateway);
    w.Ip(req.dns_server);
  } else if (req.network_type == 2) {
    w.Text(req.pppoe_text1, sizeof req.pppoe_text1);
    w.Text(req.pppoe_text2, sizeof req.pppoe_text2);
    w.Text(req.pppoe_text3, sizeof req.pppoe_text3);
    w.Le32(req.pppoe_value1);
    w.U8(uint8_t(req.pppoe_value2));
    w.Le32(req.pppoe_value3);
  }
  return Finish(&w);
}

int TalqBuildSetNetworkType3(const SetNetworkType3Request& req, uint32_t r, uint8_t* out, size_t cap) {
  Writer w{out, cap};
  Header(&w, kTalqCmdSetNetwork);
  w.U8(0);
  w.Bytes(req.mac, 6);
  w.U8(3);
  w.Fixed(req.admin_id, sizeof req.admin_id);
  char password[sizeof req.password + 1] = {};
  std::memcpy(password, req.password, sizeof req.password);
  Credential22(&w, r, password);
  w.Text(req.text1, sizeof req.text1);
  w.Text(req.text2, sizeof req.text2);
  return Finish(&w);
}

int TalqBuildCommand5(const Command5Request& req, uint32_t r, uint8_t* out, size_t cap) {
  Writer w{out, cap};
  Header(&w, kTalqCmd5);
  w.U8(0);
  w.Bytes(req.mac, 6);
  w.U8(3);
  w.Fixed(req.admin_id, sizeof req.admin_id);
  char s1[sizeof req.secret1 + 1] = {};
  std::memcpy(s1, req.secret1, sizeof req.secret1);
  char s2[sizeof req.secret2 + 1] = {};
  std::memcpy(s2, req.secret2, sizeof req.secret2);
  Credential22(&w, r, s1);
  w.U8(req.flag);
  Credential22(&w, r, s2);
  return Finish(&w);
}

int TalqParseDiscoveryReply(const uint8_t* data, size_t received, uint32_t sender_ip, DeviceRecord* out) {
  if (received > kTalqRecvBufferSize) received = kTalqRecvBufferSize;
  Reader rd{data, received};
  if (received < 4 || std::memcmp(data, kReplyMagic, 4) != 0) return -1;
  const uint8_t code = rd.At(7);
  // Code 1 would read as "parsed" and hand on whatever the parse area held.
  if (code == 1) return -1;
  if (code != kTalqCodeDiscoveryReply) return code;
  const size_t length = size_t(rd.At(5)) | (size_t(rd.At(6)) << 8);
  if (length != received) return -3;
  const uint8_t version = rd.At(4);

  DeviceRecord r;
  ZeroRecord(&r);
  r.device_byte = rd.At(8);
  for (int i = 0; i < 6; ++i) r.mac[i] = rd.At(9 + size_t(i));
  r.network_type = rd.At(15);
  r.ip = sender_ip;
  rd.pos = 17;
  rd.Text(r.model_name, sizeof r.model_name);
  rd.Text(r.text2, sizeof r.text2);
  rd.Text(r.text3, sizeof r.text3);
  r.configured_ip = rd.Ip();
  r.subnet_mask = rd.Ip();
  r.gateway = rd.Ip();
  r.dns_server = rd.Ip();
  rd.Text(r.pppoe_text1, sizeof r.pppoe_text1);
  rd.Text(r.pppoe_text2, sizeof r.pppoe_text2);
  rd.Text(r.pppoe_text3, sizeof r.pppoe_text3);
  r.pppoe_value1 = rd.Le32();
  r.pppoe_value2 = rd.U8();
  r.pppoe_value3 = rd.Le32();
  r.trailing_byte = rd.U8();

  while (rd.pos < received) {
    const size_t at = rd.pos;
    const uint8_t type = rd.At(at);
    const uint8_t len = rd.At(at + 1);
    const uint16_t v16 = uint16_t(rd.At(at + 2) | (rd.At(at + 3) << 8));
    switch (type) {
      case 2:
        r.item2_value = rd.At(at + 2);
        break;
      case 8:
        if (version >= 3) r.web_port = v16;
        break;
      case 9:
        if (version >= 3) r.av_port1 = v16;
        break;
      case 10:
        if (version >= 3) r.av_port2 = v16;
        break;
      case 11:
        if (version >= 3) r.av_port3 = v16;
        break;
      default:
        break;
    }
    rd.pos = at + size_t(len) + 2;
  }
  *out = r;
  return 1;
}

int TalqParseResultReply(const uint8_t* data, size_t received) {
  if (received > kTalqRecvBufferSize) received = kTalqRecvBufferSize;
  if (received < 8 || std::memcmp(data, kReplyMagic, 4) != 0) return -1;
  const size_t length = size_t(data[5]) | (size_t(data[6]) << 8);
  if (length != received) return -1;
  return data[7];
}

int TalqBuildTrace(int32_t value, uint8_t out[256]) {
  std::memset(out, 0, kTalqTraceSize);
  std::snprintf(reinterpret_cast<char*>(out), kTalqTraceSize, "%d\n", value);
  return static_cast<int>(kTalqTraceSize);
}
