#include "cli/cli_common.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/devices/device_format.h"
#include "engine/devices/discovery_scan.h"
#include "platform/stdio_redirect.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
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

template <size_t N>
std::string Field(const char (&field)[N]) {
  return JsonText(field, strnlen(field, N));
}

}  // namespace

std::string MacText(const uint8_t mac[6]) {
  char b[18];
  return FormatMacPlain(mac, b);
}

std::string IpText(uint32_t ip) {
  char buf[16];
  return FormatIp(ip, buf);
}

int ParseMacText(const std::string& text, uint8_t mac[6]) {
  uint8_t out[6];
  size_t p = 0;
  for (int i = 0; i < 6; ++i) {
    if (p + 2 > text.size()) return -1;
    const int hi = HexValue(text[p]), lo = HexValue(text[p + 1]);
    if (hi < 0 || lo < 0) return -1;
    out[i] = static_cast<uint8_t>(hi * 16 + lo);
    p += 2;
    if (i == 5) break;
    if (i == 2 && text.compare(p, 3, " - ") == 0) {
      p += 3;
    } else if (p < text.size() && (text[p] == ':' || text[p] == '-')) {
      ++p;
    } else {
      return -1;
    }
  }
  if (p != text.size()) return -1;
  std::memcpy(mac, out, 6);
  return 0;
}

int ParseIpText(const std::string& text, uint32_t* ip) { return ParseIp(text.c_str(), ip); }

int ScanOnce(int32_t xflag, std::vector<DeviceRecord>* devices) {
  ScanConfig cfg;
  cfg.xflag = xflag;
  dk::StopFlag stop;
  CollectingSink sink;
  {
    // The protocol layer prints its diagnostics ("broadcast error") on
    // standard output; keep them out of the command's own output.
    dk::StdoutToStderr divert;
    TalqThreadProc(cfg, stop, &sink);
  }
  bool faulted = false;
  for (const WorkerMessage& m : sink.msgs) {
    if (m.id == UM_SCAN_DONE && m.wparam == kScanDoneFault) faulted = true;
    const auto* rec = m.id == UM_DEVICE_FOUND ? std::get_if<DeviceRecord>(&m.payload) : nullptr;
    if (!rec) continue;
    bool seen = false;
    for (const DeviceRecord& d : *devices)
      if (!std::memcmp(d.mac, rec->mac, 6)) seen = true;
    if (!seen) devices->push_back(*rec);
  }
  if (faulted) {
    std::fprintf(stderr, "%s\n", kTalqThreadFaultText);
    return -1;
  }
  return 0;
}

int SelectDevices(const std::vector<DeviceRecord>& found, const std::vector<std::string>& macs, bool all,
                  std::vector<DeviceRecord>* out, std::string* error) {
  out->clear();
  if (all) {
    *out = found;
    return 0;
  }
  for (const std::string& text : macs) {
    uint8_t mac[6];
    if (ParseMacText(text, mac) != 0) {
      *error = "'" + text + "' is not a MAC address";
      return -1;
    }
    const DeviceRecord* hit = nullptr;
    for (const DeviceRecord& d : found)
      if (!std::memcmp(d.mac, mac, 6)) hit = &d;
    if (!hit) {
      *error = "no device with MAC " + text + " answered the discovery";
      return -1;
    }
    bool twice = false;
    for (const DeviceRecord& d : *out)
      if (!std::memcmp(d.mac, mac, 6)) twice = true;
    if (!twice) out->push_back(*hit);
  }
  return 0;
}

std::string JsonText(const char* bytes, size_t n) {
  std::string out;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < n;) {
    const size_t len = Utf8SequenceLength(p + i, n - i);
    if (len == 0) {
      // Latin-1 reading of a stray byte: U+0080..U+00FF in UTF-8.
      out += static_cast<char>(0xC0 | (p[i] >> 6));
      out += static_cast<char>(0x80 | (p[i] & 0x3F));
      ++i;
    } else {
      out.append(bytes + i, len);
      i += len;
    }
  }
  return out;
}

nlohmann::ordered_json DeviceJson(const DeviceRecord& r) {
  char mac[18];
  nlohmann::ordered_json o;
  o["mac"] = FormatMacPlain(r.mac, mac);
  o["ip"] = IpText(r.ip);
  o["device_byte"] = r.device_byte;
  o["network_type"] = r.network_type;
  o["model_name"] = Field(r.model_name);
  o["text2"] = Field(r.text2);
  o["text3"] = Field(r.text3);
  o["trailing_byte"] = r.trailing_byte;
  o["configured_ip"] = IpText(r.configured_ip);
  o["subnet_mask"] = IpText(r.subnet_mask);
  o["gateway"] = IpText(r.gateway);
  o["dns_server"] = IpText(r.dns_server);
  o["pppoe_text1"] = Field(r.pppoe_text1);
  o["pppoe_text2"] = Field(r.pppoe_text2);
  o["pppoe_text3"] = Field(r.pppoe_text3);
  o["pppoe_value1"] = r.pppoe_value1;
  o["pppoe_value2"] = r.pppoe_value2;
  o["pppoe_value3"] = r.pppoe_value3;
  o["item2_value"] = r.item2_value;
  o["web_port"] = r.web_port;
  o["av_port1"] = r.av_port1;
  o["av_port2"] = r.av_port2;
  o["av_port3"] = r.av_port3;
  return o;
}

bool PrintJson(const nlohmann::ordered_json& j, int indent) {
  const std::string s = j.dump(indent) + "\n";
  return std::fputs(s.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
}

std::string Printable(const std::string& s) { return VisibleText(s); }

int CheckDeviceChoice(const char* me, const std::vector<std::string>& macs, bool all) {
  if (all == !macs.empty()) {
    std::fprintf(stderr, "%s: give --mac MAC ... or --all\n", me);
    return -1;
  }
  for (const std::string& m : macs) {
    uint8_t mac[6];
    if (ParseMacText(m, mac) != 0) {
      std::fprintf(stderr, "%s: '%s' is not a MAC address\n", me, m.c_str());
      return -1;
    }
  }
  return 0;
}

int ScanAndChoose(const char* me, int32_t xflag, const std::vector<std::string>& macs, bool all,
                  std::vector<DeviceRecord>* chosen, std::vector<DeviceRecord>* found_out) {
  std::vector<DeviceRecord> found;
  if (ScanOnce(xflag, &found) != 0) return -1;
  if (found_out) *found_out = found;
  std::string error;
  if (SelectDevices(found, macs, all, chosen, &error) != 0) {
    std::fprintf(stderr, "%s: %s\n", me, error.c_str());
    return -1;
  }
  if (chosen->empty()) {
    std::fprintf(stderr, "%s: no device answered the discovery scan\n", me);
    return -1;
  }
  return 0;
}

const char kPasswordEnv[] = "DRAVENKIT_PASSWORD";

void AddPasswordOptions(CLI::App* sub, PasswordChoice* choice, const std::string& what) {
  sub->add_option("--password", choice->arg,
                  what + "; visible to other users of this machine in the process list, so prefer "
                         "--password-file or DRAVENKIT_PASSWORD")
      ->type_name("PW")
      ->each([choice](const std::string&) { choice->arg_given = true; });
  sub->add_option("--password-file", choice->file,
                  "read the password from the first line of FILE (used when --password is not given; "
                  "else DRAVENKIT_PASSWORD from the environment)")
      ->type_name("FILE")
      ->each([choice](const std::string&) { choice->file_given = true; });
}

std::string FirstLineOf(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

int ResolvePassword(const char* me, const PasswordChoice& choice, std::string* out) {
  if (choice.arg_given) {
    *out = choice.arg;
    return 1;
  }
  if (choice.file_given) {
    // A password is one short line: the first 4 KiB hold it.
    char buf[4096];
    size_t n = 0;
    std::FILE* f = std::fopen(choice.file.c_str(), "rb");
    int err = errno;
    if (f) {
      n = std::fread(buf, 1, sizeof buf, f);
      err = std::ferror(f) ? errno : 0;
      std::fclose(f);
    }
    if (!f || err != 0) {
      std::fprintf(stderr, "%s: cannot read --password-file %s: %s\n", me, choice.file.c_str(),
                   std::strerror(err ? err : EIO));
      return -1;
    }
    *out = FirstLineOf(std::string(buf, n));
    return 1;
  }
  const char* env = std::getenv(kPasswordEnv);
  if (env && *env) {
    *out = env;
    return 1;
  }
  return 0;
}
