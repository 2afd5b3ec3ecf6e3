#pragma once
// Minimal HTTP/1.1 GET client on a raw TCP socket for the devices'
// "GetValue.asp" and "SysCommand.asp" commands: one request at a time.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/thread.h"

constexpr size_t kHttpBufferSize = 1024;  // request text and received reply
constexpr size_t kHttpValueSize = 256;    // caller's value buffer, with its zero

struct HttpClientTimings {
  uint32_t deadline_ms = 3000;  // connect, and again the wait for the reply
  uint32_t wait_us = 1000;      // one readability wait of the reply loop
  uint32_t send_ms = 3000;      // room for the request in the send buffer
};

// Formats the request text: the value query ("GetValue.asp") when conf is
// given, else the system query ("SysCommand.asp") with TYPE=item. User and
// password go in as they are. 0, or -1 when item is absent or the text would
// not fit kHttpBufferSize with a terminating zero.
int32_t FormatHttpRequest(const char* user, const char* password, const char* conf, const char* item,
                          std::string* out);

// Collects a reply that may arrive in any number of chunks: finds the blank
// line that ends the headers and then the first line of the body (skipping a
// leading one-character line when the body's third byte is LF). Pure, so the
// parsing can be tested and fuzzed without sockets.
class HttpReplyCollector {
 public:
  HttpReplyCollector();
  // Feeds one received chunk; true once the value is complete.
  bool Feed(const char* data, size_t len);
  // The peer closed: what has arrived is all there is.
  void Close();
  bool HeadersDone() const { return headers_done_; }
  bool Complete() const { return complete_; }
  // First body line, at most kHttpValueSize - 1 characters, cut at CR or LF.
  // Meaningful once HeadersDone(); Complete() says it cannot grow any more.
  std::string Value() const;
  size_t BytesSeen() const { return seen_; }

 private:
  void CheckHeaderLine();
  void CheckBody();

  size_t seen_ = 0;
  bool headers_done_ = false;
  bool complete_ = false;
  bool closed_ = false;
  uint32_t match_ = 0;          // bytes of CR LF CR LF matched so far
  std::string line_;            // current header line (bounded)
  bool line_overlong_ = false;
  long long content_length_ = -1;
  std::string body_;            // at most kHttpBufferSize bytes of the body
  size_t body_total_ = 0;       // body bytes seen, also past the kept ones
  size_t scanned_ = 0;          // body bytes already looked at for the end of the first line
};

class DeviceHttpClient {
 public:
  explicit DeviceHttpClient(const HttpClientTimings& timings = {});
  virtual ~DeviceHttpClient();
  DeviceHttpClient(const DeviceHttpClient&) = delete;
  DeviceHttpClient& operator=(const DeviceHttpClient&) = delete;

  // Connects to the dotted-quad ip and port within the deadline. 0 or -1.
  int32_t Connect(const char* ip, uint16_t port);
  int32_t Close();  // 0

  // One request; always closes before returning. value (kHttpValueSize bytes,
  // may be null) receives the first body line. Returns -1 when the request
  // could not be made (no item, text too long, connect or send failed);
  // otherwise the positive count of bytes received when the value arrived, or
  // at the deadline 0 (nothing readable, or the peer closed), -1 (the last
  // wait or receive failed) or the size of the last chunk; value is then left
  // as it was unless the headers had arrived.
  int32_t Request(const char* ip, uint16_t port, const char* user, const char* password, const char* conf,
                  const char* item, char* value);

  // True when the last Request delivered a value (headers and body seen).
  bool LastValueFound() const { return value_found_; }

  // A set flag ends a waiting Request early (result as at the deadline).
  void SetStopFlag(const dk::StopFlag* stop) { stop_ = stop; }

  int32_t socket() const { return socket_; }

 private:
  int32_t socket_ = -1;
  HttpClientTimings timings_;
  const dk::StopFlag* stop_ = nullptr;
  bool value_found_ = false;
};
