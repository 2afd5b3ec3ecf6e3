// The main window's "Read information": an inventory window over copies of
// the ticked devices' records (every listed device when none is ticked).
#include <QAction>
#include <QMenu>

#include "ui/inventory_window.h"
#include "ui/list_ops.h"
#include "ui/main_window.h"

void CDravenkitDlg::CreateInventoryAction() {
  inventory_action_ = context_menu_->addAction(QStringLiteral("Read information"));
  connect(inventory_action_, &QAction::triggered, this, [this] { OnCommand(ID_MENU_READ_INFORMATION); });
  actions_.emplace(ID_MENU_READ_INFORMATION, inventory_action_);
}

void InventoryUi::OnReadInformation() {
  const std::vector<DeviceRecord> listed = host_->ListedRecords(false);
  std::vector<DeviceRecord> devices = host_->ListedRecords(true);
  if (devices.empty()) devices = listed;
  // A ticked device may share its address with one that is not ticked.
  auto* w = new CInventoryWindow(std::move(devices), host_->Engine(), host_->Prompts(), timings_, host_->Window(),
                                 SharedAddresses(listed));
  w->setAttribute(Qt::WA_DeleteOnClose);
  window_ = w;
  w->show();
}
