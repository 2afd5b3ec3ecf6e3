// "Export list...", the command runner's failure box and the "No." header
// while a run reads the tables.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>

#include "engine/devices/device_csv.h"
#include "ui_support.h"

namespace {

class ListExportTest : public ::testing::Test, public WindowFixture {
 protected:
  QAction* Action(QMenu* menu) {
    for (QAction* a : menu->actions())
      if (a->text() == QStringLiteral("Export list...")) return a;
    return nullptr;
  }
  QMenu* WindowMenu() { return w()->findChild<QMenuBar*>()->actions().front()->menu(); }
};

TEST_F(ListExportTest, ExportWritesEveryRowWithItsStatusFromBothMenus) {
  ASSERT_TRUE(Open());
  DeviceRecord b = TestRecord(2, "10.0.0.2", "Kamera \"Süd\", 2", 0, 554, 555);
  b.network_type = 0;
  Discover({TestRecord(1, "10.0.0.1"), b, TestRecord(3, "10.0.0.1")});  // rows 0 and 2 collide
  QAction* in_list = Action(Probe(w()).ContextMenu());
  QAction* in_menu = Action(WindowMenu());
  ASSERT_NE(in_list, nullptr);
  ASSERT_NE(in_menu, nullptr);

  prompt.save_path = dir.File("list.csv");
  in_list->trigger();
  ASSERT_EQ(prompt.saves.size(), 1u);
  EXPECT_EQ(prompt.saves[0], "Export list|devices.csv");
  std::vector<DeviceCsvRow> want;
  const DeviceRecord recs[] = {TestRecord(1, "10.0.0.1"), b, TestRecord(3, "10.0.0.1")};
  for (int i = 0; i < 3; ++i) {
    want.push_back(DeviceCsvRowFor(i + 1, recs[i]));
    if (i != 1) want.back().status = "IP address collision";
  }
  EXPECT_EQ(dir.Read("list.csv"), DeviceCsvText(want));
  EXPECT_TRUE(prompt.infos.empty());

  prompt.save_path = dir.File("menu.csv");
  in_menu->trigger();
  EXPECT_EQ(dir.Read("menu.csv"), DeviceCsvText(want));
}

TEST_F(ListExportTest, CancelWritesNothingAndAFailureNamesThePathAndReason) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1")});
  QAction* in_list = Action(Probe(w()).ContextMenu());
  ASSERT_NE(in_list, nullptr);
  in_list->trigger();  // Cancel
  EXPECT_TRUE(prompt.infos.empty());
  prompt.save_path = dir.File("no/such/folder/list.csv");
  in_list->trigger();
  ASSERT_EQ(prompt.infos.size(), 1u);
  EXPECT_EQ(prompt.infos[0], "Could not write \"" + prompt.save_path + "\": No such file or directory");
  EXPECT_EQ(prompt.icons[0], PromptIcon::kError);
}

TEST_F(ListExportTest, ArpCommandThatCannotStartIsReportedAndTheCommandGoesOn) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1")});
  backend.arp_command = {"/nonexistent/dravenkit-test-arp"};
  w()->OnCommand(IDC_DELETE_ARP);
  EXPECT_EQ(prompt.infos, (std::vector<std::string>{"Failed to execute CreateProcess().", "Delete ARP table."}));
  EXPECT_EQ(prompt.icons[0], PromptIcon::kError);
  prompt.infos.clear();
  w()->OnCommand(IDC_CLEAR);
  EXPECT_EQ(prompt.infos, (std::vector<std::string>{"Failed to execute CreateProcess()."}));
  EXPECT_EQ(list()->GetItemCount(), 0);  // "Clear" went on
}

TEST_F(ListExportTest, NoHeaderWhileARunReadsTheTablesRecountsWithoutSorting) {
  for (int32_t state : {3, 5}) {
    ASSERT_TRUE(Open());
    Discover({TestRecord(2, "10.0.0.2"), TestRecord(1, "10.0.0.1")});
    ASSERT_TRUE(w()->SetOperationState(state));
    ClickHeader(kColNo);
    EXPECT_EQ(Text(IDC_SELECTED_COUNT), "2") << state;
    EXPECT_EQ(Probe(w()).CheckedCount(), 2);
    ClickHeader(kColMac);  // no sort while the run reads the table
    EXPECT_EQ(Cell(0, kColMac), "00:1C:84 - 10:20:02");
    ClickHeader(kColNo);
    EXPECT_EQ(Text(IDC_SELECTED_COUNT), "0") << state;
    Close();
  }
}

}  // namespace
