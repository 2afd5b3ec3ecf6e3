// The main window's "Video wall" popup entry: the wall for the ticked rows.
#include "ui/list_ops.h"
#include "ui/video_wall.h"

bool VideoWallUi::OnCommand(int id) {
  if (id != ID_MENU_VIDEO_WALL) return false;
  const std::vector<DeviceRecord> ticked = rows_->ListedRecords(true);
  if (ticked.empty()) return true;
  if (window_) window_->close();  // one wall at a time
  if (CVideoWall* wall = OpenVideoWall(ticked, operator_->Prompts(), make_viewer_, operator_->Window())) window_ = wall;
  return true;
}
