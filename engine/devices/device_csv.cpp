#include "engine/devices/device_csv.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/devices/device_format.h"
#include "platform/ini.h"

const char kDeviceCsvHeader[] =
    "No.,Model name,MAC address,IP address,Web port,AV port,Configured IP address,Subnet mask,Gateway,DNS server,"
    "Network type,Status";

namespace {

std::string Dotted(uint32_t ip) {
  char buf[16];
  return FormatIp(ip, buf);
}

// Length of the valid UTF-8 sequence at p (end e), 0 when there is none.
size_t Utf8SequenceLength(const unsigned char* p, const unsigned char* e) {
  const unsigned c = p[0];
  size_t n;
  unsigned min;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, min = 0x10000;
  } else {
    return 0;
  }
  if (static_cast<size_t>(e - p) < n) return 0;
  unsigned v = c & (0x3F >> (n - 1));
  for (size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    v = (v << 6) | (p[i] & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  return n;
}

bool LooksLikeFormula(const std::string& s) {
  // A leading tab or carriage return is skipped by some spreadsheets before
  // they look for the formula sign, so it is guarded too.
  return !s.empty() && (s[0] == '=' || s[0] == '+' || s[0] == '-' || s[0] == '@' || s[0] == '\t' || s[0] == '\r');
}

}  // namespace

std::string Utf8FromBytes(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* e = p + bytes.size();
  while (p < e) {
    const size_t n = Utf8SequenceLength(p, e);
    if (n > 0) {
      out.append(reinterpret_cast<const char*>(p), n);
      p += n;
    } else {
      out += static_cast<char>(0xC0 | (*p >> 6));
      out += static_cast<char>(0x80 | (*p & 0x3F));
      ++p;
    }
  }
  return out;
}

std::string CsvField(const std::string& text) {
  const bool quote = text.find_first_of(",\"\r\n\t") != std::string::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return text;
  std::string out = "\"";
  for (char ch : text) {
    if (ch == '"') out += '"';
    out += ch;
  }
  out += '"';
  return out;
}

std::string CsvFormulaGuard(const std::string& text) { return LooksLikeFormula(text) ? "'" + text : text; }

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string out;
  bool first = true;
  for (const std::string& f : fields) {
    if (!first) out += ',';
    first = false;
    out += CsvField(f);
  }
  out += "\r\n";
  return out;
}

std::string NetworkTypeText(int type) {
  switch (type) {
    case 0: return "DHCP";
    case 1: return "Static IP";
    case 2: return "PPPoE";
    default: return std::to_string(type);
  }
}

DeviceCsvRow DeviceCsvRowFor(int row_number, const DeviceRecord& rec) {
  DeviceCsvRow r;
  r.number = std::to_string(row_number);
  r.model = Utf8FromBytes(DeviceModelCell(rec));
  r.mac = DeviceMacCell(rec);
  r.ip = DeviceIpCell(rec);
  r.web_port = DeviceWebPortCell(rec);
  r.av_port = DeviceAvPortCell(rec);
  r.record = rec;
  return r;
}

std::string DeviceCsvText(const std::vector<DeviceCsvRow>& rows) {
  std::string out = kDeviceCsvHeader;
  out += "\r\n";
  for (const DeviceCsvRow& r : rows) {
    out += CsvLine({r.number, CsvFormulaGuard(r.model), r.mac, r.ip, r.web_port, r.av_port,
                    Dotted(r.record.configured_ip), Dotted(r.record.subnet_mask), Dotted(r.record.gateway),
                    Dotted(r.record.dns_server), NetworkTypeText(r.record.network_type), r.status});
  }
  return out;
}

int32_t WriteDeviceCsv(const std::string& path, const std::vector<DeviceCsvRow>& rows, std::string* error) {
  return WriteCsvText(path, DeviceCsvText(rows), error);
}

int32_t WriteCsvText(const std::string& path, const std::string& text, std::string* error) {
  error->clear();
  errno = 0;
  if (dk::FileWriteAll(path, text)) return 0;
  *error = errno != 0 ? std::strerror(errno) : "the file could not be written";
  return -1;
}
