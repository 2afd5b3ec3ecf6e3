// The ways out of every operation and the operator's findings: "Clear" in a
// multiple IP verification, the questions before a writing run is cut off,
// the information query that follows the real row, the address controls,
// the web page failure, the selected row after a run, status tool tips.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "engine/ops/set_network.h"
#include "ui/authentication_dialog.h"
#include "ui/nvt_setting_dialog.h"
#include "ui/window_texts.h"
#include "ui_support.h"

namespace {

class MendsTest : public ::testing::Test, public WindowFixture {
 protected:
  void OpenWith(int devices) {
    ASSERT_NE(Open("[COMMON]\nUPDATE_ENABLE=1\n[IP_SETTING]\nIP_SETTING_ID=root\nIP_SETTING_PASSWORD=tulp\n"
                   "[FIRMWARE_UPDATE]\nUPDATE_BEFORE_ID=a\nUPDATE_BEFORE_PASSWORD=b\nUPDATE_FILENAME=/tmp/fw.bin\n"),
              nullptr);
    std::vector<DeviceRecord> recs;
    for (int i = 1; i <= devices; ++i) recs.push_back(TestRecord(uint8_t(i), ("10.0.0." + std::to_string(i)).c_str()));
    Discover(recs);
  }
  // Ticks the rows and starts a multiple IP setting from 10.1.0.1.
  void StartMultipleIp(const std::vector<int>& rows) {
    for (int r : rows) list()->SetCheckbox(r, kColNo, 1);
    CNVTSettingDlg* d = Probe(w()).NvtDialog();
    d->show_viewer = [](const std::string&, QWidget*) {};
    d->modal_runner = [](CNVTSettingDlg* dd) {
      dd->OnCommand(IDC_NVT_RANGE_MODE);
      static_cast<QLineEdit*>(dd->Control(IDC_NVT_START_IP))->setText("10.1.0.1");
      dd->OnCommand(IDC_NVT_OK);
      return dd->result();
    };
    w()->OnCommand(IDC_MULTIPLE_IP);
    Pump();
  }
  void Result(uint8_t id, const char* ip, int32_t code) {
    DeviceRecord r = TestRecord(id, ("10.0.0." + std::to_string(id)).c_str());
    ParseIp(ip, &r.configured_ip);
    WorkerMessage m = MakeDeviceFound(r);
    m.id = UM_IP_SETTING_RESULT;
    m.wparam = code;
    w()->Post(m);
    Pump();
  }
  // Closes the window as the close box does; true when it closed.
  bool CloseBox() {
    QCloseEvent e;
    QCoreApplication::sendEvent(w(), &e);
    return e.isAccepted();
  }
};

TEST_F(MendsTest, ClearEndsAMultipleIpVerificationOnceEveryRequestIsOut) {
  OpenWith(3);
  StartMultipleIp({0, 1, 2});
  ASSERT_EQ(w()->OperationState(), kStateMultipleIp);
  EXPECT_FALSE(Enabled(IDC_CLEAR)) << "requests still going out";
  // The close box asks while requests go out; "no" keeps the window.
  prompt.answer = false;
  EXPECT_FALSE(CloseBox());
  EXPECT_EQ(prompt.questions.back(), kCloseDuringRunText);
  prompt.answer = true;

  Result(1, "10.1.0.1", 0);
  Result(2, "10.1.0.2", kSetNetworkNoAnswer);
  Result(3, "10.1.0.3", 0);
  w()->Post(MakeSignal(UM_IP_CHECK_START));
  Pump();
  EXPECT_EQ(Probe(w()).PendingCount(), 2);
  EXPECT_TRUE(Enabled(IDC_CLEAR));
  EXPECT_FALSE(Enabled(IDC_PING_RESPONSE));
  Feed(TestRecord(1, "10.1.0.1"));  // one answers, the other never does
  ASSERT_EQ(w()->OperationState(), kStateMultipleIp);

  const size_t asked = prompt.questions.size();
  static_cast<QPushButton*>(w()->Control(IDC_CLEAR))->click();
  Pump();
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_FALSE(Probe(w()).Timer0Active());
  EXPECT_EQ(list()->GetItemCount(), 3) << "the rows and their marks stay";
  EXPECT_EQ(Cell(0, kColStatus), "IP address is changed.");
  EXPECT_EQ(Cell(1, kColStatus), "ip setting error 'no answer'");
  EXPECT_EQ(Cell(2, kColStatus), "Checking ip address ...");
  for (int id : {IDC_PING_RESPONSE, IDC_DISCOVERY, IDC_MULTIPLE_IP, IDC_CLEAR}) EXPECT_TRUE(Enabled(id)) << id;
  EXPECT_EQ(prompt.questions.size(), asked) << "verifying writes nothing: no question";
  Feed(TestRecord(3, "10.1.0.3"));  // late: the verification is over
  EXPECT_EQ(Cell(2, kColStatus), "Checking ip address ...");
}

TEST_F(MendsTest, ADeviceSentTwoAddressesIsAwaitedOnlyAtTheLast) {
  OpenWith(2);
  StartMultipleIp({0, 1});
  Result(1, "10.1.0.1", 0);
  Result(1, "10.1.0.9", 0);  // the file names it again
  Result(2, "10.1.0.2", 0);
  w()->Post(MakeSignal(UM_IP_CHECK_START));
  Pump();
  EXPECT_EQ(Probe(w()).PendingCount(), 2);
  Feed(TestRecord(1, "10.1.0.1"));  // the first address no longer counts
  EXPECT_EQ(Probe(w()).PendingCount(), 2);
  Feed(TestRecord(1, "10.1.0.9"));
  Feed(TestRecord(2, "10.1.0.2"));
  EXPECT_EQ(w()->OperationState(), kStateIdle);
}

TEST_F(MendsTest, VerifyingOneDeviceEndsByClearAndEverythingComesBack) {
  OpenWith(2);
  ClickRow(1);
  authenticate = [](Authentication& dlg) {
    dlg.IdEdit()->setText("root");
    dlg.PasswordEdit()->setText("pw");
    dlg.OnOk();
    return dlg.result();
  };
  static_cast<QLineEdit*>(w()->Control(IDC_IPADDRESS))->setText("10.0.0.50");
  w()->OnCommand(IDC_APPLY);
  ASSERT_EQ(w()->OperationState(), kStateVerifyOne);
  EXPECT_FALSE(Enabled(IDC_PING_RESPONSE));
  w()->OnCommand(IDC_CLEAR);
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_TRUE(Enabled(IDC_PING_RESPONSE));
  EXPECT_TRUE(Enabled(IDC_DISCOVERY));
}

TEST_F(MendsTest, EscAndTheCloseBoxAskOnlyDuringAWritingRun) {
  OpenWith(1);
  list()->SetCheckbox(0, kColNo, 1);
  w()->OnCommand(IDC_FIRMWARE_UPDATE);
  w()->OnCommand(IDC_FACTORY_DEFAULT);
  ASSERT_EQ(w()->OperationState(), kStateUpdateRun);
  const size_t asked = prompt.questions.size();
  prompt.answer = false;
  QTest::keyClick(w(), Qt::Key_Escape);
  EXPECT_TRUE(w()->isVisible());
  EXPECT_FALSE(CloseBox());
  EXPECT_EQ(prompt.questions.size(), asked + 2);
  EXPECT_EQ(backend.factory_stops, 0);
  // Cancel "no" changes nothing; "yes" stops the run and tells who came back.
  w()->OnCommand(IDC_UPDATE_CANCEL);
  EXPECT_EQ(prompt.questions.back(), kStopFactoryQuestion);
  EXPECT_EQ(w()->OperationState(), kStateUpdateRun);
  prompt.answer = true;
  w()->OnCommand(IDC_UPDATE_CANCEL);
  EXPECT_EQ(backend.factory_stops, 1);
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_EQ(prompt.infos.back(),
            std::string(kFactoryStoppedText) + "\n\n0 of 1 device was verified. Not verified:\n00:1C:84 - 10:20:01");
  // Idle: Esc closes at once.
  const size_t now = prompt.questions.size();
  QTest::keyClick(w(), Qt::Key_Escape);
  EXPECT_FALSE(w()->isVisible());
  EXPECT_EQ(prompt.questions.size(), now);
}

TEST_F(MendsTest, OnlyTheNewestQueryWritesTheInformationPanel) {
  OpenWith(3);
  ClickRow(0);
  ClickRow(1);
  ASSERT_EQ(backend.query_sinks.size(), 2u);
  backend.query_sinks[0]->Post(MakeText(UM_FIRMWARE_VERSION_TEXT, "old"));
  backend.query_sinks[1]->Post(MakeText(UM_FIRMWARE_VERSION_TEXT, "new"));
  backend.query_sinks[0]->Post(MakeText(UM_SERIAL_TEXT, "old"));
  Pump();
  EXPECT_EQ(Text(IDC_FIRMWARE), "new");
  EXPECT_NE(Text(IDC_SERIAL), "old");
  // Home and End move the list's current row: the query follows it.
  Key(Qt::Key_End);
  EXPECT_EQ(Probe(w()).SelectedRow(), 2);
  EXPECT_EQ(backend.queries.back().ip, TestRecord(3, "10.0.0.3").ip);
  Key(Qt::Key_Home);
  EXPECT_EQ(Probe(w()).SelectedRow(), 0);
  EXPECT_EQ(backend.queries.back().ip, TestRecord(1, "10.0.0.1").ip);
  // Ctrl-click adds a row: the one made current is shown and asked.
  ClickRow(2, kColModel, Qt::ControlModifier);
  EXPECT_EQ(Probe(w()).SelectedRow(), 2);
  EXPECT_EQ(backend.queries.back().ip, TestRecord(3, "10.0.0.3").ip);
  // "Clear" voids the query still running.
  MessageSink* last = backend.query_sinks.back();
  w()->OnCommand(IDC_CLEAR);
  last->Post(MakeText(UM_SERIAL_TEXT, "late"));
  Pump();
  EXPECT_EQ(Text(IDC_SERIAL), "-");
}

TEST_F(MendsTest, AModeThatNeverCameShowsFailed) {
  OpenWith(1);
  ClickRow(0);
  ASSERT_EQ(backend.query_sinks.size(), 1u);
  MessageSink* q = backend.query_sinks[0];
  for (int id : {UM_FIRMWARE_VERSION_TEXT, UM_SERIAL_TEXT, UM_SYSTEM_MODE_TEXT}) q->Post(MakeText(id, ""));
  q->Post(MakeText(UM_FIRMWARE_VERSION_TEXT, "2.1.0"));  // the mode query brought nothing
  Pump();
  EXPECT_EQ(Text(IDC_SYSTEM_MODE), "failed");
  EXPECT_EQ(Text(IDC_FIRMWARE), "2.1.0");
  EXPECT_EQ(Text(IDC_SERIAL), "");
  // A web server that accepts and never answers is told as failed within half a minute.
  EXPECT_LT(InfoQueryDeadlineMs(InfoQueryTimings{}), 30000u);
}

TEST_F(MendsTest, FieldsStillEmptyAtTheQueryDeadlineShowFailed) {
  info_timings.ping_count = 1;
  info_timings.ping_timeout_ms = 1;
  info_timings.http = {1, 1, 1};
  info_timings.curl.connect_timeout_ms = 1;
  info_timings.curl.total_timeout_ms = 1;
  OpenWith(1);
  ClickRow(0);
  MessageSink* q = backend.query_sinks.at(0);
  // The server took the request and never answered: nothing more comes.
  for (int id : {UM_FIRMWARE_VERSION_TEXT, UM_SERIAL_TEXT, UM_SYSTEM_MODE_TEXT}) q->Post(MakeText(id, ""));
  Pump();
  EXPECT_EQ(Text(IDC_SYSTEM_MODE), "");
  ASSERT_TRUE(WaitUntil([&] { return Text(IDC_SERIAL) == "failed"; }, 30000));
  EXPECT_EQ(Text(IDC_SYSTEM_MODE), "failed");
  EXPECT_EQ(Text(IDC_FIRMWARE), "failed");
  EXPECT_EQ(Text(IDC_SERIAL), "failed");
}

TEST_F(MendsTest, AddressPartsOver255AndOtherCharactersAreRefusedVisibly) {
  OpenWith(1);
  ClickRow(0);
  auto* ip = static_cast<QLineEdit*>(w()->Control(IDC_IPADDRESS));
  ip->clear();
  ip->setFocus();
  QTest::keyClicks(ip, "10.300");
  EXPECT_EQ(ip->text().toStdString(), "10.255");
  ASSERT_FALSE(prompt.infos.empty());
  EXPECT_EQ(prompt.infos.back(), "300 is not a valid entry. Please specify a value between 0 and 255.");
  const size_t boxes = prompt.infos.size();
  QTest::keyClicks(ip, "x");
  EXPECT_EQ(ip->text().toStdString(), "10.255");
  EXPECT_EQ(prompt.infos.size(), boxes + 1);
  EXPECT_EQ(prompt.infos.back(), kAddressCharactersText);
  // Apply names an incomplete address before it asks "Are you sure?".
  w()->OnCommand(IDC_APPLY);
  EXPECT_TRUE(prompt.questions.empty());
  EXPECT_EQ(prompt.infos.back(), "IP address is not a complete IPv4 address");
}

TEST_F(MendsTest, AWebPageThatCannotOpenSaysWhyAndWhere) {
  OpenWith(1);
  backend.url_opens = false;
  DoubleClickRow(0);
  ASSERT_FALSE(prompt.infos.empty());
  EXPECT_EQ(prompt.infos.back(), std::string(kWebPageFailedText) + ": no web browser could be started.\nhttp://10.0.0.1:80");
  EXPECT_EQ(prompt.icons.back(), PromptIcon::kError);
}

TEST_F(MendsTest, TheSelectedRowShowsItsNewRecordAfterAMultipleIpSetting) {
  OpenWith(2);
  StartMultipleIp({0, 1});
  ClickRow(1);
  Result(2, "10.1.0.2", 0);
  EXPECT_EQ(Text(IDC_IPADDRESS), "10.0.0.2") << "still answering from the old address";
  w()->Post(MakeSignal(UM_IP_CHECK_START));
  Pump();
  const size_t queries = backend.queries.size();
  Feed(TestRecord(2, "10.1.0.2"));
  EXPECT_EQ(Text(IDC_IPADDRESS), "10.1.0.2");
  EXPECT_EQ(backend.queries.size(), queries + 1) << "the information panel asks the new address";
  EXPECT_EQ(backend.queries.back().ip, TestRecord(2, "10.1.0.2").ip);
  for (int c = 0; c < kColStatus; ++c) EXPECT_EQ(list()->GetCell(1, c)->bg_colour, SelectionColour()) << c;
}

TEST_F(MendsTest, AStatusTooWideForItsCellIsItsToolTip) {
  OpenWith(2);
  const std::string wide(63, 'W');  // as long as a report's text can be
  w()->Post(MakeStatus(UM_UPDATE_STATUS, Probe(w()).Devices().FindByKey(0)->record.mac, 101, wide.c_str()));
  w()->Post(MakeStatus(UM_UPDATE_STATUS, Probe(w()).Devices().FindByKey(1)->record.mac, 0, ""));
  Pump();
  auto tip = [this](int row) {
    return list()->Model()->data(list()->Model()->index(row, kColStatus), Qt::ToolTipRole).toString().toStdString();
  };
  EXPECT_EQ(tip(0), Cell(0, kColStatus));
  EXPECT_EQ(tip(0).size(), wide.size()) << "shown whole";
  EXPECT_EQ(Cell(1, kColStatus), "update init");
  EXPECT_EQ(tip(1), "") << "a text that fits needs no tip";
}

}  // namespace
