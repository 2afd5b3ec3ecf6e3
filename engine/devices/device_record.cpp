#include "engine/devices/device_record.h"

#include <cstdio>

char* FormatIp(uint32_t ip, char* buf) {
  std::snprintf(buf, 16, "%d.%d.%d.%d", IpOctet(ip, 0), IpOctet(ip, 1), IpOctet(ip, 2), IpOctet(ip, 3));
  return buf;
}

char* FormatMacList(const uint8_t mac[6], char* buf) {
  std::snprintf(buf, 24, "%02X:%02X:%02X - %02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return buf;
}

char* FormatMacPlain(const uint8_t mac[6], char* buf) {
  std::snprintf(buf, 18, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return buf;
}

int ParseIp(const char* text, uint32_t* ip) {
  uint8_t o[4];
  const char* p = text;
  for (int i = 0; i < 4; ++i) {
    if (*p < '0' || *p > '9') return -1;
    int v = 0, digits = 0;
    while (*p >= '0' && *p <= '9') {
      v = v * 10 + (*p - '0');
      if (++digits > 3 || v > 255) return -1;
      ++p;
    }
    o[i] = static_cast<uint8_t>(v);
    if (i < 3) {
      if (*p != '.') return -1;
      ++p;
    }
  }
  if (*p != 0) return -1;
  *ip = IpFromOctets(o[0], o[1], o[2], o[3]);
  return 0;
}
