// The main window: discovery merge by operation state, commands, layouts,
// worker messages and closing. Records are posted as a scan would post them.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <thread>

#include "config/settings.h"
#include "platform/exe_path.h"
#include "ui/app.h"
#include "ui/colours.h"
#include "ui_support.h"

namespace {


class WindowTest : public ::testing::Test, public WindowFixture {
 protected:
  QColor Fg(int row, int col) { return list()->GetCell(row, col)->text_colour; }
  QColor Bg(int row, int col) { return list()->GetCell(row, col)->bg_colour; }
};

// ---------------------------------------------------------------- discovery

TEST_F(WindowTest, RowsAreNumberedInArrivalOrderWithTheirCells) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(3, "192.168.1.30", "NVT-E100"), TestRecord(1, "192.168.1.10", "NVT-D200"),
            TestRecord(2, "192.168.1.20", "Encoder X")});
  ASSERT_EQ(list()->GetItemCount(), 3);
  EXPECT_EQ(Cell(0, kColNo), "   1");
  EXPECT_EQ(Cell(1, kColNo), "   2");
  EXPECT_EQ(Cell(2, kColNo), "   3");
  EXPECT_EQ(Cell(0, kColModel), "NVT-E100");
  EXPECT_EQ(Cell(1, kColMac), "00:1C:84 - 10:20:01");
  EXPECT_EQ(Cell(2, kColIp), "192.168.1.20");
  EXPECT_EQ(list()->GetCheckbox(0, kColNo), 0);
  EXPECT_EQ(Probe(w()).RowCount(), 3);
  // Row r shows the record under key r.
  for (int r = 0; r < 3; ++r) {
    char mac[24];
    ASSERT_NE(Probe(w()).Devices().FindByKey(r), nullptr);
    EXPECT_EQ(Cell(r, kColMac), FormatMacList(Probe(w()).Devices().FindByKey(r)->record.mac, mac));
  }
  EXPECT_EQ(w()->OperationState(), kStateIdle);
}

TEST_F(WindowTest, AListedDeviceAnsweringAgainLeavesItsRowUnchanged) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "192.168.1.10", "Old name")});
  Discover({TestRecord(1, "192.168.1.99", "New name", 8080)});
  ASSERT_EQ(list()->GetItemCount(), 1);
  EXPECT_EQ(Cell(0, kColModel), "Old name");
  EXPECT_EQ(Cell(0, kColIp), "192.168.1.10");
  EXPECT_EQ(Cell(0, kColWebPort), "80");
  char ip[16];
  EXPECT_STREQ(FormatIp(Probe(w()).Devices().FindByKey(0)->record.ip, ip), "192.168.1.10");
}

TEST_F(WindowTest, ACollisionMarksBothRows) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "192.168.1.10"), TestRecord(2, "192.168.1.11"), TestRecord(3, "192.168.1.10")});
  for (int row : {0, 2}) {
    EXPECT_EQ(Fg(row, kColIp), kWhite) << row;
    EXPECT_EQ(Bg(row, kColIp), kRed) << row;
    EXPECT_EQ(Cell(row, kColStatus), "IP address collision") << row;
    EXPECT_EQ(Bg(row, kColStatus), kRed) << row;
  }
  EXPECT_EQ(Bg(1, kColIp), kWhite);
  EXPECT_EQ(Cell(1, kColStatus), "");
}

TEST_F(WindowTest, PortColumnsShowDashAndJoins) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1", "a", 0, 554, 0, 8000), TestRecord(2, "10.0.0.2", "b", 80, 554, 555, 556),
            TestRecord(3, "10.0.0.3", "c", 8080, 0, 555, 556), TestRecord(4, "10.0.0.4", "d", 80, 554, 555, 0)});
  EXPECT_EQ(Cell(0, kColWebPort), "-");
  EXPECT_EQ(Cell(0, kColAvPort), "554");
  EXPECT_EQ(Cell(1, kColAvPort), "554 / 555 / 556");
  EXPECT_EQ(Cell(2, kColWebPort), "8080");
  EXPECT_EQ(Cell(2, kColAvPort), "-");
  EXPECT_EQ(Cell(3, kColAvPort), "554 / 555");
}

TEST_F(WindowTest, RecordsOutsideAScanAreIgnored) {
  ASSERT_TRUE(Open());
  Feed(TestRecord(1, "10.0.0.1"));  // state 0
  EXPECT_EQ(list()->GetItemCount(), 0);
  w()->SetOperationState(kStateUpdatePanel);
  Feed(TestRecord(1, "10.0.0.1"));
  w()->SetOperationState(kStateSyslog);
  Feed(TestRecord(1, "10.0.0.1"));
  EXPECT_EQ(list()->GetItemCount(), 0);
  EXPECT_EQ(Probe(w()).Devices().Count(), 0);
}

TEST_F(WindowTest, DiscoveryStartsAScanOnlyInStatesZeroAndSix) {
  ASSERT_TRUE(Open("[COMMON]\nXFLAG=1\n"));
  w()->OnCommand(IDC_DISCOVERY);
  EXPECT_EQ(backend.scan_starts, 1);
  EXPECT_EQ(backend.last_scan.xflag, 1);
  EXPECT_EQ(w()->OperationState(), kStateScanning);
  const int stops = backend.scan_stops;
  w()->Post(MakeSignal(UM_SCAN_DONE));
  Pump();
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_EQ(backend.scan_stops, stops + 1);

  for (int32_t s : {kStateScanning, kStateVerifyOne, kStateMultipleIp, kStateUpdatePanel, kStateUpdateRun}) {
    w()->SetOperationState(s);
    w()->OnCommand(IDC_DISCOVERY);
    EXPECT_EQ(backend.scan_starts, 1) << "state " << s;
    EXPECT_EQ(w()->OperationState(), s);
  }
  w()->SetOperationState(kStateSyslog);
  w()->OnCommand(IDC_DISCOVERY);
  EXPECT_EQ(backend.scan_starts, 2);
  EXPECT_EQ(w()->OperationState(), kStateScanning);
  // A scan that does not start leaves the window idle.
  w()->SetOperationState(kStateIdle);
  backend.scan_result = false;
  w()->OnCommand(IDC_DISCOVERY);
  EXPECT_EQ(w()->OperationState(), kStateIdle);
}

TEST_F(WindowTest, ScanDoneOutsideAScanChangesNothingAndAFaultIsShown) {
  ASSERT_TRUE(Open());
  w()->SetOperationState(kStateVerifyOne);
  w()->Post(MakeSignal(UM_SCAN_DONE));
  Pump();
  EXPECT_EQ(w()->OperationState(), kStateVerifyOne);
  w()->SetOperationState(kStateIdle);
  w()->OnCommand(IDC_DISCOVERY);
  WorkerMessage done = MakeText(UM_SCAN_DONE, kTalqThreadFaultText);
  done.wparam = kScanDoneFault;
  w()->Post(done);
  Pump();
  ASSERT_EQ(prompt.infos.size(), 1u);
  EXPECT_EQ(prompt.infos[0], "[ERROR] TalqThreadProc : TalqThreadProcRun");
  EXPECT_EQ(w()->OperationState(), kStateIdle);
}

TEST_F(WindowTest, ClearEmptiesEverythingAndNumberingStartsAgain) {
  ASSERT_TRUE(Open());
  EXPECT_EQ(backend.arp_flushes, 1);  // start-up performs "Clear"
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2")});
  ClickRow(1);
  w()->Post(MakeText(UM_SERIAL_TEXT, "SN123"));
  Pump();
  list()->SetCheckbox(0, kColNo, 1);
  Probe(w()).VerificationList()->Append(0, TestRecord(1, "10.0.0.1"));
  const int ping_stops = backend.ping_stops;
  w()->OnCommand(IDC_CLEAR);
  EXPECT_EQ(backend.arp_flushes, 2);
  EXPECT_EQ(backend.ping_stops, ping_stops + 1);
  EXPECT_EQ(list()->GetItemCount(), 0);
  EXPECT_EQ(Probe(w()).Devices().Count(), 0);
  EXPECT_EQ(Probe(w()).VerificationList()->Count(), 0);
  EXPECT_EQ(Probe(w()).RowCount(), 0);
  EXPECT_EQ(Probe(w()).SelectedRow(), -1);
  EXPECT_FALSE(Probe(w()).SelectedRecord().has_value());
  EXPECT_EQ(Text(IDC_SERIAL), "-");
  EXPECT_EQ(Text(IDC_FIRMWARE), "-");
  EXPECT_EQ(Text(IDC_SYSTEM_MODE), "-");
  EXPECT_EQ(Text(IDC_SELECTED_COUNT), "0");
  EXPECT_FALSE(Enabled(IDC_APPLY));
  Discover({TestRecord(9, "10.0.0.9")});
  EXPECT_EQ(Cell(0, kColNo), "   1");
  EXPECT_EQ(Probe(w()).Devices().FindKeyByIp(TestRecord(9, "10.0.0.9").ip), 0);
}

TEST_F(WindowTest, ClearAndSortAreRefusedWhileARunReadsTheTables) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2")});
  for (int32_t s : {kStateMultipleIp, kStateUpdateRun}) {
    w()->SetOperationState(s);
    if (s == kStateUpdateRun) {  // state 3's "Clear" ends its verification (multiple IP tests)
      w()->OnCommand(IDC_CLEAR);
      EXPECT_EQ(list()->GetItemCount(), 2) << s;
    }
    ClickHeader(kColIp);
    EXPECT_EQ(Cell(0, kColIp), "10.0.0.1") << s;
    EXPECT_EQ(Probe(w()).SortDirection(), 0) << s;
  }
}

// ---------------------------------------------------------------- verification merges

TEST_F(WindowTest, VerifyingOneDeviceWaitsForItsMacThenReturnsToIdle) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2"), TestRecord(3, "10.0.0.3")});
  const DeviceRecord target = TestRecord(2, "10.0.0.1", "renamed");  // moved onto row 0's address
  Probe(w()).SetExpectedMac(target.mac);
  w()->SetOperationState(kStateVerifyOne);
  Probe(w()).ArmTimer0(3000);
  Feed(TestRecord(3, "10.0.0.33"));  // another device: ignored
  EXPECT_EQ(Cell(2, kColIp), "10.0.0.3");
  EXPECT_EQ(w()->OperationState(), kStateVerifyOne);
  const int ping_stops = backend.ping_stops;
  Feed(target);
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_FALSE(Probe(w()).Timer0Active());
  EXPECT_EQ(backend.ping_stops, ping_stops + 1);
  EXPECT_EQ(Cell(1, kColModel), "renamed");
  EXPECT_EQ(Cell(1, kColIp), "10.0.0.1");
  EXPECT_EQ(Cell(1, kColStatus), "IP address collision");  // text 41
  EXPECT_EQ(Cell(0, kColStatus), "IP address collision");  // text 39
  EXPECT_EQ(Bg(0, kColIp), kRed);
  EXPECT_EQ(Bg(1, kColIp), kRed);
  char ip[16];
  EXPECT_STREQ(FormatIp(Probe(w()).Devices().FindByKey(1)->record.ip, ip), "10.0.0.1");
  EXPECT_TRUE(Enabled(IDC_CLEAR));
  EXPECT_TRUE(Enabled(IDC_PING_RESPONSE));
}

TEST_F(WindowTest, VerifiedDeviceWithoutCollisionShowsTheChangeInGreen) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2")});
  const DeviceRecord target = TestRecord(2, "10.0.0.50");
  Probe(w()).SetExpectedMac(target.mac);
  w()->SetOperationState(kStateVerifyOne);
  Feed(target);
  EXPECT_EQ(Cell(1, kColStatus), "IP address is changed.");
  EXPECT_EQ(Fg(1, kColStatus), kBlack);
  EXPECT_EQ(Bg(1, kColStatus), kGreen);
  EXPECT_EQ(Bg(1, kColIp), kWhite);
}

TEST_F(WindowTest, MultipleIpVerificationCountsDownAndEndsTheState) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2"), TestRecord(3, "10.0.0.3")});
  w()->SetOperationState(kStateMultipleIp);
  // Entries as the run appends them: the record with the address it was sent.
  DeviceRecord sent1 = TestRecord(1, "10.0.0.1"), sent3 = TestRecord(3, "10.0.0.3");
  ParseIp("10.0.0.101", &sent1.configured_ip);
  ParseIp("10.0.0.103", &sent3.configured_ip);
  Probe(w()).VerificationList()->Append(0, sent1);
  Probe(w()).VerificationList()->Append(1, sent3);
  Probe(w()).SetPendingCount(2);
  w()->Post(MakeSignal(UM_IP_CHECK_START));
  Pump();
  EXPECT_EQ(Cell(0, kColStatus), "Checking ip address ...");
  EXPECT_EQ(Bg(2, kColStatus), kYellow);
  EXPECT_EQ(Cell(1, kColStatus), "");
  EXPECT_EQ(backend.scan_starts, 2);
  EXPECT_TRUE(Probe(w()).Timer0Active());

  Feed(TestRecord(2, "10.0.0.2"));  // not being verified
  Feed(TestRecord(3, "10.0.0.3"));  // still at its old address
  EXPECT_EQ(Probe(w()).PendingCount(), 2);
  Feed(TestRecord(3, "10.0.0.103"));
  EXPECT_EQ(Probe(w()).PendingCount(), 1);
  EXPECT_EQ(Cell(2, kColStatus), "IP address is changed.");
  EXPECT_EQ(Cell(2, kColIp), "10.0.0.103");
  Feed(TestRecord(3, "10.0.0.103"));  // verified once only
  EXPECT_EQ(Probe(w()).PendingCount(), 1);
  Feed(TestRecord(1, "10.0.0.101"));
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_EQ(Probe(w()).VerificationList()->Count(), 0);
  EXPECT_FALSE(Probe(w()).Timer0Active());
}

TEST_F(WindowTest, UpdateRunRefreshesTheRowAndLeavesTheStatus) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2")});
  w()->SetOperationState(kStateUpdateRun);
  w()->Post(MakeStatus(UM_UPDATE_STATUS, TestRecord(2, "").mac, 0, ""));
  Feed(TestRecord(2, "10.0.0.1", "after update", 8080));
  EXPECT_EQ(Cell(1, kColModel), "after update");
  EXPECT_EQ(Cell(1, kColWebPort), "8080");
  EXPECT_EQ(Cell(1, kColStatus), "update init");
  EXPECT_EQ(Bg(0, kColIp), kRed);
  EXPECT_EQ(Bg(1, kColIp), kRed);
  EXPECT_EQ(Cell(0, kColStatus), "");  // no collision text in this state
}

TEST_F(WindowTest, TimerZeroKeepsScanningWhileAChangeIsVerified) {
  timings.rescan_ms = 10;
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1")});
  const int before = backend.scan_starts;
  Probe(w()).SetExpectedMac(TestRecord(1, "").mac);
  w()->SetOperationState(kStateVerifyOne);
  Probe(w()).ArmTimer0(0);
  EXPECT_TRUE(WaitUntil([&] { return backend.scan_starts >= before + 3; }, 10000)) << backend.scan_starts - before;
  EXPECT_TRUE(Probe(w()).Timer0Active());
  w()->SetOperationState(kStateIdle);  // leaving state 2 kills it
  EXPECT_FALSE(Probe(w()).Timer0Active());
}

// ---------------------------------------------------------------- status messages

TEST_F(WindowTest, UpdateStatusCodesApplyTheirTextColoursAndProgress) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1")});
  const uint8_t* mac = Probe(w()).Devices().FindByKey(0)->record.mac;
  auto post = [&](int32_t status, const char* text) {
    w()->Post(MakeStatus(UM_UPDATE_STATUS, mac, status, text));
    Pump();
  };
  post(2, "");
  EXPECT_EQ(Cell(0, kColStatus), "Now preparing for update ...");
  EXPECT_EQ(Bg(0, kColStatus), kYellow);
  post(3, "");
  EXPECT_EQ(list()->GetCell(0, kColStatus)->progress, 1);
  EXPECT_EQ(Cell(0, kColStatus), "Now preparing for update ...");
  post(42, "");
  EXPECT_EQ(list()->GetCell(0, kColStatus)->progress_value, 42);
  post(-13, "");
  EXPECT_EQ(list()->GetCell(0, kColStatus)->progress, 1);
  EXPECT_EQ(Cell(0, kColStatus), "Now preparing for update ...");
  post(100, "2.0.1");
  EXPECT_EQ(list()->GetCell(0, kColStatus)->progress, 0);
  EXPECT_EQ(Cell(0, kColStatus), "2.0.1");
  EXPECT_EQ(Bg(0, kColStatus), kGreen);
  post(100, "");
  EXPECT_EQ(Cell(0, kColStatus), "update complete.");
  post(101, "");
  EXPECT_EQ(Cell(0, kColStatus), "...");
  post(-6, "");
  EXPECT_EQ(Cell(0, kColStatus), "ip setting error 'authentication'");
  EXPECT_EQ(Fg(0, kColStatus), kWhite);
  EXPECT_EQ(Bg(0, kColStatus), kRed);
  post(-20, "");
  EXPECT_EQ(Cell(0, kColStatus), "ip setting error 'authentication'");
  const uint8_t stranger[6] = {1, 2, 3, 4, 5, 6};
  w()->Post(MakeStatus(UM_UPDATE_STATUS, stranger, 0, ""));
  Pump();
  EXPECT_EQ(Cell(0, kColStatus), "ip setting error 'authentication'");
}

TEST_F(WindowTest, FactoryStatusCodesAndTheEndOfARun) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1")});
  const uint8_t* mac = Probe(w()).Devices().FindByKey(0)->record.mac;
  w()->Post(MakeFactoryStatus(mac, 0));
  Pump();
  EXPECT_EQ(Cell(0, kColStatus), "factorydefault init");
  w()->Post(MakeFactoryStatus(mac, 3));
  w()->Post(MakeFactoryStatus(mac, 1));
  Pump();
  EXPECT_EQ(list()->GetCell(0, kColStatus)->progress_value, 1);
  w()->Post(MakeFactoryStatus(mac, -6));
  Pump();
  EXPECT_EQ(Cell(0, kColStatus), "factorydefault init");
  w()->Post(MakeFactoryStatus(mac, -9));
  Pump();
  EXPECT_EQ(Cell(0, kColStatus), "factorydefault error 'FACTORY_TIMEOUT'");
  EXPECT_EQ(list()->GetCell(0, kColStatus)->progress, 0);

  w()->SetOperationState(kStateUpdateRun);
  w()->Post(MakeSignal(UM_FACTORY_DONE));
  Pump();
  ASSERT_FALSE(prompt.infos.empty());
  EXPECT_EQ(prompt.infos.back(), "FactoryDefault complete.");
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_TRUE(Enabled(IDC_DISCOVERY));
  w()->SetOperationState(kStateUpdateRun);
  w()->Post(MakeSignal(UM_UPDATE_DONE));
  Pump();
  EXPECT_EQ(prompt.infos.back(), "Update complete.");
  EXPECT_EQ(w()->OperationState(), kStateIdle);
}

// ---------------------------------------------------------------- ping, ARP, information panel

TEST_F(WindowTest, PingResultColoursTheModelName) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2")});
  const DeviceRecord a = Probe(w()).Devices().FindByKey(0)->record;
  const DeviceRecord b = Probe(w()).Devices().FindByKey(1)->record;
  w()->Post(MakePingResult(a.mac, a.ip, false));
  w()->Post(MakePingResult(b.mac, b.ip, true));
  Pump();
  EXPECT_EQ(Fg(0, kColModel), PingFailureColour());
  EXPECT_EQ(Bg(0, kColModel), kWhite);
  EXPECT_EQ(list()->GetBold(0, kColModel), 1);
  EXPECT_EQ(Cell(0, kColModel), "NVT-E100");
  EXPECT_EQ(Fg(1, kColModel), kBlack);
  EXPECT_EQ(list()->GetBold(1, kColModel), 0);

  ClickRow(1);  // on the selected row: selection background
  w()->Post(MakePingResult(b.mac, b.ip, false));
  Pump();
  EXPECT_EQ(Fg(1, kColModel), PingFailureColour());
  EXPECT_EQ(Bg(1, kColModel), SelectionColour());
  w()->Post(MakePingResult(b.mac, b.ip, true));
  Pump();
  EXPECT_EQ(Fg(1, kColModel), kWhite);
  EXPECT_EQ(Bg(1, kColModel), SelectionColour());
  EXPECT_EQ(list()->GetBold(1, kColModel), 0);
  // Selecting another row restores the crimson of an unanswered device.
  w()->Post(MakePingResult(b.mac, b.ip, false));
  Pump();
  ClickRow(0);
  EXPECT_EQ(Fg(1, kColModel), PingFailureColour());
  EXPECT_EQ(Bg(1, kColModel), kWhite);
}

TEST_F(WindowTest, PingResponseRunsOverTheListAndRestartsOnASecondPress) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2")});
  w()->OnCommand(IDC_PING_RESPONSE);
  w()->OnCommand(IDC_PING_RESPONSE);
  ASSERT_EQ(backend.pings.size(), 2u);
  ASSERT_EQ(backend.pings[1].size(), 2u);
  EXPECT_EQ(backend.pings[1][0].ip, TestRecord(1, "10.0.0.1").ip);
  EXPECT_EQ(backend.pings[1][1].mac[5], 2);
}

TEST_F(WindowTest, DeleteArpTableFlushesAndSaysSo) {
  ASSERT_TRUE(Open());
  const int before = backend.arp_flushes;
  w()->OnCommand(IDC_DELETE_ARP);
  EXPECT_EQ(backend.arp_flushes, before + 1);
  ASSERT_EQ(prompt.infos.size(), 1u);
  EXPECT_EQ(prompt.infos[0], "Delete ARP table.");
  EXPECT_EQ(prompt.icons[0], PromptIcon::kInformation);
}

TEST_F(WindowTest, InformationTextsFillTheirFieldsCutTo255) {
  ASSERT_TRUE(Open());
  w()->Post(MakeText(UM_SYSTEM_MODE_TEXT, "encoder"));
  w()->Post(MakeText(UM_FIRMWARE_VERSION_TEXT, "5.2.1"));
  w()->Post(MakeText(UM_SERIAL_TEXT, std::string(300, 'S').c_str()));
  Pump();
  EXPECT_EQ(Text(IDC_SYSTEM_MODE), "encoder");
  EXPECT_EQ(Text(IDC_FIRMWARE), "5.2.1");
  EXPECT_EQ(Text(IDC_SERIAL), std::string(255, 'S'));
}

// ---------------------------------------------------------------- window

TEST_F(WindowTest, TitleCarriesTheBuildVersion) {
  ASSERT_TRUE(Open());
  EXPECT_EQ(w()->windowTitle().toStdString(), "Dravenkit ver. 1.0.1.2");
  EXPECT_EQ(MakeWindowTitle(nullptr), "Dravenkit ver. ");
  EXPECT_EQ(MakeWindowTitle(""), "Dravenkit ver. ");
  QDialog* about = CreateAboutDialog(w());
  EXPECT_EQ(about->findChild<QLabel*>("version")->text().toStdString(), "Dravenkit ver. 1.0.1.2");
  delete about;
}

TEST_F(WindowTest, CaptionsComeFromTheLanguageFile) {
  ASSERT_TRUE(Open("", "[Language]\n3=Suchen\n17=Netzmaske\n14=Zustand\n"));
  EXPECT_EQ(Text(IDC_DISCOVERY), "Suchen");
  EXPECT_EQ(Text(IDC_LOCAL_MASK_LABEL), "Netzmaske :");
  EXPECT_EQ(Text(IDC_MASK_LABEL), "Netzmaske :");
  EXPECT_EQ(list()->Model()->headerData(kColStatus, Qt::Horizontal, Qt::DisplayRole).toString().toStdString(),
            "Zustand");
  EXPECT_EQ(Text(IDC_CLEAR), "Clear");
  EXPECT_EQ(Text(IDC_SERIAL_LABEL), "Serial No. :");
  EXPECT_EQ(Text(IDC_SYSTEM_MODE_LABEL), "System Mode :");
  EXPECT_EQ(Text(IDC_USER_ID), "root");
}

TEST_F(WindowTest, LocalAdapterPanelAndNoAdapter) {
  ASSERT_TRUE(Open());
  EXPECT_EQ(Text(IDC_LOCAL_IP), "192.168.1.50");
  EXPECT_EQ(Text(IDC_LOCAL_MASK), "255.255.255.0");
  EXPECT_EQ(Text(IDC_LOCAL_GATEWAY), "192.168.1.1");
  EXPECT_EQ(Text(IDC_LOCAL_DNS), "192.168.1.2");
  Close();
  backend.adapter_found = false;
  EXPECT_EQ(Open(), nullptr);
  ASSERT_EQ(prompt.infos.size(), 1u);
  EXPECT_EQ(prompt.infos[0], "No Network Adapters Found on System.");
  EXPECT_EQ(prompt.icons[0], PromptIcon::kError);
}

TEST_F(WindowTest, DhcpDisablesTheFourAddressControlsAndStaticEnablesThem) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1")});
  ClickRow(0);
  const int ids[] = {IDC_IPADDRESS, IDC_SUBNETMASK, IDC_GATEWAY, IDC_DNS};
  for (int id : ids) EXPECT_TRUE(Enabled(id)) << id;
  static_cast<QRadioButton*>(w()->Control(IDC_DHCP))->click();
  for (int id : ids) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(IDC_APPLY));
  static_cast<QRadioButton*>(w()->Control(IDC_STATIC_IP))->click();
  for (int id : ids) EXPECT_TRUE(Enabled(id)) << id;
}

std::set<int> VisibleControls(const WindowFixture& f) {
  std::set<int> ids;
  for (int id = 0; id < 2000; ++id)
    if (QWidget* c = f.w()->Control(id); c && !c->isHidden()) ids.insert(id);
  return ids;
}

TEST_F(WindowTest, EachStateShowsExactlyItsControls) {
  ASSERT_TRUE(Open("[COMMON]\nUPDATE_ENABLE=1\n"));
  const std::set<int> always = {1000, 1001, 1003, 1073, 1004, 1005, 1077, 1075};
  const std::set<int> list = {1002};
  const std::set<int> network = {1006, 1007, 1011, 1012, 1013, 1014, 1015, 1016, 1017, 1008, 1081,
                                 1034, 1035, 1082, 1036, 1037, 1009, 1018, 1019, 1020, 1010, 1021,
                                 1023, 1024, 1025, 1026, 1022, 102,  103,  104,  105,  1027};
  const std::set<int> update = {1028, 1029, 1030, 1055, 1056, 1032, 1068, 1078, 1062, 1031,
                                1065, 1066, 1058, 1059, 1057, 1060, 1061, 1067, 1063, 1064};
  const std::set<int> syslog = {1046, 1070, 1071};
  auto join = [](std::initializer_list<std::set<int>> parts) {
    std::set<int> all;
    for (const auto& p : parts) all.insert(p.begin(), p.end());
    return all;
  };
  for (int32_t s = 0; s <= 6; ++s) {
    ASSERT_TRUE(w()->SetOperationState(s));
    std::set<int> expected = s == 6 ? join({always, syslog})
                             : s >= 4 ? join({always, list, update})
                                      : join({always, list, network});
    EXPECT_EQ(VisibleControls(*this), expected) << "state " << s;
  }
  EXPECT_FALSE(w()->SetOperationState(7));
  EXPECT_FALSE(w()->SetOperationState(-1));
  EXPECT_EQ(w()->OperationState(), 6);
  w()->SetOperationState(0);
  const QRect list_rect = w()->Control(IDC_DEVICE_LIST)->geometry();
  auto px = [](int x, int y, int w, int h) { return QRect(WindowPx(x), WindowPx(y), WindowPx(w), WindowPx(h)); };
  EXPECT_EQ(list_rect, px(10, 105, 740, 420));
  EXPECT_EQ(w()->Control(IDC_APPLY)->geometry(), px(840, 500, 90, 30));
  EXPECT_EQ(w()->Control(IDC_FIRMWARE)->geometry(), px(850, 241, 130, 40));
}

TEST_F(WindowTest, WithoutUpdateEnableTheFirmwareButtonNeverShows) {
  ASSERT_TRUE(Open());
  for (int32_t s = 0; s <= 6; ++s) {
    w()->SetOperationState(s);
    EXPECT_FALSE(Visible(IDC_FIRMWARE_UPDATE)) << s;
    EXPECT_FALSE(Visible(IDC_SYSLOG)) << s;
  }
}

TEST_F(WindowTest, UpdatePanelOpensFromTheSettingsAndCancelReturnsAndSaves) {
  ASSERT_TRUE(Open(
      "[COMMON]\nUPDATE_ENABLE=1\n[IP_SETTING]\nIP_SETTING_START_IP=10.1.2.3\n[FIRMWARE_UPDATE]\n"
      "UPDATE_BEFORE_ID=admin\nUPDATE_IP_SETTING_ENABLE=1\nUPDATE_PROJECT_CODE=1\nUPDATE_FILENAME=/tmp/fw.bin\n"
      "UPDATE_FIRMWARE_VERSION=2.0.1\n"));
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2")});
  list()->SetCheckbox(1, kColNo, 1);
  ClickRow(1);
  w()->OnCommand(IDC_FIRMWARE_UPDATE);
  EXPECT_EQ(w()->OperationState(), kStateUpdatePanel);
  EXPECT_EQ(Text(IDC_USER_ID), "admin");
  EXPECT_EQ(Text(IDC_FILE_PATH), "/tmp/fw.bin");
  EXPECT_EQ(Text(IDC_VERSION), "2.0.1");
  EXPECT_EQ(Text(IDC_IP_SETTING_TEXT), ": 1 pc(s) from 10.1.2.3");
  EXPECT_TRUE(static_cast<QCheckBox*>(w()->Control(IDC_IP_SETTING_CHECK))->isChecked());
  EXPECT_EQ(static_cast<QComboBox*>(w()->Control(IDC_TYPE))->currentText().toStdString(), "PLOV");
  for (int id : {IDC_DISCOVERY, IDC_CLEAR, IDC_DELETE_ARP, IDC_MULTIPLE_IP, IDC_SYSLOG, IDC_PING_RESPONSE})
    EXPECT_FALSE(Enabled(id)) << id;
  w()->OnCommand(IDC_FIRMWARE_UPDATE);  // only from states 0 and 6
  EXPECT_EQ(w()->OperationState(), kStateUpdatePanel);

  static_cast<QLineEdit*>(w()->Control(IDC_VERSION))->setText("3.0.0");
  static_cast<QPushButton*>(w()->Control(IDC_UPDATE_CANCEL))->click();
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_TRUE(Visible(IDC_APPLY));
  EXPECT_FALSE(Visible(IDC_USER_ID));
  for (int id : {IDC_DISCOVERY, IDC_CLEAR, IDC_DELETE_ARP, IDC_PING_RESPONSE, IDC_MULTIPLE_IP})
    EXPECT_TRUE(Enabled(id)) << id;
  const std::string saved = dir.Read("Dravenkit.ini");
  EXPECT_NE(saved.find("UPDATE_FIRMWARE_VERSION=3.0.0"), std::string::npos) << saved;
  EXPECT_NE(saved.find("UPDATE_BEFORE_ID=admin"), std::string::npos);
}

TEST_F(WindowTest, FirstStartWritesTheSettingsAndAFailedSaveIsTold) {
  ASSERT_TRUE(Open());
  EXPECT_EQ(dir.Read("Dravenkit.ini"), SettingsFileText(CNVTSettings()));
  EXPECT_TRUE(prompt.infos.empty());
  Close();

  // A folder that cannot be made: the start says so, with path and reason.
  dir.Write("plain", "x");
  dk::SetExecutableDirOverride(dir.File("plain/dravenkit"));
  ASSERT_TRUE(Open("", "", false));
  ASSERT_EQ(prompt.infos.size(), 1u);
  EXPECT_EQ(prompt.infos[0], "The settings could not be saved to " + dir.File("plain/dravenkit/Dravenkit.ini") +
                                 ":\ncannot create the folder " + dir.File("plain/dravenkit") + ": Not a directory.");
  EXPECT_EQ(prompt.icons[0], PromptIcon::kError);
}

TEST_F(WindowTest, RunInProgressRefusesCancelAndSyslog) {
  ASSERT_TRUE(Open("[COMMON]\nUPDATE_ENABLE=1\n"));
  w()->SetOperationState(kStateUpdateRun);
  w()->OnCommand(IDC_UPDATE_CANCEL);
  w()->OnCommand(IDC_SYSLOG);
  ASSERT_EQ(prompt.infos.size(), 2u);
  EXPECT_EQ(prompt.infos[0], "Update is in progress.");
  EXPECT_EQ(prompt.infos[1], "Update is in progress.");
  EXPECT_EQ(w()->OperationState(), kStateUpdateRun);
}

TEST_F(WindowTest, SyslogEmptiesTheStatusesAndShowsItsView) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.1")});
  w()->OnCommand(IDC_SYSLOG);
  EXPECT_EQ(w()->OperationState(), kStateSyslog);
  EXPECT_EQ(Cell(0, kColStatus), "");
  EXPECT_EQ(Bg(0, kColStatus), kWhite);
  EXPECT_TRUE(Visible(IDC_SYSLOG_LIST));
  EXPECT_FALSE(Visible(IDC_DEVICE_LIST));
}

// ---------------------------------------------------------------- messages across threads

TEST_F(WindowTest, MessagesFromAWorkerThreadArriveInOrder) {
  ASSERT_TRUE(Open());
  w()->OnCommand(IDC_DISCOVERY);
  std::thread worker([this] {
    for (int i = 0; i < 300; ++i) {
      char ip[16];
      std::snprintf(ip, sizeof ip, "10.0.%d.%d", i / 250, i % 250 + 1);
      DeviceRecord r = TestRecord(0, ip);
      r.mac[4] = uint8_t(i >> 8);
      r.mac[5] = uint8_t(i);
      w()->Post(MakeDeviceFound(r));
    }
    w()->Post(MakeSignal(UM_SCAN_DONE));
  });
  worker.join();
  Pump();
  ASSERT_EQ(list()->GetItemCount(), 300);
  EXPECT_EQ(Cell(299, kColNo), " 300");
  EXPECT_EQ(Cell(299, kColIp), "10.0.1.50");
  EXPECT_EQ(w()->OperationState(), kStateIdle);
}

TEST_F(WindowTest, AClosedWindowDropsLateMessages) {
  ASSERT_TRUE(Open());
  w()->OnCommand(IDC_DISCOVERY);
  w()->Post(MakeDeviceFound(TestRecord(1, "10.0.0.1")));  // queued, not yet handled
  w()->close();
  w()->Post(MakeDeviceFound(TestRecord(2, "10.0.0.2")));
  Pump();
  EXPECT_EQ(list()->GetItemCount(), 0);
  EXPECT_GE(backend.scan_stops, 1);
  EXPECT_GE(backend.query_stops, 1);
  EXPECT_GE(backend.ping_stops, 1);
  // Destroying a window with messages still queued frees them unhandled.
  Close();
  ASSERT_TRUE(Open());
  w()->Post(MakeDeviceFound(TestRecord(3, "10.0.0.3")));
  w()->Post(MakeText(UM_SERIAL_TEXT, "late"));
  Close();
  Pump();
}

}  // namespace
