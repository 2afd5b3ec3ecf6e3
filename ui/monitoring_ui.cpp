// The main window's "Monitoring" command: the monitoring window for the
// selected device.
#include "ui/list_ops.h"
#include "ui/monitoring.h"

bool MonitoringUi::OnCommand(int id) {
  if (id != ID_MENU_MONITORING) return false;
  const std::optional<DeviceRecord>& rec = rows_->Selected();
  if (!rec) {
    cells_->ForgetSelection();
    return true;
  }
  if (window_) window_->close();
  auto* dlg = new CMonitoring(MakeMonitoringConnection(*rec), operator_->Prompts(), make_viewer_, operator_->Window());
  dlg->setAttribute(Qt::WA_DeleteOnClose);
  dlg->setModal(true);
  window_ = dlg;
  dlg->show();
  return true;
}
