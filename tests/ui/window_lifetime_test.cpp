// Workers that outlive their bounded stop go on posting after the window has
// closed: nothing of theirs may reach the destroyed window (the sanitizer
// build turns any such use into a failure).
#include <gtest/gtest.h>

#include <QLineEdit>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "tests/ui/ui_support.h"
#include "ui/nvt_setting_dialog.h"

namespace {

// Every run it starts posts its kind of message until the engine itself goes;
// stopping is ignored, as by a worker stuck past its stop bound.
class PostingBackend : public FakeBackend {
 public:
  ~PostingBackend() override {
    quit_ = true;
    for (auto& t : threads_) t.join();
  }
  bool StartScan(const ScanConfig& cfg, MessageSink* sink) override {
    FakeBackend::StartScan(cfg, sink);
    return Launch(sink, MakeDeviceFound(TestRecord(9, "10.0.0.9")));
  }
  bool StartInfoQuery(const VersionQueryParam& p, MessageSink* sink) override {
    FakeBackend::StartInfoQuery(p, sink);
    return Launch(sink, MakeText(UM_FIRMWARE_VERSION_TEXT, "1.0"));
  }
  bool StartPing(std::vector<PingTarget> targets, MessageSink* sink) override {
    FakeBackend::StartPing(targets, sink);
    return Launch(sink, MakePingResult(TestRecord(1, "10.0.0.1").mac, 0, false));
  }
  bool StartNvtSetting(NvtSettingParam p, MessageSink* sink) override {
    WorkerMessage m = MakeDeviceFound(p.devices.at(0));
    m.id = UM_IP_SETTING_RESULT;
    FakeBackend::StartNvtSetting(std::move(p), sink);
    return Launch(sink, m);
  }
  bool StartUpdate(const UpdateConfig& cfg, MessageSink* sink) override {
    FakeBackend::StartUpdate(cfg, sink);
    return Launch(sink, MakeStatus(UM_UPDATE_STATUS, cfg.devices.at(0).mac, 40, ""));
  }
  bool StartFactoryDefault(const FactoryDefaultConfig& cfg, MessageSink* sink) override {
    FakeBackend::StartFactoryDefault(cfg, sink);
    return Launch(sink, MakeFactoryStatus(cfg.devices.at(0).mac, 40));
  }

  // Waits (bounded) until the runs have posted n more messages.
  bool WaitForPosts(int n) {
    const int target = posted_.load() + n;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (posted_.load() < target)
      if (std::chrono::steady_clock::now() > deadline) return false;
      else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
  }

 private:
  bool Launch(MessageSink* sink, WorkerMessage m) {
    threads_.emplace_back([this, sink, m] {
      while (!quit_) {
        sink->Post(m);
        ++posted_;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    });
    return true;
  }
  std::atomic<bool> quit_{false};
  std::atomic<int> posted_{0};
  std::vector<std::thread> threads_;
};

TEST(WindowLifetime, ClosingWhileEachKindOfRunPostsIsSafe) {
  PostingBackend engine;  // outlives every window, as the program's does
  const struct {
    const char* kind;
    int command;  // 0: a click on the first row
  } runs[] = {{"scan", IDC_DISCOVERY},          {"information query", 0},
              {"ping", IDC_PING_RESPONSE},      {"multiple IP setting", IDC_MULTIPLE_IP},
              {"update", IDC_UPDATE_START},     {"factory default", IDC_FACTORY_DEFAULT}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.kind);
    WindowFixture f;
    f.engine = &engine;
    ASSERT_NE(f.Open("[COMMON]\nUPDATE_ENABLE=1\n[FIRMWARE_UPDATE]\nUPDATE_BEFORE_ID=root\n"
                     "UPDATE_BEFORE_PASSWORD=pw\nUPDATE_FILENAME=/tmp/fw.bin\n"),
              nullptr);
    for (int i = 1; i <= 2; ++i) f.w()->Post(MakeDeviceFound(TestRecord(uint8_t(i), ("10.0.0." + std::to_string(i)).c_str())));
    f.w()->SetOperationState(kStateScanning);
    Pump();
    f.w()->SetOperationState(kStateIdle);
    ASSERT_EQ(f.list()->GetItemCount(), 2);
    f.list()->SetCheckbox(0, kColNo, 1);
    Probe(f.w()).NvtDialog()->show_viewer = [](const std::string&, QWidget*) {};
    Probe(f.w()).NvtDialog()->modal_runner = [](CNVTSettingDlg* d) {
      d->OnCommand(IDC_NVT_RANGE_MODE);
      static_cast<QLineEdit*>(d->Control(IDC_NVT_START_IP))->setText("10.1.0.10");
      d->OnCommand(IDC_NVT_OK);
      return d->result();
    };
    if (run.command == IDC_UPDATE_START || run.command == IDC_FACTORY_DEFAULT) f.w()->OnCommand(IDC_FIRMWARE_UPDATE);
    if (run.command)
      f.w()->OnCommand(run.command);
    else
      f.ClickRow(0);
    ASSERT_TRUE(engine.WaitForPosts(50));
    Pump();  // some of them reach the open window
    f.Close();
    ASSERT_TRUE(engine.WaitForPosts(50));  // and more after it is gone
  }
}

}  // namespace
