// "FactoryDefault" on the update panel: the window's checks and the start;
// the run itself is FactoryRunUi (ui/panel_run.h).
#include <QLineEdit>
#include <cstring>
#include <string>

#include "engine/ops/factory_default_run.h"
#include "ui/backend.h"
#include "ui/main_window.h"
#include "ui/prompt.h"

namespace {
const char kInternalErrorText[] = "Error, internal";
}  // namespace

void CDravenkitDlg::OnFactoryDefault() {
  if (!PanelRunMayStart()) return;
  if (!prompt_->Question(Lang(60).toStdString())) return;

  FactoryDefaultConfig cfg;
  cfg.user = static_cast<QLineEdit*>(Control(IDC_USER_ID))->text().toStdString();
  cfg.password = static_cast<QLineEdit*>(Control(IDC_PASSWORD))->text().toStdString();
  cfg.timings = options_.factory_timings;
  for (const auto& e : selection_list_) cfg.devices.push_back(e->record);
  if (!factory_run_.Start([&](MessageSink* sink) { return backend_->StartFactoryDefault(cfg, sink); })) {
    prompt_->Info(kInternalErrorText, PromptIcon::kError);
    return;
  }
  StorePanelIntoSettings();
}
