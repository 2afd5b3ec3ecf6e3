#include "engine/update/firmware_upload.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>

#include "platform/ticks.h"

namespace {

void CopyCut(char* dst, size_t cap, const char* src) { std::snprintf(dst, cap, "%s", src ? src : ""); }

struct Progress {
  const UpdateJob* job;
  dk::TickTimer since;
  uint64_t sent = 0;
  uint64_t reported = 0;
};

int OnProgress(void* clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
  auto* p = static_cast<Progress*>(clientp);
  if (p->job->stop && p->job->stop->IsSet()) return 1;  // aborts the transfer
  p->sent = static_cast<uint64_t>(ulnow);
  if (p->job->progress && p->sent != p->reported && p->since.Expired(p->job->progress_ms)) {
    p->since.Start();
    p->reported = p->sent;
    p->job->progress(p->sent);
  }
  return 0;
}

}  // namespace

UpdateJob MakeUpdateJob(const std::string& path, const char* ip, const char* user, const char* password,
                        uint16_t port, int32_t type_index) {
  UpdateJob j;
  j.path = path;
  CopyCut(j.ip, sizeof j.ip, ip);
  CopyCut(j.user, sizeof j.user, user);
  CopyCut(j.password, sizeof j.password, password);
  j.port = port;
  j.type_index = type_index;
  return j;
}

const char* UploadFieldName(int32_t type_index) { return type_index == 0 ? "_f_l_a_s_h_3_" : "FirmwareFile"; }
const char* UploadCgiName(int32_t type_index) { return type_index == 0 ? "upload.cgi" : "Upload.cgi"; }

std::string UploadUrl(const UpdateJob& job) {
  char url[256];
  std::snprintf(url, sizeof url, "http://%s:%d/cgi-bin/%s", job.ip, job.port == 0 ? 80 : job.port,
                UploadCgiName(job.type_index));
  return url;
}

int32_t UploadProc(UpdateJob job, uint64_t* sent, long* http_status, bool* body_sent) {
  if (sent) *sent = 0;
  if (http_status) *http_status = 0;
  if (body_sent) *body_sent = false;
  if (job.port == 0) job.port = 80;
  ReplyBuffer reply;  // the device's answer is not examined
  CURL* h = curl_easy_init();
  if (!h) return -1;
  curl_mime* mime = curl_mime_init(h);
  curl_mimepart* part = mime ? curl_mime_addpart(mime) : nullptr;
  // The file is read by libcurl during the transfer, never held whole; the
  // part's file name is the whole path as chosen, and no content type of
  // ours is given, so libcurl's default for a file part applies.
  bool ok = part && curl_mime_name(part, UploadFieldName(job.type_index)) == CURLE_OK &&
            curl_mime_filedata(part, job.path.c_str()) == CURLE_OK &&
            curl_mime_filename(part, job.path.c_str()) == CURLE_OK;
  int32_t rc = -2;
  if (ok) {
    const std::string url = UploadUrl(job);
    Progress progress{&job, {}, 0, 0};
    progress.since.Start();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_MIMEPOST, mime);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteReply);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply);
    ApplyCurlTimings(h, job.timings, nullptr);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &progress);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    rc = curl_easy_perform(h) == CURLE_OK ? 0 : -2;
    curl_off_t up = 0;
    if (curl_easy_getinfo(h, CURLINFO_SIZE_UPLOAD_T, &up) == CURLE_OK && up > 0) progress.sent = uint64_t(up);
    if (job.progress && progress.sent != progress.reported) job.progress(progress.sent);
    if (sent) *sent = progress.sent;
    // The body's length is known before the transfer (HTTP/1.0 sends it).
    curl_off_t total = -1;
    if (body_sent && curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_UPLOAD_T, &total) == CURLE_OK && total > 0)
      *body_sent = progress.sent == uint64_t(total);
    long code = 0;
    if (rc == 0 && http_status && curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK) *http_status = code;
  }
  curl_mime_free(mime);
  curl_easy_cleanup(h);
  return rc;
}
