// The window's part of the multiple IP setting: the button, the plan and the
// confirmation, the results of the run and the verification.
#include "ui/multiple_ip_ui.h"

#include <QDialog>
#include <cstring>
#include <string>
#include <vector>

#include "engine/ops/set_network.h"
#include "ui/backend.h"
#include "ui/colours.h"
#include "ui/main_window.h"
#include "ui/nvt_setting_dialog.h"
#include "ui/prompt.h"

namespace {


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

void MultipleIpUi::Reset() {
  verify_list_.Clear();
  pending_count_ = 0;
}

void MultipleIpUi::OnMultipleIpSetting() {
  const int32_t state = host_->State();
  if (state != kStateIdle && state != kStateSyslog) return;
  const int rows = host_->ListRows();
  NvtSettingParam p;
  const std::vector<DeviceRecord> listed = host_->ListedRecords(false);
  p.devices = host_->ListedRecords(true);
  for (int r = 0; r < rows; ++r) {
    if (host_->Ticked(r)) continue;
    host_->SetCellColours(r, kColIp, kBlack, kWhite);
    host_->SetStatus(r, QString(), kBlack, kWhite);
  }
  host_->Claim(ActiveOp::kMultipleIp, RunPhase::kAsking);
  auto give_back = [this] { host_->Claim(ActiveOp::kNone, RunPhase::kNone); };
  if (rows == 0 || p.devices.empty()) {
    host_->Tell(host_->Lang(28).toStdString(), PromptIcon::kInformation);
    give_back();
    return;
  }
  CNVTSettingDlg* dlg = host_->NvtDialog();
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
  if (!host_->Prompts()->QuestionWithDetails(host_->Lang(49).toStdString(), details)) {
    give_back();
    return;
  }
  // The run uses the credentials the dialog has just saved.
  CNVTSettings& settings = host_->SettingsStore();
  settings.Load();
  p.admin_id.assign(settings.IP_SETTING_ID, strnlen(settings.IP_SETTING_ID, sizeof settings.IP_SETTING_ID));
  p.admin_password.assign(settings.IP_SETTING_PASSWORD,
                          strnlen(settings.IP_SETTING_PASSWORD, sizeof settings.IP_SETTING_PASSWORD));
  p.ip_setting_xflag = settings.IP_SETTING_XFLAG;
  p.timings = timings_;
  run_rows_.clear();
  host_->StopScan();  // a scan still finishing holds the TALQ port the requests go out on
  Reset();
  if (!host_->Engine()->StartNvtSetting(std::move(p), host_->Sink())) {
    give_back();
    return;
  }
  host_->Started(ActiveOp::kMultipleIp, RunPhase::kSending, kStateMultipleIp);
}

void MultipleIpUi::OnIpSettingResult(const WorkerMessage& msg) {
  const auto* rec = std::get_if<DeviceRecord>(&msg.payload);
  if (!rec || host_->State() != kStateMultipleIp) return;
  const int row = host_->Rows().FindKeyByMac(*rec);
  if (DeviceTableEntry* e = host_->RowEntry(row)) {
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
    host_->SetStatus(row, QString::fromLatin1(FailureText(msg.wparam)), kWhite, kRed);
  }
  if (row >= 0) run_rows_.insert(row);
  if (row >= 0 && row == host_->SelectedKey()) host_->ShowRowRecord(row);  // the panel shows the setting sent
}

void MultipleIpUi::OnNvtSettingDone(const WorkerMessage& msg) {
  if (msg.wparam == kNvtSettingFault) {
    const auto* text = std::get_if<std::string>(&msg.payload);
    host_->Tell(text ? *text : std::string(kNvtSettingFaultText), PromptIcon::kError);
  }
  if (host_->State() != kStateMultipleIp) return;
  if (pending_count_ <= 0) {
    // Nobody accepted: nothing would ever end the verification.
    host_->Ended(kStateIdle);
    return;
  }
  OnIpCheckStart();
}

void MultipleIpUi::OnIpCheckStart() {
  host_->PhaseChanged(RunPhase::kVerifying);
  for (const auto& e : verify_list_) {
    const int row = host_->Rows().FindKeyByMac(e->record);
    if (row >= 0) host_->SetStatus(row, host_->Lang(42), kBlack, kYellow);
  }
  if (host_->StartScan()) host_->ArmTimer0(host_->RescanMs());
}

void MultipleIpUi::OnDeviceFound(const DeviceRecord& rec) {
  DeviceTableEntry* entry = nullptr;
  for (const auto& e : verify_list_) {
    if (NvtVerificationMatches(e->record, rec)) {  // not while it still answers from its old setting
      entry = e.get();
      break;
    }
  }
  if (!entry) return;
  const int m = host_->Rows().FindKeyByMac(rec);
  if (m >= 0) host_->ShowMovedRecord(m, rec, run_rows_);
  std::memset(entry->record.mac, 0, 6);
  --pending_count_;
  if (pending_count_ <= 0) {
    host_->Ended(kStateIdle);
    host_->PaintSelectedIpCell(m);
  }
}
