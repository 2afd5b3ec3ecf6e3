// The real window's "Monitoring" on the simulator's video fleet (run through
// scripts/segment): decoded frames of a device, and each failure's message.
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <set>

#include "platform/exe_path.h"
#include "ui/monitoring.h"
#include "ui/viewer_control.h"
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

class SegmentMonitoringTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dk::SetExecutableDirOverride(dir.path());
    WindowOptions o;
    o.backend = &engine;
    o.prompt = &prompt;
    window = std::make_unique<CDravenkitDlg>(o);
    ASSERT_TRUE(window->Initialize());
    window->show();
    window->OnCommand(IDC_DISCOVERY);
    ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 5000));
  }
  void TearDown() override {
    window.reset();
    dk::SetExecutableDirOverride("");
  }
  // Selects the device's row and runs the popup's "Monitoring".
  CMonitoring* Monitor(const char* ip) {
    CCellListCtrl* list = Probe(window.get()).List();
    for (int r = 0; r < list->GetItemCount(); ++r) {
      if (list->GetItemText(r, kColIp) != ip) continue;
      QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                        list->visualRect(list->Model()->index(r, kColModel)).center());
      window->OnCommand(ID_MENU_MONITORING);
      return qobject_cast<CMonitoring*>(Probe(window.get()).MonitoringWindow());
    }
    return nullptr;
  }

  TempDir dir;
  EngineBackend engine;
  FakePrompt prompt;
  std::unique_ptr<CDravenkitDlg> window;
};

TEST_F(SegmentMonitoringTest, WrongPasswordThenTheRightOneShowsLiveVideo) {
  CMonitoring* dlg = Monitor("10.77.1.1");  // its password is not the default
  ASSERT_NE(dlg, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return !prompt.infos.empty(); }, 6000));
  EXPECT_EQ(prompt.infos[0], kMonitorLoginText);
  EXPECT_FALSE(dlg->IsConnected());

  static_cast<QLineEdit*>(dlg->Control(IDC_MON_PASS))->setText("pa ss@:/w");
  static_cast<QPushButton*>(dlg->Control(IDC_MON_CONNECT))->click();
  auto* viewer = static_cast<CPixviewerctrlctrl1*>(dlg->Viewer());
  ASSERT_TRUE(WaitUntil([&] { return viewer->PaintedFrames() >= 10; }, 6000)) << viewer->PaintedFrames();
  EXPECT_EQ(viewer->Picture().size(), QSize(640, 360));
  std::set<QRgb> colours;
  for (int y = 0; y < 360; y += 23)
    for (int x = 0; x < 640; x += 31) colours.insert(viewer->Picture().pixel(x, y));
  EXPECT_GT(colours.size(), 8u);
  static_cast<QPushButton*>(dlg->Control(IDC_CAPTION))->click();
  EXPECT_TRUE(viewer->CaptionText().startsWith("10.77.1.1  port 554  ch 1"));
  QTest::qWait(200);
  if (const char* shots = std::getenv("DK_SCREENSHOT_DIR")) {
    QDir().mkpath(shots);
    EXPECT_TRUE(dlg->grab().save(QString(shots) + "/segment_monitoring.png"));
  }
  EXPECT_EQ(prompt.infos.size(), 1u);
  // The second stream: a smaller picture on its own port.
  dlg->OnStream(1);
  const uint64_t before = viewer->PaintedFrames();
  ASSERT_TRUE(WaitUntil([&] { return viewer->PaintedFrames() > before && viewer->Picture().width() == 480; }, 6000));
  dlg->close();
}

TEST_F(SegmentMonitoringTest, BusyAndSilentDevicesAreReported) {
  ASSERT_NE(Monitor("10.77.1.2"), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return !prompt.infos.empty(); }, 6000));
  EXPECT_EQ(prompt.infos[0], kMonitorTooManyText);
  Probe(window.get()).MonitoringWindow()->close();

  const auto t0 = std::chrono::steady_clock::now();
  CMonitoring* dlg = Monitor("10.77.1.3");
  ASSERT_NE(dlg, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return prompt.infos.size() == 2; }, 6000));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(6));
  EXPECT_EQ(prompt.infos[1], kMonitorNoAnswerText);
  EXPECT_FALSE(dlg->IsConnected());
}

}  // namespace
