#include "engine/ops/device_http_client.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/devices/device_record.h"
#include "platform/tcp_socket.h"
#include "platform/ticks.h"

namespace {
constexpr char kSeparator[] = "\r\n\r\n";
constexpr size_t kHeaderLineKeep = 256;  // enough for the headers we read

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char a = s[i], b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}
}  // namespace

int32_t FormatHttpRequest(const char* user, const char* password, const char* conf, const char* item,
                          std::string* out) {
  if (!item || !out) return -1;
  const char* u = user ? user : "";
  const char* p = password ? password : "";
  std::string t;
  if (conf) {
    t = "GET /GetValue.asp?USER=";
    t += u;
    t += "&PWD=";
    t += p;
    t += "&CONF=";
    t += conf;
    t += "&ITEM=";
    t += item;
  } else {
    t = "GET /SysCommand.asp?USER=";
    t += u;
    t += "&PWD=";
    t += p;
    t += "&TYPE=";
    t += item;
  }
  t += " HTTP/1.1\r\nHost: 0.0.0.0\r\n\r\n";
  // A truncated request would be a different command: refuse it.
  if (t.size() + 1 > kHttpBufferSize) return -1;
  *out = std::move(t);
  return 0;
}

HttpReplyCollector::HttpReplyCollector() { line_.reserve(kHeaderLineKeep); }

void HttpReplyCollector::CheckHeaderLine() {
  if (line_overlong_ || !StartsWithNoCase(line_, "content-length:")) return;
  size_t i = std::strlen("content-length:");
  while (i < line_.size() && (line_[i] == ' ' || line_[i] == '\t')) ++i;
  long long v = 0;
  bool any = false;
  for (; i < line_.size() && line_[i] >= '0' && line_[i] <= '9'; ++i) {
    any = true;
    if (v > (LLONG_MAX - 9) / 10) return;  // absurd length: ignore the header
    v = v * 10 + (line_[i] - '0');
  }
  if (any) content_length_ = v;
}

bool HttpReplyCollector::Feed(const char* data, size_t len) {
  seen_ += len;
  for (size_t i = 0; i < len; ++i) {
    char c = data[i];
    if (!headers_done_) {
      if (c == kSeparator[match_]) {
        ++match_;
      } else {
        match_ = (c == '\r') ? 1 : 0;
      }
      if (c == '\n') {
        CheckHeaderLine();
        line_.clear();
        line_overlong_ = false;
      } else if (c != '\r') {
        if (line_.size() < kHeaderLineKeep) line_.push_back(c);
        else line_overlong_ = true;
      }
      if (match_ == 4) headers_done_ = true;
      continue;
    }
    // The rest of the chunk is body: kept up to the buffer, counted whole.
    body_.append(data + i, std::min(len - i, kHttpBufferSize - body_.size()));
    body_total_ += len - i;
    break;
  }
  CheckBody();
  return complete_;
}

void HttpReplyCollector::Close() {
  closed_ = true;
  CheckBody();
}

namespace {
// The body bytes that belong to this reply (a declared length bounds them).
size_t UsableBody(const std::string& body, long long content_length) {
  size_t n = body.size();
  if (content_length >= 0 && static_cast<unsigned long long>(content_length) < n) n = static_cast<size_t>(content_length);
  return n;
}
// Where the first line starts: a body whose third byte is LF begins with a
// one-character line (a chunk size) that is skipped.
size_t LineStart(const std::string& body, size_t n) { return (n >= 3 && body[2] == '\n') ? 3 : 0; }
}  // namespace

void HttpReplyCollector::CheckBody() {
  if (!headers_done_ || complete_) return;
  size_t n = UsableBody(body_, content_length_);
  bool ended = closed_ || body_.size() >= kHttpBufferSize ||
               (content_length_ >= 0 && body_total_ >= static_cast<unsigned long long>(content_length_));
  if (n < 3 && !ended) return;  // the skip rule needs the third byte
  // From here on the line's start is fixed, so each byte is looked at once:
  // a reply that arrives a byte at a time costs no more than one in a piece.
  size_t i = std::max(scanned_, LineStart(body_, n));
  for (; i < n; ++i) {
    if (body_[i] == '\r' || body_[i] == '\n') {
      complete_ = true;
      return;
    }
  }
  scanned_ = n;
  if (ended) complete_ = true;
}

std::string HttpReplyCollector::Value() const {
  if (!headers_done_) return std::string();
  size_t n = UsableBody(body_, content_length_);
  size_t start = LineStart(body_, n);
  size_t end = start;
  while (end < n && body_[end] != '\r' && body_[end] != '\n') ++end;
  if (end - start > kHttpValueSize - 1) end = start + kHttpValueSize - 1;
  return body_.substr(start, end - start);
}

DeviceHttpClient::DeviceHttpClient(const HttpClientTimings& timings) : timings_(timings) {}

DeviceHttpClient::~DeviceHttpClient() { Close(); }

int32_t DeviceHttpClient::Connect(const char* ip, uint16_t port) {
  Close();
  uint32_t addr = 0;
  if (!ip || ParseIp(ip, &addr) != 0) return -1;
  int s = dk::TcpOpen();
  if (s < 0) return -1;
  if (dk::TcpConnect(s, addr, port, timings_.deadline_ms) != 0) {
    dk::TcpClose(s);
    return -1;
  }
  socket_ = s;
  return 0;
}

int32_t DeviceHttpClient::Close() {
  if (socket_ >= 0) dk::TcpClose(socket_);
  socket_ = -1;
  return 0;
}

int32_t DeviceHttpClient::Request(const char* ip, uint16_t port, const char* user, const char* password,
                                  const char* conf, const char* item, char* value) {
  value_found_ = false;
  std::string text;
  if (FormatHttpRequest(user, password, conf, item, &text) != 0) return -1;
  if (Connect(ip, port) != 0) return -1;
  if (dk::TcpSend(socket_, text.data(), text.size(), timings_.send_ms) != static_cast<int>(text.size())) {
    Close();
    return -1;
  }

  dk::TickTimer timer;
  timer.Start();
  HttpReplyCollector reply;
  char buf[kHttpBufferSize + 1];
  int32_t result = 0;
  while (!timer.Expired(timings_.deadline_ms)) {
    if (stop_ && stop_->IsSet()) break;
    int w = dk::TcpWaitReadable(socket_, timings_.wait_us);
    result = w;
    if (w <= 0) continue;
    int n = dk::TcpRecv(socket_, buf, kHttpBufferSize);
    if (n == -2) {  // woken without data
      result = 0;
      continue;
    }
    if (n == 0) {  // the peer closed: nothing more can arrive
      reply.Close();
      result = 0;
      break;
    }
    if (n < 0) {
      result = -1;
      continue;
    }
    result = n;
    reply.Feed(buf, static_cast<size_t>(n));
    if (reply.Complete() || (!value && reply.HeadersDone())) break;
  }
  Close();

  if (reply.HeadersDone()) {
    value_found_ = true;
    if (value) {
      std::string v = reply.Value();
      std::memcpy(value, v.data(), v.size());
      value[v.size()] = '\0';
    }
    size_t seen = reply.BytesSeen();
    result = seen > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(seen);
  }
  return result;
}
