// The update panel: the start's refusals in order, the run's configuration
// from the panel and the settings, the file choice, and the ends of a run.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <gtest/gtest.h>

#include "engine/update/update_run.h"
#include "ui_support.h"
#include "ui/window_texts.h"

namespace {

class UpdatePanelTest : public ::testing::Test, public WindowFixture {
 protected:
  void OpenPanel(const std::string& extra = "") {
    ASSERT_TRUE(Open(
        "[COMMON]\nUPDATE_ENABLE=1\n[IP_SETTING]\nIP_SETTING_START_IP=10.1.2.3\nIP_SETTING_SUBNETMASK=255.255.0.0\n"
        "[FIRMWARE_UPDATE]\nUPDATE_BEFORE_ID=admin\nUPDATE_BEFORE_PASSWORD=pw\nUPDATE_AFTER_ID=root\n"
        "UPDATE_AFTER_PASSWORD=tulp\nUPDATE_XFLAG=1\nUPDATE_PROJECT_CODE=0\nUPDATE_FILENAME=/tmp/fw.bin\n"
        "UPDATE_FIRMWARE_VERSION=2.0.1\n" + extra));
    Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2"), TestRecord(3, "10.0.0.3")});
    w()->OnCommand(IDC_FIRMWARE_UPDATE);
    ASSERT_EQ(w()->OperationState(), kStateUpdatePanel);
  }
  QLineEdit* Edit(int id) { return static_cast<QLineEdit*>(w()->Control(id)); }
};

TEST_F(UpdatePanelTest, StartRefusesInOrderAndStartsWithThePanelAndSettings) {
  OpenPanel();
  // Nothing ticked: text 28, then Cancel returns to idle.
  w()->OnCommand(IDC_UPDATE_START);
  ASSERT_EQ(prompt.infos.size(), 1u);
  EXPECT_EQ(prompt.infos[0], "Please select the list !");
  EXPECT_EQ(w()->OperationState(), kStateIdle);

  w()->OnCommand(IDC_FIRMWARE_UPDATE);
  list()->SetCheckbox(2, kColNo, 1);
  list()->SetCheckbox(0, kColNo, 1);
  struct Step {
    const char* id;
    const char* password;
    const char* chosen;
    const char* expected;
  };
  // The file path cannot be emptied from the panel; a fresh window without one checks text 56 below.
  const Step steps[] = {{"", "pw", "", "Admin ID is required"}, {"admin", "", "", "Admin Password is required"}};
  for (const Step& s : steps) {
    Edit(IDC_USER_ID)->setText(s.id);
    Edit(IDC_PASSWORD)->setText(s.password);
    w()->OnCommand(IDC_UPDATE_START);
    EXPECT_EQ(prompt.infos.back(), s.expected);
    EXPECT_EQ(w()->OperationState(), kStateUpdatePanel);
  }
  // Refused before the question: an empty version, and a password the address step would cut.
  Edit(IDC_PASSWORD)->setText("pw");
  Edit(IDC_VERSION)->setText("");
  w()->OnCommand(IDC_UPDATE_START);
  EXPECT_EQ(prompt.infos.back(), "Firmware version is required");
  EXPECT_TRUE(w()->Control(IDC_VERSION)->hasFocus());
  Edit(IDC_VERSION)->setText("2.0.1");
  auto* ip_setting = static_cast<QCheckBox*>(w()->Control(IDC_IP_SETTING_CHECK));
  ip_setting->setChecked(true);
  Edit(IDC_PASSWORD)->setText("12345678901234567");
  w()->OnCommand(IDC_UPDATE_START);
  EXPECT_EQ(prompt.infos.back(), "Admin Password is too long (at most 16 bytes)");
  EXPECT_TRUE(w()->Control(IDC_PASSWORD)->hasFocus());
  EXPECT_TRUE(prompt.questions.empty());
  EXPECT_TRUE(backend.updates.empty());
  ip_setting->setChecked(false);
  Edit(IDC_PASSWORD)->setText("pw");
  prompt.answer = false;  // the question declined: nothing starts
  w()->OnCommand(IDC_UPDATE_START);
  EXPECT_EQ(prompt.questions.back(), "Do you want to 'Firmware update' ?");
  EXPECT_TRUE(backend.updates.empty());
  prompt.answer = true;
  backend.update_result = false;
  w()->OnCommand(IDC_UPDATE_START);
  EXPECT_EQ(prompt.infos.back(), "Error, internal");
  EXPECT_EQ(w()->OperationState(), kStateUpdatePanel);

  backend.update_result = true;
  prompt.chosen_file = "/home/op/images/fw 2.bin";
  w()->OnCommand(IDC_SELECT_FILE);
  EXPECT_EQ(Text(IDC_FILE_PATH), "/home/op/images/fw 2.bin");
  Edit(IDC_VERSION)->setText("3.1.0");
  static_cast<QComboBox*>(w()->Control(IDC_TYPE))->setCurrentIndex(1);
  w()->OnCommand(IDC_UPDATE_START);
  ASSERT_EQ(backend.updates.size(), 2u);  // the start without a thread, and this one
  const UpdateConfig& cfg = backend.updates.back();
  EXPECT_EQ(w()->OperationState(), kStateUpdateRun);
  ASSERT_EQ(cfg.devices.size(), 2u);  // ticked rows in row order
  EXPECT_EQ(cfg.devices[0].mac[5], 1);
  EXPECT_EQ(cfg.devices[1].mac[5], 3);
  EXPECT_EQ(cfg.before_id, "admin");
  EXPECT_EQ(cfg.after_id, "root");
  EXPECT_EQ(cfg.after_password, "tulp");
  EXPECT_EQ(cfg.firmware_path, "/home/op/images/fw 2.bin");
  EXPECT_EQ(cfg.expected_version, "3.1.0");
  EXPECT_EQ(cfg.type_index, 1);
  EXPECT_EQ(cfg.xflag, 1);
  EXPECT_EQ(cfg.start_ip, IpFromOctets(10, 1, 2, 3));
  EXPECT_EQ(cfg.subnet_mask, IpFromOctets(255, 255, 0, 0));
  const std::string saved = dir.Read("Dravenkit.ini");
  EXPECT_NE(saved.find("UPDATE_FIRMWARE_VERSION=3.1.0"), std::string::npos) << saved;
  EXPECT_NE(saved.find("UPDATE_FILENAME=/home/op/images/fw 2.bin"), std::string::npos) << saved;

  // While the run goes, a second start is refused with text 57, and Cancel
  // answered "no" leaves the run alone.
  const size_t boxes = prompt.infos.size();
  w()->OnCommand(IDC_UPDATE_START);
  ASSERT_EQ(prompt.infos.size(), boxes + 1);
  EXPECT_EQ(prompt.infos.back(), "Update is in progress.");
  prompt.answer = false;
  w()->OnCommand(IDC_UPDATE_CANCEL);
  EXPECT_EQ(prompt.questions.back(), kStopUpdateQuestion);
  EXPECT_EQ(prompt.infos.size(), boxes + 1);
  EXPECT_EQ(backend.update_stops, 0);
  EXPECT_EQ(backend.updates.size(), 2u);
  EXPECT_EQ(w()->OperationState(), kStateUpdateRun);

  Close();
  EXPECT_EQ(backend.update_stops, 1);  // closing stops the run
}

TEST_F(UpdatePanelTest, WithoutAFileTheStartIsRefused) {
  ASSERT_TRUE(Open("[COMMON]\nUPDATE_ENABLE=1\n[FIRMWARE_UPDATE]\nUPDATE_BEFORE_ID=a\nUPDATE_BEFORE_PASSWORD=b\n"));
  Discover({TestRecord(1, "10.0.0.1")});
  w()->OnCommand(IDC_FIRMWARE_UPDATE);
  list()->SetCheckbox(0, kColNo, 1);
  w()->OnCommand(IDC_UPDATE_START);
  ASSERT_FALSE(prompt.infos.empty());
  EXPECT_EQ(prompt.infos.back(), "Please choose file!");
  EXPECT_TRUE(backend.updates.empty());
}

// A run that did not update every device says so, names the others and waits for Cancel.
TEST_F(UpdatePanelTest, AFailedOrFaultedEndTellsWhichDevicesAndWaitsForCancel) {
  for (int32_t wparam : {kUpdateDoneFailed, kUpdateDoneFault}) {
    SCOPED_TRACE(wparam);
    OpenPanel();
    list()->SetCheckbox(0, kColNo, 1);
    list()->SetCheckbox(1, kColNo, 1);
    w()->OnCommand(IDC_UPDATE_START);
    ASSERT_EQ(w()->OperationState(), kStateUpdateRun);
    const size_t boxes = prompt.infos.size();
    w()->Post(MakeStatus(UM_UPDATE_STATUS, Probe(w()).Devices().FindByKey(1)->record.mac, 100, ""));
    WorkerMessage m = wparam == kUpdateDoneFault ? MakeText(UM_UPDATE_DONE, kUpdateThreadFaultText)
                                                 : MakeSignal(UM_UPDATE_DONE);
    m.wparam = wparam;
    w()->Post(m);
    Pump();
    EXPECT_EQ(w()->OperationState(), kStateUpdateRun);
    EXPECT_FALSE(Enabled(IDC_DISCOVERY));
    ASSERT_EQ(prompt.infos.size(), boxes + (wparam == kUpdateDoneFault ? 2 : 1));
    if (wparam == kUpdateDoneFault) {
      EXPECT_EQ(prompt.infos[boxes], kUpdateThreadFaultText);
    }
    EXPECT_EQ(prompt.infos.back(), std::string(kUpdateFailedText) +
                                       "\n\n1 of 2 devices were verified. Not verified:\n00:1C:84 - 10:20:01");
    EXPECT_TRUE(prompt.questions.size() == 1u) << "Cancel after the end asks nothing";
    w()->OnCommand(IDC_UPDATE_CANCEL);
    EXPECT_EQ(w()->OperationState(), kStateIdle);
    EXPECT_TRUE(Enabled(IDC_DISCOVERY));
    // The next run's Cancel asks again; "no" leaves it running.
    w()->OnCommand(IDC_FIRMWARE_UPDATE);
    w()->OnCommand(IDC_UPDATE_START);
    prompt.answer = false;
    w()->OnCommand(IDC_UPDATE_CANCEL);
    EXPECT_EQ(prompt.questions.back(), kStopUpdateQuestion);
    EXPECT_EQ(w()->OperationState(), kStateUpdateRun);
    prompt.answer = true;
    prompt.questions.clear();
    Close();
  }
}

// Cancel answered "yes" stops the run within its bound and tells what was done;
// the stopped run's late end changes nothing.
TEST_F(UpdatePanelTest, CancelDuringARunStopsItAfterAsking) {
  OpenPanel();
  for (int r = 0; r < 3; ++r) list()->SetCheckbox(r, kColNo, 1);
  w()->OnCommand(IDC_UPDATE_START);
  ASSERT_EQ(w()->OperationState(), kStateUpdateRun);
  w()->Post(MakeStatus(UM_UPDATE_STATUS, Probe(w()).Devices().FindByKey(2)->record.mac, 100, ""));
  Pump();
  w()->OnCommand(IDC_UPDATE_CANCEL);
  EXPECT_EQ(backend.update_stops, 1);
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_EQ(prompt.infos.back(), std::string(kUpdateStoppedText) +
                                     "\n\n1 of 3 devices were verified. Not verified:\n00:1C:84 - 10:20:01\n"
                                     "00:1C:84 - 10:20:02");
  const size_t boxes = prompt.infos.size();
  w()->Post(MakeSignal(UM_UPDATE_DONE));
  Pump();
  EXPECT_EQ(prompt.infos.size(), boxes) << "no \"Update complete.\" after a stop";
  EXPECT_TRUE(Enabled(IDC_DISCOVERY) && Enabled(IDC_CLEAR));
}

}  // namespace
