// Device replies as the HTTP client and the system-mode query see them: any
// bytes, cut into chunks anywhere.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/ops/device_http_client.h"
#include "engine/ops/http_requests.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // First byte: chunk size (1-64) and whether the peer closes at the end.
  if (size == 0) return 0;
  const size_t piece = (data[0] & 0x3F) + 1;
  const bool close = (data[0] & 0x40) != 0;
  const char* reply = reinterpret_cast<const char*>(data + 1);
  const size_t len = size - 1;

  HttpReplyCollector c;
  bool was_complete = false;
  std::string frozen;
  for (size_t i = 0; i < len; i += piece) {
    size_t n = len - i < piece ? len - i : piece;
    bool complete = c.Feed(reply + i, n);
    Check(!was_complete || complete);  // completion is final ...
    if (complete && !was_complete) frozen = c.Value();
    was_complete = complete;
  }
  if (close) c.Close();
  if (was_complete) Check(c.Value() == frozen);  // ... and so is the value
  Check(!c.Complete() || c.HeadersDone());
  Check(c.BytesSeen() == len);
  std::string v = c.Value();
  Check(v.size() < kHttpValueSize);
  Check(v.find('\r') == std::string::npos && v.find('\n') == std::string::npos);
  if (!c.HeadersDone()) Check(v.empty());
  if (close && c.HeadersDone()) Check(c.Complete());

  // The same bytes in one chunk give the same value once both are complete.
  HttpReplyCollector whole;
  whole.Feed(reply, len);
  if (close) whole.Close();
  Check(whole.HeadersDone() == c.HeadersDone());
  if (whole.Complete() && c.Complete()) Check(whole.Value() == v);

  std::string mode = SystemModeFromReply(reply, len);
  Check(mode == "-" || ((mode.compare(0, 7, "encoder") == 0 || mode.compare(0, 7, "decoder") == 0) &&
                        mode.size() <= 255 && mode.find('\0') == std::string::npos));
  return 0;
}
