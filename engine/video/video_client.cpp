#include "engine/video/video_client.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <exception>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// FFmpeg reports a refused RTSP request only as a class of HTTP-like error;
// the exact status (453 against 400, 503 against 500) shows only in its log
// line, so the log callback picks it up for the contexts registered here.
// Everything else the library logs is dropped: URLs carry the credentials.
std::mutex g_log_mu;
std::map<const void*, int>* g_status = nullptr;

void LogCallback(void* avcl, int level, const char* fmt, va_list vl) {
  if (level > AV_LOG_ERROR || !avcl) return;
  std::lock_guard<std::mutex> lock(g_log_mu);
  if (!g_status) return;
  auto it = g_status->find(avcl);
  if (it == g_status->end()) return;
  char line[256];
  va_list copy;
  va_copy(copy, vl);
  std::vsnprintf(line, sizeof line, fmt, copy);
  va_end(copy);
  const char* p = std::strstr(line, " failed: ");
  if (std::strncmp(line, "method ", 7) == 0 && p) it->second = std::atoi(p + 9);
}

void InstallLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_status = new std::map<const void*, int>();
    av_log_set_callback(LogCallback);
  });
}

class StatusWatch {
 public:
  explicit StatusWatch(const void* ctx) : ctx_(ctx) {
    std::lock_guard<std::mutex> lock(g_log_mu);
    (*g_status)[ctx_] = 0;
  }
  ~StatusWatch() {
    std::lock_guard<std::mutex> lock(g_log_mu);
    g_status->erase(ctx_);
  }
  int Status() const {
    std::lock_guard<std::mutex> lock(g_log_mu);
    auto it = g_status->find(ctx_);
    return it == g_status->end() ? 0 : it->second;
  }

 private:
  const void* ctx_;
};

struct Interrupt {
  const dk::StopFlag* stop = nullptr;
  std::atomic<int64_t> deadline_us{0};
  std::atomic<bool> timed_out{false};
};

int InterruptCb(void* opaque) {
  auto* in = static_cast<Interrupt*>(opaque);
  if (in->stop->IsSet()) return 1;
  if (NowUs() > in->deadline_us.load()) {
    in->timed_out.store(true);
    return 1;
  }
  return 0;
}

std::string PercentEncode(const std::string& s) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

int32_t CodeOfOpenError(int err, int status, bool timed_out) {
  if (timed_out) return kVideoNoAnswer;
  if (status > 0) return VideoCodeOfStatus(status);
  if (err == AVERROR_HTTP_UNAUTHORIZED || err == AVERROR_HTTP_FORBIDDEN) return kVideoAuth;
  if (err == AVERROR(ETIMEDOUT) || err == AVERROR(EHOSTUNREACH)) return kVideoNoAnswer;
  return kVideoRefused;
}

// A first-picture grab decodes one full-size picture (a 1080p frame and the
// decoder's tables for it are several MB at once). However many grabs run
// together, only this many decode at the same moment, so the CLI's contact
// sheet does not pile those buffers up with its concurrency. The live viewer
// is not limited.
constexpr int kPictureDecodesAtOnce = 2;
std::mutex g_decode_mu;
std::condition_variable g_decode_cv;
int g_decoding = 0;

class DecodeSlot {
 public:
  DecodeSlot() = default;
  DecodeSlot(const DecodeSlot&) = delete;
  DecodeSlot& operator=(const DecodeSlot&) = delete;
  ~DecodeSlot() { Release(); }
  // Waits for a free slot while keep_waiting() holds; false when it gave up.
  template <class F>
  bool Take(F keep_waiting) {
    std::unique_lock<std::mutex> lock(g_decode_mu);
    while (g_decoding >= kPictureDecodesAtOnce) {
      if (!keep_waiting()) return false;
      g_decode_cv.wait_for(lock, std::chrono::milliseconds(20));
    }
    ++g_decoding;
    held_ = true;
    return true;
  }
  void Release() {
    if (!held_) return;
    held_ = false;
    {
      std::lock_guard<std::mutex> lock(g_decode_mu);
      --g_decoding;
    }
    g_decode_cv.notify_one();
  }

 private:
  bool held_ = false;
};

struct FormatCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameCloser {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketCloser {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsCloser {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};

}  // namespace

std::string VideoUrl(const VideoSource& s) {
  return "rtsp://" + s.address + ":" + std::to_string(s.port) + "/ch" + std::to_string(s.channel);
}

std::string VideoUrlWithCredentials(const VideoSource& s) {
  std::string userinfo;
  if (!s.user.empty() || !s.password.empty()) userinfo = PercentEncode(s.user) + ":" + PercentEncode(s.password) + "@";
  return "rtsp://" + userinfo + s.address + ":" + std::to_string(s.port) + "/ch" + std::to_string(s.channel);
}

int32_t VideoCodeOfStatus(int status) {
  if (status == 401 || status == 403) return kVideoAuth;
  if (status == 453 || status == 503) return kVideoBusy;
  return kVideoRefused;
}

const char* VideoFailureText(int32_t code) {
  switch (code) {
    case kVideoOk: return "ok";
    case kVideoBusy: return "too many viewers";
    case kVideoAuth: return "wrong ID or password";
    case kVideoNoAnswer: return "no answer";
    case kVideoNoPort: return "no video port";
    default: return "refused";
  }
}

const char* VideoResultName(int32_t code) {
  switch (code) {
    case kVideoOk: return "ok";
    case kVideoBusy: return "busy";
    case kVideoAuth: return "auth";
    case kVideoNoAnswer: return "no_answer";
    case kVideoNoPort: return "no_port";
    default: return "refused";
  }
}

VideoClient::~VideoClient() { Stop(); }

void VideoClient::Signal() {
  gen_.fetch_add(1);
  runs_.SignalAll();
}

uint64_t VideoClient::Start(const VideoSource& src, const VideoTimings& t, VideoSink* sink) {
  InstallLog();
  runs_.SignalAll();
  const uint64_t gen = gen_.fetch_add(1) + 1;
  stop_wait_ms_ = t.stop_wait_ms;
  {
    std::lock_guard<std::mutex> lock(mu_);
    slot_full_ = false;
    stats_ = VideoStats();
  }
  const bool started = runs_.Launch([this, gen, src, t, sink](const dk::StopFlag& stop) {
    try {
      Body(stop, gen, src, t, sink);
    } catch (const std::exception&) {
      // A fault ends this connection as a failure, never the program.
      if (!stop.IsSet() && gen == gen_.load()) sink->OnVideoFailed(gen, kVideoRefused);
    }
  });
  if (!started && sink) sink->OnVideoFailed(gen, kVideoRefused);  // no thread: nothing will connect
  return gen;
}

void VideoClient::Stop() {
  gen_.fetch_add(1);  // whatever the workers still report is stale now
  runs_.StopAll(stop_wait_ms_);
}

bool VideoClient::Running() const { return runs_.Running(); }

bool VideoClient::TakeFrame(VideoFrame* out) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!slot_full_) return false;
  std::swap(*out, slot_);
  slot_full_ = false;
  return true;
}

VideoStats VideoClient::Stats() const {
  std::lock_guard<std::mutex> lock(mu_);
  return stats_;
}

void VideoClient::Publish(uint64_t gen, VideoFrame* frame) {
  std::lock_guard<std::mutex> lock(mu_);
  if (gen != gen_.load()) return;
  if (slot_full_) ++stats_.dropped;
  std::swap(slot_, *frame);
  slot_full_ = true;
}

void VideoClient::Body(const dk::StopFlag& stop, uint64_t gen, VideoSource src, VideoTimings t, VideoSink* sink) {
  const int64_t start_us = NowUs();
  auto fail = [&](int32_t code) {
    if (!stop.IsSet() && gen == gen_.load()) sink->OnVideoFailed(gen, code);
  };
  Interrupt in;
  in.stop = &stop;
  in.deadline_us = start_us + int64_t(t.answer_ms) * 1000;

  AVFormatContext* raw = avformat_alloc_context();
  if (!raw) return fail(kVideoRefused);
  raw->interrupt_callback.callback = InterruptCb;
  raw->interrupt_callback.opaque = &in;
  StatusWatch status(raw);
  AVDictionary* opts = nullptr;
  av_dict_set(&opts, "rtsp_transport", "tcp", 0);
  av_dict_set(&opts, "allowed_media_types", "video", 0);
  // Socket timeout as a second guard behind the interrupt callback.
  av_dict_set_int(&opts, "timeout", int64_t(t.answer_ms) * 1000, 0);
  const std::string url = VideoUrlWithCredentials(src);
  int err = avformat_open_input(&raw, url.c_str(), nullptr, &opts);
  av_dict_free(&opts);
  if (err < 0) {  // raw is freed by avformat_open_input on failure
    if (stop.IsSet()) return;
    return fail(CodeOfOpenError(err, status.Status(), in.timed_out.load()));
  }
  std::unique_ptr<AVFormatContext, FormatCloser> fmt(raw);

  int index = -1;
  const AVCodec* codec = nullptr;
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const AVCodecParameters* par = fmt->streams[i]->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    codec = avcodec_find_decoder(par->codec_id);
    if (codec) {
      index = static_cast<int>(i);
      break;
    }
  }
  if (index < 0) return fail(kVideoRefused);
  std::unique_ptr<AVCodecContext, CodecCloser> dec(avcodec_alloc_context3(codec));
  if (!dec || avcodec_parameters_to_context(dec.get(), fmt->streams[index]->codecpar) < 0) return fail(kVideoRefused);
  dec->thread_count = 1;  // small pictures; frame threads would only add latency
  dec->flags |= AV_CODEC_FLAG_LOW_DELAY;
  dec->flags &= ~AV_CODEC_FLAG_OUTPUT_CORRUPT;
  if (src.key_frames_only) dec->skip_frame = AVDISCARD_NONKEY;
  if (avcodec_open2(dec.get(), codec, nullptr) < 0) return fail(kVideoRefused);

  std::unique_ptr<AVPacket, PacketCloser> pkt(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
  std::unique_ptr<SwsContext, SwsCloser> sws;
  VideoFrame out;
  uint64_t number = 0;
  int64_t window_start = NowUs();
  uint64_t window_frames = 0;
  // Until the first packet the answer time holds; then the stall time.
  while (!stop.IsSet()) {
    err = av_read_frame(fmt.get(), pkt.get());
    if (err < 0) {
      if (stop.IsSet()) return;
      // A stream that ended or went quiet has stopped, however it showed.
      if (in.timed_out.load() || err == AVERROR_EOF || err == AVERROR(ETIMEDOUT)) return fail(kVideoNoAnswer);
      if (err == AVERROR(EAGAIN)) continue;
      return fail(kVideoNoAnswer);
    }
    if (pkt->stream_index != index) {
      av_packet_unref(pkt.get());
      continue;
    }
    in.deadline_us = NowUs() + int64_t(t.stall_ms) * 1000;
    // Held until this packet's picture, if any, is converted (or the grab ends).
    DecodeSlot slot;
    if (src.one_picture && !slot.Take([&] { return !stop.IsSet() && NowUs() <= in.deadline_us.load(); })) {
      if (stop.IsSet()) return;
      return fail(kVideoNoAnswer);
    }
    err = avcodec_send_packet(dec.get(), pkt.get());
    av_packet_unref(pkt.get());
    if (err < 0 && err != AVERROR(EAGAIN)) continue;  // a damaged packet; the next key frame recovers
    while (avcodec_receive_frame(dec.get(), frame.get()) == 0) {
      if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) || frame->width <= 0 ||
          frame->height <= 0) {
        av_frame_unref(frame.get());
        continue;
      }
      // The frame keeps its own buffer; the decoder's tables, reference
      // pictures and pools are not needed for the one picture.
      if (src.one_picture) dec.reset();
      const int w = frame->width, h = frame->height;
      int ow = w, oh = h;
      if (src.max_width > 0 && src.max_height > 0 && (w > src.max_width || h > src.max_height)) {
        const double k = std::min(double(src.max_width) / w, double(src.max_height) / h);
        ow = std::max(1, int(w * k));
        oh = std::max(1, int(h * k));
      }
      sws.reset(sws_getCachedContext(sws.release(), w, h, static_cast<AVPixelFormat>(frame->format), ow, oh,
                                     AV_PIX_FMT_BGRA, ow == w && oh == h ? SWS_POINT : SWS_AREA, nullptr, nullptr,
                                     nullptr));
      if (!sws) {
        av_frame_unref(frame.get());
        return fail(kVideoRefused);
      }
      out.width = ow;
      out.height = oh;
      out.stream_width = w;
      out.stream_height = h;
      out.bgra.resize(size_t(ow) * size_t(oh) * 4);
      uint8_t* dst[4] = {out.bgra.data(), nullptr, nullptr, nullptr};
      int dst_stride[4] = {ow * 4, 0, 0, 0};
      sws_scale(sws.get(), frame->data, frame->linesize, 0, h, dst, dst_stride);
      av_frame_unref(frame.get());
      out.number = ++number;
      const int64_t now = NowUs();
      if (number == 1) window_start = now;  // the rate counts from the first picture
      else ++window_frames;
      {
        std::lock_guard<std::mutex> lock(mu_);
        if (gen == gen_.load()) {
          ++stats_.frames;
          stats_.width = w;
          stats_.height = h;
          if (stats_.first_frame_us < 0) stats_.first_frame_us = now - start_us;
          // A first figure after a few frames, then one a second.
          if (now - window_start >= 1000000 || (stats_.fps == 0 && window_frames >= 4)) {
            stats_.fps = double(window_frames) * 1e6 / double(now - window_start);
            window_start = now;
            window_frames = 0;
          }
        }
      }
      Publish(gen, &out);
      if (!stop.IsSet() && gen == gen_.load()) sink->OnVideoFrame(gen);
      if (src.one_picture) return;  // the decoder is gone; the connection closes now
    }
  }
}

namespace {

class GrabSink : public VideoSink {
 public:
  void OnVideoFrame(uint64_t) override {
    std::lock_guard<std::mutex> lock(m);
    frame = true;
    cv.notify_all();
  }
  void OnVideoFailed(uint64_t, int32_t c) override {
    std::lock_guard<std::mutex> lock(m);
    code = c;
    cv.notify_all();
  }
  std::mutex m;
  std::condition_variable cv;
  bool frame = false;
  int32_t code = kVideoOk;
};

}  // namespace

int32_t GrabFirstFrame(const VideoSource& src, const VideoTimings& t, uint32_t timeout_ms, VideoFrame* out,
                       int64_t* first_frame_us, int* stream_width, int* stream_height) {
  GrabSink sink;
  VideoClient client;
  VideoSource first = src;
  first.key_frames_only = true;  // the first picture shown is a key frame in any case
  first.one_picture = true;
  client.Start(first, t, &sink);
  bool got = false;
  int32_t code = kVideoOk;
  {
    std::unique_lock<std::mutex> lock(sink.m);
    sink.cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return sink.frame || sink.code != kVideoOk; });
    got = sink.frame;
    code = sink.code;
  }
  if (got && client.TakeFrame(out)) {
    if (first_frame_us) *first_frame_us = client.Stats().first_frame_us;
    if (stream_width) *stream_width = out->stream_width;
    if (stream_height) *stream_height = out->stream_height;
    client.Stop();
    return kVideoOk;
  }
  client.Stop();
  return code != kVideoOk ? code : kVideoNoAnswer;
}
