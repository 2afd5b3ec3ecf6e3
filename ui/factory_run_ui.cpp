// The window's part of the factory default run: the "FactoryDefault" button,
// the progress kept per selected device, and the closing box.
#include <QLineEdit>
#include <cstring>
#include <string>

#include "engine/ops/factory_default_run.h"
#include "ui/backend.h"
#include "ui/main_window.h"
#include "ui/prompt.h"

namespace {
const char kInternalErrorText[] = "Error, internal";
// Devices named in the closing box; beyond this only the count is given.
constexpr int kNamedMissingMax = 8;
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
  if (!backend_->StartFactoryDefault(cfg, this)) {
    prompt_->Info(kInternalErrorText, PromptIcon::kError);
    return;
  }
  factory_running_ = true;
  SetOperationState(kStateUpdateRun);
  StorePanelIntoSettings();
}

void CDravenkitDlg::NoteFactoryProgress(const FactoryStatusReport& report) {
  if (!factory_running_) return;
  for (const auto& e : selection_list_) {
    if (std::memcmp(e->record.mac, report.mac, 6) == 0) {
      e->progress = report.status;
      return;
    }
  }
}

std::string CDravenkitDlg::FactoryDoneText(int* missing_out) const {
  std::string text = Lang(61).toStdString();
  int missing = 0, total = 0;
  std::string names;
  for (const auto& e : selection_list_) {
    ++total;
    if (e->progress == kFactoryComplete) continue;
    if (++missing <= kNamedMissingMax) {
      char mac[24];
      names += "\n";
      names += FormatMacList(e->record.mac, mac);
    }
  }
  // A box that says "complete" must not hide the devices that stayed away.
  if (missing > 0) {
    text += "\n\n" + std::to_string(missing) + " of " + std::to_string(total) + " device" + (total == 1 ? "" : "s") +
            " did not come back at " + kFactoryDefaultIpText + (missing <= kNamedMissingMax ? ":" : ".");
    if (missing <= kNamedMissingMax) text += names;
  }
  *missing_out = missing;
  return text;
}

void CDravenkitDlg::OnFactoryDone(const WorkerMessage& msg) {
  if (msg.wparam == kFactoryDoneFault) {
    const auto* fault = std::get_if<std::string>(&msg.payload);
    prompt_->Info(fault ? *fault : std::string(kFactoryThreadFaultText), PromptIcon::kError);
  }
  int missing = 0;
  const std::string text = factory_running_ ? FactoryDoneText(&missing) : Lang(61).toStdString();
  factory_running_ = false;
  prompt_->Info(text, missing == 0 ? PromptIcon::kInformation : PromptIcon::kWarning);
  for (int id : {IDC_DISCOVERY, IDC_CLEAR, IDC_DELETE_ARP, IDC_MULTIPLE_IP, IDC_SYSLOG, IDC_PING_RESPONSE})
    EnableControl(id, true);
  SetOperationState(kStateIdle);
}
