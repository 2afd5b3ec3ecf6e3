// The inventory window at its default size: the whole MAC address shows, and
// rows are as high as the main list's.
#include <QHeaderView>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "ui/inventory_window.h"
#include "ui_support.h"

namespace {

class InventoryWindowSizeTest : public ::testing::Test, public WindowFixture {};

TEST_F(InventoryWindowSizeTest, WholeMacAddressAndTheMainListsRowHeight) {
  ASSERT_TRUE(Open());
  std::vector<DeviceRecord> recs;
  for (uint8_t i = 0; i < 16; ++i) {
    DeviceRecord r = TestRecord(i, "10.0.0.1");
    for (int k = 0; k < 6; ++k) r.mac[k] = uint8_t(0x11 * (i % 16));  // every hex digit in turn
    recs.push_back(r);
  }
  CInventoryWindow inv(recs, nullptr, nullptr, InventoryTimings{});
  inv.show();
  QTableWidget* t = inv.Table();
  const QFontMetrics fm = t->fontMetrics();
  for (int r = 0; r < t->rowCount(); ++r) {
    const QString mac = t->item(r, 0)->text();
    ASSERT_EQ(mac.size(), 17) << mac.toStdString();
    EXPECT_LT(fm.horizontalAdvance(mac), t->columnWidth(0) - 4) << mac.toStdString();
    EXPECT_EQ(t->rowHeight(r), list()->verticalHeader()->defaultSectionSize()) << r;
  }
}

}  // namespace
