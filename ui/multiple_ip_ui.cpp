// The window's part of the multiple IP setting: the button, the plan and the
// confirmation, the results of the run and the start of the verification.
#include <QDialog>
#include <cstring>
#include <string>
#include <vector>

#include "config/language.h"
#include "engine/ops/multiple_ip.h"
#include "engine/ops/set_network.h"
#include "ui/backend.h"
#include "ui/cell_list.h"
#include "ui/main_window.h"
#include "ui/nvt_setting_dialog.h"
#include "ui/prompt.h"

namespace {

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);

uint32_t Octets(const uint8_t o[4]) { return IpFromOctets(o[0], o[1], o[2], o[3]); }

const char* FailureText(int32_t result) {
  if (result == 2) return "ip setting error 'authentication'";
  if (result == kSetNetworkNoAnswer) return kSetNetworkNoAnswerText;
  if (result == kNvtInvalidAddress) return kNvtInvalidAddressText;
  return "ip setting error 'unknown'";
}

}  // namespace

CNVTSettingDlg* CDravenkitDlg::NvtDialog() {
  if (!nvt_dialog_) nvt_dialog_ = new CNVTSettingDlg(prompt_, this);
  return nvt_dialog_;
}

void CDravenkitDlg::OnMultipleIpSetting() {
  if (state_ != kStateIdle && state_ != kStateSyslog) return;
  const int rows = list_->GetItemCount();
  NvtSettingParam p;
  std::vector<DeviceRecord> listed;
  for (int r = 0; r < rows; ++r) {
    const DeviceTableEntry* e = devices_.FindByKey(r);
    if (e) listed.push_back(e->record);
    if (list_->GetCheckbox(r, kColNo) == 1) {
      if (e) p.devices.push_back(e->record);
      continue;
    }
    list_->SetItemColours(r, kColIp, kBlack, kWhite);
    SetStatus(r, QString(), kBlack, kWhite);
  }
  op_ = ActiveOp::kMultipleIp;
  phase_ = RunPhase::kAsking;
  RefreshCommands();
  auto give_back = [this] {
    op_ = ActiveOp::kNone;
    phase_ = RunPhase::kNone;
    RefreshCommands();
  };
  if (rows == 0 || p.devices.empty()) {
    prompt_->Info(Lang(28).toStdString(), PromptIcon::kInformation);
    give_back();
    return;
  }
  CNVTSettingDlg* dlg = NvtDialog();
  dlg->SetTickedCount(static_cast<int32_t>(p.devices.size()));
  if (dlg->Show() != QDialog::Accepted || (dlg->assignment_mode_ == 1 && dlg->file_path_.empty())) {
    give_back();
    return;
  }
  p.assignment_mode = dlg->assignment_mode_;
  p.static_flag = dlg->static_flag_;
  p.file_path = dlg->file_path_;
  p.start_ip = Octets(dlg->start_ip_);
  p.subnet_mask = Octets(dlg->subnet_mask_);
  p.gateway = Octets(dlg->gateway_);
  p.dns_server = Octets(dlg->dns_server_);
  std::vector<NvtPlanItem> plan;
  std::string details;
  if (BuildNvtSettingPlan(p, listed, &plan) < 0 && p.assignment_mode == 1)
    details = "The file " + p.file_path + " cannot be opened: no device gets a request.\n";
  details += NvtPlanText(plan);
  if (!prompt_->QuestionWithDetails(Lang(49).toStdString(), details)) {
    give_back();
    return;
  }
  // The run uses the credentials the dialog has just saved.
  settings_.Load();
  p.admin_id.assign(settings_.IP_SETTING_ID, strnlen(settings_.IP_SETTING_ID, sizeof settings_.IP_SETTING_ID));
  p.admin_password.assign(settings_.IP_SETTING_PASSWORD,
                          strnlen(settings_.IP_SETTING_PASSWORD, sizeof settings_.IP_SETTING_PASSWORD));
  p.ip_setting_xflag = settings_.IP_SETTING_XFLAG;
  p.timings = options_.nvt_timings;
  nvt_run_rows_.clear();
  StopScan();  // a scan still finishing holds the TALQ port the requests go out on
  verify_list_.Clear();
  pending_count_ = 0;
  if (!backend_->StartNvtSetting(std::move(p), post_box_.get())) {
    give_back();
    return;
  }
  phase_ = RunPhase::kSending;
  SetOperationState(kStateMultipleIp);
}

void CDravenkitDlg::OnIpSettingResult(const WorkerMessage& msg) {
  const auto* rec = std::get_if<DeviceRecord>(&msg.payload);
  if (!rec || state_ != kStateMultipleIp) return;
  const int row = devices_.FindKeyByMac(*rec);
  if (DeviceTableEntry* e = devices_.FindByKey(row)) {
    e->record.network_type = rec->network_type;
    e->record.configured_ip = rec->configured_ip;
    e->record.subnet_mask = rec->subnet_mask;
    e->record.gateway = rec->gateway;
    e->record.dns_server = rec->dns_server;
  }
  if (msg.wparam == 0) {
    // A device that the file names twice is awaited only at the last address it accepted.
    DeviceTableEntry* earlier = nullptr;
    for (const auto& e : verify_list_)
      if (std::memcmp(e->record.mac, rec->mac, 6) == 0) earlier = e.get();
    if (earlier) {
      earlier->record = *rec;
    } else {
      verify_list_.Append(verify_list_.Count(), *rec);
      ++pending_count_;
    }
  } else if (row >= 0) {
    SetStatus(row, QString::fromLatin1(FailureText(msg.wparam)), kWhite, kRed);
  }
  if (row >= 0) nvt_run_rows_.insert(row);
  if (row >= 0 && row == selected_row_) ShowRow(row);  // the panel shows the setting sent
}

void CDravenkitDlg::OnNvtSettingDone(const WorkerMessage& msg) {
  if (msg.wparam == kNvtSettingFault) {
    const auto* text = std::get_if<std::string>(&msg.payload);
    prompt_->Info(text ? *text : std::string(kNvtSettingFaultText), PromptIcon::kError);
  }
  if (state_ != kStateMultipleIp) return;
  if (pending_count_ <= 0) {
    // Nobody accepted: nothing would ever end the verification.
    SetOperationState(kStateIdle);
    return;
  }
  OnIpCheckStart();
}
