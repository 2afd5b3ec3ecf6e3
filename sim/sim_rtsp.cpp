#include "sim/sim_rtsp.h"

#include <arpa/inet.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <vector>

#include "sim/sim_core.h"

namespace dksim {

RtspPicture PictureOfStream(int stream, int width1, int height1) {
  if (stream == 1) return {width1, height1, 15};
  if (stream == 2) return {480, 270, 10};
  return {320, 180, 10};
}

int AvDeviceAt(const Simulator& sim, uint32_t local_ip, uint16_t port, int* stream) {
  if (port == 0) return -1;
  int fallback = -1, fallback_stream = 0;
  for (size_t i = 0; i < sim.size(); ++i) {
    const SimDevice& d = sim.device(static_cast<int>(i));
    if (d.cfg.ip != local_ip) continue;
    const uint16_t ports[3] = {d.cfg.av_port1, d.cfg.av_port2, d.cfg.av_port3};
    for (int s = 0; s < 3; ++s) {
      if (ports[s] != port) continue;
      if (d.state == DevState::kUp) {
        *stream = s + 1;
        return static_cast<int>(i);
      }
      if (fallback < 0) {
        fallback = static_cast<int>(i);
        fallback_stream = s + 1;
      }
    }
  }
  if (fallback >= 0) *stream = fallback_stream;
  return fallback;
}

namespace {

// Runs fn on the context's own thread (g_main_context_invoke would run it
// right here when nobody holds the context yet).
void Defer(GMainContext* ctx, GSourceFunc fn, gpointer data) {
  GSource* s = g_idle_source_new();
  g_source_set_callback(s, fn, data, nullptr);
  g_source_attach(s, ctx);
  g_source_unref(s);
}

const char kRole[] = "viewer";

// The caps of the source's picture (the capsfilter named "size").
std::string PictureCaps(int width, int height, int fps) {
  char caps[128];
  std::snprintf(caps, sizeof caps, "video/x-raw,format=I420,width=%d,height=%d,framerate=%d/1", width, height, fps);
  return caps;
}

std::string LaunchLine(const std::string& mac, const RtspPicture& p, int stream, int channel) {
  char line[1024];
  // A moving pattern with the device's identity and a clock drawn in; x264 in
  // its cheapest mode with a key frame every second, so a viewer starts fast.
  std::snprintf(line, sizeof line,
                "( videotestsrc is-live=true pattern=smpte horizontal-speed=2 "
                "! capsfilter name=size caps=\"%s\" "
                "! clockoverlay halignment=left valignment=top shaded-background=true font-desc=\"Sans %d\" "
                "time-format=\"%%H:%%M:%%S\" text=\"%s  stream %d  ch %d\" "
                "! x264enc tune=zerolatency speed-preset=ultrafast bitrate=%d key-int-max=%d threads=1 "
                "! video/x-h264,profile=constrained-baseline "
                "! rtph264pay name=pay0 pt=96 config-interval=-1 )",
                PictureCaps(p.width, p.height, p.fps).c_str(), p.width >= 1280 ? 28 : p.width >= 640 ? 14 : 9,
                mac.c_str(), stream, channel, p.width >= 1280 ? 4000 : p.width >= 640 ? 800 : 300, p.fps);
  return line;
}

// "rtsp-resize": every second (one second of frames into the source's
// capsfilter) the picture switches between the stream's size and half of it,
// so the encoder starts a new sequence at the new size.
struct Resizer {
  int width, height, fps;
  uint64_t frames = 0;
  bool half = false;
};

GstPadProbeReturn ResizeProbe(GstPad* pad, GstPadProbeInfo*, gpointer data) {
  auto* r = static_cast<Resizer*>(data);
  if (++r->frames % uint64_t(r->fps) != 0) return GST_PAD_PROBE_OK;
  r->half = !r->half;
  const int w = r->half ? r->width / 2 : r->width, h = r->half ? r->height / 2 : r->height;
  GstCaps* caps = gst_caps_from_string(PictureCaps(w, h, r->fps).c_str());
  g_object_set(GST_PAD_PARENT(pad), "caps", caps, nullptr);
  gst_caps_unref(caps);
  return GST_PAD_PROBE_OK;
}

void FreeResizer(gpointer data) { delete static_cast<Resizer*>(data); }

void FreePicture(gpointer data, GClosure*) { delete static_cast<RtspPicture*>(data); }

void OnMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer picture) {
  const RtspPicture p = *static_cast<const RtspPicture*>(picture);
  GstElement* bin = gst_rtsp_media_get_element(media);
  GstElement* filter = bin ? gst_bin_get_by_name(GST_BIN(bin), "size") : nullptr;
  if (bin) gst_object_unref(bin);
  if (!filter) return;
  GstPad* pad = gst_element_get_static_pad(filter, "sink");
  if (pad) {
    // The probe's data goes with the pad, so nothing outlives the viewer's pipeline.
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, ResizeProbe, new Resizer{p.width, p.height, p.fps},
                      FreeResizer);
    gst_object_unref(pad);
  }
  gst_object_unref(filter);
}

GstRTSPStatusCode AnswerBusy(GstRTSPClient*, GstRTSPContext*, gpointer) {
  return GST_RTSP_STS_NOT_ENOUGH_BANDWIDTH;  // 453
}

}  // namespace

struct RtspService::Impl {
  std::mutex mu;
  std::deque<RtspHandOver> queue;
  bool started = false;
  bool stopping = false;
  std::thread thread;
  GMainContext* ctx = nullptr;
  GMainLoop* loop = nullptr;
  std::atomic<uint64_t> handed{0};

  // Loop thread only.
  GstRTSPServer* server = nullptr;
  const RtspHandOver* pending = nullptr;
  std::map<std::string, GstRTSPMountPoints*> mounts;
  std::map<std::string, GstRTSPAuth*> auths;

  void StartLocked() {
    if (started) return;
    started = true;
    ctx = g_main_context_new();
    loop = g_main_loop_new(ctx, FALSE);
    thread = std::thread([this] { Run(); });
  }

  void Run() {
    // Below the event loop: starting GStreamer and encoding never delay discovery
    // replies. The pipelines' threads inherit this.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
    g_main_context_push_thread_default(ctx);
    gst_init(nullptr, nullptr);
    server = gst_rtsp_server_new();
    g_signal_connect(server, "client-connected", G_CALLBACK(&Impl::OnClient), this);
    g_main_loop_run(loop);
    gst_rtsp_server_client_filter(
        server, [](GstRTSPServer*, GstRTSPClient*, gpointer) { return GST_RTSP_FILTER_REMOVE; }, nullptr);
    // Let the clients' close handlers run once more.
    while (g_main_context_iteration(ctx, FALSE)) {
    }
    g_object_unref(server);
    for (auto& [k, m] : mounts) g_object_unref(m);
    for (auto& [k, a] : auths) g_object_unref(a);
    mounts.clear();
    auths.clear();
    g_main_context_pop_thread_default(ctx);
  }

  static gboolean Drain(gpointer self) {
    static_cast<Impl*>(self)->TakeQueue();
    return G_SOURCE_REMOVE;
  }

  static gboolean Quit(gpointer self) {
    g_main_loop_quit(static_cast<Impl*>(self)->loop);
    return G_SOURCE_REMOVE;
  }

  void TakeQueue() {
    std::deque<RtspHandOver> work;
    {
      std::lock_guard<std::mutex> lock(mu);
      work.swap(queue);
    }
    for (const RtspHandOver& h : work) {
      GError* err = nullptr;
      GSocket* sock = g_socket_new_from_fd(h.fd, &err);
      if (!sock) {
        if (err) g_error_free(err);
        ::close(h.fd);
        continue;
      }
      char ip[INET_ADDRSTRLEN] = "0.0.0.0";
      in_addr a{};
      a.s_addr = h.peer_ip;
      inet_ntop(AF_INET, &a, ip, sizeof ip);
      pending = &h;
      // Takes the socket; "client-connected" runs inside and configures the client.
      if (!gst_rtsp_server_transfer_connection(server, sock, ip, h.peer_port, nullptr))
        std::fprintf(stderr, "dravenkit-sim: rtsp connection from %s not taken\n", ip);
      pending = nullptr;
    }
  }

  static void OnClient(GstRTSPServer*, GstRTSPClient* client, gpointer self) {
    auto* me = static_cast<Impl*>(self);
    if (!me->pending) return;
    const RtspHandOver& h = *me->pending;
    gst_rtsp_client_set_mount_points(client, me->Mounts(h));
    gst_rtsp_client_set_auth(client, me->Auth(h));
    if (h.busy) g_signal_connect(client, "pre-describe-request", G_CALLBACK(AnswerBusy), nullptr);
  }

  GstRTSPMountPoints* Mounts(const RtspHandOver& h) {
    const std::string key = h.mac + "/" + std::to_string(h.stream) + (h.resize ? "/resize" : "");
    auto it = mounts.find(key);
    if (it != mounts.end()) return it->second;
    GstRTSPMountPoints* m = gst_rtsp_mount_points_new();
    for (int ch = 1; ch <= 4; ++ch) {
      GstRTSPMediaFactory* f = gst_rtsp_media_factory_new();
      gst_rtsp_media_factory_set_launch(f, LaunchLine(h.mac, h.picture, h.stream, ch).c_str());
      // One pipeline per viewer, torn down when that viewer leaves.
      gst_rtsp_media_factory_set_shared(f, FALSE);
      gst_rtsp_media_factory_set_protocols(f, GST_RTSP_LOWER_TRANS_TCP);
      if (h.resize)
        g_signal_connect_data(f, "media-configure", G_CALLBACK(OnMediaConfigure), new RtspPicture(h.picture),
                              FreePicture, GConnectFlags(0));
      gst_rtsp_media_factory_add_role(f, kRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN, TRUE,
                                      GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, nullptr);
      const std::string path = "/ch" + std::to_string(ch);
      gst_rtsp_mount_points_add_factory(m, path.c_str(), f);  // takes f
    }
    mounts[key] = m;
    return m;
  }

  GstRTSPAuth* Auth(const RtspHandOver& h) {
    const std::string key = h.refuse_auth ? std::string("\x01refuse") : h.user + '\n' + h.password;
    auto it = auths.find(key);
    if (it != auths.end()) return it->second;
    GstRTSPAuth* a = gst_rtsp_auth_new();
    gst_rtsp_auth_set_supported_methods(a, GstRTSPAuthMethod(GST_RTSP_AUTH_BASIC | GST_RTSP_AUTH_DIGEST));
    if (!h.refuse_auth) {
      GstRTSPToken* tok = gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kRole, nullptr);
      gchar* basic = gst_rtsp_auth_make_basic(h.user.c_str(), h.password.c_str());
      gst_rtsp_auth_add_basic(a, basic, tok);
      g_free(basic);
      gst_rtsp_auth_add_digest(a, h.user.c_str(), h.password.c_str(), tok);
      gst_rtsp_token_unref(tok);
    }
    auths[key] = a;
    return a;
  }
};

RtspService::RtspService() : impl_(std::make_unique<Impl>()) {}

RtspService::~RtspService() { Stop(); }

uint64_t RtspService::handed() const { return impl_->handed.load(); }

void RtspService::Hand(RtspHandOver h) {
  Impl& m = *impl_;
  {
    std::lock_guard<std::mutex> lock(m.mu);
    if (m.stopping) {
      ::close(h.fd);
      return;
    }
    m.queue.push_back(std::move(h));
    m.handed.fetch_add(1);
    m.StartLocked();
  }
  Defer(m.ctx, &Impl::Drain, &m);
}

void RtspService::Warm() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  if (!impl_->stopping) impl_->StartLocked();
}

void RtspService::Stop() {
  Impl& m = *impl_;
  {
    std::lock_guard<std::mutex> lock(m.mu);
    if (m.stopping) return;
    m.stopping = true;
    if (!m.started) return;
  }
  Defer(m.ctx, &Impl::Quit, &m);
  m.thread.join();
  for (const RtspHandOver& h : m.queue) ::close(h.fd);
  m.queue.clear();
  g_main_loop_unref(m.loop);
  g_main_context_unref(m.ctx);
}

}  // namespace dksim
