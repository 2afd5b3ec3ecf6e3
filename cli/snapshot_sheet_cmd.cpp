// dravenkit-cli snapshot (--mac MAC ... | --all) --sheet FILE.png: the first
// picture of many devices at once, as one contact sheet.
#include <png.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdio>
#include <cstring>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/snapshot_sheet.h"
#include "config/settings.h"
#include "engine/video/contact_sheet.h"
#include "engine/video/first_frames.h"

namespace {

uint16_t StreamPort(const DeviceRecord& r, int stream) {
  return stream == 1 ? r.av_port1 : stream == 2 ? r.av_port2 : r.av_port3;
}

// libpng reports its errors by longjmp to the last setjmp: each call is made
// from a frame of its own that holds nothing with a destructor.
bool PngStart(png_structp png, png_infop info, FILE* f, int width, int height) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  return true;
}

bool PngRow(png_structp png, const uint8_t* rgb) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_row(png, rgb);
  return true;
}

bool PngEnd(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_end(png, info);
  return true;
}

// The sheet's PNG, written a row at a time as the bands of tiles are done,
// so the whole sheet is never in memory.
class PngRows {
 public:
  PngRows(const std::string& path, int width, int height) : path_(path) {
    f_ = std::fopen(path.c_str(), "wb");
    png_ = f_ ? png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr) : nullptr;
    info_ = png_ ? png_create_info_struct(png_) : nullptr;
    ok_ = info_ && PngStart(png_, info_, f_, width, height);
  }
  ~PngRows() { Close(false); }
  bool Row(const uint8_t* rgb) { return ok_ = ok_ && PngRow(png_, rgb); }
  // True when the whole file was written; otherwise it is removed.
  bool Close(bool complete) {
    if (closed_) return ok_;
    closed_ = true;
    ok_ = ok_ && complete && PngEnd(png_, info_);
    if (png_) png_destroy_write_struct(&png_, &info_);
    if (f_) ok_ = std::fclose(f_) == 0 && ok_;
    if (!ok_ && f_) std::remove(path_.c_str());
    return ok_;
  }

 private:
  std::string path_;
  FILE* f_ = nullptr;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  bool ok_ = false, closed_ = false;
};

}  // namespace

int RunSnapshotSheet(const SheetOptions& o) {
  const char* me = "dravenkit-cli snapshot";
  if (CheckDeviceChoice(me, o.macs, o.all) != 0) return kCliUsage;
  CNVTSettings settings;
  (void)settings.Load();  // read only: XFLAG of the scan
  std::vector<DeviceRecord> chosen;
  if (ScanAndChoose(me, settings.XFLAG, o.macs, o.all, &chosen) != 0) return kCliFailed;

  std::vector<FirstFrameJob> jobs(chosen.size());
  for (size_t i = 0; i < chosen.size(); ++i) {
    const uint16_t port = StreamPort(chosen[i], o.stream);
    jobs[i].has_port = port != 0;
    jobs[i].src.address = IpText(chosen[i].ip);
    jobs[i].src.port = port;
    jobs[i].src.channel = o.channel;
    jobs[i].src.user = o.user;
    jobs[i].src.password = o.password;
    // Twice the tile is all the box filter needs: no full-size pictures.
    jobs[i].src.max_width = 2 * SheetLayout().picture_width;
    jobs[i].src.max_height = 2 * SheetLayout().picture_height;
  }
  const uint32_t timeout_ms = static_cast<uint32_t>(o.timeout_s * 1000);
  VideoTimings t;
  t.answer_ms = timeout_ms;
  t.stall_ms = timeout_ms;
#if defined(__GLIBC__)
  // Pictures and decoder buffers of megabytes come and go on short-lived
  // threads: from a fixed size on they are mapped and unmapped, never left
  // in the allocator's heaps, where freed pictures would pile up with the
  // fleet (glibc otherwise raises that size as big blocks are freed).
  (void)mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
  // Each picture is scaled into its tile the moment it arrives and dropped;
  // each band of tiles goes to the file once all its devices have ended and
  // is dropped too. Memory holds the bands in flight, however many devices.
  ContactSheet sheet(chosen.size(), SheetLayout());
  for (size_t i = 0; i < chosen.size(); ++i) {
    const DeviceRecord& r = chosen[i];
    sheet.SetLines(i, Printable(std::string(r.model_name, strnlen(r.model_name, sizeof r.model_name))), MacText(r.mac),
                   jobs[i].has_port ? jobs[i].src.address + ":" + std::to_string(jobs[i].src.port) : jobs[i].src.address);
  }
  PngRows png(o.sheet, sheet.width(), sheet.height());
  sheet.Stream([&png](int, const uint8_t* rgb) { return png.Row(rgb); });
  std::vector<FirstFrameResult> results;
  GrabFirstFrames(jobs, t, timeout_ms, o.concurrency, &results, [&sheet](size_t i, const FirstFrameResult& r) {
    if (r.code == kVideoOk)
      sheet.SetPicture(i, r.frame);
    else
      sheet.SetFailure(i, VideoFailureText(r.code));
    sheet.Done(i);
#if defined(__GLIBC__)
    // Give back what this device's connection and decoder left free in the
    // allocator's heaps (a few hundred KB in holes that are rarely reused whole).
    (void)malloc_trim(0);
#endif
  });
  int pictures = 0;
  for (const FirstFrameResult& r : results) pictures += r.code == kVideoOk ? 1 : 0;
  const bool written = png.Close(sheet.Finish() == 0);
  if (!written) std::fprintf(stderr, "%s: cannot write %s\n", me, o.sheet.c_str());

  bool out_ok = true;
  if (o.json) {
    nlohmann::ordered_json j;
    j["devices"] = nlohmann::ordered_json::array();
    for (size_t i = 0; i < chosen.size(); ++i) {
      const FirstFrameResult& r = results[i];
      const bool ok = r.code == kVideoOk;
      nlohmann::ordered_json e;
      e["mac"] = MacText(chosen[i].mac);
      e["ip"] = IpText(chosen[i].ip);
      e["result"] = VideoResultName(r.code);
      e["width"] = ok ? nlohmann::ordered_json(r.width) : nlohmann::ordered_json(nullptr);
      e["height"] = ok ? nlohmann::ordered_json(r.height) : nlohmann::ordered_json(nullptr);
      e["first_frame_ms"] = ok ? nlohmann::ordered_json(r.first_frame_us / 1000) : nlohmann::ordered_json(nullptr);
      j["devices"].push_back(std::move(e));
    }
    out_ok = PrintJson(j);
  } else {
    for (size_t i = 0; i < chosen.size(); ++i) {
      const FirstFrameResult& r = results[i];
      if (r.code == kVideoOk)
        std::printf("%s %s %dx%d, first frame after %lld ms\n", MacText(chosen[i].mac).c_str(),
                    IpText(chosen[i].ip).c_str(), r.width, r.height,
                    static_cast<long long>(r.first_frame_us / 1000));
      else
        std::printf("%s %s %s\n", MacText(chosen[i].mac).c_str(), IpText(chosen[i].ip).c_str(),
                    VideoFailureText(r.code));
    }
    out_ok = std::fflush(stdout) == 0;
  }
  return written && out_ok && pictures == static_cast<int>(chosen.size()) ? kCliOk : kCliFailed;
}
