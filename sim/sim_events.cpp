#include "sim/sim_events.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "engine/devices/device_record.h"

namespace dksim {

void JsonEscape(const void* data, size_t len, std::string* out) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < len; ++i) {
    const uint8_t c = p[i];
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else if (c >= 0x20 && c < 0x7F) {
      out->push_back(static_cast<char>(c));
    } else {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      *out += b;
    }
  }
}

JsonLine::JsonLine(uint64_t t_ms, const char* event) {
  s_ = "{\"t_ms\":" + std::to_string(t_ms) + ",\"ev\":\"";
  s_ += event;
  s_ += "\"";
}

void JsonLine::Key(const char* key) {
  s_ += ",\"";
  s_ += key;
  s_ += "\":";
}

JsonLine& JsonLine::Str(const char* key, const std::string& value) { return Bytes(key, value.data(), value.size()); }

JsonLine& JsonLine::Str(const char* key, const char* value) { return Str(key, std::string(value)); }

JsonLine& JsonLine::Bytes(const char* key, const void* data, size_t len) {
  Key(key);
  s_.push_back('"');
  JsonEscape(data, len, &s_);
  s_.push_back('"');
  return *this;
}

JsonLine& JsonLine::Num(const char* key, int64_t value) {
  Key(key);
  s_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::Bool(const char* key, bool value) {
  Key(key);
  s_ += value ? "true" : "false";
  return *this;
}

JsonLine& JsonLine::Ip(const char* key, uint32_t ip) {
  char b[16];
  return Str(key, FormatIp(ip, b));
}

JsonLine& JsonLine::Mac(const char* key, const uint8_t mac[6]) {
  char b[18];
  return Str(key, FormatMacPlain(mac, b));
}

JsonLine& JsonLine::Dev(int index, const uint8_t mac[6]) {
  Num("dev", index);
  return Mac("mac", mac);
}

std::string JsonLine::Finish() {
  s_ += "}\n";
  return std::move(s_);
}

EventLog::~EventLog() {
  if (fd_ >= 0) ::close(fd_);
}

int EventLog::Open(const std::string& path) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  return fd_ >= 0 ? 0 : -1;
}

void EventLog::Write(const std::string& line) {
  ++lines_;
  if (capture_) captured_ += line;
  if (fd_ < 0) return;
  // A regular file takes the line whole; retry only on interruption.
  size_t off = 0;
  int tries = 0;
  while (off < line.size() && tries++ < 16) {
    const ssize_t n = ::write(fd_, line.data() + off, line.size() - off);
    if (n > 0) {
      off += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      break;
    }
  }
}

}  // namespace dksim
