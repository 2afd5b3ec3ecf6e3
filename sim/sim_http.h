#pragma once
// The device web server's byte-level pieces, free of sockets: request head
// parsing, query strings, chunked bodies, streamed multipart uploads and the
// firmware image header.
#include <cstddef>
#include <cstdint>
#include <string>

namespace dksim {

constexpr size_t kMaxHeadBytes = 8192;      // request line and headers
constexpr size_t kMaxPartHeadBytes = 4096;  // headers of one multipart part
constexpr size_t kMaxSmallBody = 16384;     // bodies that are read whole (JSON)

struct HttpHead {
  std::string request_line;
  std::string method;
  std::string target;
  std::string version;  // "HTTP/1.0" or "HTTP/1.1"
  std::string path;     // target before '?'
  std::string query;    // after '?', not decoded
  int64_t content_length = -1;
  bool chunked = false;
  bool expect_continue = false;
  std::string content_type;
};

// End of the head in data (index just past the blank line), or 0 when the
// blank line has not arrived. Accepts CR LF and bare LF line ends.
size_t FindHeadEnd(const char* data, size_t len);

enum HeadError : int {
  kHeadBadRequest = -1,     // 400
  kHeadUnsupportedTe = -2,  // 501: a transfer coding other than chunked
};
// Parses the head (request line and header lines). 0 or a HeadError.
int ParseHttpHead(const char* data, size_t len, HttpHead* out);

// Value of key in a query string of key=value pairs joined by '&'; values are
// taken as sent (the tool does not encode them). True when the key is there.
bool QueryValue(const std::string& query, const std::string& key, std::string* value);

// Value of a string member "key":"value" anywhere in a JSON text (enough for
// the flat requests the tool sends). True when found.
bool JsonStringMember(const std::string& json, const std::string& key, std::string* value);

// boundary parameter of a multipart/form-data content type; empty when not
// multipart or missing.
std::string MultipartBoundary(const std::string& content_type);

// Decodes a chunked body as it streams in.
class ChunkedDecoder {
 public:
  // Appends decoded bytes to *out (at most len of them). Returns the number of
  // input bytes used (the rest follows the body), or -1 when malformed.
  long Feed(const uint8_t* data, size_t len, std::string* out);
  bool done() const { return state_ == kDone; }

 private:
  enum State { kSize, kSizeExt, kData, kDataCr, kDataLf, kTrailer, kDone };
  State state_ = kSize;
  uint64_t remaining_ = 0;
  int size_digits_ = 0;
  size_t line_len_ = 0;
};

// Streams a multipart/form-data body into part callbacks; keeps at most one
// delimiter's worth of undecided bytes plus the current part's headers.
class MultipartParser {
 public:
  class Sink {
   public:
    virtual ~Sink() = default;
    virtual void OnPartBegin(const std::string& name, const std::string& filename) = 0;
    virtual void OnPartData(const uint8_t* data, size_t len) = 0;
    virtual void OnPartEnd() = 0;
  };
  MultipartParser(const std::string& boundary, Sink* sink);
  // 0, or -1 when malformed (the parser then stays failed).
  int Feed(const uint8_t* data, size_t len);
  bool done() const { return state_ == kEpilogue; }
  bool failed() const { return state_ == kFailed; }
  size_t buffered() const { return buf_.size(); }

 private:
  enum State { kPreamble, kAfterDelimiter, kHeaders, kData, kEpilogue, kFailed };
  int Run();
  std::string delimiter_;  // CR LF "--" boundary
  Sink* sink_;
  State state_ = kPreamble;
  std::string buf_;
};

// Our firmware image: first line "DRAVENKIT-FW <version>\n", then payload.
constexpr const char* kFirmwareMagic = "DRAVENKIT-FW ";
constexpr size_t kFirmwareFirstLineMax = 128;

// Watches an image as it streams past and picks the version out of its first line.
class FirmwareSniffer {
 public:
  void Feed(const uint8_t* data, size_t len);
  uint64_t bytes() const { return bytes_; }
  bool has_header() const { return state_ == kFound; }
  const std::string& version() const { return version_; }

 private:
  enum State { kReading, kFound, kNone };
  State state_ = kReading;
  std::string line_;
  std::string version_;
  uint64_t bytes_ = 0;
};

// Reason phrase of a status code.
const char* HttpReason(int status);
// Status line and headers, each ending CR LF, without the blank line.
std::string HttpResponseHead(const std::string& version, int status, const std::string& content_type,
                             size_t body_len);

}  // namespace dksim
