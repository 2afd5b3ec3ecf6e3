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

ApplyUi::ApplyUi(StateOwner* state, const RowsView* rows, RowCells* cells, RowRecords* records,
                 NetworkSettingPanel* panel, Operator* op, EngineAccess* engine, VerificationScans* scans,
                 const SetNetworkTimings& timings, std::function<int(Authentication&)> run_authentication)
    : Operation(state, ActiveOp::kApply, kStateVerifyOne, false),
      rows_(rows),
      cells_(cells),
      records_(records),
      panel_(panel),
      operator_(op),
      engine_(engine),
      scans_(scans),
      timings_(timings),
      run_authentication_(std::move(run_authentication)) {}

bool ApplyUi::OnCommand(int id) {
  if (id != IDC_APPLY) return false;
  OnApply();
  return true;
}

void ApplyUi::OnApply() {
  if (!AcceptsNewOperation(state_->State())) return;
  const std::optional<DeviceRecord>& selected = rows_->Selected();
  if (state_->Phase() == RunPhase::kAsking || rows_->SelectedKey() < 0 || !selected) return;
  const int target = rows_->SelectedKey();
  const DeviceRecord rec = *selected;
  AskingClaim claim(state_, ActiveOp::kApply);
  ClearMarksExcept(cells_, rows_->ListRows(), [target](int r) { return r == target; });
  ApplyToDevice(target, rec);
}

void ApplyUi::ApplyToDevice(int target, const DeviceRecord& rec) {
  // The addresses are checked before the operator is asked to confirm them.
  int32_t type = 0;
  uint32_t addr[4];
  if (!panel_->ReadSetting(&type, addr)) return;
  if (!operator_->Ask(operator_->Lang(29).toStdString())) return;
  Authentication auth(operator_->Window(), 0, operator_->Prompts());
  if ((run_authentication_ ? run_authentication_(auth) : auth.exec()) != QDialog::Accepted) return;

  SetNetworkRequest req;
  const std::string id = auth.Id(), password = auth.Password();
  if (FillSetNetworkRequest(rec, type, id.c_str(), password.c_str(), addr[0], addr[1], addr[2], addr[3], &req) != 0) {
    operator_->Tell(operator_->Lang(36).toStdString(), PromptIcon::kError);  // the dialog refuses such texts already
    return;
  }
  // A verification scan may still hold the port pair for the rest of its
  // window; the request would fail to open it.
  scans_->StopScan();
  const int32_t result = engine_->Engine()->SetNetwork(req, timings_);
  int refusal = 0;  // the language text of a refusal
  switch (SetNetworkOutcomeOf(result)) {
    case SetNetworkOutcome::kAccepted: break;
    case SetNetworkOutcome::kSendFailed: refusal = 36; break;
    case SetNetworkOutcome::kAuthentication: refusal = 37; break;
    case SetNetworkOutcome::kConfiguration: refusal = 38; break;
    case SetNetworkOutcome::kNoAnswer:
      // Without a mark the operator could not tell a silent device from a press that did nothing.
      cells_->SetStatus(target, QString::fromLatin1(kSetNetworkNoAnswerText), kWhite, kRed);
      return;
  }
  if (refusal) {
    operator_->Tell(operator_->Lang(refusal).toStdString(), PromptIcon::kError);
    return;
  }
  cells_->SetStatus(target, operator_->Lang(42), kBlack, kYellow);
  SetExpectedMac(rec.mac);
  // Only an answer that shows the new setting ends the verification: a
  // device may still answer from its old address before it moves.
  DeviceRecord sent = rec;
  sent.network_type = static_cast<uint8_t>(type);
  sent.configured_ip = addr[0];
  expected_setting_ = sent;
  expected_setting_known_ = true;
  state_->Started(ActiveOp::kApply, RunPhase::kVerifying, kStateVerifyOne);
  scans_->ArmTimer0(0);
}

void ApplyUi::SetExpectedMac(const uint8_t mac[6]) {
  std::memcpy(expected_mac_, mac, 6);
  expected_setting_known_ = false;
}

void ApplyUi::OnDeviceFound(const DeviceRecord& rec) {
  if (std::memcmp(rec.mac, expected_mac_, 6) != 0) return;
  if (expected_setting_known_ && !NvtVerificationMatches(expected_setting_, rec)) return;  // not moved yet
  const int m = rows_->Rows().FindKeyByMac(rec);
  if (m < 0) return;
  records_->ShowVerifiedRecord(m, rec);
  scans_->KillTimer0();
  engine_->Engine()->StopPing();
  state_->Ended(kStateIdle);
}
