// The main window's "Video wall" popup entry: the wall for the ticked rows.
#include "ui/list_ops.h"
#include "ui/video_wall.h"

void VideoWallUi::OnVideoWall() {
  const std::vector<DeviceRecord> ticked = host_->ListedRecords(true);
  if (ticked.empty()) return;
  if (window_) window_->close();  // one wall at a time
  if (CVideoWall* wall = OpenVideoWall(ticked, host_->Prompts(), make_viewer_, host_->Window())) window_ = wall;
}
