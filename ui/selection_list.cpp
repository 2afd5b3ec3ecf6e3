// The selection list of the factory default and update runs: built from the
// ticked rows when a run's button is pressed.
#include <QLineEdit>

#include "ui/cell_list.h"
#include "ui/main_window.h"
#include "ui/prompt.h"

bool CDravenkitDlg::PanelRunMayStart() {
  if (state_ == kStateUpdateRun) {
    prompt_->Info(Lang(57).toStdString(), PromptIcon::kInformation);
    return false;
  }
  if (BuildSelectionList() == 0) {
    prompt_->Info(Lang(28).toStdString(), PromptIcon::kWarning);
    OnUpdateCancel();
    return false;
  }
  // Both runs log in with the panel's credentials.
  auto* id = static_cast<QLineEdit*>(Control(IDC_USER_ID));
  auto* password = static_cast<QLineEdit*>(Control(IDC_PASSWORD));
  if (id->text().isEmpty()) {
    prompt_->Info(Lang(34).toStdString(), PromptIcon::kWarning);
    id->setFocus();
    return false;
  }
  if (password->text().isEmpty()) {
    prompt_->Info(Lang(35).toStdString(), PromptIcon::kWarning);
    password->setFocus();
    return false;
  }
  return true;
}

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
