// "Apply" in the real window with the real engine on a simulated segment
// (run through scripts/segment with tests/segment/fleet_set_network.txt;
// devices 5-7): a device moves and its row shows the new address, wrong
// credentials are reported, a device silent after its move keeps the scans going.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/exe_path.h"
#include "sim/sim_fleet.h"
#include "tests/segment/segment_support.h"
#include "ui/authentication_dialog.h"
#include "ui_support.h"

namespace {

template <typename F>
bool WaitUntil(F done, int ms) {
  for (int waited = 0; waited < ms; waited += 10) {
    if (done()) return true;
    QTest::qWait(10);
  }
  return done();
}

class SegmentApplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fleet = segtest::LoadTestFleet();
    ASSERT_EQ(fleet.size(), 9u) << "DK_TEST_FLEET must name fleet_set_network.txt";
    dk::SetExecutableDirOverride(dir.path());
    WindowOptions o;
    o.backend = &engine;
    o.prompt = &prompt;
    o.timings.rescan_ms = 1000;
    o.run_authentication = [this](Authentication& dlg) {
      dlg.IdEdit()->setText(QString::fromStdString(id));
      dlg.PasswordEdit()->setText(QString::fromStdString(password));
      dlg.OnOk();
      return dlg.result();
    };
    window = std::make_unique<CDravenkitDlg>(o);
    ASSERT_TRUE(window->Initialize()) << "no adapter in the PC namespace";
    window->show();
    window->OnCommand(IDC_DISCOVERY);
    ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 5000));
    ASSERT_EQ(Probe(window.get()).List()->GetItemCount(), 9);
  }
  void TearDown() override {
    window.reset();
    dk::SetExecutableDirOverride("");
  }
  int RowOf(int dev) {
    DeviceRecord r;
    std::memcpy(r.mac, fleet[static_cast<size_t>(dev)].mac, 6);
    return Probe(window.get()).Devices().FindKeyByMac(r);
  }
  // Selects the device's row and presses "Apply" with ip in the address field.
  int Apply(int dev, const char* ip) {
    const int row = RowOf(dev);
    EXPECT_GE(row, 0);
    CCellListCtrl* list = Probe(window.get()).List();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualRect(list->Model()->index(row, kColModel)).center());
    EXPECT_EQ(Probe(window.get()).SelectedRow(), row);
    static_cast<QLineEdit*>(window->Control(IDC_IPADDRESS))->setText(ip);
    static_cast<QPushButton*>(window->Control(IDC_APPLY))->click();
    return row;
  }
  std::string Cell(int row, int col) { return Probe(window.get()).List()->GetItemText(row, col).toStdString(); }

  std::vector<dksim::SimDeviceConfig> fleet;
  std::string id = "root", password = "tulp";
  TempDir dir;
  EngineBackend engine;
  FakePrompt prompt;
  std::unique_ptr<CDravenkitDlg> window;
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
  ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 8000));
  EXPECT_EQ(Cell(moved, kColIp), "10.77.99.6");
  EXPECT_EQ(Cell(moved, kColStatus), "IP address is changed.");
  EXPECT_TRUE(window->Control(IDC_PING_RESPONSE)->isEnabled());

  // Silent after its move: still checking after several rescans, until "Clear".
  const int silent = Apply(7, "10.77.99.8");
  EXPECT_EQ(window->OperationState(), kStateVerifyOne);
  QTest::qWait(3500);
  EXPECT_EQ(window->OperationState(), kStateVerifyOne);
  EXPECT_EQ(Cell(silent, kColStatus), "Checking ip address ...");
  EXPECT_TRUE(Probe(window.get()).Timer0Active());
  window->OnCommand(IDC_CLEAR);
  EXPECT_EQ(window->OperationState(), kStateIdle);
  EXPECT_FALSE(Probe(window.get()).Timer0Active());
  EXPECT_EQ(prompt.infos.size(), 1u);
}

}  // namespace
