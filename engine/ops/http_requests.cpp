#include "engine/ops/http_requests.h"

#include <curl/curl.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace {
constexpr char kJsonUser[] = "root";
constexpr char kJsonPassword[] = "tulp";

int StopProgress(void* clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* stop = static_cast<const dk::StopFlag*>(clientp);
  return (stop && stop->IsSet()) ? 1 : 0;  // non-zero aborts the transfer
}

void CopyCut(char* dst, size_t cap, const char* src) {
  std::snprintf(dst, cap, "%s", src ? src : "");
}
}  // namespace

int32_t HttpGlobalInit() {
  static std::once_flag once;
  static CURLcode rc = CURLE_OK;
  std::call_once(once, [] {
#ifdef SIGPIPE
    // A peer that closes under a write must not end the program (Windows
    // has no such signal).
    ::signal(SIGPIPE, SIG_IGN);
#endif
    rc = curl_global_init(CURL_GLOBAL_DEFAULT);
  });
  return rc == CURLE_OK ? 0 : -1;
}

int32_t ApplyCurlTimings(void* easy, const CurlTimings& t, const dk::StopFlag* stop) {
  CURL* h = static_cast<CURL*>(easy);
  if (!h) return -1;
  // Worker threads: no signals from the resolver's time-outs.
  if (curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) != CURLE_OK) return -1;
  // Devices sit on the local segment: a proxy from the environment would
  // carry their requests (and credentials) elsewhere.
  curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
  if (t.connect_timeout_ms > 0) curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, t.connect_timeout_ms);
  if (t.total_timeout_ms > 0) curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, t.total_timeout_ms);
  if (t.low_speed_limit > 0 && t.low_speed_time_s > 0) {
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, t.low_speed_limit);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, t.low_speed_time_s);
  }
  if (stop) {
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, StopProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<dk::StopFlag*>(stop));
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  }
  return 0;
}

size_t WriteReply(char* data, size_t size, size_t count, void* target) {
  auto* buf = static_cast<ReplyBuffer*>(target);
  if (!buf) return 0;
  if (count != 0 && size > SIZE_MAX / count) return 0;
  size_t n = size * count;
  // Out of memory fails this transfer (curl sees a short write) rather than
  // the whole program.
  try {
    buf->data.append(data, n);
  } catch (const std::bad_alloc&) {
    return 0;
  } catch (const std::length_error&) {
    return 0;
  }
  return n;
}

std::string SystemModeJsonBody() { return SystemModeJsonBody(kJsonUser, kJsonPassword); }

namespace {
// A JSON string's content: quote, backslash and control bytes escaped, every
// other byte as it is.
void AppendJsonString(std::string* b, const std::string& s) {
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      *b += '\\';
      *b += static_cast<char>(c);
    } else if (c < 0x20) {
      char e[8];
      std::snprintf(e, sizeof e, "\\u%04x", c);
      *b += e;
    } else {
      *b += static_cast<char>(c);
    }
  }
}
}  // namespace

std::string SystemModeJsonBody(const std::string& user, const std::string& password) {
  std::string b = "{\"jsonData\": {";
  b += "\"username\":\"";
  AppendJsonString(&b, user);
  b += "\", \"password\":\"";
  AppendJsonString(&b, password);
  b += "\", \"file\":\"param\", \"data\":\"All.General.SystemMode.VALUE\"}}";
  return b;
}

std::string SystemModeUrl(const char* ip, int port) {
  char url[256];
  std::snprintf(url, sizeof url, "http://%s:%d/cgi-bin/GetJsonValue.cgi?TYPE=json", ip ? ip : "", port);
  return url;
}

std::string SystemModeFromReply(const char* data, size_t len) {
  // Reply minus its first byte and last three (a quoted word and CR LF),
  // at most 255 characters as the mode field holds.
  std::string mode;
  if (data && len > 4) {
    mode.assign(data + 1, std::min<size_t>(len - 4, 255));
    // The field shows a zero-terminated text.
    size_t z = mode.find('\0');
    if (z != std::string::npos) mode.resize(z);
  }
  if (mode.compare(0, 7, "encoder") == 0 || mode.compare(0, 7, "decoder") == 0) return mode;
  return "-";
}

int32_t QuerySystemMode(const char* ip, int port, MessageSink* sink, const CurlTimings& timings,
                        const dk::StopFlag* stop) {
  std::string mode;
  const int32_t r = QuerySystemModeText(ip, port, &mode, timings, stop);
  if (r != 0) return r;
  if (stop && stop->IsSet()) return 0;  // a stopped query reports nothing more
  if (sink) sink->Post(MakeText(UM_SYSTEM_MODE_TEXT, mode.c_str()));
  return 0;
}

int32_t QuerySystemModeText(const char* ip, int port, std::string* mode, const CurlTimings& timings,
                            const dk::StopFlag* stop, const char* user, const char* password) {
  ReplyBuffer reply;
  const std::string body = user && password ? SystemModeJsonBody(user, password) : SystemModeJsonBody();
  const std::string url = SystemModeUrl(ip, port);
  CURL* h = curl_easy_init();
  if (!h) return -1;
  curl_slist* headers = nullptr;
  curl_slist* h1 = curl_slist_append(headers, "Accept: application/json");
  curl_slist* h2 = h1 ? curl_slist_append(h1, "Content-Type: application/json; charset=utf-8") : nullptr;
  if (!h2) {
    curl_slist_free_all(h1);
    curl_easy_cleanup(h);
    return -2;
  }
  headers = h2;
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteReply);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply);
  ApplyCurlTimings(h, timings, stop);
  CURLcode rc = curl_easy_perform(h);
  curl_slist_free_all(headers);
  curl_easy_cleanup(h);
  if (rc != CURLE_OK) return -2;
  if (mode) *mode = SystemModeFromReply(reply.data.data(), reply.size());
  return 0;
}

FactoryDefaultParam MakeFactoryDefaultParam(const char* ip, const char* user, const char* password, uint16_t port) {
  FactoryDefaultParam p{};
  CopyCut(p.ip, sizeof p.ip, ip);
  CopyCut(p.user, sizeof p.user, user);
  CopyCut(p.password, sizeof p.password, password);
  p.port = port;
  return p;
}

std::string FactoryDefaultUrl(const FactoryDefaultParam& p) {
  // The record's texts are terminated within their arrays.
  auto text = [](const char* a, size_t cap) { return std::string(a, strnlen(a, cap)); };
  std::string url = "http://" + text(p.ip, sizeof p.ip) + ":" + std::to_string(p.port == 0 ? 80 : p.port) +
                    "/SysCommand.asp?USER=" + text(p.user, sizeof p.user) + "&PWD=" +
                    text(p.password, sizeof p.password) + "&TYPE=factoryDefault";
  return url;
}

int32_t FactoryDefaultRequestProc(FactoryDefaultParam param) { return FactoryDefaultRequest(param, nullptr); }

int32_t FactoryDefaultRequest(const FactoryDefaultParam& param, const dk::StopFlag* stop, long* http_status) {
  if (http_status) *http_status = 0;
  ReplyBuffer reply;
  CURL* h = curl_easy_init();
  if (!h) return -1;
  const std::string url = FactoryDefaultUrl(param);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteReply);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply);
  ApplyCurlTimings(h, param.timings, stop);
  CURLcode rc = curl_easy_perform(h);
  long code = 0;
  if (rc == CURLE_OK && http_status && curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK)
    *http_status = code;
  curl_easy_cleanup(h);
  return rc == CURLE_OK ? 0 : -2;
}
