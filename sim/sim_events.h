#pragma once
// The event log: one JSON object a line, written whole with one write so a
// reader never sees half a line.
#include <cstdint>
#include <string>

namespace dksim {

// Builds one line: {"t_ms":..,"ev":"..",...}\n
class JsonLine {
 public:
  JsonLine(uint64_t t_ms, const char* event);
  JsonLine& Str(const char* key, const std::string& value);
  JsonLine& Str(const char* key, const char* value);
  // Raw bytes (IDs, request lines): bytes outside printable ASCII become \u00XX.
  JsonLine& Bytes(const char* key, const void* data, size_t len);
  JsonLine& Num(const char* key, int64_t value);
  JsonLine& Bool(const char* key, bool value);
  JsonLine& Ip(const char* key, uint32_t ip);
  JsonLine& Mac(const char* key, const uint8_t mac[6]);
  JsonLine& Dev(int index, const uint8_t mac[6]);  // "dev": index, "mac": ...
  std::string Finish();

 private:
  void Key(const char* key);
  std::string s_;
};

// Appends JSON text for bytes (without quotes).
void JsonEscape(const void* data, size_t len, std::string* out);

class EventLog {
 public:
  EventLog() = default;
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;
  // Truncates or creates path. 0 or -1.
  int Open(const std::string& path);
  bool enabled() const { return fd_ >= 0 || capture_; }
  void Write(const std::string& line);
  // Tests: keep lines in memory instead of a file.
  void Capture(bool on) { capture_ = on; }
  const std::string& captured() const { return captured_; }
  void ClearCaptured() { captured_.clear(); }
  uint64_t lines() const { return lines_; }

 private:
  int fd_ = -1;
  bool capture_ = false;
  std::string captured_;
  uint64_t lines_ = 0;
};

}  // namespace dksim
