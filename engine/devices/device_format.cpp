#include "engine/devices/device_format.h"

#include <cstdio>
#include <cstring>

const char kDeviceListingHeader[] = "No.\tModel name\tMAC address\tIP address\tWeb port\tAV port";

namespace {

// Length of a record text: up to its terminator, never past the field.
template <size_t N>
size_t TextLen(const char (&field)[N]) {
  return strnlen(field, N);
}

void AppendHexEscape(std::string* out, const char* prefix, unsigned v, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%s%0*X", prefix, digits, v);
  out->append(buf);
}

// Length of the valid UTF-8 sequence at p (1-4), or 0 when the bytes there
// are not one (overlong forms, surrogates and values past U+10FFFF included).
size_t Utf8SequenceLength(const unsigned char* p, size_t left) {
  const unsigned char b = p[0];
  size_t len;
  uint32_t cp;
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    cp = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    cp = b & 0x07;
  } else {
    return 0;
  }
  if (left < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if (len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) return 0;
  if (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) return 0;
  return len;
}

void AppendNumberField(std::string* out, const char* key, unsigned long v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, ",\"%s\":%lu", key, v);
  out->append(buf);
}

template <size_t N>
void AppendTextField(std::string* out, const char* key, const char (&field)[N]) {
  out->append(",\"").append(key).append("\":");
  out->append(JsonString(field, TextLen(field)));
}

void AppendIpField(std::string* out, const char* key, uint32_t ip) {
  char buf[16];
  out->append(",\"").append(key).append("\":\"").append(FormatIp(ip, buf)).append("\"");
}

}  // namespace

std::string DeviceNumberCell(int row_number) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%4d", row_number);
  return buf;
}

std::string DeviceMacCell(const DeviceRecord& rec) {
  char buf[24];
  return FormatMacList(rec.mac, buf);
}

std::string DeviceIpCell(const DeviceRecord& rec) {
  char buf[16];
  return FormatIp(rec.ip, buf);
}

std::string DeviceWebPortCell(const DeviceRecord& rec) {
  if (rec.web_port == 0) return "-";
  return std::to_string(rec.web_port);
}

std::string DeviceAvPortCell(const DeviceRecord& rec) {
  if (rec.av_port1 == 0) return "-";
  std::string s = std::to_string(rec.av_port1);
  if (rec.av_port2 != 0) {
    s += " / " + std::to_string(rec.av_port2);
    if (rec.av_port3 != 0) s += " / " + std::to_string(rec.av_port3);
  }
  return s;
}

std::string DeviceModelCell(const DeviceRecord& rec) { return std::string(rec.model_name, TextLen(rec.model_name)); }

std::string DeviceListingLine(int row_number, const DeviceRecord& rec) {
  std::string line = DeviceNumberCell(row_number);
  line += '\t';
  for (size_t i = 0, n = TextLen(rec.model_name); i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(rec.model_name[i]);
    if (c < 0x20 || c == 0x7F)
      AppendHexEscape(&line, "\\x", c, 2);
    else
      line += static_cast<char>(c);
  }
  line += '\t';
  line += DeviceMacCell(rec);
  line += '\t';
  line += DeviceIpCell(rec);
  line += '\t';
  line += DeviceWebPortCell(rec);
  line += '\t';
  line += DeviceAvPortCell(rec);
  return line;
}

std::string JsonString(const char* bytes, size_t n) {
  std::string out = "\"";
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (c < 0x20 || c == 0x7F)
            AppendHexEscape(&out, "\\u", c, 4);
          else
            out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    const size_t len = Utf8SequenceLength(p + i, n - i);
    if (len == 0) {
      AppendHexEscape(&out, "\\u", c, 4);
      ++i;
    } else {
      out.append(bytes + i, len);
      i += len;
    }
  }
  out += '"';
  return out;
}

std::string DeviceJsonObject(const DeviceRecord& r) {
  char mac[18];
  std::string o = "{\"mac\":\"";
  o += FormatMacPlain(r.mac, mac);
  o += '"';
  AppendIpField(&o, "ip", r.ip);
  AppendNumberField(&o, "device_byte", r.device_byte);
  AppendNumberField(&o, "network_type", r.network_type);
  AppendTextField(&o, "model_name", r.model_name);
  AppendTextField(&o, "text2", r.text2);
  AppendTextField(&o, "text3", r.text3);
  AppendNumberField(&o, "trailing_byte", r.trailing_byte);
  AppendIpField(&o, "configured_ip", r.configured_ip);
  AppendIpField(&o, "subnet_mask", r.subnet_mask);
  AppendIpField(&o, "gateway", r.gateway);
  AppendIpField(&o, "dns_server", r.dns_server);
  AppendTextField(&o, "pppoe_text1", r.pppoe_text1);
  AppendTextField(&o, "pppoe_text2", r.pppoe_text2);
  AppendTextField(&o, "pppoe_text3", r.pppoe_text3);
  AppendNumberField(&o, "pppoe_value1", r.pppoe_value1);
  AppendNumberField(&o, "pppoe_value2", r.pppoe_value2);
  AppendNumberField(&o, "pppoe_value3", r.pppoe_value3);
  AppendNumberField(&o, "item2_value", r.item2_value);
  AppendNumberField(&o, "web_port", r.web_port);
  AppendNumberField(&o, "av_port1", r.av_port1);
  AppendNumberField(&o, "av_port2", r.av_port2);
  AppendNumberField(&o, "av_port3", r.av_port3);
  o += '}';
  return o;
}

std::string DevicesJsonArray(const std::vector<DeviceRecord>& devices) {
  if (devices.empty()) return "[]\n";
  std::string s = "[\n";
  for (size_t i = 0; i < devices.size(); ++i) {
    s += "  ";
    s += DeviceJsonObject(devices[i]);
    s += i + 1 < devices.size() ? ",\n" : "\n";
  }
  s += "]\n";
  return s;
}
