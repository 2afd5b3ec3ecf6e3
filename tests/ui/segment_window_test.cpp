// The real window with the real engine inside a simulated segment's PC
// namespace (run through scripts/segment): "Discovery" lists every device,
// selecting one fills the information panel, "Ping response" checks them all.
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

#include "ui/nvt_setting_dialog.h"
#include "ui_support.h"

namespace {

// The devices scripts/segment started.
int ExpectedDevices() {
  const char* env = std::getenv("DK_SEG_DEVICES");
  EXPECT_NE(env, nullptr) << "run through scripts/segment, which exports DK_SEG_DEVICES";
  return env ? std::atoi(env) : 0;
}

class SegmentWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f.engine = &engine;
    f.adjust = [](WindowOptions* o) {
      // Devices reset within about a second here; 100 ms steps keep the run short.
      o->factory_timings.step_ms = 100;
      o->factory_timings.watch.broadcast_ms = 300;
      o->factory_timings.found_pause_ms = 200;
    };
    ASSERT_NE(f.Open("", "", true), nullptr) << "no adapter in the PC namespace";
    window = f.w();
  }
  CCellListCtrl* list() { return f.list(); }
  std::string Text(int id) { return f.Text(id); }

  EngineBackend engine;  // outlives the window
  WindowFixture f;
  FakePrompt& prompt = f.prompt;
  CDravenkitDlg* window = nullptr;
};

TEST_F(SegmentWindowTest, DiscoveryFindsEveryDeviceAndTheirInformationAndPing) {
  const int n = ExpectedDevices();
  window->OnCommand(IDC_DISCOVERY);
  ASSERT_EQ(window->OperationState(), kStateScanning);
  ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 5000));
  ASSERT_EQ(list()->GetItemCount(), n);
  for (int r = 0; r < n; ++r) {
    EXPECT_FALSE(list()->GetItemText(r, kColModel).isEmpty()) << r;
    EXPECT_EQ(list()->GetItemText(r, kColNo).toStdString(), QString("%1").arg(r + 1, 4).toStdString());
  }
  // A second scan finds nobody new.
  window->OnCommand(IDC_DISCOVERY);
  ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 5000));
  EXPECT_EQ(list()->GetItemCount(), n);

  // Selecting a device asks it for its mode, firmware version and serial number.
  f.ClickRow(0);
  ASSERT_TRUE(WaitUntil([&] { return Text(IDC_SERIAL) != "-" && !Text(IDC_SERIAL).empty(); }, 10000))
      << "serial field: '" << Text(IDC_SERIAL) << "'";
  EXPECT_NE(Text(IDC_SERIAL), "failed");
  EXPECT_NE(Text(IDC_FIRMWARE), "failed");
  EXPECT_TRUE(WaitUntil([&] { return Text(IDC_SYSTEM_MODE) == "encoder" || Text(IDC_SYSTEM_MODE) == "decoder"; },
                        10000))
      << Text(IDC_SYSTEM_MODE);

  // "Ping response": every reachable device keeps a normal, black name.
  for (int r = 0; r < n; ++r) list()->SetBold(r, kColModel, 1);  // proves each row was answered
  window->OnCommand(IDC_PING_RESPONSE);
  EXPECT_TRUE(WaitUntil(
      [&] {
        for (int r = 0; r < n; ++r)
          if (list()->GetBold(r, kColModel)) return false;
        return true;
      },
      20000));
  EXPECT_TRUE(prompt.infos.empty()) << prompt.infos.front();

  // The window as the operator sees it after all this.
  if (const char* shots = std::getenv("DK_SCREENSHOT_DIR")) {
    QDir().mkpath(shots);
    EXPECT_TRUE(window->grab().save(QString(shots) + "/segment_discovery.png"));
  }
}

// Runs after the discovery test: moves every device by range, then by file.
TEST_F(SegmentWindowTest, MultipleIpSettingMovesEveryDeviceInBothModes) {
  const int n = ExpectedDevices();
  window->OnCommand(IDC_DISCOVERY);
  ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 5000));
  ASSERT_EQ(list()->GetItemCount(), n);
  CNVTSettingDlg* d = Probe(window).NvtDialog();
  d->show_viewer = [](const std::string&, QWidget*) {};
  const std::string db = f.dir.path() + "/db.txt";
  d->choose_file = [db](CNVTSettingDlg*) { return db; };
  auto run = [&](bool file_mode, const char* net) {
    for (int r = 0; r < n; ++r) list()->SetCheckbox(r, kColNo, 1);
    d->modal_runner = [file_mode](CNVTSettingDlg* dd) {
      if (file_mode) {
        dd->OnCommand(IDC_NVT_FILE_MODE);
        dd->OnCommand(IDC_NVT_SELECT_FILE);
      } else {
        dd->OnCommand(IDC_NVT_RANGE_MODE);
        dd->OnCommand(IDC_NVT_STATIC);
        static_cast<QLineEdit*>(dd->Control(IDC_NVT_START_IP))->setText("192.168.80.1");
        static_cast<QLineEdit*>(dd->Control(IDC_NVT_MASK))->setText("255.255.0.0");
      }
      dd->OnCommand(IDC_NVT_OK);
      return dd->result();
    };
    window->OnCommand(IDC_MULTIPLE_IP);
    ASSERT_EQ(window->OperationState(), kStateMultipleIp);
    ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 20000))
        << Probe(window).PendingCount() << " devices not seen again";
    for (int r = 0; r < n; ++r) {
      EXPECT_EQ(list()->GetItemText(r, kColStatus).toStdString(), "IP address is changed.") << r;
      EXPECT_EQ(list()->GetItemText(r, kColIp).toStdString(), std::string(net) + std::to_string(r + (file_mode ? 10 : 1)))
          << r;
    }
  };
  run(false, "192.168.80.");
  std::ofstream f(db);
  for (int r = 0; r < n; ++r) {
    char mac[18];
    f << FormatMacPlain(Probe(window).Devices().FindByKey(r)->record.mac, mac) << " static 192.168.81." << r + 10
      << " 255.255.0.0 192.168.81.254 8.8.8.8\n";
  }
  f.close();
  run(true, "192.168.81.");
}

// Runs last: every device ends at 192.168.1.2.
TEST_F(SegmentWindowTest, FactoryDefaultTurnsEveryTickedRowGreen) {
  const int n = ExpectedDevices();
  window->OnCommand(IDC_DISCOVERY);
  ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 5000));
  ASSERT_EQ(list()->GetItemCount(), n);
  for (int r = 0; r < n; ++r) list()->SetCheckbox(r, kColNo, 1);
  window->OnCommand(IDC_FIRMWARE_UPDATE);
  ASSERT_EQ(window->OperationState(), kStateUpdatePanel);
  window->OnCommand(IDC_FACTORY_DEFAULT);
  ASSERT_EQ(window->OperationState(), kStateUpdateRun);
  ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 30000));
  ASSERT_FALSE(prompt.infos.empty());
  EXPECT_EQ(prompt.infos.back(), "FactoryDefault complete.");
  for (int r = 0; r < n; ++r) {
    EXPECT_EQ(list()->GetItemText(r, kColStatus).toStdString(), "factorydefault complete.") << r;
    EXPECT_EQ(list()->GetCell(r, kColStatus)->bg_colour, QColor(0, 255, 0)) << r;
    EXPECT_EQ(list()->GetItemText(r, kColIp).toStdString(), "192.168.1.2") << r;
  }
}

}  // namespace
