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

enum Kind { kScan, kQuery, kPing, kNvt, kUpdate, kFactory, kKinds };

// Every run it starts posts its kind of message until the engine itself goes;
// stopping is ignored, as by a worker stuck past its stop bound. Each kind's
// posts are counted apart, so a wait for one kind is not met by another's.
class PostingBackend : public FakeBackend {
 public:
  ~PostingBackend() override {
    quit_ = true;
    for (auto& t : threads_) t.join();
  }
  bool StartScan(const ScanConfig& cfg, MessageSink* sink) override {
    FakeBackend::StartScan(cfg, sink);
    return Launch(kScan, sink, MakeDeviceFound(TestRecord(9, "10.0.0.9")));
  }
  bool StartInfoQuery(const VersionQueryParam& p, MessageSink* sink) override {
    FakeBackend::StartInfoQuery(p, sink);
    return Launch(kQuery, sink, MakeText(UM_FIRMWARE_VERSION_TEXT, "1.0"));
  }
  bool StartPing(std::vector<PingTarget> targets, MessageSink* sink) override {
    FakeBackend::StartPing(targets, sink);
    return Launch(kPing, sink, MakePingResult(TestRecord(1, "10.0.0.1").mac, 0, false));
  }
  bool StartNvtSetting(NvtSettingParam p, MessageSink* sink) override {
    WorkerMessage m = MakeDeviceFound(p.devices.at(0));
    m.id = UM_IP_SETTING_RESULT;
    FakeBackend::StartNvtSetting(std::move(p), sink);
    return Launch(kNvt, sink, m);
  }
  bool StartUpdate(const UpdateConfig& cfg, MessageSink* sink) override {
    FakeBackend::StartUpdate(cfg, sink);
    return Launch(kUpdate, sink, MakeStatus(UM_UPDATE_STATUS, cfg.devices.at(0).mac, 40, ""));
  }
  bool StartFactoryDefault(const FactoryDefaultConfig& cfg, MessageSink* sink) override {
    FakeBackend::StartFactoryDefault(cfg, sink);
    return Launch(kFactory, sink, MakeFactoryStatus(cfg.devices.at(0).mac, 40));
  }

  // Waits (bounded) until the runs of this kind have posted n more messages;
  // false at once when no run of the kind was started.
  bool WaitForPosts(Kind kind, int n) {
    if (posted_[kind].load() < 0) return false;
    const int target = posted_[kind].load() + n;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (posted_[kind].load() < target)
      if (std::chrono::steady_clock::now() > deadline) return false;
      else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
  }

 private:
  bool Launch(Kind kind, MessageSink* sink, WorkerMessage m) {
    int unstarted = -1;
    posted_[kind].compare_exchange_strong(unstarted, 0);
    threads_.emplace_back([this, kind, sink, m] {
      while (!quit_) {
        sink->Post(m);
        ++posted_[kind];
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    });
    return true;
  }
  std::atomic<bool> quit_{false};
  std::atomic<int> posted_[kKinds] = {{-1}, {-1}, {-1}, {-1}, {-1}, {-1}};  // -1: never started
  std::vector<std::thread> threads_;
};

TEST(WindowLifetime, ClosingWhileEachKindOfRunPostsIsSafe) {
  PostingBackend engine;  // outlives every window, as the program's does
  const struct {
    const char* name;
    Kind kind;
    int command;  // 0: a click on the first row
  } runs[] = {{"scan", kScan, IDC_DISCOVERY},
              {"information query", kQuery, 0},
              {"ping", kPing, IDC_PING_RESPONSE},
              {"multiple IP setting", kNvt, IDC_MULTIPLE_IP},
              {"update", kUpdate, IDC_UPDATE_START},
              {"factory default", kFactory, IDC_FACTORY_DEFAULT}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.name);
    WindowFixture f;
    f.engine = &engine;
    ASSERT_NE(f.Open("[COMMON]\nUPDATE_ENABLE=1\n[FIRMWARE_UPDATE]\nUPDATE_BEFORE_ID=root\n"
                     "UPDATE_BEFORE_PASSWORD=pw\nUPDATE_FILENAME=/tmp/fw.bin\nUPDATE_FIRMWARE_VERSION=2.0\n"),
              nullptr);
    for (int i = 1; i <= 2; ++i)
      f.w()->Post(MakeDeviceFound(TestRecord(uint8_t(i), ("10.0.0." + std::to_string(i)).c_str())));
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
    ASSERT_TRUE(engine.WaitForPosts(run.kind, 50)) << "the run did not start";
    Pump();  // some of them reach the open window
    f.Close();
    ASSERT_TRUE(engine.WaitForPosts(run.kind, 50));  // and more after it is gone
  }
}

}  // namespace
