// The main window's "Monitoring" command: the monitoring window for the
// selected device.
#include "ui/main_window.h"
#include "ui/monitoring.h"

void CDravenkitDlg::OnMonitoring() {
  if (!selected_record_) {
    ForgetSelection();
    return;
  }
  if (monitoring_) monitoring_->close();
  auto* dlg = new CMonitoring(MakeMonitoringConnection(*selected_record_), prompt_, options_.make_viewer, this);
  dlg->setAttribute(Qt::WA_DeleteOnClose);
  dlg->setModal(true);
  monitoring_ = dlg;
  dlg->show();
}
