// The multiple IP setting in the window: the dialog's showings, the viewer,
// the button handler with its plan, the run's results and the verification.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <gtest/gtest.h>

#include "config/settings.h"
#include "engine/ops/multiple_ip.h"
#include "ui/db_viewer.h"
#include "ui/nvt_setting_dialog.h"
#include "ui_support.h"

namespace {

const char kDb[] =
    "00:1A:2B:3C:4D:5E static 192.168.1.10 255.255.255.0 192.168.1.1 168.126.63.1\n"
    "00:1A:2B:3C:4D:5F STATIC 1.1.1.1 1.1.1.1 1.1.1.1\n"
    "00:1A:2B:3C:4D:60 FIXED 1.1.1.1 1.1.1.1 1.1.1.1 1.1.1.1\n"
    "00:1A:2B:3C:4D:61 STATIC 1.1.1.1 1.1.1.1 192.168.1 1.1.1.1\n"
    "00:1a:2b:3c:4d:5f DHCP 0.0.0.0 0.0.0.0 0.0.0.0 0.0.0.0 seventh\n";

QLineEdit* Edit(CNVTSettingDlg* d, int id) { return static_cast<QLineEdit*>(d->Control(id)); }
bool On(CNVTSettingDlg* d, int id) { return d->Control(id)->isEnabled(); }
bool Checked(CNVTSettingDlg* d, int id) { return static_cast<QRadioButton*>(d->Control(id))->isChecked(); }

class MultipleIpUi : public ::testing::Test, public WindowFixture {
 protected:
  CNVTSettingDlg* Dialog() {
    dlg = std::make_unique<CNVTSettingDlg>(&prompt);
    dlg->choose_file = [this](CNVTSettingDlg*) { return chosen; };
    dlg->show_viewer = [this](const std::string& path, QWidget*) { viewed.push_back(path); };
    return dlg.get();
  }
  CNVTSettings SavedSettings() {
    CNVTSettings s;
    s.LoadFrom(dir.File("Dravenkit.ini"));
    return s;
  }
  std::unique_ptr<CNVTSettingDlg> dlg;
  std::string chosen;
  std::vector<std::string> viewed;
};

TEST_F(MultipleIpUi, DialogShowingsModesAndRefusals) {
  dir.Write("Dravenkit.ini", "[IP_SETTING]\nIP_SETTING_TYPE=1\nIP_SETTING_START_IP=0.0.0.0\nIP_SETTING_ID=root\n");
  CNVTSettingDlg* d = Dialog();
  d->InitDialog();
  EXPECT_EQ(d->windowTitle().toStdString(), "Network setting");
  EXPECT_TRUE(Checked(d, IDC_NVT_FILE_MODE));
  EXPECT_TRUE(Checked(d, IDC_NVT_STATIC));
  for (int id : {IDC_NVT_STATIC, IDC_NVT_DHCP, IDC_NVT_START_IP, IDC_NVT_MASK, IDC_NVT_GATEWAY, IDC_NVT_DNS})
    EXPECT_FALSE(On(d, id)) << id;
  EXPECT_TRUE(On(d, IDC_NVT_SELECT_FILE) && On(d, IDC_NVT_VIEW_FILE));
  EXPECT_EQ(static_cast<QPushButton*>(d->Control(IDC_NVT_OK))->text().toStdString(), "확인");

  // 0.0.0.0 is refused in the file mode too, and the dialog stays open.
  d->OnCommand(IDC_NVT_OK);
  ASSERT_EQ(prompt.infos.size(), 1u);
  EXPECT_EQ(prompt.infos[0], kNvtZeroAddressText);
  EXPECT_NE(d->result(), QDialog::Accepted);

  // The range mode with DHCP keeps the three values disabled but saves them.
  d->OnCommand(IDC_NVT_RANGE_MODE);
  d->OnCommand(IDC_NVT_DHCP);
  EXPECT_TRUE(On(d, IDC_NVT_START_IP));
  for (int id : {IDC_NVT_MASK, IDC_NVT_GATEWAY, IDC_NVT_DNS}) EXPECT_FALSE(On(d, id)) << id;
  Edit(d, IDC_NVT_START_IP)->setText("0.0.0.0");
  d->OnCommand(IDC_NVT_OK);
  EXPECT_EQ(prompt.infos.size(), 2u) << "refused in the range mode as well";
  Edit(d, IDC_NVT_START_IP)->setText("192.168.7.254");
  Edit(d, IDC_NVT_MASK)->setText("255.255.0.0");
  d->SetTickedCount(3);  // .254, .255 and then nothing
  d->OnCommand(IDC_NVT_OK);
  ASSERT_EQ(prompt.infos.size(), 3u);
  EXPECT_NE(prompt.infos[2].find("only 2 device(s)"), std::string::npos) << prompt.infos[2];
  d->SetTickedCount(2);
  Edit(d, IDC_NVT_ID)->setText("administrator");  // 13 bytes: would be cut on the wire
  d->OnCommand(IDC_NVT_OK);
  ASSERT_EQ(prompt.infos.size(), 4u);
  Edit(d, IDC_NVT_ID)->setText("admin");
  Edit(d, IDC_NVT_PASSWORD)->setText("12345678901234567");  // 17 bytes: the credential block holds 16
  d->OnCommand(IDC_NVT_OK);
  ASSERT_EQ(prompt.infos.size(), 5u);
  EXPECT_EQ(prompt.infos[4], "Admin Password is too long (at most 16 bytes)");
  EXPECT_NE(d->result(), QDialog::Accepted);
  Edit(d, IDC_NVT_PASSWORD)->setText("pw");
  d->OnCommand(IDC_NVT_OK);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(prompt.infos.size(), 5u);
  EXPECT_EQ(d->assignment_mode_, 0);
  EXPECT_EQ(d->static_flag_, 0);
  const CNVTSettings s = SavedSettings();
  EXPECT_EQ(s.IP_SETTING_TYPE, 0);
  EXPECT_EQ(s.IP_SETTING_START_IP[3], 254);
  EXPECT_EQ(s.IP_SETTING_SUBNETMASK[1], 255);
  EXPECT_EQ(s.IP_SETTING_SUBNETMASK[2], 0);
  EXPECT_STREQ(s.IP_SETTING_ID, "admin");
  EXPECT_STREQ(s.IP_SETTING_PASSWORD, "pw");
}

TEST_F(MultipleIpUi, CancelRewritesTheLoadedValuesAndThePathIsKept) {
  dir.Write("Dravenkit.ini", "[IP_SETTING]\nIP_SETTING_TYPE=1\nIP_SETTING_START_IP=10.1.2.3\nIP_SETTING_ID=op\n");
  CNVTSettings loaded;
  loaded.LoadFrom(dir.File("Dravenkit.ini"));
  CNVTSettingDlg* d = Dialog();
  d->InitDialog();
  d->OnCommand(IDC_NVT_VIEW_FILE);
  EXPECT_TRUE(viewed.empty()) << "no path, no viewer";
  chosen = dir.File("db.txt");
  d->OnCommand(IDC_NVT_SELECT_FILE);
  ASSERT_EQ(viewed.size(), 1u) << "choosing a file opens the viewer at once";
  EXPECT_EQ(Edit(d, IDC_NVT_FILE_PATH)->text().toStdString(), chosen);
  Edit(d, IDC_NVT_ID)->setText("changed");
  d->OnCommand(IDC_NVT_RANGE_MODE);
  d->OnCommand(IDC_NVT_OK);
  EXPECT_EQ(d->result(), QDialog::Accepted);
  d->InitDialog();
  EXPECT_TRUE(Edit(d, IDC_NVT_FILE_PATH)->text().isEmpty());
  d->OnCommand(IDC_NVT_VIEW_FILE);
  ASSERT_EQ(viewed.size(), 2u);
  EXPECT_EQ(viewed[1], chosen);

  // Cancel writes back what this showing loaded.
  const std::string before = SettingsFileText(SavedSettings());
  Edit(d, IDC_NVT_ID)->setText("other");
  d->OnCommand(IDC_NVT_FILE_MODE);
  d->OnCommand(IDC_NVT_CANCEL);
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_EQ(dir.Read("Dravenkit.ini"), before);
  EXPECT_NE(before, SettingsFileText(loaded)) << "the OK above saved its values";
  dir.Write("Dravenkit.ini", "[IP_SETTING]\nIP_SETTING_START_IP=10.1.2.3\n");
  d->InitDialog();
  d->reject();  // Esc and the close box as well
  CNVTSettings again;
  again.LoadFrom(dir.File("Dravenkit.ini"));
  EXPECT_EQ(dir.Read("Dravenkit.ini"), SettingsFileText(again));
  EXPECT_EQ(again.IP_SETTING_START_IP[3], 3);
}

TEST_F(MultipleIpUi, ViewerShowsTheValidEntriesNumbered) {
  dir.Write("db.txt", kDb);
  CDBViewer v(dir.File("db.txt"));
  v.InitDialog();
  EXPECT_EQ(v.windowTitle().toStdString(), "DB Viewer");
  CCellListCtrl* l = v.List();
  ASSERT_EQ(l->GetColumnCount(), 8);
  ASSERT_EQ(l->GetItemCount(), 2);
  const char* row0[] = {"   1", "00:1A:2B:3C:4D:5E", "STATIC", "192.168.1.10", "255.255.255.0", "192.168.1.1",
                        "168.126.63.1", ""};
  for (int c = 0; c < 8; ++c) EXPECT_EQ(l->GetItemText(0, c).toStdString(), row0[c]) << c;
  EXPECT_EQ(l->GetItemText(1, 0).toStdString(), "   2");
  EXPECT_EQ(l->GetItemText(1, 1).toStdString(), "00:1a:2b:3c:4d:5f");
  EXPECT_EQ(l->GetItemText(1, 2).toStdString(), "DHCP");
  const int usable = l->width() - 2 - l->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, l);
  EXPECT_EQ(l->horizontalHeader()->sectionSize(1), usable * 13 / 64);
  EXPECT_EQ(l->horizontalHeader()->sectionSize(7), usable * 15 / 64);
  CDBViewer missing(dir.File("none.txt"));
  missing.InitDialog();
  EXPECT_EQ(missing.List()->GetItemCount(), 0);
}

class MultipleIpWindow : public MultipleIpUi {
 protected:
  void SetUp() override {
    ASSERT_NE(Open("[IP_SETTING]\nIP_SETTING_ID=root\nIP_SETTING_PASSWORD=tulp\nIP_SETTING_XFLAG=1\n"), nullptr);
    std::vector<DeviceRecord> recs;
    for (uint8_t i = 1; i <= 7; ++i) recs.push_back(TestRecord(i, ("10.0.0." + std::to_string(i)).c_str()));
    Discover(recs);
    Probe(w()).NvtDialog()->show_viewer = [](const std::string&, QWidget*) {};
  }
  // Ticks rows and answers the dialog with start, or with the file mode.
  void Press(const std::vector<int>& rows, const std::string& start, const std::string& file = "") {
    for (int r : rows) list()->SetCheckbox(r, kColNo, 1);
    CNVTSettingDlg* d = Probe(w()).NvtDialog();
    d->choose_file = [file](CNVTSettingDlg*) { return file; };
    d->modal_runner = [start, file](CNVTSettingDlg* dd) {
      if (!file.empty()) {
        dd->OnCommand(IDC_NVT_FILE_MODE);
        dd->OnCommand(IDC_NVT_SELECT_FILE);
      } else {
        dd->OnCommand(IDC_NVT_RANGE_MODE);
      }
      static_cast<QLineEdit*>(dd->Control(IDC_NVT_START_IP))->setText(QString::fromStdString(start));
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
  }
};

TEST_F(MultipleIpWindow, RangeRunVerificationAndFailuresShown) {
  Press({1, 4, 6}, "192.168.1.161");
  ASSERT_EQ(backend.nvt_runs.size(), 1u);
  const NvtSettingParam& p = backend.nvt_runs[0];
  ASSERT_EQ(p.devices.size(), 3u);
  EXPECT_EQ(p.devices[0].mac[5], 2);
  EXPECT_EQ(p.devices[1].mac[5], 5);
  EXPECT_EQ(p.devices[2].mac[5], 7);
  EXPECT_EQ(p.start_ip, IpFromOctets(192, 168, 1, 161));
  EXPECT_EQ(p.admin_id, "root");
  EXPECT_EQ(p.ip_setting_xflag, 1);
  EXPECT_EQ(w()->OperationState(), kStateMultipleIp);
  EXPECT_FALSE(Enabled(IDC_CLEAR));
  ASSERT_EQ(prompt.questions.size(), 1u);
  EXPECT_EQ(prompt.questions[0], "Do you want to change?");
  EXPECT_NE(prompt.details[0].find("00:1C:84:10:20:05  STATIC  192.168.1.162"), std::string::npos)
      << prompt.details[0];

  Result(2, "192.168.1.161", 0);
  Result(5, "192.168.1.162", 2);
  Result(7, "192.168.1.163", kSetNetworkNoAnswer);
  w()->Post(MakeSignal(UM_IP_CHECK_START));
  Pump();
  EXPECT_EQ(Probe(w()).PendingCount(), 1);
  EXPECT_EQ(Cell(1, kColStatus), "Checking ip address ...");
  EXPECT_EQ(Cell(4, kColStatus), "ip setting error 'authentication'");
  EXPECT_EQ(Cell(6, kColStatus), "ip setting error 'no answer'");
  EXPECT_EQ(Probe(w()).Devices().FindByKey(4)->record.configured_ip, IpFromOctets(192, 168, 1, 162));
  EXPECT_TRUE(Probe(w()).Timer0Active());

  Feed(TestRecord(2, "10.0.0.2"));  // not moved yet
  EXPECT_EQ(Probe(w()).PendingCount(), 1);
  Feed(TestRecord(2, "192.168.1.161"));
  EXPECT_EQ(Cell(1, kColStatus), "IP address is changed.");
  EXPECT_EQ(Cell(1, kColIp), "192.168.1.161");
  EXPECT_EQ(Cell(4, kColStatus), "ip setting error 'authentication'") << "a failure stays shown";
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_TRUE(Enabled(IDC_CLEAR) && Enabled(IDC_PING_RESPONSE));
  EXPECT_FALSE(Probe(w()).Timer0Active());
}

TEST_F(MultipleIpWindow, FileModeNoAcceptanceAndRefusals) {
  dir.Write("db.txt", "00:1C:84:10:20:03 STATIC 10.9.0.3 255.255.0.0 10.9.0.1 8.8.8.8\n"
                      "00:1C:84:10:20:04 STATIC 10.0.0.1 255.255.0.0 10.9.0.1 8.8.8.8\n");
  Press({2, 4}, "10.0.0.50", dir.File("db.txt"));
  ASSERT_EQ(backend.nvt_runs.size(), 1u);
  EXPECT_EQ(backend.nvt_runs[0].assignment_mode, 1);
  EXPECT_EQ(backend.nvt_runs[0].file_path, dir.File("db.txt"));
  const std::string plan = prompt.details.at(0);
  EXPECT_NE(plan.find("00:1C:84:10:20:05  -  [the file does not name this device"), std::string::npos) << plan;
  EXPECT_EQ(plan.find("00:1C:84:10:20:04"), std::string::npos) << "listed but not ticked";
  // Nobody accepts: the verification ends at once.
  Result(3, "10.9.0.3", 7);
  w()->Post(MakeSignal(UM_IP_CHECK_START));
  Pump();
  EXPECT_EQ(Cell(2, kColStatus), "ip setting error 'unknown'");
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_TRUE(Enabled(IDC_CLEAR));

  // Confirmation refused, nothing ticked, or the file mode without a file: no run.
  prompt.answer = false;
  Press({}, "10.0.0.50");
  prompt.answer = true;
  for (int r = 0; r < 7; ++r) list()->SetCheckbox(r, kColNo, 0);
  Press({}, "10.0.0.50");
  EXPECT_EQ(prompt.infos.back(), "Please select the list !");
  Probe(w()).NvtDialog()->file_path_.clear();
  list()->SetCheckbox(1, kColNo, 1);
  Probe(w()).NvtDialog()->modal_runner = [](CNVTSettingDlg* dd) {
    dd->OnCommand(IDC_NVT_FILE_MODE);
    dd->OnCommand(IDC_NVT_OK);
    return dd->result();
  };
  w()->OnCommand(IDC_MULTIPLE_IP);
  EXPECT_EQ(backend.nvt_runs.size(), 1u);
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_TRUE(Enabled(IDC_CLEAR) && Enabled(IDC_PING_RESPONSE));
}

}  // namespace
