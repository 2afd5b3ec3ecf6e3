// The "FactoryDefault" button of the update panel and the end of its run, on
// the recording backend.
#include <QLineEdit>
#include <gtest/gtest.h>

#include "ui/colours.h"
#include "ui_support.h"

namespace {


class FactoryWindowTest : public ::testing::Test, public WindowFixture {
 protected:
  // The update panel over n listed devices, the given rows ticked.
  void PanelWith(int n, std::vector<int> ticked) {
    ASSERT_TRUE(Open("[COMMON]\nUPDATE_ENABLE=1\n[FIRMWARE_UPDATE]\nUPDATE_BEFORE_ID=admin\n"
                     "UPDATE_BEFORE_PASSWORD=secret\n"));
    std::vector<DeviceRecord> recs;
    for (int i = 0; i < n; ++i) {
      const std::string ip = "10.0.0." + std::to_string(i + 1);
      recs.push_back(TestRecord(uint8_t(i + 1), ip.c_str()));
    }
    Discover(recs);
    for (int r : ticked) list()->SetCheckbox(r, kColNo, 1);
    w()->OnCommand(IDC_FIRMWARE_UPDATE);
    ASSERT_EQ(w()->OperationState(), kStateUpdatePanel);
  }
  void SetField(int id, const char* text) { static_cast<QLineEdit*>(w()->Control(id))->setText(text); }
  const uint8_t* Mac(int row) { return Probe(w()).Devices().FindByKey(row)->record.mac; }
  void Status(int row, int32_t v) { w()->Post(MakeFactoryStatus(Mac(row), v)); }
};

TEST_F(FactoryWindowTest, RefusedDuringARunAndWithoutTicksOrCredentials) {
  PanelWith(2, {0});
  w()->SetOperationState(kStateUpdateRun);
  w()->OnCommand(IDC_FACTORY_DEFAULT);
  ASSERT_EQ(prompt.infos.size(), 1u);
  EXPECT_EQ(prompt.infos[0], "Update is in progress.");
  EXPECT_EQ(w()->OperationState(), kStateUpdateRun);

  w()->SetOperationState(kStateUpdatePanel);
  const struct {
    const char *id, *password, *text;
    int focused;
  } cases[] = {{"", "pw", "Admin ID is required", IDC_USER_ID},
               {"root", "", "Admin Password is required", IDC_PASSWORD}};
  for (const auto& c : cases) {
    SetField(IDC_USER_ID, c.id);
    SetField(IDC_PASSWORD, c.password);
    w()->OnCommand(IDC_FACTORY_DEFAULT);
    EXPECT_EQ(prompt.infos.back(), c.text);
    EXPECT_TRUE(w()->Control(c.focused)->hasFocus()) << c.text;
  }
  // Asked, but the operator cancels.
  SetField(IDC_PASSWORD, "pw");
  prompt.answer = false;
  w()->OnCommand(IDC_FACTORY_DEFAULT);
  ASSERT_EQ(prompt.questions.size(), 1u);
  EXPECT_EQ(prompt.questions[0], "Do you want to 'FactoryDefault' ?");
  EXPECT_TRUE(backend.factory_runs.empty());
  EXPECT_EQ(w()->OperationState(), kStateUpdatePanel);

  // Nothing ticked: text 28 and back to idle as "Cancel" does.
  list()->SetCheckbox(0, kColNo, 0);
  w()->OnCommand(IDC_FACTORY_DEFAULT);
  EXPECT_EQ(prompt.infos.back(), "Please select the list !");
  EXPECT_EQ(w()->OperationState(), kStateIdle);
  EXPECT_TRUE(Enabled(IDC_DISCOVERY));
  EXPECT_TRUE(backend.factory_runs.empty());
}

TEST_F(FactoryWindowTest, StartsOverTheTickedRowsAndSavesThePanel) {
  PanelWith(3, {0, 2});
  // Row 1 carries marks of an earlier run; being left out clears them.
  list()->SetItemText(1, kColStatus, QStringLiteral("old"), kWhite, kRed);
  list()->SetItemColours(1, kColIp, kWhite, kRed);
  SetField(IDC_USER_ID, "admin2");
  w()->OnCommand(IDC_FACTORY_DEFAULT);
  ASSERT_EQ(backend.factory_runs.size(), 1u);
  const FactoryDefaultConfig& cfg = backend.factory_runs[0];
  EXPECT_EQ(cfg.user, "admin2");
  EXPECT_EQ(cfg.password, "secret");
  ASSERT_EQ(cfg.devices.size(), 2u);
  EXPECT_EQ(cfg.devices[0].mac[5], Mac(0)[5]);
  EXPECT_EQ(cfg.devices[1].mac[5], Mac(2)[5]);
  EXPECT_EQ(cfg.timings.request_wait_ms, 10000u);  // the product timings unless a test shortens them
  EXPECT_EQ(w()->OperationState(), kStateUpdateRun);
  DeviceTable* sel = Probe(w()).SelectionList();
  ASSERT_EQ(sel->Count(), 2);
  EXPECT_EQ(sel->FindByKey(0)->row, 0);
  EXPECT_EQ(sel->FindByKey(1)->row, 2);
  EXPECT_EQ(Cell(1, kColStatus), "");
  EXPECT_EQ(list()->GetCell(1, kColIp)->bg_colour, kWhite);
  EXPECT_EQ(list()->GetCell(1, kColIp)->text_colour, kBlack);
  EXPECT_NE(dir.Read("Dravenkit.ini").find("UPDATE_BEFORE_ID=admin2"), std::string::npos);
}

TEST_F(FactoryWindowTest, AThreadThatDidNotStartIsAnInternalError) {
  PanelWith(1, {0});
  backend.factory_result = false;
  w()->OnCommand(IDC_FACTORY_DEFAULT);
  EXPECT_EQ(prompt.infos.back(), "Error, internal");
  EXPECT_EQ(w()->OperationState(), kStateUpdatePanel);
}

// Rows show the run's progress; the closing box names the devices that did
// not come back, or only counts them when there are many.
TEST_F(FactoryWindowTest, TheClosingBoxTellsWhichDevicesStayedAway) {
  const struct {
    int devices, timed_out;
    std::string tail;
  } cases[] = {
      {2, 0, ""},
      {3, 1, "\n\n1 of 3 devices did not come back at 192.168.1.2:\n00:1C:84 - 10:20:03"},
      {10, 9, "\n\n9 of 10 devices did not come back at 192.168.1.2."},
  };
  for (const auto& c : cases) {
    std::vector<int> all;
    for (int i = 0; i < c.devices; ++i) all.push_back(i);
    PanelWith(c.devices, all);
    w()->OnCommand(IDC_FACTORY_DEFAULT);
    ASSERT_EQ(w()->OperationState(), kStateUpdateRun);
    for (int r = 0; r < c.devices; ++r) {
      Status(r, 0);
      Status(r, 3);
      Status(r, 57);
    }
    Pump();
    EXPECT_EQ(list()->GetCell(0, kColStatus)->progress_value, 57);
    for (int r = 0; r < c.devices; ++r) {
      const bool back = c.timed_out == 1 ? r != c.devices - 1 : r >= c.timed_out;
      Status(r, back ? 100 : -9);
    }
    // A found device is refreshed in state 5 without touching its status.
    DeviceRecord back = Probe(w()).Devices().FindByKey(0)->record;
    ParseIp("192.168.1.2", &back.ip);
    w()->Post(MakeDeviceFound(back));
    Pump();
    EXPECT_EQ(Cell(0, kColIp), "192.168.1.2");
    const int probe = c.timed_out == 1 ? c.devices - 1 : 0;  // a timed-out row when there is one
    EXPECT_EQ(Cell(probe, kColStatus),
              c.timed_out ? "factorydefault error 'FACTORY_TIMEOUT'" : "factorydefault complete.");
    EXPECT_EQ(list()->GetCell(probe, kColStatus)->bg_colour, c.timed_out ? kRed : kGreen);
    prompt.infos.clear();
    w()->Post(MakeSignal(UM_FACTORY_DONE));
    Pump();
    ASSERT_EQ(prompt.infos.size(), 1u);
    // Only a run in which every device came back says "complete".
    EXPECT_EQ(prompt.infos[0], (c.timed_out ? "FactoryDefault ended with errors." : "FactoryDefault complete.") + c.tail);
    EXPECT_EQ(prompt.icons[0], c.timed_out ? PromptIcon::kWarning : PromptIcon::kInformation);
    EXPECT_EQ(w()->OperationState(), kStateIdle);
    for (int id : {IDC_DISCOVERY, IDC_CLEAR, IDC_DELETE_ARP, IDC_MULTIPLE_IP, IDC_PING_RESPONSE})
      EXPECT_TRUE(Enabled(id)) << id;
    Close();
    prompt.infos.clear();
    prompt.icons.clear();
    prompt.questions.clear();
  }
}

TEST_F(FactoryWindowTest, ClosingTheWindowStopsTheRun) {
  PanelWith(1, {0});
  w()->OnCommand(IDC_FACTORY_DEFAULT);
  ASSERT_EQ(w()->OperationState(), kStateUpdateRun);
  Close();
  EXPECT_EQ(backend.factory_stops, 1);
}

}  // namespace
