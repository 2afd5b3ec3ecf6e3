// Renders the window offscreen in its main situations and writes PNGs, so
// that a person can look at them (build/screenshots/).
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

#include "ui_support.h"

namespace {

std::string ShotDir() {
  const QByteArray env = qgetenv("DK_SCREENSHOT_DIR");
  return env.isEmpty() ? std::string("screenshots") : env.toStdString();
}

class ScreenshotTest : public ::testing::Test, public WindowFixture {
 protected:
  // Writes the shot and returns it for checks.
  QImage Shot(const char* name) {
    Pump();
    const QImage img = w()->grab().toImage();
    QDir().mkpath(QString::fromStdString(ShotDir()));
    const QString path = QString::fromStdString(ShotDir() + "/" + name + ".png");
    EXPECT_TRUE(img.save(path)) << path.toStdString();
    EXPECT_GT(QImage(path).width(), 1000) << path.toStdString();
    return img;
  }
  // Colour in the middle of a list cell, in window coordinates.
  QColor CellPixel(const QImage& img, int row, int col) {
    const QRect r = list()->visualRect(list()->Model()->index(row, col));
    const QPoint p = list()->viewport()->mapTo(w(), QPoint(r.left() + 3, r.center().y()));
    return img.pixelColor(p);
  }
  std::vector<DeviceRecord> Segment() {
    // Twelve devices as a simulated segment answers.
    const char* models[] = {"NVT-E1104", "NVT-D2201", "NVT-E1101", "NVT-E1108"};
    std::vector<DeviceRecord> recs;
    for (int i = 0; i < 12; ++i) {
      char ip[16];
      std::snprintf(ip, sizeof ip, "192.168.1.%d", (i * 7) % 12 + 2);
      recs.push_back(TestRecord(uint8_t(0x30 + i), ip, models[i % 4], i % 5 == 4 ? 0 : 80, 554,
                                i % 3 == 0 ? 555 : 0, i % 3 == 0 ? 556 : 0, uint8_t(i % 3 == 1 ? 0 : 1)));
    }
    return recs;
  }
};

TEST_F(ScreenshotTest, MainSituations) {
  ASSERT_TRUE(Open("[COMMON]\nUPDATE_ENABLE=1\n"));
  w()->move(0, 0);
  const QImage idle = Shot("idle");
  EXPECT_EQ(idle.size(), w()->size());

  Discover(Segment());
  ASSERT_EQ(list()->GetItemCount(), 12);
  ClickRow(3);
  w()->Post(MakeText(UM_SYSTEM_MODE_TEXT, "encoder"));
  w()->Post(MakeText(UM_FIRMWARE_VERSION_TEXT, "5.2.1"));
  w()->Post(MakeText(UM_SERIAL_TEXT, "DK2311000412"));
  const DeviceRecord silent = Probe(w()).Devices().FindByKey(5)->record;
  w()->Post(MakePingResult(silent.mac, silent.ip, false));
  const QImage found = Shot("discovery");
  EXPECT_EQ(CellPixel(found, 3, kColMac), SelectionColour());

  ClickHeader(kColIp);
  ClickHeader(kColIp);  // ascending
  ASSERT_EQ(list()->GetItemText(0, kColIp).toStdString(), "192.168.1.2");
  ASSERT_EQ(list()->GetItemText(11, kColIp).toStdString(), "192.168.1.13");
  Shot("sorted_by_ip");

  Discover({TestRecord(0x60, "192.168.1.9", "NVT-E1104")});
  const int clash = Probe(w()).Devices().FindKeyByIp(TestRecord(0, "192.168.1.9").ip);
  ASSERT_GE(clash, 0);
  const QImage collision = Shot("ip_collision");
  EXPECT_EQ(CellPixel(collision, clash, kColIp), QColor(255, 0, 0));
  EXPECT_EQ(CellPixel(collision, 12, kColIp), QColor(255, 0, 0));

  ClickRow(0, kColNo);
  ClickRow(1, kColNo);
  w()->OnCommand(IDC_FIRMWARE_UPDATE);
  ASSERT_EQ(w()->OperationState(), kStateUpdatePanel);
  const uint8_t* mac = Probe(w()).Devices().FindByKey(0)->record.mac;
  w()->SetOperationState(kStateUpdateRun);
  w()->Post(MakeStatus(UM_UPDATE_STATUS, mac, 3, ""));
  w()->Post(MakeStatus(UM_UPDATE_STATUS, mac, 37, ""));
  w()->Post(MakeStatus(UM_UPDATE_STATUS, Probe(w()).Devices().FindByKey(1)->record.mac, 100, "5.2.2"));
  Shot("update_panel");
}

}  // namespace
