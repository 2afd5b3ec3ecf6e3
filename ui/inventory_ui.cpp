// The main window's "Read information": an inventory window over copies of
// the ticked devices' records (every listed device when none is ticked).
#include "ui/inventory_window.h"
#include "ui/list_ops.h"

bool InventoryUi::OnCommand(int id) {
  if (id != ID_MENU_READ_INFORMATION) return false;
  const std::vector<DeviceRecord> listed = rows_->ListedRecords(false);
  std::vector<DeviceRecord> devices = rows_->ListedRecords(true);
  if (devices.empty()) devices = listed;
  // A ticked device may share its address with one that is not ticked.
  auto* w = new CInventoryWindow(std::move(devices), engine_->Engine(), operator_->Prompts(), timings_,
                                 operator_->Window(), SharedAddresses(listed));
  w->setAttribute(Qt::WA_DeleteOnClose);
  window_ = w;
  w->show();
  return true;
}
