// "Apply": the panel's setting sent to the selected device by MAC; once the
// device has accepted it, the verification scans wait for its new record.
#include "ui/apply_ui.h"

#include <QDialog>
#include <cstring>
#include <string>

#include "engine/ops/multiple_ip.h"
#include "ui/authentication_dialog.h"
#include "ui/backend.h"
#include "ui/colours.h"
#include "ui/main_window.h"

void ApplyUi::OnApply() {
  const int32_t state = host_->State();
  if (state != kStateIdle && state != kStateSyslog) return;
  const std::optional<DeviceRecord>& selected = host_->Selected();
  if (host_->Phase() == RunPhase::kAsking || host_->SelectedKey() < 0 || !selected) return;
  const int target = host_->SelectedKey();
  const DeviceRecord rec = *selected;
  host_->Claim(ActiveOp::kApply, RunPhase::kAsking);
  for (int r = 0, rows = host_->ListRows(); r < rows; ++r) {
    if (r == target) continue;
    host_->SetCellColours(r, kColIp, kBlack, kWhite);
    host_->SetStatus(r, QString(), kBlack, kWhite);
  }
  if (!ApplyToDevice(target, rec)) host_->Claim(ActiveOp::kNone, RunPhase::kNone);
}

bool ApplyUi::ApplyToDevice(int target, const DeviceRecord& rec) {
  // The addresses are checked before the operator is asked to confirm them.
  int32_t type = 0;
  uint32_t addr[4];
  if (!host_->ReadPanelSetting(&type, addr)) return false;
  if (!host_->Ask(host_->Lang(29).toStdString())) return false;
  Authentication auth(host_->Window(), 0, host_->Prompts());
  if ((run_authentication_ ? run_authentication_(auth) : auth.exec()) != QDialog::Accepted) return false;

  SetNetworkRequest req;
  const std::string id = auth.Id(), password = auth.Password();
  if (FillSetNetworkRequest(rec, type, id.c_str(), password.c_str(), addr[0], addr[1], addr[2], addr[3], &req) != 0) {
    host_->Tell(host_->Lang(36).toStdString(), PromptIcon::kError);  // the dialog refuses such texts already
    return false;
  }
  // A verification scan may still hold the port pair for the rest of its
  // window; the request would fail to open it.
  host_->StopScan();
  const int32_t result = host_->Engine()->SetNetwork(req, timings_);
  switch (SetNetworkOutcomeOf(result)) {
    case SetNetworkOutcome::kAccepted: break;
    case SetNetworkOutcome::kSendFailed: host_->Tell(host_->Lang(36).toStdString(), PromptIcon::kError); return false;
    case SetNetworkOutcome::kAuthentication: host_->Tell(host_->Lang(37).toStdString(), PromptIcon::kError); return false;
    case SetNetworkOutcome::kConfiguration: host_->Tell(host_->Lang(38).toStdString(), PromptIcon::kError); return false;
    case SetNetworkOutcome::kNoAnswer:
      // Without a mark the operator could not tell a silent device from a press that did nothing.
      host_->SetStatus(target, QString::fromLatin1(kSetNetworkNoAnswerText), kWhite, kRed);
      return false;
  }
  host_->SetStatus(target, host_->Lang(42), kBlack, kYellow);
  SetExpectedMac(rec.mac);
  // Only an answer that shows the new setting ends the verification: a
  // device may still answer from its old address before it moves.
  DeviceRecord sent = rec;
  sent.network_type = static_cast<uint8_t>(type);
  sent.configured_ip = addr[0];
  expected_setting_ = sent;
  expected_setting_known_ = true;
  host_->Started(ActiveOp::kApply, RunPhase::kVerifying, kStateVerifyOne);
  host_->ArmTimer0(0);
  return true;
}

void ApplyUi::SetExpectedMac(const uint8_t mac[6]) {
  std::memcpy(expected_mac_, mac, 6);
  expected_setting_known_ = false;
}

void ApplyUi::OnDeviceFound(const DeviceRecord& rec) {
  if (std::memcmp(rec.mac, expected_mac_, 6) != 0) return;
  if (expected_setting_known_ && !NvtVerificationMatches(expected_setting_, rec)) return;  // not moved yet
  const int m = host_->Rows().FindKeyByMac(rec);
  if (m < 0) return;
  host_->ShowVerifiedRecord(m, rec);
  host_->KillTimer0();
  host_->Engine()->StopPing();
  host_->Ended(kStateIdle);
}
