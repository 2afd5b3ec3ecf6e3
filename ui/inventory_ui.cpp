// The main window's "Read information": an inventory window over copies of
// the ticked devices' records (every listed device when none is ticked).
#include <QAction>
#include <QMenu>

#include "ui/cell_list.h"
#include "ui/inventory_window.h"
#include "ui/main_window.h"

void CDravenkitDlg::CreateInventoryAction() {
  inventory_action_ = context_menu_->addAction(QStringLiteral("Read information"));
  connect(inventory_action_, &QAction::triggered, this, [this] { OnCommand(ID_MENU_READ_INFORMATION); });
  actions_.emplace(ID_MENU_READ_INFORMATION, inventory_action_);
}

void CDravenkitDlg::OnReadInformation() {
  const int n = list_->GetItemCount();
  std::vector<DeviceRecord> ticked, all;
  for (int r = 0; r < n; ++r) {
    const DeviceTableEntry* e = devices_.FindByKey(r);
    if (!e) continue;
    all.push_back(e->record);
    if (list_->GetCheckbox(r, kColNo) == 1) ticked.push_back(e->record);
  }
  auto* w = new CInventoryWindow(ticked.empty() ? all : ticked, backend_, prompt_, options_.inventory_timings, this);
  w->setAttribute(Qt::WA_DeleteOnClose);
  inventory_ = w;
  w->show();
}
