#pragma once
// The firmware upload of one device: one multipart POST of the image file to
// the device's web server, streamed from disk by libcurl.
#include <cstdint>
#include <functional>
#include <string>

#include "engine/ops/http_requests.h"
#include "platform/thread.h"

// Bounds of an upload: no total limit (a large image over a slow link is
// legitimate), but a transfer slower than 1 byte per second for 60 seconds
// (a device that stalls) is aborted.
inline CurlTimings UploadCurlTimings() {
  CurlTimings t;
  t.connect_timeout_ms = 10000;
  t.total_timeout_ms = 0;
  t.low_speed_limit = 1;
  t.low_speed_time_s = 60;
  return t;
}

struct UpdateJob {
  std::string path;    // local firmware path, exactly as chosen
  char ip[64];         // device address, dotted quad
  char user[64];       // not used by the upload
  char password[64];   // not used by the upload
  uint16_t port;       // web port; 0 means 80
  int32_t type_index;  // 0 "TERN1", any other value "PLOV"
  CurlTimings timings = UploadCurlTimings();
  const dk::StopFlag* stop = nullptr;  // a set flag aborts the transfer
  // Called on the upload thread with the bytes sent so far, at most once per
  // progress_ms and once at the end of a transfer that sent anything.
  std::function<void(uint64_t sent)> progress;
  uint32_t progress_ms = 1000;
};

// Fills a job (texts cut to 63 characters).
UpdateJob MakeUpdateJob(const std::string& path, const char* ip, const char* user, const char* password,
                        uint16_t port, int32_t type_index);

// "_f_l_a_s_h_3_" / "upload.cgi" for type 0, "FirmwareFile" / "Upload.cgi" otherwise.
const char* UploadFieldName(int32_t type_index);
const char* UploadCgiName(int32_t type_index);
// "http://%s:%d/cgi-bin/%s", 80 for port 0.
std::string UploadUrl(const UpdateJob& job);

// Uploads the file. 0 when the transfer completed (whatever HTTP status the
// device answered), -2 when it failed (unreadable file, no connection, cut,
// stalled or stopped), -1 when no libcurl handle could be created.
// sent (may be null) receives the bytes of the request body sent;
// http_status (may be null) the status the device answered, 0 when no answer
// came, so a caller can tell a refused image from a taken one.
// body_sent (may be null) is true when every byte of the request body was
// written: a device that restarts with its new image instead of answering
// (empty reply, reset, no answer within the stall bound) fails the transfer
// although it may well have updated. Bytes still in the PC's socket buffer
// count as written, so a device cut very near the end can look the same;
// the caller's version check tells the two apart.
int32_t UploadProc(UpdateJob job, uint64_t* sent = nullptr, long* http_status = nullptr, bool* body_sent = nullptr);
