// The main window's "Video wall" popup entry: the wall for the ticked rows.
#include "ui/cell_list.h"
#include "ui/main_window.h"
#include "ui/video_wall.h"

void CDravenkitDlg::OnVideoWall() {
  std::vector<DeviceRecord> ticked;
  const int n = list_->GetItemCount();
  for (int r = 0; r < n; ++r) {
    if (list_->GetCheckbox(r, kColNo) != 1) continue;
    if (const DeviceTableEntry* e = devices_.FindByKey(r)) ticked.push_back(e->record);
  }
  if (ticked.empty()) return;
  if (video_wall_) video_wall_->close();  // one wall at a time
  if (CVideoWall* wall = OpenVideoWall(ticked, prompt_, options_.make_viewer, this)) video_wall_ = wall;
}
