// The device list view: checks, sorting, selection and the handlers that
// start the information query or open the web page.
#include <QMenu>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "ui_support.h"

namespace {

class DeviceListTest : public ::testing::Test, public WindowFixture {
 protected:
  std::vector<std::string> Column(int col) {
    std::vector<std::string> v;
    for (int r = 0; r < list()->GetItemCount(); ++r) v.push_back(Cell(r, col));
    return v;
  }
  // Row r of the list and key r of the table hold the same device.
  void ExpectTableMatchesRows() {
    ASSERT_EQ(Probe(w()).Devices().Count(), list()->GetItemCount());
    for (int r = 0; r < list()->GetItemCount(); ++r) {
      const DeviceTableEntry* e = Probe(w()).Devices().FindByKey(r);
      ASSERT_NE(e, nullptr) << r;
      char mac[24];
      EXPECT_EQ(Cell(r, kColMac), FormatMacList(e->record.mac, mac)) << r;
      char no[16];
      std::snprintf(no, sizeof no, "%4d", r + 1);
      EXPECT_EQ(Cell(r, kColNo), no);
    }
  }
};

TEST_F(DeviceListTest, HeaderCheckBoxChecksAndClearsAllRowsWithoutSorting) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(2, "10.0.0.2"), TestRecord(1, "10.0.0.1"), TestRecord(3, "10.0.0.3")});
  const auto order = Column(kColMac);
  ClickHeader(kColNo);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(list()->GetCheckbox(r, kColNo), 1) << r;
  EXPECT_EQ(Column(kColMac), order);
  EXPECT_EQ(Text(IDC_SELECTED_COUNT), "3");
  EXPECT_EQ(Probe(w()).CheckedCount(), 3);
  EXPECT_TRUE(Enabled(IDC_MULTIPLE_IP));
  EXPECT_EQ(Probe(w()).SortDirection(), 0);
  ClickHeader(kColNo);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(list()->GetCheckbox(r, kColNo), 0) << r;
  EXPECT_EQ(Column(kColMac), order);
  EXPECT_EQ(Text(IDC_SELECTED_COUNT), "0");
  EXPECT_FALSE(Enabled(IDC_MULTIPLE_IP));
}

TEST_F(DeviceListTest, AddressSortComparesNumbersAndTheFirstClickIsDescending) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "192.168.1.10"), TestRecord(2, "192.168.1.9"), TestRecord(3, "192.168.1.100"),
            TestRecord(4, "10.0.0.200")});
  ClickHeader(kColIp);
  EXPECT_EQ(Column(kColIp), (std::vector<std::string>{"192.168.1.100", "192.168.1.10", "192.168.1.9", "10.0.0.200"}));
  ExpectTableMatchesRows();
  ClickHeader(kColIp);
  EXPECT_EQ(Column(kColIp), (std::vector<std::string>{"10.0.0.200", "192.168.1.9", "192.168.1.10", "192.168.1.100"}));
  ExpectTableMatchesRows();
}

TEST_F(DeviceListTest, WebPortSortCountsDashAsZeroAndDirectionIsOneFlag) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1", "beta", 8080), TestRecord(2, "10.0.0.2", "Alpha", 0),
            TestRecord(3, "10.0.0.3", "gamma", 80)});
  ClickHeader(kColModel);  // first click anywhere: descending
  EXPECT_EQ(Column(kColModel), (std::vector<std::string>{"gamma", "beta", "Alpha"}));
  ClickHeader(kColWebPort);  // the next click, on another column: ascending
  EXPECT_EQ(Column(kColWebPort), (std::vector<std::string>{"-", "80", "8080"}));
  ExpectTableMatchesRows();
}

TEST_F(DeviceListTest, SelectionAndChecksSurviveASort) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2"), TestRecord(3, "10.0.0.3")});
  list()->SetCheckbox(0, kColNo, 1);
  ClickRow(1);
  const std::string mac = Cell(1, kColMac);
  ASSERT_EQ(Text(IDC_MAC), mac);
  ClickHeader(kColIp);  // descending: the selected device stays in the middle ...
  ClickHeader(kColMac);  // ... ascending by MAC: back to row 1
  ClickHeader(kColIp);  // descending again
  const int row = Probe(w()).SelectedRow();
  ASSERT_GE(row, 0);
  EXPECT_EQ(Cell(row, kColMac), mac);
  EXPECT_EQ(list()->SelectedRows(), std::vector<int>{row});
  EXPECT_EQ(Probe(w()).Devices().FindByKey(row)->record.mac[5], 2);
  EXPECT_EQ(list()->GetCell(row, kColIp)->bg_colour, SelectionColour());
  EXPECT_EQ(list()->GetCheckbox(2, kColNo), 1);  // device 1, now last
  EXPECT_EQ(Cell(2, kColIp), "10.0.0.1");
  EXPECT_EQ(Text(IDC_SELECTED_COUNT), "1");
}

TEST_F(DeviceListTest, ClickShowsTheDeviceAndStartsItsQuery) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1", "a", 80, 554, 0, 0, 1), TestRecord(2, "10.0.0.2", "b", 8080, 554, 0, 0, 0)});
  ClickRow(1);
  EXPECT_EQ(Probe(w()).SelectedRow(), 1);
  EXPECT_EQ(Text(IDC_MAC), "00:1C:84 - 10:20:02");
  EXPECT_EQ(Text(IDC_IPADDRESS), "10.0.0.2");
  EXPECT_EQ(Text(IDC_SUBNETMASK), "255.255.255.0");
  EXPECT_TRUE(static_cast<QRadioButton*>(w()->Control(IDC_DHCP))->isChecked());
  EXPECT_TRUE(Enabled(IDC_APPLY));
  ASSERT_EQ(backend.queries.size(), 1u);
  EXPECT_EQ(backend.queries[0].ip, TestRecord(2, "10.0.0.2").ip);
  EXPECT_EQ(backend.queries[0].port, 8080);
  for (int c = 0; c < 6; ++c) EXPECT_EQ(list()->GetCell(1, c)->bg_colour, SelectionColour()) << c;

  ClickRow(0);  // the row shown before gets its colours back
  EXPECT_EQ(list()->GetCell(1, kColModel)->bg_colour, QColor(Qt::white));
  EXPECT_TRUE(static_cast<QRadioButton*>(w()->Control(IDC_STATIC_IP))->isChecked());
  ClickEmpty();
  EXPECT_EQ(Probe(w()).SelectedRow(), -1);
  EXPECT_FALSE(Enabled(IDC_APPLY));
  EXPECT_EQ(Text(IDC_SERIAL), "-");
  EXPECT_EQ(list()->GetCell(0, kColModel)->bg_colour, QColor(Qt::white));
  EXPECT_EQ(backend.queries.size(), 2u);
}

TEST_F(DeviceListTest, SharedAddressStartsNoQueryExceptOnRightClick) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.1"), TestRecord(3, "10.0.0.3")});
  w()->Post(MakeText(UM_SERIAL_TEXT, "SN"));
  Pump();
  ClickRow(0);
  EXPECT_TRUE(backend.queries.empty());
  EXPECT_EQ(Text(IDC_SERIAL), "");
  EXPECT_EQ(Text(IDC_FIRMWARE), "");
  EXPECT_EQ(Text(IDC_SYSTEM_MODE), "");
  Key(Qt::Key_Down);  // row 1 shares it too
  EXPECT_TRUE(backend.queries.empty());
  EXPECT_EQ(Text(IDC_FIRMWARE), "");
  EXPECT_EQ(Text(IDC_SERIAL), "-");
  EXPECT_EQ(Text(IDC_SYSTEM_MODE), "-");
  EXPECT_EQ(Probe(w()).SelectedRow(), 1);
  Key(Qt::Key_Down);
  ASSERT_EQ(backend.queries.size(), 1u);
  EXPECT_EQ(backend.queries[0].ip, TestRecord(3, "10.0.0.3").ip);
  Key(Qt::Key_Down);  // not beyond the last row
  EXPECT_EQ(Probe(w()).SelectedRow(), 2);
  RightClickRow(0);
  ASSERT_EQ(backend.queries.size(), 3u);
  EXPECT_EQ(backend.queries[2].ip, TestRecord(1, "10.0.0.1").ip);
  EXPECT_TRUE(Probe(w()).ContextMenu()->isVisible());
  Probe(w()).ContextMenu()->hide();
}

TEST_F(DeviceListTest, KeyWithoutASelectedRowStartsNoQuery) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1")});
  Key(Qt::Key_Up);
  EXPECT_TRUE(backend.queries.empty());
}

TEST_F(DeviceListTest, CheckingRowsSwitchesBetweenThePanelAndTheMultiDeviceCommands) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2")});
  ClickRow(0, kColNo);
  ClickRow(1, kColNo);
  EXPECT_EQ(Text(IDC_SELECTED_COUNT), "2");
  EXPECT_TRUE(Enabled(IDC_MULTIPLE_IP));
  EXPECT_FALSE(Enabled(IDC_APPLY));
  EXPECT_FALSE(Enabled(IDC_IPADDRESS));
  ClickRow(0, kColNo);
  ClickRow(1, kColNo);
  EXPECT_EQ(Text(IDC_SELECTED_COUNT), "0");
  EXPECT_FALSE(Enabled(IDC_MULTIPLE_IP));
  EXPECT_TRUE(Enabled(IDC_APPLY));
  // A checked row checks the other selected rows with it.
  ClickRow(1, kColModel);
  ClickRow(0, kColNo, Qt::ShiftModifier);  // selects rows 0-1 and ticks row 0
  EXPECT_EQ(list()->GetCheckbox(0, kColNo), 1);
  EXPECT_EQ(list()->GetCheckbox(1, kColNo), 1);
  EXPECT_EQ(list()->Header()->CheckState(kColNo), 1);
}

TEST_F(DeviceListTest, DoubleClickOpensTheWebPageWithOrWithoutPort) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1", "a", 8080), TestRecord(2, "10.0.0.2", "b", 0)});
  DoubleClickRow(0);
  DoubleClickRow(1);
  ASSERT_EQ(backend.urls.size(), 2u);
  EXPECT_EQ(backend.urls[0], "http://10.0.0.1:8080");
  EXPECT_EQ(backend.urls[1], "http://10.0.0.2");
  w()->OnCommand(ID_MENU_WEB);  // the popup's "Web page": the selected record
  ASSERT_EQ(backend.urls.size(), 3u);
  EXPECT_EQ(backend.urls[2], "http://10.0.0.2");
}

}  // namespace
