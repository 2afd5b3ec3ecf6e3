// One HTTP connection of a simulated device: request head, body (plain,
// chunked or multipart upload) and the answer, fed by the event loop.
#include "sim/sim_core.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "engine/devices/device_record.h"

namespace dksim {

// ---------------------------------------------------------------------------
// HttpSession

HttpSession::HttpSession(Simulator* sim, int dev, const ConnInfo& info) : sim_(sim), dev_(dev), info_(info) {}

HttpSession::~HttpSession() {
  if (file_fd_ >= 0) ::close(file_fd_);
}

void HttpSession::OnBytes(const uint8_t* data, size_t len) {
  if (after_ != After::kNone || phase_ == Phase::kDone) return;  // answered or hanging: input is discarded
  if (phase_ == Phase::kHead) {
    const size_t room = kMaxHeadBytes + 4 - std::min(head_buf_.size(), kMaxHeadBytes + 4);
    const size_t take = std::min(room, len);
    const size_t before = head_buf_.size();
    head_buf_.append(reinterpret_cast<const char*>(data), take);
    // Only the new bytes and the two before them can complete the blank line,
    // so a head that arrives a byte at a time is not searched again and again.
    const size_t from = before >= 2 ? before - 2 : 0;
    size_t end = FindHeadEnd(head_buf_.data() + from, head_buf_.size() - from);
    if (end != 0) end += from;
    if (end == 0) {
      if (head_buf_.size() > kMaxHeadBytes) Fail(431, "request head too large");
      return;
    }
    const size_t used = end - before;  // bytes of this chunk that belong to the head
    head_buf_.resize(end);
    OnHead();
    if (phase_ == Phase::kSmallBody || phase_ == Phase::kUpload) {
      if (len > used) BodyBytes(data + used, len - used);
    }
    return;
  }
  BodyBytes(data, len);
}

void HttpSession::OnHead() {
  const int rc = ParseHttpHead(head_buf_.data(), head_buf_.size(), &head_);
  if (rc != 0) {
    std::string line = head_buf_.substr(0, std::min<size_t>(head_buf_.find('\n'), 200));
    sim_->LogHttp("http_rejected", dev_, info_, (rc == kHeadUnsupportedTe ? "transfer coding: " : "bad head: ") + line);
    head_.version = "HTTP/1.1";
    Fail(rc == kHeadUnsupportedTe ? 501 : 400, nullptr);
    return;
  }
  const HttpVerdict v = sim_->OnHttpHead(dev_, info_, head_);
  chunked_ = head_.chunked;
  body_left_ = head_.content_length;
  const bool until_close = !chunked_ && body_left_ < 0;
  switch (v.kind) {
    case HttpVerdict::kRespond:
      Respond(v);
      return;
    case HttpVerdict::kHang:
      sim_->LogHttp("http_hang", dev_, info_, "");
      after_ = After::kHang;
      phase_ = Phase::kDone;
      return;
    case HttpVerdict::kReadBody:
      if (until_close && head_.version == "HTTP/1.1") return Fail(411, "body without length");
      if (body_left_ > int64_t(kMaxSmallBody)) return Fail(413, "body too large");
      phase_ = Phase::kSmallBody;
      if (body_left_ == 0) BodyEnded();
      return;
    case HttpVerdict::kUpload: {
      if (until_close && head_.version == "HTTP/1.1") return Fail(411, "upload without length");
      const std::string boundary = MultipartBoundary(head_.content_type);
      if (boundary.empty()) return Fail(400, "upload is not multipart/form-data");
      multipart_ = std::make_unique<MultipartParser>(boundary, this);
      upload_field_ = v.upload_field;
      if (head_.expect_continue) out_.push_back(Out{0, "HTTP/1.1 100 Continue\r\n\r\n"});
      if (sim_->device(dev_).cfg.faults & kFaultUploadCut)
        cut_at_ = body_left_ > 0 ? std::max<uint64_t>(1, uint64_t(body_left_) / 2) : 32768;
      if (sim_->device(dev_).cfg.faults & kFaultUploadStall)
        stall_at_ = body_left_ > 0 ? std::max<uint64_t>(1, uint64_t(body_left_) / 2) : 32768;
      phase_ = Phase::kUpload;
      if (body_left_ == 0) BodyEnded();
      return;
    }
  }
}

void HttpSession::BodyBytes(const uint8_t* data, size_t len) {
  if (phase_ != Phase::kSmallBody && phase_ != Phase::kUpload) return;
  size_t n = len;
  if (!chunked_ && body_left_ >= 0) n = static_cast<size_t>(std::min<int64_t>(body_left_, int64_t(len)));
  bool cut = false, stall = false;
  if (cut_at_ > 0 && body_bytes_ + n >= cut_at_) {
    n = static_cast<size_t>(cut_at_ - body_bytes_);
    cut = true;
  }
  // The stall point bounds what is taken, as the cut point does: a read that
  // carries the body past it and to its end must not complete the upload.
  if (!cut && stall_at_ > 0 && phase_ == Phase::kUpload && body_bytes_ + n >= stall_at_) {
    n = static_cast<size_t>(stall_at_ - body_bytes_);
    stall = true;
  }
  body_bytes_ += n;
  if (chunked_) {
    decoded_.clear();
    const long used = chunks_.Feed(data, n, &decoded_);
    if (used < 0) return Fail(400, "malformed chunked body");
    if (!decoded_.empty()) BodyDecoded(reinterpret_cast<const uint8_t*>(decoded_.data()), decoded_.size());
    if (phase_ == Phase::kDone) return;
    if (!cut && !stall && chunks_.done()) return BodyEnded();
  } else {
    if (n > 0) BodyDecoded(data, n);
    if (phase_ == Phase::kDone) return;
    if (body_left_ >= 0) {
      body_left_ -= static_cast<int64_t>(n);
      if (body_left_ == 0 && !cut && !stall) return BodyEnded();
    }
  }
  if (cut) {
    sim_->OnUploadCut(dev_, info_, body_bytes_);
    after_ = After::kReset;
    phase_ = Phase::kDone;
    return;
  }
  if (stall) {
    sim_->LogHttp("upload_stall", dev_, info_, std::to_string(body_bytes_) + " bytes");
    stalled_ = true;
    after_ = After::kHang;
    phase_ = Phase::kDone;
  }
}

void HttpSession::BodyDecoded(const uint8_t* data, size_t len) {
  if (phase_ == Phase::kSmallBody) {
    if (small_body_.size() + len > kMaxSmallBody) return Fail(413, "body too large");
    small_body_.append(reinterpret_cast<const char*>(data), len);
  } else if (phase_ == Phase::kUpload) {
    if (multipart_->Feed(data, len) != 0) Fail(400, "malformed multipart body");
  }
}

void HttpSession::BodyEnded() {
  if (phase_ == Phase::kSmallBody) {
    Respond(sim_->OnHttpBody(dev_, info_, head_, small_body_));
  } else if (phase_ == Phase::kUpload) {
    if (file_fd_ >= 0) {
      ::close(file_fd_);
      file_fd_ = -1;
    }
    upload_.body_complete = multipart_->done();
    upload_.body_bytes = body_bytes_;
    upload_.file_bytes = sniffer_.bytes();
    upload_.has_header = sniffer_.has_header();
    upload_.version = sniffer_.version();
    Respond(sim_->OnUploadEnd(dev_, info_, upload_));
  }
}

void HttpSession::OnPeerClosed() {
  if (after_ == After::kReset) return;
  if (after_ == After::kNone && phase_ == Phase::kHead && !head_buf_.empty())
    sim_->LogHttp("http_incomplete", dev_, info_, "connection closed inside the request head");
  if (after_ == After::kNone && (phase_ == Phase::kSmallBody || phase_ == Phase::kUpload)) {
    if (!chunked_ && body_left_ < 0) {
      BodyEnded();  // HTTP/1.0 body that runs to the end of the connection
    } else {
      sim_->LogHttp("http_incomplete", dev_, info_, "connection closed inside the body after " +
                                                        std::to_string(body_bytes_) + " bytes");
      if (phase_ == Phase::kUpload) {
        upload_.body_complete = false;
        upload_.body_bytes = body_bytes_;
        upload_.file_bytes = sniffer_.bytes();
        sim_->OnUploadEnd(dev_, info_, upload_);
      }
    }
  }
  phase_ = Phase::kDone;
  after_ = After::kClose;
}

void HttpSession::Respond(const HttpVerdict& v) {
  if (v.reset) {
    if (file_fd_ >= 0) {
      ::close(file_fd_);
      file_fd_ = -1;
    }
    phase_ = Phase::kDone;
    after_ = After::kReset;
    return;
  }
  const std::string version = head_.version.empty() ? "HTTP/1.1" : head_.version;
  const std::string head = HttpResponseHead(version, v.status, v.content_type, v.body.size());
  const bool split = sim_->device(dev_).cfg.faults & kFaultHttpSplit;
  if (sim_->log()->enabled())
    sim_->LogHttp("http_response", dev_, info_, std::to_string(v.status) + (split ? " split" : ""));
  if (split) {
    const uint32_t gap = sim_->options().timings.split_gap_ms;
    out_.push_back(Out{v.delay_ms, head});
    out_.push_back(Out{gap, "\r\n"});
    if (!v.body.empty()) out_.push_back(Out{gap, v.body});
  } else {
    out_.push_back(Out{v.delay_ms, head + "\r\n" + v.body});
  }
  if (file_fd_ >= 0) {
    ::close(file_fd_);
    file_fd_ = -1;
  }
  phase_ = Phase::kDone;
  after_ = After::kClose;
}

void HttpSession::Fail(int status, const char* why) {
  if (why) sim_->LogHttp("http_rejected", dev_, info_, std::string(why));
  HttpVerdict v;
  v.status = status;
  Respond(v);
}

void HttpSession::OnPartBegin(const std::string& name, const std::string& filename) {
  if (upload_.field_found || name != upload_field_) return;
  in_field_ = true;
  upload_.field_found = true;
  upload_.filename = filename;
  const std::string& dir = sim_->options().upload_dir;
  if (!dir.empty()) {
    char mac[18];
    FormatMacPlain(sim_->device(dev_).cfg.mac, mac);
    std::string m(mac);
    m.erase(std::remove(m.begin(), m.end(), ':'), m.end());
    const std::string path = dir + "/" + m + "-" + std::to_string(++sim_->upload_seq_) + ".img";
    file_fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file_fd_ >= 0) upload_.saved_path = path;
  }
}

void HttpSession::OnPartData(const uint8_t* data, size_t len) {
  if (!in_field_) return;
  sniffer_.Feed(data, len);
  if (file_fd_ < 0) return;
  size_t off = 0;
  int tries = 0;
  while (off < len && tries++ < 64) {
    const ssize_t w = ::write(file_fd_, data + off, len - off);
    if (w > 0) {
      off += static_cast<size_t>(w);
    } else if (w < 0 && errno != EINTR) {
      break;
    }
  }
  if (off < len) {  // disk full or similar: keep counting, stop saving
    ::close(file_fd_);
    file_fd_ = -1;
    upload_.saved_path += " (incomplete)";
  }
}

void HttpSession::OnPartEnd() {
  if (!in_field_) return;
  in_field_ = false;
  if (file_fd_ >= 0) {
    ::close(file_fd_);
    file_fd_ = -1;
  }
}

}  // namespace dksim
