#pragma once
// The tests' one view into the window: its tables, counts, operations and
// menus, read where the window keeps them. Only tests include this.
#include <QAction>
#include <QMenu>
#include <vector>

#include "ui/cell_list.h"
#include "ui/device_rows.h"
#include "ui/main_window.h"
#include "ui/window_operations.h"

class WindowProbe {
 public:
  explicit WindowProbe(CDravenkitDlg* w) : w_(w) {}
  CCellListCtrl* List() const { return static_cast<CCellListCtrl*>(w_->Control(IDC_DEVICE_LIST)); }
  const DeviceTable& Devices() const { return w_->devices_; }
  DeviceTable* SelectionList() const { return &w_->selection_list_; }
  int32_t RowCount() const { return w_->rows_->RowCount(); }
  int32_t SelectedRow() const { return w_->rows_->SelectedKey(); }
  const std::optional<DeviceRecord>& SelectedRecord() const { return w_->rows_->Selected(); }
  int32_t CheckedCount() const { return w_->rows_->CheckedCount(); }
  int32_t SortDirection() const { return w_->rows_->SortDirection(); }
  CommandInputs Inputs() const { return w_->CurrentCommandInputs(); }
  ActiveOp Active() const { return w_->op_; }
  RunPhase Phase() const { return w_->phase_; }
  // The menu entries of a command (the popup's and the window menu's).
  std::vector<QAction*> Actions(int id) const {
    std::vector<QAction*> out;
    const auto range = w_->actions_.equal_range(id);
    for (auto it = range.first; it != range.second; ++it) out.push_back(it->second);
    return out;
  }
  QMenu* ContextMenu() const { return w_->context_menu_; }
  bool Timer0Active() const { return w_->ops_->scan.Timer0Active(); }
  void ArmTimer0(uint32_t ms) const { w_->ops_->scan.ArmTimer0(ms); }
  CNVTSettingDlg* NvtDialog() const { return w_->ops_->multiple_ip.Dialog(); }
  DeviceTable* VerificationList() const { return w_->ops_->multiple_ip.VerificationList(); }
  int32_t PendingCount() const { return w_->ops_->multiple_ip.PendingCount(); }
  void SetPendingCount(int32_t n) const { w_->ops_->multiple_ip.SetPendingCount(n); }
  void SetExpectedMac(const uint8_t mac[6]) const { w_->ops_->apply.SetExpectedMac(mac); }
  QWidget* MonitoringWindow() const { return w_->ops_->monitoring.Window(); }
  QWidget* InventoryWindow() const { return w_->ops_->inventory.Window(); }
  QWidget* VideoWallWindow() const { return w_->ops_->video_wall.Window(); }

 private:
  CDravenkitDlg* w_;
};

inline WindowProbe Probe(CDravenkitDlg* w) { return WindowProbe(w); }
