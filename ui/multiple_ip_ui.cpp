// The window's part of the multiple IP setting: the button, the plan and the
// confirmation, the results of the run and the verification.
#include "ui/multiple_ip_ui.h"

#include <QDialog>
#include <cstring>
#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/ops/set_network.h"
#include "ui/backend.h"
#include "ui/colours.h"
#include "ui/nvt_setting_dialog.h"

namespace {

uint32_t Octets(const uint8_t o[4]) { return IpFromOctets(o[0], o[1], o[2], o[3]); }

const char* FailureText(int32_t result) {
  if (result == 2) return "ip setting error 'authentication'";
  if (result == kSetNetworkNoAnswer) return kSetNetworkNoAnswerText;
  if (result == kNvtInvalidAddress) return kNvtInvalidAddressText;
  return "ip setting error 'unknown'";
}

}  // namespace

MultipleIpUi::MultipleIpUi(StateOwner* state, const RowsView* rows, RowCells* cells, RowRecords* records,
                           Operator* op, EngineAccess* engine, VerificationScans* scans,
                           const NvtSettingTimings& timings)
    : Operation(state, ActiveOp::kMultipleIp, kStateMultipleIp, true),
      rows_(rows),
      cells_(cells),
      records_(records),
      operator_(op),
      engine_(engine),
      scans_(scans),
      timings_(timings) {}

CNVTSettingDlg* MultipleIpUi::Dialog() {
  if (!dialog_) dialog_ = new CNVTSettingDlg(operator_->Prompts(), operator_->Window());
  return dialog_;
}

bool MultipleIpUi::OnCommand(int id) {
  if (id != IDC_MULTIPLE_IP) return false;
  OnMultipleIpSetting();
  return true;
}

bool MultipleIpUi::OnMessage(const WorkerMessage& msg) {
  if (msg.id == UM_IP_SETTING_RESULT) OnIpSettingResult(msg);
  else if (msg.id == UM_IP_CHECK_START) OnNvtSettingDone(msg);
  else return false;
  return true;
}

bool MultipleIpUi::TakesClear() {
  // Every request is out: "Clear" ends the verification; the rows keep their marks.
  if (Phase() == RunPhase::kSending) return true;
  engine_->Engine()->StopNvtSetting();
  scans_->StopScan();
  state_->Ended(kStateIdle);
  return true;
}

void MultipleIpUi::OnIdleAgain(int32_t old_state) {
  if (old_state == kStateMultipleIp) Reset();
}

void MultipleIpUi::Stop() { engine_->Engine()->StopNvtSetting(); }

void MultipleIpUi::Reset() {
  verify_list_.Clear();
  pending_count_ = 0;
}

void MultipleIpUi::OnMultipleIpSetting() {
  if (!AcceptsNewOperation(state_->State())) return;
  const int rows = rows_->ListRows();
  NvtSettingParam p;
  const std::vector<DeviceRecord> listed = rows_->ListedRecords(false);
  p.devices = rows_->ListedRecords(true);
  ClearMarksExcept(cells_, rows, [this](int r) { return rows_->Ticked(r); });
  AskingClaim claim(state_, ActiveOp::kMultipleIp);
  if (rows == 0 || p.devices.empty()) {
    operator_->Tell(operator_->Lang(28).toStdString(), PromptIcon::kInformation);
    return;
  }
  CNVTSettingDlg* dlg = Dialog();
  dlg->SetTickedCount(static_cast<int32_t>(p.devices.size()));
  if (dlg->Show() != QDialog::Accepted || (dlg->assignment_mode_ == 1 && dlg->file_path_.empty())) return;
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
  if (!operator_->Prompts()->QuestionWithDetails(operator_->Lang(49).toStdString(), details)) return;
  // The run uses the credentials the dialog has just saved.
  CNVTSettings& settings = engine_->Settings();
  settings.Load();
  p.admin_id.assign(settings.IP_SETTING_ID, strnlen(settings.IP_SETTING_ID, sizeof settings.IP_SETTING_ID));
  p.admin_password.assign(settings.IP_SETTING_PASSWORD,
                          strnlen(settings.IP_SETTING_PASSWORD, sizeof settings.IP_SETTING_PASSWORD));
  p.ip_setting_xflag = settings.IP_SETTING_XFLAG;
  p.timings = timings_;
  run_rows_.clear();
  scans_->StopScan();  // a scan still finishing holds the TALQ port the requests go out on
  Reset();
  if (!engine_->Engine()->StartNvtSetting(std::move(p), engine_->Sink())) return;
  state_->Started(ActiveOp::kMultipleIp, RunPhase::kSending, kStateMultipleIp);
}

void MultipleIpUi::OnIpSettingResult(const WorkerMessage& msg) {
  const auto* rec = std::get_if<DeviceRecord>(&msg.payload);
  if (!rec || state_->State() != kStateMultipleIp) return;
  const int row = rows_->Rows().FindKeyByMac(*rec);
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
    cells_->SetStatus(row, QString::fromLatin1(FailureText(msg.wparam)), kWhite, kRed);
  }
  if (row < 0) return;
  run_rows_.insert(row);
  records_->AmendSetting(row, *rec);  // the panel shows the setting sent
}

void MultipleIpUi::OnNvtSettingDone(const WorkerMessage& msg) {
  if (msg.wparam == kNvtSettingFault) operator_->Tell(FaultTextOr(msg, kNvtSettingFaultText), PromptIcon::kError);
  if (state_->State() != kStateMultipleIp) return;
  if (pending_count_ <= 0) {
    // Nobody accepted: nothing would ever end the verification.
    state_->Ended(kStateIdle);
    return;
  }
  OnIpCheckStart();
}

void MultipleIpUi::OnIpCheckStart() {
  state_->PhaseChanged(RunPhase::kVerifying);
  for (const auto& e : verify_list_) {
    const int row = rows_->Rows().FindKeyByMac(e->record);
    if (row >= 0) cells_->SetStatus(row, operator_->Lang(42), kBlack, kYellow);
  }
  if (scans_->StartScan()) scans_->ArmTimer0(scans_->RescanMs());
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
  const int m = rows_->Rows().FindKeyByMac(rec);
  if (m >= 0) records_->ShowMovedRecord(m, rec, run_rows_);
  std::memset(entry->record.mac, 0, 6);
  --pending_count_;
  if (pending_count_ <= 0) {
    state_->Ended(kStateIdle);
    records_->PaintSelectedIpCell(m);
  }
}
