// The video wall with recording viewers: which stream each viewer watches,
// captions and failure reasons, the stop on closing, the popup entry and its
// refusal over sixteen devices.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <memory>

#include "ui/cell_list.h"
#include "ui/video_wall.h"
#include "ui/viewer_control.h"
#include "ui_support.h"

namespace {

class WallViewer : public CViewerControl {
 public:
  using CViewerControl::CViewerControl;
  bool Dispatch(int id, const QVariantList& args) override {
    ids.push_back(id);
    if (id == DISPID_SET_SERVER) port = args[1].toInt();
    if (id == DISPID_CONNECT) connected = true;
    if (id == DISPID_DISCONNECT) connected = false;
    return true;
  }
  void BeginDisconnect() override { ++begun; }
  void Fire(int id, const QVariantList& args) { emit controlEvent(id, args); }
  std::vector<int> ids;
  int port = 0;
  int begun = 0;
  bool connected = false;
};

struct Wall {
  explicit Wall(std::vector<DeviceRecord> recs) {
    dlg = std::make_unique<CVideoWall>(std::move(recs), [this](QWidget* parent) {
      viewers.push_back(new WallViewer(parent));
      return viewers.back();
    });
  }
  std::vector<WallViewer*> viewers;
  std::unique_ptr<CVideoWall> dlg;
};

TEST(VideoWall, ViewersWatchTheSmallestStreamUnlessStreamOneIsAsked) {
  Wall w({TestRecord(1, "10.0.0.1", "a", 80, 554, 555, 556), TestRecord(2, "10.0.0.2", "b", 80, 554, 555),
          TestRecord(3, "10.0.0.3", "c", 80, 554), TestRecord(4, "10.0.0.4", "d", 80, 0)});
  ASSERT_EQ(w.dlg->Count(), 4);
  EXPECT_EQ(w.dlg->windowTitle(), "Video wall");
  const std::vector<int> sequence = {36, 42, 41, 29, 17, 53, 37};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(w.viewers[i]->ids, sequence) << i;
  EXPECT_EQ(w.viewers[0]->port, 556);
  EXPECT_EQ(w.viewers[1]->port, 555);
  EXPECT_EQ(w.viewers[2]->port, 554);
  // No AV port at all: never connected, and the caption says why.
  EXPECT_EQ(w.viewers[3]->ids, std::vector<int>{36});
  EXPECT_EQ(w.dlg->CaptionText(0), "10.0.0.1");
  EXPECT_EQ(w.dlg->CaptionText(3), "10.0.0.4: no video port");

  w.dlg->FirstStreamSwitch()->setChecked(true);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(w.viewers[i]->port, 554) << i;
    EXPECT_TRUE(w.viewers[i]->connected) << i;
    EXPECT_EQ(w.viewers[i]->begun, 1) << i;  // all told to stop before any reconnects
  }
  w.dlg->FirstStreamSwitch()->setChecked(false);
  EXPECT_EQ(w.viewers[0]->port, 556);
  EXPECT_EQ(w.viewers[0]->begun, 2);
}

TEST(VideoWall, AFailedViewerShowsItsReasonWithoutAMessageBox) {
  Wall w({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2"), TestRecord(3, "10.0.0.3"),
          TestRecord(4, "10.0.0.4")});
  w.viewers[0]->Fire(DISPID_EVENT_LOGIN_FAILED, {QVariant::fromValue<int16_t>(1)});
  w.viewers[1]->Fire(DISPID_EVENT_LOGIN_FAILED, {QVariant::fromValue<int16_t>(2)});
  w.viewers[2]->Fire(DISPID_EVENT_NO_ANSWER, {});
  w.viewers[3]->Fire(DISPID_EVENT_LOGIN_FAILED, {QVariant::fromValue<int16_t>(7)});
  EXPECT_EQ(w.dlg->CaptionText(0), "10.0.0.1: too many viewers");
  EXPECT_EQ(w.dlg->CaptionText(1), "10.0.0.2: wrong ID or password");
  EXPECT_EQ(w.dlg->CaptionText(2), "10.0.0.3: no answer");
  EXPECT_EQ(w.dlg->CaptionText(3), "10.0.0.4: refused");
  for (WallViewer* v : w.viewers) EXPECT_FALSE(v->connected);
  // Reconnecting clears the reason.
  w.dlg->SetFirstStream(true);
  EXPECT_EQ(w.dlg->CaptionText(0), "10.0.0.1");
  EXPECT_TRUE(w.viewers[0]->connected);
}

TEST(VideoWall, ClosingStopsEveryConnectionAndLaterEventsChangeNothing) {
  std::vector<DeviceRecord> recs;
  for (int i = 0; i < kVideoWallMax; ++i)
    recs.push_back(TestRecord(uint8_t(i + 1), ("10.0.1." + std::to_string(i + 1)).c_str(), "m", 80, 554, 0, 556));
  Wall w(recs);
  w.dlg->show();
  Pump();
  for (WallViewer* v : w.viewers) ASSERT_TRUE(v->connected);
  w.dlg->close();
  for (WallViewer* v : w.viewers) {
    EXPECT_FALSE(v->connected);
    EXPECT_EQ(v->begun, 1);
    EXPECT_EQ(v->ids.back(), DISPID_DISCONNECT);
  }
  const size_t calls = w.viewers[5]->ids.size();
  w.viewers[5]->Fire(DISPID_EVENT_NO_ANSWER, {});
  w.dlg->SetFirstStream(true);
  EXPECT_EQ(w.viewers[5]->ids.size(), calls);
  EXPECT_EQ(w.dlg->CaptionText(5), "10.0.1.6");
}

class VideoWallMenuTest : public WindowFixture, public ::testing::Test {
 protected:
  QAction* Entry() {
    for (QAction* a : Probe(w()).ContextMenu()->actions())
      if (a->text() == "Video wall") return a;
    return nullptr;
  }
};

TEST_F(VideoWallMenuTest, TickedRowsOpenTheWallAndMoreThanSixteenAreRefused) {
  std::vector<WallViewer*> viewers;
  make_viewer = [&viewers](QWidget* parent) {
    viewers.push_back(new WallViewer(parent));
    return viewers.back();
  };
  ASSERT_TRUE(Open());
  std::vector<DeviceRecord> recs;
  for (int i = 0; i < kVideoWallMax + 1; ++i)
    recs.push_back(TestRecord(uint8_t(i + 1), ("10.0.2." + std::to_string(i + 1)).c_str()));
  Discover(recs);
  RightClickRow(0);
  ASSERT_NE(Entry(), nullptr);
  EXPECT_FALSE(Entry()->isEnabled());  // nothing ticked
  Probe(w()).ContextMenu()->hide();

  for (int r = 0; r < kVideoWallMax + 1; ++r) list()->SetCheckbox(r, kColNo, 1);
  ClickRow(0);
  RightClickRow(0);
  EXPECT_TRUE(Entry()->isEnabled());
  Probe(w()).ContextMenu()->hide();
  Entry()->trigger();
  Pump();
  EXPECT_EQ(Probe(w()).VideoWallWindow(), nullptr);
  ASSERT_EQ(prompt.infos.size(), 1u);
  EXPECT_EQ(prompt.infos[0], "The video wall shows at most 16 devices; 17 are ticked.");
  EXPECT_TRUE(viewers.empty());

  // Rows 2, 5, 9: one viewer each in list order, on copies of the records.
  for (int r = 0; r < kVideoWallMax + 1; ++r) list()->SetCheckbox(r, kColNo, r == 2 || r == 5 || r == 9);
  w()->OnCommand(ID_MENU_VIDEO_WALL);
  Pump();
  auto* wall = qobject_cast<CVideoWall*>(Probe(w()).VideoWallWindow());
  ASSERT_NE(wall, nullptr);
  ASSERT_EQ(wall->Count(), 3);
  EXPECT_EQ(wall->CaptionText(0), "10.0.2.3");
  EXPECT_EQ(wall->CaptionText(1), "10.0.2.6");
  EXPECT_EQ(wall->CaptionText(2), "10.0.2.10");
  EXPECT_EQ(prompt.infos.size(), 1u);
  wall->close();
  Pump();
  EXPECT_EQ(Probe(w()).VideoWallWindow(), nullptr);
}

}  // namespace
