#pragma once
// Shared pieces of the window tests: a recording engine, an answering prompt,
// a fixture that opens the window on settings in a temporary directory (over
// the recording engine, or the real one on a simulated segment), and the wait
// for what the event loop brings.
#include <QApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QLineEdit>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "ui/backend.h"
#include "ui/cell_list.h"
#include "tests/ui/window_probe.h"
#include "ui/list_columns.h"
#include "ui/app.h"
#include "ui/colours.h"
#include "ui/ip_address_ctrl.h"
#include "ui/main_window.h"
#include "ui/prompt.h"

class FakeBackend : public WindowBackend {
 public:
  bool StartScan(const ScanConfig& cfg, MessageSink* sink) override;
  void StopScan() override { ++scan_stops; }
  bool StartInfoQuery(const VersionQueryParam& p, MessageSink* sink) override;
  std::vector<MessageSink*> query_sinks;  // each query's own sink
  void StopInfoQuery() override { ++query_stops; }
  bool StartPing(std::vector<PingTarget> targets, MessageSink* sink) override;
  void StopPing() override { ++ping_stops; }
  bool PingRunning() const override { return !pings.empty(); }
  bool StartUpdate(const UpdateConfig& cfg, MessageSink*) override {
    updates.push_back(cfg);
    return update_result;
  }
  void StopUpdate() override { ++update_stops; }
  bool StartFactoryDefault(const FactoryDefaultConfig& cfg, MessageSink* sink) override;
  void StopFactoryDefault() override { ++factory_stops; }
  // With arp_command set, the real command runner runs it instead.
  int32_t DeleteArpTable() override {
    ++arp_flushes;
    return arp_command.empty() ? 0 : RunCommand(arp_command, nullptr);
  }
  bool StartNvtSetting(NvtSettingParam p, MessageSink* sink) override;
  void StopNvtSetting() override { ++nvt_stops; }
  int32_t GetLocalAdapterInfo(LocalAdapterInfo* out) override;
  bool OpenUrl(const std::string& url) override {
    urls.push_back(url);
    return url_opens;
  }
  bool url_opens = true;
  int32_t SetNetwork(const SetNetworkRequest& req, const SetNetworkTimings&) override {
    set_network_requests.push_back(req);
    return set_network_result;
  }

  // Records the run and hands back a runner that was never started: the test
  // posts the results itself through inventory_sinks; with start_inventory
  // set, that decides instead.
  std::unique_ptr<InventoryRunner> StartInventory(InventoryConfig cfg, MessageSink* sink) override {
    inventory_runs.push_back(cfg);
    inventory_sinks.push_back(sink);
    if (start_inventory) return start_inventory(std::move(cfg), sink);
    return std::make_unique<InventoryRunner>();
  }
  std::vector<InventoryConfig> inventory_runs;
  std::vector<MessageSink*> inventory_sinks;
  std::function<std::unique_ptr<InventoryRunner>(InventoryConfig, MessageSink*)> start_inventory;

  bool scan_result = true;
  int scan_starts = 0, scan_stops = 0, query_stops = 0, ping_stops = 0, arp_flushes = 0;
  ScanConfig last_scan;
  std::vector<VersionQueryParam> queries;
  std::vector<std::vector<PingTarget>> pings;
  std::vector<std::string> urls;
  std::vector<SetNetworkRequest> set_network_requests;
  int32_t set_network_result = 0;
  bool adapter_found = true;
  std::vector<UpdateConfig> updates;
  bool update_result = true;
  int update_stops = 0;
  bool factory_result = true;
  int factory_stops = 0;
  std::vector<FactoryDefaultConfig> factory_runs;
  std::vector<std::string> arp_command;
  std::vector<NvtSettingParam> nvt_runs;
  int nvt_stops = 0;
};

class FakePrompt : public Prompt {
 public:
  void Info(const std::string& text, PromptIcon icon) override {
    infos.push_back(text);
    icons.push_back(icon);
  }
  bool Question(const std::string& text) override {
    questions.push_back(text);
    return answer;
  }
  std::string SaveFileName(const std::string& caption, const std::string& suggested_name) override {
    saves.push_back(caption + "|" + suggested_name);
    return save_path;
  }
  std::vector<std::string> saves;
  std::string save_path;  // what the save dialog answers; "" is Cancel
  bool QuestionWithDetails(const std::string& text, const std::string& d) override {
    details.push_back(d);
    return Question(text);
  }
  std::vector<std::string> details;
  std::string ChooseFile() override { return chosen_file; }
  std::vector<std::string> infos;
  std::vector<PromptIcon> icons;
  std::vector<std::string> questions;
  bool answer = true;
  std::string chosen_file;
};

// A device as a discovery reply gives it; mac ends in id.
DeviceRecord TestRecord(uint8_t id, const char* ip, const char* model = "NVT-E100", uint16_t web = 80,
                        uint16_t av1 = 554, uint16_t av2 = 0, uint16_t av3 = 0, uint8_t network_type = 1);

// Handles everything queued for the window.
void Pump();

// Runs the event loop until done() holds or ms of wall-clock time have passed.
template <typename F>
bool WaitUntil(F done, int ms) {
  const QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return done();
    QTest::qWait(10);
  }
  return true;
}

class WindowFixture {
 public:
  WindowFixture();
  ~WindowFixture();
  // Opens the window with these file texts beside the "executable" (empty: no file).
  CDravenkitDlg* Open(const std::string& settings_ini = "", const std::string& language_ini = "",
                      bool show = true);
  CDravenkitDlg* w() const { return window_.get(); }
  CCellListCtrl* list() const { return Probe(window_.get()).List(); }
  // Posts the records as one discovery: "Discovery", UM_DEVICE_FOUND each, UM_SCAN_DONE.
  void Discover(const std::vector<DeviceRecord>& recs);
  void Feed(const DeviceRecord& rec);
  std::string Cell(int row, int col) const;
  std::string Text(int id) const;
  bool Visible(int id) const;
  bool Enabled(int id) const;
  void ClickRow(int row, int col = kColModel, Qt::KeyboardModifiers mods = Qt::NoModifier);
  void ClickEmpty();
  void RightClickRow(int row);
  void DoubleClickRow(int row);
  void ClickHeader(int col);
  void Key(int key);
  void Close() { window_.reset(); }

  TempDir dir;
  FakeBackend backend;
  WindowBackend* engine = &backend;  // what the window is opened on; it must outlive the window
  FakePrompt prompt;
  WindowTimings timings;
  InfoQueryTimings info_timings;
  std::function<CViewerControl*(QWidget*)> make_viewer;  // the monitoring window's control
  // Answers the Authentication dialog of "Apply"; unset: it is cancelled.
  std::function<int(Authentication&)> authenticate;
  // Last changes to the window's options (the runs' timings of a segment test).
  std::function<void(WindowOptions*)> adjust;

 private:
  std::unique_ptr<CDravenkitDlg> window_;
};
