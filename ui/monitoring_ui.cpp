// The main window's "Monitoring" command: the monitoring window for the
// selected device.
#include "ui/list_ops.h"
#include "ui/monitoring.h"

void MonitoringUi::OnMonitoring() {
  const std::optional<DeviceRecord>& rec = host_->Selected();
  if (!rec) {
    host_->ForgetSelection();
    return;
  }
  if (window_) window_->close();
  auto* dlg = new CMonitoring(MakeMonitoringConnection(*rec), host_->Prompts(), make_viewer_, host_->Window());
  dlg->setAttribute(Qt::WA_DeleteOnClose);
  dlg->setModal(true);
  window_ = dlg;
  dlg->show();
}
