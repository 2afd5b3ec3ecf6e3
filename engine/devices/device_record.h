#pragma once
// One device as known from its last TALQ discovery reply.
#include <cstdint>
#include <cstring>

// Fixed-size plain record, copied whole. Texts are zero-terminated and
// zero-padded. Addresses are IPv4 in network byte order.
struct DeviceRecord {
  uint8_t mac[6];
  uint32_t ip;  // the address the reply came from
  uint8_t device_byte;
  uint8_t network_type;  // 0 DHCP, 1 static, 2 PPPoE
  char model_name[64];
  char text2[64];
  char text3[64];
  uint32_t trailing_byte;
  uint32_t configured_ip;
  uint32_t subnet_mask;
  uint32_t gateway;
  uint32_t dns_server;
  char pppoe_text1[32];
  char pppoe_text2[32];
  char pppoe_text3[64];
  uint32_t pppoe_value1;
  uint8_t pppoe_value2;
  uint32_t pppoe_value3;
  uint32_t item2_value;
  uint16_t web_port;
  uint16_t av_port1;
  uint16_t av_port2;
  uint16_t av_port3;
};

inline void ZeroRecord(DeviceRecord* r) { std::memset(r, 0, sizeof *r); }

// Addresses: a uint32_t whose bytes in memory are the four octets in order.
inline uint32_t IpFromOctets(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  const uint8_t o[4] = {a, b, c, d};
  uint32_t v;
  std::memcpy(&v, o, 4);
  return v;
}
inline uint8_t IpOctet(uint32_t ip, int i) {
  uint8_t o[4];
  std::memcpy(o, &ip, 4);
  return o[i & 3];
}
// Host-order value, for comparisons and arithmetic (192.168.1.9 < 192.168.1.10).
inline uint32_t IpToHostOrder(uint32_t ip) {
  return (uint32_t(IpOctet(ip, 0)) << 24) | (uint32_t(IpOctet(ip, 1)) << 16) | (uint32_t(IpOctet(ip, 2)) << 8) |
         IpOctet(ip, 3);
}
inline uint32_t IpFromHostOrder(uint32_t h) {
  return IpFromOctets(uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h));
}

// "%d.%d.%d.%d" into buf (at least 16 bytes); returns buf.
char* FormatIp(uint32_t ip, char* buf);
// Device list form "%02X:%02X:%02X - %02X:%02X:%02X" (buf at least 24 bytes).
char* FormatMacList(const uint8_t mac[6], char* buf);
// Assignment file form "%02X:%02X:%02X:%02X:%02X:%02X" (buf at least 18 bytes).
char* FormatMacPlain(const uint8_t mac[6], char* buf);
// Strict "a.b.c.d" with each number 0-255; 0 and *ip, or -1.
int ParseIp(const char* text, uint32_t* ip);
