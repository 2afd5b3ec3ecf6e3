#include "sim/sim_http.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

namespace dksim {
namespace {

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
  return s.substr(a, b - a);
}

bool IEquals(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

bool IContains(const std::string& hay, const char* needle) {
  std::string h = hay;
  for (char& c : h) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return h.find(needle) != std::string::npos;
}

// Parameter `name` of a header value like: form-data; name="x"; filename="y"
std::string HeaderParam(const std::string& value, const char* name) {
  const size_t n = std::strlen(name);
  size_t pos = 0;
  while ((pos = value.find(';', pos)) != std::string::npos) {
    ++pos;
    while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t')) ++pos;
    if (strncasecmp(value.c_str() + pos, name, n) == 0 && pos + n < value.size() && value[pos + n] == '=') {
      size_t v = pos + n + 1;
      std::string out;
      if (v < value.size() && value[v] == '"') {
        ++v;
        // Backslashes stay as they are: file names carry Windows paths.
        while (v < value.size() && value[v] != '"') out.push_back(value[v++]);
      } else {
        while (v < value.size() && value[v] != ';' && value[v] != ' ' && value[v] != '\t') out.push_back(value[v++]);
      }
      return out;
    }
  }
  return "";
}

}  // namespace

size_t FindHeadEnd(const char* data, size_t len) {
  for (size_t i = 0; i < len; ++i) {
    if (data[i] != '\n') continue;
    if (i + 1 < len && data[i + 1] == '\n') return i + 2;
    if (i + 2 < len && data[i + 1] == '\r' && data[i + 2] == '\n') return i + 3;
  }
  return 0;
}

int ParseHttpHead(const char* data, size_t len, HttpHead* out) {
  HttpHead h;
  std::string text(data, len);
  size_t pos = 0;
  auto next_line = [&](std::string* line) {
    if (pos >= text.size()) return false;
    size_t e = text.find('\n', pos);
    if (e == std::string::npos) e = text.size();
    *line = text.substr(pos, e - pos);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    pos = e + 1;
    return true;
  };
  std::string line;
  if (!next_line(&line) || line.empty()) return kHeadBadRequest;
  for (char c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return kHeadBadRequest;
  h.request_line = line;
  const size_t s1 = line.find(' ');
  const size_t s2 = s1 == std::string::npos ? s1 : line.find(' ', s1 + 1);
  if (s1 == std::string::npos || s2 == std::string::npos || line.find(' ', s2 + 1) != std::string::npos)
    return kHeadBadRequest;
  h.method = line.substr(0, s1);
  h.target = line.substr(s1 + 1, s2 - s1 - 1);
  h.version = line.substr(s2 + 1);
  if (h.method.empty() || h.target.empty()) return kHeadBadRequest;
  if (h.version != "HTTP/1.0" && h.version != "HTTP/1.1") return kHeadBadRequest;
  std::string target = h.target;
  if (target.compare(0, 7, "http://") == 0) {
    const size_t slash = target.find('/', 7);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  }
  if (target[0] != '/') return kHeadBadRequest;
  const size_t q = target.find('?');
  h.path = target.substr(0, q);
  h.query = q == std::string::npos ? "" : target.substr(q + 1);

  bool have_length = false;
  while (next_line(&line)) {
    if (line.empty()) break;
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return kHeadBadRequest;
    const std::string name = line.substr(0, colon);
    const std::string value = Trim(line.substr(colon + 1));
    if (IEquals(name, "Content-Length")) {
      if (value.empty() || value.size() > 15) return kHeadBadRequest;
      int64_t v = 0;
      for (char c : value) {
        if (c < '0' || c > '9') return kHeadBadRequest;
        v = v * 10 + (c - '0');
      }
      if (have_length && v != h.content_length) return kHeadBadRequest;
      have_length = true;
      h.content_length = v;
    } else if (IEquals(name, "Transfer-Encoding")) {
      if (IEquals(value, "chunked")) h.chunked = true;
      else if (!IEquals(value, "identity")) return kHeadUnsupportedTe;
    } else if (IEquals(name, "Expect")) {
      if (IEquals(value, "100-continue")) h.expect_continue = true;
    } else if (IEquals(name, "Content-Type")) {
      h.content_type = value;
    }
  }
  // A chunked body has no length of its own.
  if (h.chunked) h.content_length = -1;
  *out = std::move(h);
  return 0;
}

bool QueryValue(const std::string& query, const std::string& key, std::string* value) {
  size_t pos = 0;
  while (pos <= query.size()) {
    size_t amp = query.find('&', pos);
    if (amp == std::string::npos) amp = query.size();
    const std::string pair = query.substr(pos, amp - pos);
    const size_t eq = pair.find('=');
    const std::string k = pair.substr(0, eq);
    if (k == key) {
      *value = eq == std::string::npos ? "" : pair.substr(eq + 1);
      return true;
    }
    pos = amp + 1;
  }
  return false;
}

bool JsonStringMember(const std::string& json, const std::string& key, std::string* value) {
  const std::string quoted = "\"" + key + "\"";
  size_t pos = 0;
  while ((pos = json.find(quoted, pos)) != std::string::npos) {
    size_t p = pos + quoted.size();
    while (p < json.size() && (json[p] == ' ' || json[p] == '\t' || json[p] == '\r' || json[p] == '\n')) ++p;
    if (p < json.size() && json[p] == ':') {
      ++p;
      while (p < json.size() && (json[p] == ' ' || json[p] == '\t' || json[p] == '\r' || json[p] == '\n')) ++p;
      if (p < json.size() && json[p] == '"') {
        ++p;
        std::string out;
        while (p < json.size() && json[p] != '"') {
          if (json[p] == '\\' && p + 1 < json.size()) ++p;
          out.push_back(json[p++]);
        }
        if (p >= json.size()) return false;
        *value = out;
        return true;
      }
    }
    pos += quoted.size();
  }
  return false;
}

std::string MultipartBoundary(const std::string& content_type) {
  if (!IContains(content_type, "multipart/form-data")) return "";
  std::string b = HeaderParam(content_type, "boundary");
  if (b.size() > 200) return "";
  return b;
}

long ChunkedDecoder::Feed(const uint8_t* data, size_t len, std::string* out) {
  size_t i = 0;
  while (i < len && state_ != kDone) {
    const uint8_t c = data[i];
    switch (state_) {
      case kSize: {
        int v = -1;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        if (v >= 0) {
          if (++size_digits_ > 15) return -1;
          remaining_ = remaining_ * 16 + static_cast<uint64_t>(v);
          ++i;
        } else if (c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
          if (size_digits_ == 0) return -1;
          state_ = kSizeExt;
          line_len_ = 0;
        } else {
          return -1;
        }
        break;
      }
      case kSizeExt:
        ++i;
        if (c == '\n') {
          size_digits_ = 0;
          if (remaining_ == 0) {
            state_ = kTrailer;
            line_len_ = 0;
          } else {
            state_ = kData;
          }
        } else if (++line_len_ > 1024) {
          return -1;
        }
        break;
      case kData: {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(remaining_, len - i));
        out->append(reinterpret_cast<const char*>(data + i), take);
        i += take;
        remaining_ -= take;
        if (remaining_ == 0) state_ = kDataCr;
        break;
      }
      case kDataCr:
        ++i;
        if (c == '\r') state_ = kDataLf;
        else if (c == '\n') state_ = kSize;
        else return -1;
        break;
      case kDataLf:
        ++i;
        if (c != '\n') return -1;
        state_ = kSize;
        break;
      case kTrailer:
        ++i;
        if (c == '\n') {
          if (line_len_ == 0) state_ = kDone;
          line_len_ = 0;
        } else if (c != '\r') {
          if (++line_len_ > 1024) return -1;
        }
        break;
      case kDone:
        break;
    }
  }
  return static_cast<long>(i);
}

MultipartParser::MultipartParser(const std::string& boundary, Sink* sink)
    : delimiter_("\r\n--" + boundary), sink_(sink) {
  // The first delimiter has no line end before it; pretend one was there.
  buf_ = "\r\n";
}

int MultipartParser::Feed(const uint8_t* data, size_t len) {
  if (state_ == kFailed) return -1;
  if (state_ == kEpilogue) return 0;
  buf_.append(reinterpret_cast<const char*>(data), len);
  return Run();
}

int MultipartParser::Run() {
  while (true) {
    switch (state_) {
      case kPreamble:
      case kData: {
        const void* hit = memmem(buf_.data(), buf_.size(), delimiter_.data(), delimiter_.size());
        if (!hit) {
          // Keep what could be the start of a delimiter split across reads.
          const size_t keep = std::min(buf_.size(), delimiter_.size() - 1);
          const size_t emit = buf_.size() - keep;
          if (state_ == kData && emit > 0) sink_->OnPartData(reinterpret_cast<const uint8_t*>(buf_.data()), emit);
          buf_.erase(0, emit);
          return 0;
        }
        const size_t at = static_cast<size_t>(static_cast<const char*>(hit) - buf_.data());
        if (state_ == kData) {
          if (at > 0) sink_->OnPartData(reinterpret_cast<const uint8_t*>(buf_.data()), at);
          sink_->OnPartEnd();
        }
        buf_.erase(0, at + delimiter_.size());
        state_ = kAfterDelimiter;
        break;
      }
      case kAfterDelimiter: {
        size_t p = 0;
        while (p < buf_.size() && (buf_[p] == ' ' || buf_[p] == '\t')) ++p;
        if (p > 64) {
          state_ = kFailed;
          return -1;
        }
        if (buf_.size() < p + 2) return 0;
        if (buf_.compare(p, 2, "--") == 0) {
          state_ = kEpilogue;
          buf_.clear();
          return 0;
        }
        if (buf_.compare(p, 2, "\r\n") != 0) {
          state_ = kFailed;
          return -1;
        }
        buf_.erase(0, p + 2);
        state_ = kHeaders;
        break;
      }
      case kHeaders: {
        size_t end = std::string::npos;
        if (buf_.compare(0, 2, "\r\n") == 0) {
          end = 0;  // a part without headers
        } else {
          const size_t e = buf_.find("\r\n\r\n");
          if (e != std::string::npos) end = e + 2;
        }
        if (end == std::string::npos) {
          if (buf_.size() > kMaxPartHeadBytes) {
            state_ = kFailed;
            return -1;
          }
          return 0;
        }
        std::string name, filename;
        size_t pos = 0;
        while (pos < end) {
          size_t e = buf_.find("\r\n", pos);
          if (e == std::string::npos || e > end) e = end;
          const std::string line = buf_.substr(pos, e - pos);
          pos = e + 2;
          const size_t colon = line.find(':');
          if (colon == std::string::npos) continue;
          if (IEquals(line.substr(0, colon), "Content-Disposition")) {
            const std::string v = line.substr(colon + 1);
            name = HeaderParam(v, "name");
            filename = HeaderParam(v, "filename");
          }
        }
        buf_.erase(0, end + 2);
        sink_->OnPartBegin(name, filename);
        state_ = kData;
        break;
      }
      case kEpilogue:
        buf_.clear();
        return 0;
      case kFailed:
        return -1;
    }
  }
}

void FirmwareSniffer::Feed(const uint8_t* data, size_t len) {
  bytes_ += len;
  if (state_ != kReading) return;
  for (size_t i = 0; i < len; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\n') {
      std::string line = line_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t m = std::strlen(kFirmwareMagic);
      state_ = kNone;
      if (line.compare(0, m, kFirmwareMagic) == 0 && line.size() > m && line.size() - m <= 63) {
        const std::string v = line.substr(m);
        bool ok = true;
        for (char ch : v)
          if (ch <= ' ' || ch > '~') ok = false;
        if (ok) {
          version_ = v;
          state_ = kFound;
        }
      }
      line_.clear();
      return;
    }
    line_.push_back(c);
    if (line_.size() >= kFirmwareFirstLineMax) {
      state_ = kNone;
      line_.clear();
      return;
    }
  }
}

const char* HttpReason(int status) {
  switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return "Error";
  }
}

std::string HttpResponseHead(const std::string& version, int status, const std::string& content_type,
                             size_t body_len) {
  std::string h = (version == "HTTP/1.0" ? "HTTP/1.0 " : "HTTP/1.1 ") + std::to_string(status) + " " +
                  HttpReason(status) + "\r\n";
  h += "Server: dravenkit-sim\r\n";
  h += "Content-Type: " + content_type + "\r\n";
  h += "Content-Length: " + std::to_string(body_len) + "\r\n";
  h += "Connection: close\r\n";
  return h;
}

}  // namespace dksim
