// The main window's "Read information": an inventory window over copies of
// the ticked devices' records (every listed device when none is ticked).
#include "ui/inventory_window.h"
#include "ui/list_ops.h"

bool InventoryUi::OnCommand(int id) {
  if (id != ID_MENU_READ_INFORMATION) return false;
  std::vector<DeviceRecord> devices = rows_->ListedRecords(true);
  if (devices.empty()) devices = rows_->ListedRecords(false);
  auto* w = new CInventoryWindow(std::move(devices), engine_->Engine(), operator_->Prompts(), timings_,
                                 operator_->Window());
  w->setAttribute(Qt::WA_DeleteOnClose);
  window_ = w;
  w->show();
  return true;
}
