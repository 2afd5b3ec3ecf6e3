// The window's part of the factory default run: the "FactoryDefault" button,
// the progress kept per selected device, and the closing box.
#include <QLineEdit>
#include <cstring>
#include <string>

#include "engine/ops/factory_default_run.h"
#include "ui/backend.h"
#include "ui/main_window.h"
#include "ui/prompt.h"
#include "ui/window_texts.h"

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
  for (const auto& e : selection_list_) {
    e->progress = kFactoryInit;
    cfg.devices.push_back(e->record);
  }
  if (!backend_->StartFactoryDefault(cfg, post_box_.get())) {
    prompt_->Info(kInternalErrorText, PromptIcon::kError);
    return;
  }
  op_ = ActiveOp::kFactory;
  phase_ = RunPhase::kRunning;
  SetOperationState(kStateUpdateRun);
  StorePanelIntoSettings();
}

std::string CDravenkitDlg::FactoryDoneText(int* missing_out) const {
  std::string text;
  int missing = 0, total = 0;
  std::string names;
  for (const auto& e : selection_list_) {
    ++total;
    if (e->progress == kFactoryComplete) continue;
    if (++missing <= kNamedDevicesMax) {
      char mac[24];
      names += "\n";
      names += FormatMacList(e->record.mac, mac);
    }
  }
  // A box that says "complete" must not hide the devices that stayed away.
  if (missing == 0) {
    text = Lang(61).toStdString();
  } else {
    text = std::string(kFactoryIncompleteText) + "\n\n" + std::to_string(missing) + " of " + std::to_string(total) + " device" + (total == 1 ? "" : "s") +
            " did not come back at " + kFactoryDefaultIpText + (missing <= kNamedDevicesMax ? ":" : ".");
    if (missing <= kNamedDevicesMax) text += names;
  }
  *missing_out = missing;
  return text;
}

void CDravenkitDlg::OnFactoryDone(const WorkerMessage& msg) {
  // A stopped run's late end, or one of another run, changes nothing.
  if (state_ != kStateUpdateRun || op_ == ActiveOp::kUpdate) return;
  if (msg.wparam == kFactoryDoneFault) {
    const auto* fault = std::get_if<std::string>(&msg.payload);
    prompt_->Info(fault ? *fault : std::string(kFactoryThreadFaultText), PromptIcon::kError);
  }
  int missing = 0;
  const std::string text = op_ == ActiveOp::kFactory ? FactoryDoneText(&missing) : Lang(61).toStdString();
  prompt_->Info(text, missing == 0 ? PromptIcon::kInformation : PromptIcon::kWarning);
  SetOperationState(kStateIdle);
}
