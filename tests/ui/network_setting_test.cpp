// "Apply" on the network setting panel with the engine's answer given by the
// fake backend, the two address-mode radios, and the Authentication dialog.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "engine/talq/talq_wire.h"
#include "ui/authentication_dialog.h"
#include "ui/colours.h"
#include "ui_support.h"

namespace {

const char kChecking[] = "Checking ip address ...";

// ---------------------------------------------------------------- dialog

TEST(AuthenticationDialogTest, RefusalsInOrderAndTheFieldLimits) {
  struct Case {
    const char *id, *password, *message;
    bool password_focused;
  };
  const Case cases[] = {
      {"", "", "Admin ID is required", false},
      {"", "secret", "Admin ID is required", false},
      {"root", "", "Admin Password is required", true},
      {"123456789", "x", "Admin ID is too long (at most 8 bytes)", false},
      {"root", "12345678901234567", "Admin Password is too long (at most 16 bytes)", true},
      {"12345678", "1234567890123456", nullptr, false},
  };
  for (const Case& c : cases) {
    FakePrompt prompt;
    Authentication dlg(nullptr, 0, &prompt);
    dlg.IdEdit()->setText(QString::fromUtf8(c.id));
    dlg.PasswordEdit()->setText(QString::fromUtf8(c.password));
    dlg.OnOk();
    if (!c.message) {
      EXPECT_EQ(dlg.result(), QDialog::Accepted) << c.id;
      EXPECT_TRUE(prompt.infos.empty());
      EXPECT_EQ(dlg.Id(), c.id);
      EXPECT_EQ(dlg.Password(), c.password);
      continue;
    }
    EXPECT_NE(dlg.result(), QDialog::Accepted) << c.message;
    ASSERT_EQ(prompt.infos.size(), 1u) << c.message;
    EXPECT_EQ(prompt.infos[0], c.message);
    EXPECT_EQ(dlg.focusWidget(), c.password_focused ? dlg.PasswordEdit() : dlg.IdEdit()) << c.message;
  }
}

TEST(AuthenticationDialogTest, CaptionsFocusAndTheGuestBox) {
  FakePrompt prompt;
  Authentication plain(nullptr, 0, &prompt);
  plain.show();
  Pump();
  EXPECT_EQ(plain.windowTitle().toStdString(), "Authentication");
  EXPECT_EQ(plain.IdLabel()->text().toStdString(), "User ID :");
  EXPECT_EQ(plain.PasswordLabel()->text().toStdString(), "Password :");
  EXPECT_EQ(plain.PasswordEdit()->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(plain.GuestBox()->isHidden());
  EXPECT_EQ(plain.focusWidget(), plain.IdEdit());

  Authentication guest(nullptr, 1, &prompt);
  EXPECT_FALSE(guest.GuestBox()->isHidden());
  EXPECT_EQ(guest.GuestBox()->text().toStdString(), "Guest Login");
  guest.IdEdit()->setText("root");
  guest.GuestBox()->click();
  EXPECT_FALSE(guest.IdEdit()->isEnabled());
  EXPECT_FALSE(guest.PasswordEdit()->isEnabled());
  EXPECT_EQ(guest.IdEdit()->text().toStdString(), "guest");
  guest.OnOk();
  EXPECT_EQ(guest.result(), QDialog::Accepted);
  EXPECT_EQ(guest.Id(), "guest");
  EXPECT_EQ(guest.Password(), "plumo");
  guest.GuestBox()->click();
  EXPECT_TRUE(guest.IdEdit()->isEnabled());
  EXPECT_TRUE(guest.IdEdit()->text().isEmpty());
  EXPECT_TRUE(guest.PasswordEdit()->text().isEmpty());
  EXPECT_TRUE(prompt.infos.empty());
}

// ---------------------------------------------------------------- Apply

class ApplyTest : public ::testing::Test, public WindowFixture {
 protected:
  // Three devices, rows 0 and 2 sharing an address (both marked), row 1 selected.
  void SetUp() override {
    ASSERT_TRUE(Open());
    DeviceRecord target = TestRecord(2, "10.0.0.2");
    target.device_byte = 7;
    std::memcpy(target.pppoe_text1, "user%s", 6);
    target.pppoe_value2 = 9;
    Discover({TestRecord(1, "10.0.0.1"), target, TestRecord(3, "10.0.0.1")});
    ASSERT_EQ(Cell(0, kColStatus), "IP address collision");
    ClickRow(1);
    ASSERT_EQ(Probe(w()).SelectedRow(), 1);
    Answer("root", "tulp");
  }
  void Answer(std::string id, std::string password) {
    authenticate = [this, id, password](Authentication& dlg) {
      ++dialogs;
      dlg.IdEdit()->setText(QString::fromStdString(id));
      dlg.PasswordEdit()->setText(QString::fromStdString(password));
      dlg.OnOk();
      return dlg.result();
    };
  }
  void SetAddress(int id, const char* text) { static_cast<QLineEdit*>(w()->Control(id))->setText(text); }
  void Apply() {
    static_cast<QPushButton*>(w()->Control(IDC_APPLY))->click();
    Pump();
  }
  QColor Fg(int row, int col) { return list()->GetCell(row, col)->text_colour; }
  QColor Bg(int row, int col) { return list()->GetCell(row, col)->bg_colour; }
  int dialogs = 0;
};

TEST_F(ApplyTest, CancelAtTheQuestionOrTheDialogSendsNothing) {
  prompt.answer = false;
  Apply();
  ASSERT_EQ(prompt.questions.size(), 1u);
  EXPECT_EQ(prompt.questions[0], "Apply Changes. Are you sure?");
  EXPECT_EQ(dialogs, 0);
  // The other rows lost their marks before the question; the selected one keeps its colours.
  EXPECT_EQ(Cell(0, kColStatus), "");
  EXPECT_EQ(Bg(0, kColIp), kWhite);
  EXPECT_EQ(Bg(1, kColIp), SelectionColour());

  prompt.answer = true;
  authenticate = [this](Authentication&) { return ++dialogs, int(QDialog::Rejected); };
  Apply();
  EXPECT_EQ(dialogs, 1);
  EXPECT_TRUE(backend.set_network_requests.empty());
  EXPECT_TRUE(Enabled(IDC_CLEAR));
  EXPECT_TRUE(Enabled(IDC_PING_RESPONSE));
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_TRUE(prompt.infos.empty());
}

TEST_F(ApplyTest, EachResultGivesItsMessageStatusStateAndButtons) {
  struct Case {
    int32_t result;
    const char* message;  // nullptr: none
    const char* status;
    bool accepted;
  };
  const Case cases[] = {
      {2, "Invalid Athentication Information.\nCheck the Administrator ID and Password !", "", false},
      {5, "Configuration Error !\nPlease check IP, netmask or gateway and correct them.", "", false},
      {-1, "Configuration Error !\nPlease check IP, netmask or gateway and correct them.", "", false},
      {kSetNetworkSendFailed, "Network setting failed !", "", false},
      {kSetNetworkNoAnswer, nullptr, kSetNetworkNoAnswerText, false},
      {0, nullptr, kChecking, true},
  };
  SetAddress(IDC_IPADDRESS, "10.0.0.50");
  size_t sent = 0;
  const int scans = backend.scan_starts;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    prompt.infos.clear();
    backend.set_network_result = c.result;
    Apply();
    ASSERT_EQ(backend.set_network_requests.size(), ++sent);
    if (c.message) {
      ASSERT_EQ(prompt.infos.size(), 1u);
      EXPECT_EQ(prompt.infos[0], c.message);
      EXPECT_EQ(prompt.icons[0], PromptIcon::kError);
    } else {
      EXPECT_TRUE(prompt.infos.empty());
    }
    EXPECT_EQ(Cell(1, kColStatus), c.status);
    EXPECT_EQ(w()->OperationState(), c.accepted ? kStateVerifyOne : kStateIdle);
    EXPECT_EQ(Probe(w()).Timer0Active(), c.accepted);
    EXPECT_EQ(Enabled(IDC_PING_RESPONSE), !c.accepted);
    EXPECT_TRUE(Enabled(IDC_CLEAR));  // the way out of a verification that never ends
  }
  EXPECT_EQ(Fg(1, kColStatus), kBlack);
  EXPECT_EQ(Bg(1, kColStatus), kYellow);

  // Verifying: timer 0 (armed with 0 ms) has started a scan; a second Apply is
  // refused; the device seen again ends it.
  EXPECT_EQ(backend.scan_starts, scans + 1);
  Apply();
  EXPECT_EQ(backend.set_network_requests.size(), sent);
  EXPECT_EQ(prompt.questions.size(), sent);
  // An answer from the old address before the device moved changes nothing.
  Feed(TestRecord(2, "10.0.0.2"));
  EXPECT_EQ(Cell(1, kColStatus), kChecking);
  EXPECT_EQ(w()->OperationState(), kStateVerifyOne);
  Feed(TestRecord(2, "10.0.0.50"));
  EXPECT_EQ(Cell(1, kColIp), "10.0.0.50");
  EXPECT_EQ(Cell(1, kColStatus), "IP address is changed.");
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_FALSE(Probe(w()).Timer0Active());
  EXPECT_TRUE(Enabled(IDC_PING_RESPONSE));
}

TEST_F(ApplyTest, ANoAnswerMarkIsWhiteOnRed) {
  backend.set_network_result = kSetNetworkNoAnswer;
  Apply();
  EXPECT_EQ(Fg(1, kColStatus), kWhite);
  EXPECT_EQ(Bg(1, kColStatus), kRed);
}

TEST_F(ApplyTest, StaticRequestCarriesThePanelAndTheRecord) {
  SetAddress(IDC_IPADDRESS, "10.0.0.77");
  SetAddress(IDC_SUBNETMASK, "255.255.0.0");
  SetAddress(IDC_GATEWAY, "10.0.0.254");
  SetAddress(IDC_DNS, "10.0.0.253");
  Answer("r%soot", "p%d%n%%");
  Apply();
  ASSERT_EQ(backend.set_network_requests.size(), 1u);
  const SetNetworkRequest& req = backend.set_network_requests[0];
  const DeviceRecord& rec = Probe(w()).Devices().FindByKey(1)->record;
  EXPECT_EQ(std::memcmp(req.mac, rec.mac, 6), 0);
  EXPECT_EQ(req.device_byte, 7);
  EXPECT_EQ(req.network_type, 1);
  char ip[16];
  EXPECT_STREQ(FormatIp(req.ip, ip), "10.0.0.77");
  EXPECT_STREQ(FormatIp(req.subnet_mask, ip), "255.255.0.0");
  EXPECT_STREQ(FormatIp(req.gateway, ip), "10.0.0.254");
  EXPECT_STREQ(FormatIp(req.dns_server, ip), "10.0.0.253");
  EXPECT_EQ(std::string(req.admin_id, strnlen(req.admin_id, 8)), "r%soot");
  EXPECT_EQ(std::string(req.admin_password, strnlen(req.admin_password, 22)), "p%d%n%%");
  EXPECT_STREQ(req.pppoe_text1, "user%s");
  EXPECT_EQ(req.pppoe_value2, 9u);
}

TEST_F(ApplyTest, DhcpSendsTypeZeroWithoutAddresses) {
  static_cast<QRadioButton*>(w()->Control(IDC_DHCP))->click();
  SetAddress(IDC_GATEWAY, "10.0");  // not carried, so not in the way
  Apply();
  ASSERT_EQ(backend.set_network_requests.size(), 1u);
  const SetNetworkRequest& req = backend.set_network_requests[0];
  EXPECT_EQ(req.network_type, 0);
  uint8_t wire[256];
  EXPECT_EQ(TalqBuildSetNetwork(req, 1, wire, sizeof wire), static_cast<int>(kTalqSetNetworkDhcpSize));
}

TEST_F(ApplyTest, AnIncompleteAddressIsNamedAndNothingIsSent) {
  SetAddress(IDC_SUBNETMASK, "255.255.0");
  Apply();
  EXPECT_TRUE(backend.set_network_requests.empty());
  EXPECT_EQ(dialogs, 0);
  ASSERT_EQ(prompt.infos.size(), 1u);
  EXPECT_EQ(prompt.infos[0], "Subnet mask is not a complete IPv4 address");
  EXPECT_TRUE(Enabled(IDC_CLEAR));
  EXPECT_TRUE(Enabled(IDC_PING_RESPONSE));
}

TEST_F(ApplyTest, PppoeRadioIsNeverEnabledAndApplyNeedsAState) {
  EXPECT_TRUE(Enabled(IDC_STATIC_IP));
  EXPECT_FALSE(Enabled(IDC_PPPOE));
  EXPECT_FALSE(Enabled(IDC_PPPOE));
  w()->SetOperationState(kStateScanning);
  w()->OnCommand(IDC_APPLY);
  EXPECT_TRUE(prompt.questions.empty());
  w()->SetOperationState(kStateSyslog);
  w()->OnCommand(IDC_APPLY);
  EXPECT_EQ(backend.set_network_requests.size(), 1u);
}

}  // namespace
