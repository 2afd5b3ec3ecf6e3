#pragma once
// The libcurl requests to a device: the system-mode JSON query and the
// factory-default command; the write callback shared by every transfer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/update/worker_messages.h"
#include "platform/thread.h"

// curl_global_init once and SIGPIPE ignored; call at program start. 0 or -1.
int32_t HttpGlobalInit();

// Bounds for every libcurl transfer, so a device that accepts and never
// answers cannot hold a worker for ever. 0 switches a bound off.
struct CurlTimings {
  long connect_timeout_ms = 10000;
  long total_timeout_ms = 60000;  // uploads set 0 and rely on the speed guard
  long low_speed_limit = 1;       // bytes per second ...
  long low_speed_time_s = 30;     // ... below which for this long aborts
};

// The system-mode query's bounds: a web server that accepts and never
// answers holds it 3 s, the value requests' deadline (connect included).
inline CurlTimings SystemModeCurlTimings() {
  CurlTimings t;
  t.connect_timeout_ms = 3000;
  t.total_timeout_ms = 3000;
  t.low_speed_limit = 0;
  return t;
}

// Sets CURLOPT_NOSIGNAL, no proxy (devices are on the local segment) and the
// bounds on an easy handle (a CURL*); when stop is given, a set flag aborts
// the transfer. 0 or -1.
int32_t ApplyCurlTimings(void* easy, const CurlTimings& timings, const dk::StopFlag* stop = nullptr);

// Growable reply collector; always zero-terminated after the data.
struct ReplyBuffer {
  std::string data;
  size_t size() const { return data.size(); }
  const char* c_str() const { return data.c_str(); }
};

// libcurl write callback: appends size * count bytes to the ReplyBuffer
// target and returns size * count; 0 (the transfer then fails) when the
// buffer cannot grow.
size_t WriteReply(char* data, size_t size, size_t count, void* target);

// The system-mode query body, byte for byte, with the built-in credentials
// or with others (quote, backslash and control bytes JSON-escaped).
std::string SystemModeJsonBody();
std::string SystemModeJsonBody(const std::string& user, const std::string& password);
std::string SystemModeUrl(const char* ip, int port);
// The text QuerySystemMode reports for a reply: the reply without its first
// byte and its last three bytes (so "\"decoder\"\r\n" gives decoder) when it
// starts with "encoder" or "decoder", else "-".
std::string SystemModeFromReply(const char* data, size_t len);

// POSTs the JSON query and posts UM_SYSTEM_MODE_TEXT with the mode or "-".
// 0, -1 (no libcurl handle) or -2 (transfer failed; nothing posted).
int32_t QuerySystemMode(const char* ip, int port, MessageSink* sink,
                        const CurlTimings& timings = SystemModeCurlTimings(), const dk::StopFlag* stop = nullptr);
// The same query; *mode receives the text it would post. 0, -1, -2 as above.
// user and password (both or neither) replace the built-in credentials.
int32_t QuerySystemModeText(const char* ip, int port, std::string* mode, const CurlTimings& timings,
                            const dk::StopFlag* stop, const char* user = nullptr, const char* password = nullptr);

struct FactoryDefaultParam {
  char ip[64];
  char user[64];
  char password[64];
  uint16_t port;  // 0 means 80
  CurlTimings timings;
};

// Fills a param record (texts cut to 63 characters).
FactoryDefaultParam MakeFactoryDefaultParam(const char* ip, const char* user, const char* password, uint16_t port);
// "http://%s:%d/SysCommand.asp?USER=%s&PWD=%s&TYPE=factoryDefault", 80 for port 0.
std::string FactoryDefaultUrl(const FactoryDefaultParam& p);

// Runs one factory-default request (the body of a request thread; the record
// is its own copy). 0 transfer completed, -2 transfer failed, -1 no handle.
int32_t FactoryDefaultRequestProc(FactoryDefaultParam param);
// The same request; a set stop flag aborts the transfer (within about a
// second). http_status (may be null) receives the status the device
// answered, 0 when no answer came.
int32_t FactoryDefaultRequest(const FactoryDefaultParam& param, const dk::StopFlag* stop, long* http_status = nullptr);
