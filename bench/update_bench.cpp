// Firmware update figures on a simulated segment:
//   scripts/segment --devices 100 --restart-ms 1000 -- build/bin/update_bench [MB] [devices]
// 1. upload throughput of one MB-sized image (default 64) to device 0 with
//    UploadProc and with `curl -F` in the same run;
// 2. peak memory (max RSS of a child process) of UploadProc for 20 MB and MB;
// 3. a whole update of 1 device and of all devices (default 100), product
//    timings, wall time and the CPU time of the run's thread.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/talq/talq_client.h"
#include "engine/update/update_run.h"
#include "platform/ticks.h"

namespace {

std::string MakeImage(const std::string& version, long mb) {
  const std::string path = "/tmp/dk_update_bench_" + version + "_" + std::to_string(mb) + ".bin";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return "";
  std::fprintf(f, "DRAVENKIT-FW %s\n", version.c_str());
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131);
  for (long i = 0; i < mb; ++i) std::fwrite(block.data(), 1, block.size(), f);
  std::fclose(f);
  return path;
}

double Seconds(uint32_t ms) { return ms / 1000.0; }

double ThreadCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Max RSS in KiB of a child that uploads path once.
long UploadPeakKiB(const std::string& path, const char* ip) {
  const pid_t pid = fork();
  if (pid == 0) {
    UpdateJob job = MakeUpdateJob(path, ip, "", "", 80, 1);
    _exit(UploadProc(job) == 0 ? 0 : 1);
  }
  int status = 0;
  rusage u{};
  if (pid < 0 || wait4(pid, &status, 0, &u) != pid) return -1;
  return u.ru_maxrss;
}

std::vector<DeviceRecord> Discover(size_t want) {
  std::vector<DeviceRecord> out;
  TalqClient c{};
  if (TALQCLIENT_Open(&c) != 0) return out;
  c.Broadcast(&c);
  dk::TickTimer t;
  t.Start();
  while (!t.Expired(1500) && out.size() < want) {
    if (c.Wait(&c, 0, 50000) > 0 && c.RecvDiscovery(&c) == 1) {
      bool seen = false;
      for (const DeviceRecord& r : out) seen = seen || std::memcmp(r.mac, c.parse.mac, 6) == 0;
      if (!seen) out.push_back(c.parse);
    }
  }
  c.Close(&c.socket);
  return out;
}

// Notes the run thread's CPU time when the last upload has started (Post is
// called on the run's thread), so the wait for the restarts can be told apart.
class PhaseSink : public MessageSink {
 public:
  explicit PhaseSink(size_t n) : n_(n) {}
  void Post(WorkerMessage m) override {
    const auto* s = std::get_if<StatusReport>(&m.payload);
    if (s && m.id == UM_UPDATE_STATUS && s->status == kUpdateUploadStarted && ++started_ == n_) {
      cpu_at_wait = ThreadCpuSeconds();
      wait_start.Start();
    }
  }
  double cpu_at_wait = 0;
  dk::TickTimer wait_start;

 private:
  size_t n_;
  size_t started_ = 0;
};

void Update(const std::vector<DeviceRecord>& devices, const std::string& image, const std::string& version) {
  UpdateConfig cfg;
  cfg.devices = devices;
  cfg.type_index = 1;
  cfg.before_id = cfg.after_id = "root";
  cfg.before_password = cfg.after_password = "tulp";
  cfg.firmware_path = image;
  cfg.expected_version = version;
  cfg.flush_arp = false;
  dk::StopFlag stop;
  UpdateRunResult r;
  dk::TickTimer t;
  t.Start();
  PhaseSink sink(devices.size());
  const double cpu0 = ThreadCpuSeconds();
  const int32_t rc = UpdateRun(cfg, stop, &sink, &r);
  const double cpu_end = ThreadCpuSeconds();
  const double cpu = cpu_end - cpu0;
  const uint32_t wall = t.Elapsed();
  const uint32_t wait_ms = sink.wait_start.Elapsed();
  int verified = 0;
  for (const UpdateDeviceResult& d : r.devices) verified += d.status == kUpdateVerified;
  std::printf("update of %zu device(s): result %d, %d verified, wall %.1f s, run thread CPU %.3f s (%.2f %% of a core)\n",
              devices.size(), rc, verified, Seconds(wall), cpu, wall ? 100.0 * cpu / Seconds(wall) : 0.0);
  std::printf("  after the last upload started (restarts and checks): %.1f s, run thread CPU %.3f s (%.2f %% of a core)\n",
              Seconds(wait_ms), cpu_end - sink.cpu_at_wait,
              wait_ms ? 100.0 * (cpu_end - sink.cpu_at_wait) / Seconds(wait_ms) : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  const long mb = argc > 1 ? std::atol(argv[1]) : 64;
  const size_t count = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100;
  if (HttpGlobalInit() != 0) return 1;
  std::vector<DeviceRecord> devices = Discover(count);
  if (devices.empty()) {
    std::fprintf(stderr, "update_bench: no device answered (run it on a segment)\n");
    return 1;
  }
  char ip[16];
  FormatIp(devices[0].ip, ip);

  // 1. Throughput against curl -F, same file and device.
  const std::string big = MakeImage("9.9.9", mb);
  dk::TickTimer t;
  t.Start();
  uint64_t sent = 0;
  const int32_t rc = UploadProc(MakeUpdateJob(big, ip, "", "", 80, 1), &sent);
  const uint32_t ours = t.Elapsed();
  dk::SleepMs(1500);  // the device restarts after each upload
  while (Discover(count).size() < devices.size() && t.Elapsed() < 20000) dk::SleepMs(200);
  const std::string cmd = "curl -s -o /dev/null --http1.0 -F 'FirmwareFile=@" + big + "' http://" + ip + "/cgi-bin/Upload.cgi";
  t.Start();
  const int curl_rc = std::system(cmd.c_str());
  const uint32_t theirs = t.Elapsed();
  std::printf("upload of %ld MB: UploadProc %.0f MB/s (%u ms, result %d, %llu bytes), curl -F %.0f MB/s (%u ms, status %d), ratio %.2f\n",
              mb, ours ? mb * 1000.0 / ours : 0.0, ours, rc, static_cast<unsigned long long>(sent),
              theirs ? mb * 1000.0 / theirs : 0.0, theirs, curl_rc, ours ? double(theirs) / ours : 0.0);
  dk::SleepMs(1500);

  // 2. Peak memory: streamed, so the image size must not show.
  const std::string small = MakeImage("9.9.8", 20);
  const long small_kib = UploadPeakKiB(small, ip);
  dk::SleepMs(1500);
  const long big_kib = UploadPeakKiB(big, ip);
  std::printf("peak RSS of an upload child: 20 MB image %ld KiB, %ld MB image %ld KiB, difference %ld KiB\n",
              small_kib, mb, big_kib, big_kib - small_kib);
  std::remove(big.c_str());
  std::remove(small.c_str());
  dk::SleepMs(1500);

  // 3. One device, then all of them, product timings.
  const std::string image = MakeImage("3.0.0", 1);
  devices = Discover(count);
  Update({devices[0]}, image, "3.0.0");
  const std::string image2 = MakeImage("3.0.1", 1);
  Update(devices, image2, "3.0.1");
  std::remove(image.c_str());
  std::remove(image2.c_str());
  return 0;
}
