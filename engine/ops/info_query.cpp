#include "engine/ops/info_query.h"

#include <cstdio>
#include <exception>

#include "engine/devices/device_record.h"
#include "engine/ops/ping_tools.h"
#include "platform/ticks.h"

const char kInfoQueryUser[] = "root";
const char kDefaultDevicePassword[] = "tulp";

namespace {
constexpr char kFailed[] = "failed";

int32_t GetVersionThreadProcRun(const VersionQueryParam& p, const dk::StopFlag& stop, MessageSink* sink) {
  // Once stopped, a query stays silent: a newer selection owns the panel.
  auto post = [&](int32_t id, const char* text) {
    if (stop.IsSet()) return false;
    if (sink) sink->Post(MakeText(id, text));
    return true;
  };
  char ip[16];
  FormatIp(p.ip, ip);
  const uint16_t port = p.port == 0 ? 80 : p.port;
  const InfoQueryTimings& t = p.timings;

  if (stop.IsSet()) return 0;
  if (PingCheck(p.ip, t.ping_count, t.ping_timeout_ms) != 1) {
    post(UM_FIRMWARE_VERSION_TEXT, kFailed);
    post(UM_SERIAL_TEXT, kFailed);
    post(UM_SYSTEM_MODE_TEXT, kFailed);
    return -1;
  }

  DeviceHttpClient client(t.http);
  client.SetStopFlag(&stop);
  if (!post(UM_FIRMWARE_VERSION_TEXT, "") || !post(UM_SERIAL_TEXT, "") || !post(UM_SYSTEM_MODE_TEXT, "")) return 0;

  QuerySystemMode(ip, port, sink, t.curl, &stop);  // posts nothing once stopped
  if (stop.IsSet()) return 0;

  // Fresh buffers per request; a request that brought no value (refused, or
  // nothing by the deadline) shows "failed" rather than an empty field.
  char version[kHttpValueSize] = "";
  int32_t r = client.Request(ip, port, kInfoQueryUser, kDefaultDevicePassword, "general", "software_version", version);
  if (!post(UM_FIRMWARE_VERSION_TEXT, (r == -1 || !client.LastValueFound()) ? kFailed : version)) return 0;

  char serial[kHttpValueSize] = "";
  r = client.Request(ip, port, kInfoQueryUser, kDefaultDevicePassword, nullptr, "serial", serial);
  post(UM_SERIAL_TEXT, (r == -1 || !client.LastValueFound()) ? kFailed : serial);
  return 0;
}
}  // namespace

int32_t GetVersionThreadProc(const VersionQueryParam& p, const dk::StopFlag& stop, MessageSink* sink) {
  try {
    return GetVersionThreadProcRun(p, stop, sink);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "[ERROR] GetVersionThreadProc : GetVersionThreadProcRun (%s)\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "[ERROR] GetVersionThreadProc : GetVersionThreadProcRun\n");
  }
  return -2;
}

bool InfoQueryRunner::Start(const VersionQueryParam& param, MessageSink* sink) {
  runs_.SignalAll();  // no waiting on the window's thread
  stop_wait_ms_ = param.timings.stop_wait_ms;
  VersionQueryParam copy = param;
  if (runs_.Launch([copy, sink](const dk::StopFlag& stop) { GetVersionThreadProc(copy, stop, sink); })) return true;
  // No thread: nothing is asked, and the fields say so.
  std::fprintf(stderr, "[ERROR] GetVersionThreadProc : GetVersionThreadProcRun\n");
  if (sink)
    for (int id : {UM_SYSTEM_MODE_TEXT, UM_FIRMWARE_VERSION_TEXT, UM_SERIAL_TEXT}) sink->Post(MakeText(id, kFailed));
  return false;
}

void InfoQueryRunner::Stop() { runs_.StopAll(stop_wait_ms_); }

bool InfoQueryRunner::Running() const { return runs_.Running(); }
