// The selection list of the factory default and update runs: built from the
// ticked rows when a run's button is pressed.
#include "ui/cell_list.h"
#include "ui/main_window.h"

int32_t CDravenkitDlg::BuildSelectionList() {
  const QColor black(0, 0, 0), white(255, 255, 255);
  const int n = list_->GetItemCount();
  // Rows left out of the run lose what an earlier run showed on them.
  for (int r = 0; r < n; ++r) {
    if (list_->GetCheckbox(r, kColNo) == 1) continue;
    list_->SetItemColours(r, kColIp, black, white);
    list_->DeleteProgress(r, kColStatus);
    SetStatus(r, QString(), black, white);
  }
  selection_list_.Clear();
  int32_t key = 0;
  for (int r = 0; r < n; ++r) {
    if (list_->GetCheckbox(r, kColNo) != 1) continue;
    // Keys of the device table are the rows.
    const DeviceTableEntry* e = devices_.FindByKey(r);
    if (!e) continue;
    selection_list_.AppendWithRow(key++, r, e->record);
  }
  selection_count_ = key;
  return key;
}
