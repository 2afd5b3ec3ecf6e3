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

#include "ui/monitoring.h"
#include "ui/viewer_control.h"
#include "ui_support.h"

namespace {

class SegmentMonitoringTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f.engine = &engine;
    ASSERT_NE(f.Open(), nullptr);
    window = f.w();
    window->OnCommand(IDC_DISCOVERY);
    ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 5000));
  }
  // Selects the device's row and runs the popup's "Monitoring".
  CMonitoring* Monitor(const char* ip) {
    for (int r = 0; r < f.list()->GetItemCount(); ++r) {
      if (f.list()->GetItemText(r, kColIp) != ip) continue;
      f.ClickRow(r);
      window->OnCommand(ID_MENU_MONITORING);
      return qobject_cast<CMonitoring*>(Probe(window).MonitoringWindow());
    }
    return nullptr;
  }

  EngineBackend engine;  // outlives the window
  WindowFixture f;
  FakePrompt& prompt = f.prompt;
  CDravenkitDlg* window = nullptr;
};

TEST_F(SegmentMonitoringTest, WrongPasswordThenTheRightOneShowsLiveVideo) {
  CMonitoring* dlg = Monitor("10.77.1.1");  // its password is not the default
  ASSERT_NE(dlg, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return !prompt.infos.empty(); }, 20000));
  EXPECT_EQ(prompt.infos[0], kMonitorLoginText);
  EXPECT_FALSE(dlg->IsConnected());

  static_cast<QLineEdit*>(dlg->Control(IDC_MON_PASS))->setText("pa ss@:/w");
  static_cast<QPushButton*>(dlg->Control(IDC_MON_CONNECT))->click();
  auto* viewer = static_cast<CPixviewerctrlctrl1*>(dlg->Viewer());
  ASSERT_TRUE(WaitUntil([&] { return viewer->PaintedFrames() >= 10; }, 20000)) << viewer->PaintedFrames();
  EXPECT_EQ(viewer->Picture().size(), QSize(640, 360));
  std::set<QRgb> colours;
  for (int y = 0; y < 360; y += 23)
    for (int x = 0; x < 640; x += 31) colours.insert(viewer->Picture().pixel(x, y));
  EXPECT_GT(colours.size(), 8u);
  static_cast<QPushButton*>(dlg->Control(IDC_CAPTION))->click();
  EXPECT_TRUE(viewer->CaptionText().startsWith("10.77.1.1  port 554  ch 1"));
  const uint64_t captioned = viewer->PaintedFrames();  // the picture the screenshot shows has the caption
  ASSERT_TRUE(WaitUntil([&] { return viewer->PaintedFrames() > captioned; }, 10000));
  if (const char* shots = std::getenv("DK_SCREENSHOT_DIR")) {
    QDir().mkpath(shots);
    EXPECT_TRUE(dlg->grab().save(QString(shots) + "/segment_monitoring.png"));
  }
  EXPECT_EQ(prompt.infos.size(), 1u);
  // The second stream: a smaller picture on its own port.
  dlg->OnStream(1);
  const uint64_t before = viewer->PaintedFrames();
  ASSERT_TRUE(WaitUntil([&] { return viewer->PaintedFrames() > before && viewer->Picture().width() == 480; }, 20000));
  dlg->close();
}

TEST_F(SegmentMonitoringTest, BusyAndSilentDevicesAreReported) {
  ASSERT_NE(Monitor("10.77.1.2"), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return !prompt.infos.empty(); }, 20000));
  EXPECT_EQ(prompt.infos[0], kMonitorTooManyText);
  Probe(window).MonitoringWindow()->close();

  // A device that never answers is reported once the viewer's answer time
  // has passed, not before; the wait itself leaves room for a loaded machine.
  const auto t0 = std::chrono::steady_clock::now();
  CMonitoring* dlg = Monitor("10.77.1.3");
  ASSERT_NE(dlg, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return prompt.infos.size() == 2; }, 30000));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(VideoTimings().answer_ms));
  EXPECT_EQ(prompt.infos[1], kMonitorNoAnswerText);
  EXPECT_FALSE(dlg->IsConnected());
}

}  // namespace
