#include "engine/devices/device_format.h"

#include <cstdio>
#include <cstring>

#include "engine/devices/device_csv.h"

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
  line += VisibleText(std::string(rec.model_name, TextLen(rec.model_name)));
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

std::string VisibleText(const std::string& bytes) {
  const std::string s = Utf8FromBytes(bytes);
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) {
      AppendHexEscape(&out, "\\x", c, 2);
    } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
      // U+0080..U+009F in UTF-8: C2 80..C2 9F.
      AppendHexEscape(&out, "\\x", static_cast<unsigned char>(s[++i]), 2);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}
