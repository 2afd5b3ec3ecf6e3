// The real window's "Video wall" on simulated devices (run through
// scripts/segment): every viewer decodes its device's smallest stream at
// once, stream 1 on the switch, and closing ends every connection within
// the stop wait; another device's picture changes size as it plays. Four
// live viewers: sixteen encoders and decoders at once need an idle machine,
// so that scale is videowall_bench's.
#include <QCheckBox>
#include <QTest>
#include <chrono>
#include <gtest/gtest.h>
#include <set>

#include "ui/cell_list.h"
#include "ui/video_wall.h"
#include "ui/viewer_control.h"
#include "ui_support.h"

namespace {

CPixviewerctrlctrl1* Real(CVideoWall* wall, int i) { return static_cast<CPixviewerctrlctrl1*>(wall->Viewer(i)); }

// Every viewer painted `frames` more pictures of this size.
bool AllPainting(CVideoWall* wall, const std::vector<uint64_t>& from, uint64_t frames, QSize size) {
  for (int i = 0; i < wall->Count(); ++i) {
    CPixviewerctrlctrl1* v = Real(wall, i);
    if (v->PaintedFrames() < from[i] + frames || v->Picture().size() != size) return false;
  }
  return true;
}

TEST(SegmentVideoWall, LiveViewersAndTheirStop) {
  constexpr int kLive = 4;
  EngineBackend engine;  // outlives the window
  WindowFixture f;
  f.engine = &engine;
  CDravenkitDlg* window = f.Open();
  ASSERT_NE(window, nullptr);
  FakePrompt& prompt = f.prompt;
  window->OnCommand(IDC_DISCOVERY);
  ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 5000));
  CCellListCtrl* list = Probe(window).List();
  ASSERT_EQ(list->GetItemCount(), kVideoWallMax + 1);
  const QString resizing = QStringLiteral("10.77.1.17");
  int ticked = 0;
  for (int r = 0; r < list->GetItemCount(); ++r) {
    const bool tick = ticked < kLive && list->GetItemText(r, kColIp) != resizing;
    list->SetCheckbox(r, kColNo, tick);
    ticked += tick;
  }
  window->OnCommand(ID_MENU_VIDEO_WALL);
  auto* wall = qobject_cast<CVideoWall*>(Probe(window).VideoWallWindow());
  ASSERT_NE(wall, nullptr);
  ASSERT_EQ(wall->Count(), kLive);

  std::vector<uint64_t> none(kLive, 0);
  EXPECT_TRUE(WaitUntil([&] { return AllPainting(wall, none, 5, QSize(320, 180)); }, 60000));
  for (int i = 0; i < wall->Count(); ++i) {
    EXPECT_EQ(wall->PortInUse(i), 556) << i;
    char ip[16];
    EXPECT_EQ(wall->CaptionText(i).toStdString(), FormatIp(wall->Record(i).ip, ip)) << i;
  }

  wall->FirstStreamSwitch()->setChecked(true);
  EXPECT_TRUE(WaitUntil([&] { return AllPainting(wall, none, 3, QSize(640, 360)); }, 60000));
  EXPECT_TRUE(prompt.infos.empty());

  const auto t0 = std::chrono::steady_clock::now();
  wall->StopAll();
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_LT(took, std::chrono::milliseconds(VideoTimings().stop_wait_ms));
  for (int i = 0; i < wall->Count(); ++i) EXPECT_FALSE(Real(wall, i)->Connected()) << i;
  wall->close();
  EXPECT_TRUE(WaitUntil([&] { return Probe(window).VideoWallWindow() == nullptr; }, 5000)) << "deleted on close";

  // The resizing device alone: its viewer shows both sizes and no failure.
  for (int r = 0; r < list->GetItemCount(); ++r) list->SetCheckbox(r, kColNo, list->GetItemText(r, kColIp) == resizing);
  window->OnCommand(ID_MENU_VIDEO_WALL);
  wall = qobject_cast<CVideoWall*>(Probe(window).VideoWallWindow());
  ASSERT_NE(wall, nullptr);
  ASSERT_EQ(wall->Count(), 1);
  std::set<std::pair<int, int>> sizes;
  EXPECT_TRUE(WaitUntil(
      [&] {
        const QSize s = Real(wall, 0)->Picture().size();
        if (!s.isEmpty()) sizes.insert({s.width(), s.height()});
        return sizes.size() >= 2;
      },
      20000));
  EXPECT_EQ(sizes, (std::set<std::pair<int, int>>{{640, 360}, {320, 180}}));
  EXPECT_EQ(wall->CaptionText(0), resizing);
  wall->close();
}

}  // namespace
