// Window thread time of merging 5,000 discovery replies into the device list
// and of sorting 5,000 rows, on an offscreen window fed by posted messages.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include <vector>

#include "platform/exe_path.h"
#include "ui/app.h"
#include "ui/backend.h"
#include "ui/cell_list.h"
#include "ui/list_columns.h"
#include "ui/main_window.h"
#include "ui/prompt.h"

namespace {

class QuietBackend : public WindowBackend {
 public:
  bool StartScan(const ScanConfig&, MessageSink*) override { return true; }
  void StopScan() override {}
  bool StartInfoQuery(const VersionQueryParam&, MessageSink*) override { return true; }
  void StopInfoQuery() override {}
  bool StartPing(std::vector<PingTarget>, MessageSink*) override { return true; }
  void StopPing() override {}
  bool PingRunning() const override { return false; }
  bool StartFactoryDefault(const FactoryDefaultConfig&, MessageSink*) override { return true; }
  void StopFactoryDefault() override {}
  bool StartNvtSetting(NvtSettingParam, MessageSink*) override { return true; }
  void StopNvtSetting() override {}
  bool StartUpdate(const UpdateConfig&, MessageSink*) override { return true; }
  void StopUpdate() override {}
  int32_t DeleteArpTable() override { return 0; }
  int32_t GetLocalAdapterInfo(LocalAdapterInfo* out) override {
    out->found = true;
    out->ip = "10.0.0.1";
    return 0;
  }
  bool OpenUrl(const std::string&) override { return true; }
  int32_t SetNetwork(const SetNetworkRequest&, const SetNetworkTimings&) override { return kSetNetworkNoAnswer; }
};

class QuietPrompt : public Prompt {
 public:
  void Info(const std::string&, PromptIcon) override {}
  bool Question(const std::string&) override { return true; }
};

double ThreadCpuMs() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double WallMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void Pump() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

DeviceRecord Device(int i) {
  DeviceRecord r;
  ZeroRecord(&r);
  const uint8_t mac[6] = {0x00, 0x1C, 0x84, uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i)};
  std::memcpy(r.mac, mac, 6);
  r.ip = IpFromOctets(10, uint8_t(1 + i / 65536), uint8_t(i / 256), uint8_t(i % 256));
  std::snprintf(r.model_name, sizeof r.model_name, "NVT-E%04d", (i * 37) % 10000);
  r.network_type = 1;
  r.web_port = (i % 7 == 0) ? 0 : 80;
  r.av_port1 = 554;
  r.av_port2 = (i % 3 == 0) ? 555 : 0;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ApplyDravenkitLook(&app);
  char dir_template[] = "/tmp/dk-ui-bench-XXXXXX";
  const char* dir = mkdtemp(dir_template);
  if (dir) dk::SetExecutableDirOverride(dir);
  const int n = argc > 1 ? std::atoi(argv[1]) : 5000;

  QuietBackend backend;
  QuietPrompt prompt;
  WindowOptions options;
  options.backend = &backend;
  options.prompt = &prompt;
  CDravenkitDlg window(options);
  if (!window.Initialize()) return 1;
  window.show();
  Pump();
  auto* list = static_cast<CCellListCtrl*>(window.Control(IDC_DEVICE_LIST));

  std::vector<WorkerMessage> msgs;
  msgs.reserve(n);
  for (int i = 0; i < n; ++i) msgs.push_back(MakeDeviceFound(Device(i)));
  window.OnCommand(IDC_DISCOVERY);
  const double cpu0 = ThreadCpuMs(), wall0 = WallMs();
  for (auto& m : msgs) window.Post(std::move(m));
  window.Post(MakeSignal(UM_SCAN_DONE));
  Pump();
  const double cpu1 = ThreadCpuMs(), wall1 = WallMs();
  window.repaint();
  std::printf("merge %d UM_DEVICE_FOUND (posted and handled): %.1f ms window-thread CPU, %.1f ms wall; rows %d\n",
              n, cpu1 - cpu0, wall1 - wall0, list->GetItemCount());

  // Each sort: by IP address descending, then ascending, then by model name.
  for (int col : {kColIp, kColIp, kColModel}) {
    const double c0 = ThreadCpuMs(), w0 = WallMs();
    emit list->Header()->sectionClicked(col);
    Pump();
    const double c1 = ThreadCpuMs(), w1 = WallMs();
    std::printf("sort %d rows by column %d: %.1f ms window-thread CPU, %.1f ms wall; first %s\n", n, col, c1 - c0,
                w1 - w0, list->GetItemText(0, col).toStdString().c_str());
  }
  // The table re-keying alone, which every sort runs once.
  {
    DeviceTable table;
    std::vector<std::string> cells;
    for (int i = 0; i < n; ++i) table.Append(i, Device(i));
    for (int i = n - 1; i >= 0; --i) {
      char mac[24];
      DeviceRecord r = Device(i);
      cells.push_back(FormatMacList(r.mac, mac));
    }
    const double c0 = ThreadCpuMs();
    RekeyAfterSort(&table, cells);
    std::printf("RekeyAfterSort of %d entries alone: %.1f ms CPU\n", n, ThreadCpuMs() - c0);
  }
  window.close();
  dk::SetExecutableDirOverride("");
  if (dir) rmdir(dir);
  return 0;
}
