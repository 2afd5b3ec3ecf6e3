// "Apply" in the real window with the real engine on a simulated segment
// (run through scripts/segment with tests/segment/fleet_set_network.txt;
// devices 5-7): a device moves and its row shows the new address, wrong
// credentials are reported, a device silent after its move keeps the scans going.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "sim/sim_fleet.h"
#include "tests/segment/segment_support.h"
#include "ui/authentication_dialog.h"
#include "ui_support.h"

namespace {

// The real engine, counting the scans the window starts.
class ScanCountingEngine : public EngineBackend {
 public:
  bool StartScan(const ScanConfig& cfg, MessageSink* sink) override {
    ++scans;
    return EngineBackend::StartScan(cfg, sink);
  }
  int scans = 0;  // the window's thread only
};

class SegmentApplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fleet = segtest::LoadTestFleet();
    ASSERT_EQ(fleet.size(), 9u) << "DK_TEST_FLEET must name fleet_set_network.txt";
    f.engine = &engine;
    f.timings.rescan_ms = 1000;
    f.authenticate = [this](Authentication& dlg) {
      dlg.IdEdit()->setText(QString::fromStdString(id));
      dlg.PasswordEdit()->setText(QString::fromStdString(password));
      dlg.OnOk();
      return dlg.result();
    };
    ASSERT_NE(f.Open(), nullptr) << "no adapter in the PC namespace";
    window = f.w();
    window->OnCommand(IDC_DISCOVERY);
    ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 5000));
    ASSERT_EQ(f.list()->GetItemCount(), 9);
  }
  int RowOf(int dev) {
    DeviceRecord r;
    std::memcpy(r.mac, fleet[static_cast<size_t>(dev)].mac, 6);
    return Probe(window).Devices().FindKeyByMac(r);
  }
  // Selects the device's row and presses "Apply" with ip in the address field.
  int Apply(int dev, const char* ip) {
    const int row = RowOf(dev);
    EXPECT_GE(row, 0);
    f.ClickRow(row);
    EXPECT_EQ(Probe(window).SelectedRow(), row);
    static_cast<QLineEdit*>(window->Control(IDC_IPADDRESS))->setText(ip);
    static_cast<QPushButton*>(window->Control(IDC_APPLY))->click();
    return row;
  }
  std::string Cell(int row, int col) { return Probe(window).List()->GetItemText(row, col).toStdString(); }

  std::vector<dksim::SimDeviceConfig> fleet;
  std::string id = "root", password = "tulp";
  ScanCountingEngine engine;  // outlives the window
  WindowFixture f;
  FakePrompt& prompt = f.prompt;
  CDravenkitDlg* window = nullptr;
};

TEST_F(SegmentApplyTest, MovedRefusedAndSilentDevices) {
  // Wrong credentials: text 37, nothing verified.
  password = "wrong";
  const int refused = Apply(6, "10.77.99.7");
  ASSERT_EQ(prompt.infos.size(), 1u);
  EXPECT_EQ(prompt.infos[0], "Invalid Athentication Information.\nCheck the Administrator ID and Password !");
  EXPECT_EQ(window->OperationState(), kStateIdle);
  EXPECT_EQ(Cell(refused, kColIp), segtest::IpText(fleet[6].ip));

  // Accepted: the row shows the new address once the device answers from it.
  password = "tulp";
  const int moved = Apply(5, "10.77.99.6");
  EXPECT_EQ(window->OperationState(), kStateVerifyOne);
  EXPECT_EQ(Cell(moved, kColStatus), "Checking ip address ...");
  ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 20000));
  EXPECT_EQ(Cell(moved, kColIp), "10.77.99.6");
  EXPECT_EQ(Cell(moved, kColStatus), "IP address is changed.");
  EXPECT_TRUE(window->Control(IDC_PING_RESPONSE)->isEnabled());

  // Silent after its move: still checking after several rescans, until "Clear".
  const int silent = Apply(7, "10.77.99.8");
  EXPECT_EQ(window->OperationState(), kStateVerifyOne);
  const int scans = engine.scans;
  ASSERT_TRUE(WaitUntil([&] { return engine.scans >= scans + 3; }, 20000)) << engine.scans - scans << " rescans";
  EXPECT_EQ(window->OperationState(), kStateVerifyOne);
  EXPECT_EQ(Cell(silent, kColStatus), "Checking ip address ...");
  EXPECT_TRUE(Probe(window).Timer0Active());
  window->OnCommand(IDC_CLEAR);
  EXPECT_EQ(window->OperationState(), kStateIdle);
  EXPECT_FALSE(Probe(window).Timer0Active());
  EXPECT_EQ(prompt.infos.size(), 1u);
}

}  // namespace
