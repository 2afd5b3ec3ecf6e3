// The window's firmware update run with the real engine on a simulated
// segment (fleet_update_window.txt): a failed upload's row shows its red text,
// not a progress bar, and the closing box counts the devices not updated.
#include <QLineEdit>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>

#include "engine/update/update_run.h"
#include "platform/exe_path.h"
#include "ui/window_texts.h"
#include "ui_support.h"

namespace {

TEST(SegmentUpdateWindow, FailedUploadsShowTheirTextsAndTheBoxCountsThem) {
  TempDir dir;
  dk::SetExecutableDirOverride(dir.path());
  dir.Write("Dravenkit.ini",
            "[COMMON]\nUPDATE_ENABLE=1\n[FIRMWARE_UPDATE]\nUPDATE_BEFORE_ID=root\nUPDATE_BEFORE_PASSWORD=tulp\n"
            "UPDATE_AFTER_ID=root\nUPDATE_AFTER_PASSWORD=tulp\nUPDATE_PROJECT_CODE=1\n");
  // More than twice the PC's send buffer, so the cut comes before the last byte is written.
  {
    std::ofstream f(dir.File("fw.bin"), std::ios::binary);
    f << "DRAVENKIT-FW 2.1.0\n" << std::string(16u << 20, '\x5a');
  }
  EngineBackend engine;
  FakePrompt prompt;
  prompt.answer = true;
  prompt.chosen_file = dir.File("fw.bin");
  WindowOptions o;
  o.backend = &engine;
  o.prompt = &prompt;
  auto window = std::make_unique<CDravenkitDlg>(o);
  ASSERT_TRUE(window->Initialize());
  window->show();
  window->OnCommand(IDC_DISCOVERY);
  ASSERT_TRUE(WaitUntil([&] { return window->OperationState() == kStateIdle; }, 5000));
  CCellListCtrl* list = Probe(window.get()).List();
  ASSERT_EQ(list->GetItemCount(), 3);
  int row_of[4] = {-1, -1, -1, -1};  // by the MAC's last byte
  for (int r = 0; r < 3; ++r) {
    list->SetCheckbox(r, kColNo, 1);
    row_of[Probe(window.get()).Devices().FindByKey(r)->record.mac[5] & 3] = r;
  }
  window->OnCommand(IDC_FIRMWARE_UPDATE);
  ASSERT_EQ(window->OperationState(), kStateUpdatePanel);
  window->OnCommand(IDC_SELECT_FILE);
  static_cast<QLineEdit*>(window->Control(IDC_VERSION))->setText("2.1.0");
  window->OnCommand(IDC_UPDATE_START);
  ASSERT_EQ(window->OperationState(), kStateUpdateRun);
  const std::string failed = kUpdateFailedText;
  auto box = [&] {
    for (const std::string& t : prompt.infos)
      if (t.rfind(failed, 0) == 0) return t;
    return std::string();
  };
  ASSERT_TRUE(WaitUntil([&] { return !box().empty(); }, 90000)) << "the run did not end";
  EXPECT_NE(box().find("1 of 3 devices were verified."), std::string::npos) << box();

  auto status = [&](int r) { return list->GetItemText(r, kColStatus).toStdString(); };
  auto bar = [&](int r) { return list->GetCell(r, kColStatus)->progress != 0; };
  EXPECT_EQ(status(row_of[1]), "2.1.0");
  EXPECT_EQ(status(row_of[2]), "update error 'UPLOAD_TOOL -2'");
  EXPECT_EQ(status(row_of[3]), "update error 'UPLOAD_FIRMWARE'");
  for (int dev = 1; dev <= 3; ++dev) EXPECT_FALSE(bar(row_of[dev])) << dev;

  // -1 (no libcurl handle) cannot be made on a segment: the same row, bar first.
  const uint8_t* mac = Probe(window.get()).Devices().FindByKey(row_of[2])->record.mac;
  window->Post(MakeStatus(UM_UPDATE_STATUS, mac, kUpdateUploadStarted, ""));
  ASSERT_TRUE(WaitUntil([&] { return bar(row_of[2]); }, 2000));
  window->Post(MakeStatus(UM_UPDATE_STATUS, mac, kUpdateUploadNoHandle, ""));
  ASSERT_TRUE(WaitUntil([&] { return !bar(row_of[2]); }, 2000));
  EXPECT_EQ(status(row_of[2]), "update error 'UPLOAD_TOOL -1'");

  window.reset();
  dk::SetExecutableDirOverride("");
}

}  // namespace
