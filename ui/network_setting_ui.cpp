// The network setting panel's commands: the two address-mode radios and
// "Apply", which sends the panel's values to the selected device by MAC and
// hands the device to the verification scans once it has accepted them.
#include <QRadioButton>
#include <string>

#include "config/language.h"
#include "engine/ops/set_network.h"
#include "ui/authentication_dialog.h"
#include "ui/backend.h"
#include "ui/cell_list.h"
#include "ui/main_window.h"
#include "ui/prompt.h"

namespace {

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);

constexpr int kAddressControls[] = {IDC_IPADDRESS, IDC_SUBNETMASK, IDC_GATEWAY, IDC_DNS};
// Language texts of the four address labels, for a message naming the field.
constexpr int kAddressLabelTexts[] = {11, 17, 18, 19};

}  // namespace

// The command table reads the radios: DHCP disables the four address controls.
void CDravenkitDlg::OnStaticIp() { RefreshCommands(); }
void CDravenkitDlg::OnDhcp() { RefreshCommands(); }

int32_t CDravenkitDlg::PanelNetworkType() const {
  if (static_cast<QRadioButton*>(Control(IDC_STATIC_IP))->isChecked()) return 1;
  if (static_cast<QRadioButton*>(Control(IDC_DHCP))->isChecked()) return 0;
  return 2;
}

bool CDravenkitDlg::ReadPanelAddresses(int32_t network_type, uint32_t out[4]) {
  for (int i = 0; i < 4; ++i) {
    out[i] = 0;
    if (static_cast<CIpAddressCtrl*>(Control(kAddressControls[i]))->GetAddress(&out[i]) == 0) continue;
    // DHCP carries no addresses, so an unfinished field there does no harm.
    if (network_type == 0) {
      out[i] = 0;
      continue;
    }
    prompt_->Info((Lang(kAddressLabelTexts[i]) + QStringLiteral(" is not a complete IPv4 address")).toStdString(),
                  PromptIcon::kWarning);
    Control(kAddressControls[i])->setFocus();
    return false;
  }
  return true;
}

int CDravenkitDlg::RunAuthentication(Authentication* dlg) {
  return options_.run_authentication ? options_.run_authentication(*dlg) : dlg->exec();
}

void CDravenkitDlg::OnApply() {
  if (state_ != kStateIdle && state_ != kStateSyslog) return;
  if (phase_ == RunPhase::kAsking || selected_row_ < 0 || !selected_record_) return;
  op_ = ActiveOp::kApply;
  phase_ = RunPhase::kAsking;
  const int target = selected_row_;
  const DeviceRecord rec = *selected_record_;
  const int rows = list_->GetItemCount();
  for (int r = 0; r < rows; ++r) {
    if (r == target) continue;
    list_->SetItemColours(r, kColIp, kBlack, kWhite);
    SetStatus(r, QString(), kBlack, kWhite);
  }
  RefreshCommands();
  if (!ApplyToDevice(target, rec)) {
    op_ = ActiveOp::kNone;
    phase_ = RunPhase::kNone;
  }
  RefreshCommands();
}

bool CDravenkitDlg::ApplyToDevice(int target, const DeviceRecord& rec) {
  // The addresses are checked before the operator is asked to confirm them.
  const int32_t type = PanelNetworkType();
  uint32_t addr[4];
  if (!ReadPanelAddresses(type, addr)) return false;
  if (!prompt_->Question(Lang(29).toStdString())) return false;
  Authentication auth(this, 0, prompt_);
  if (RunAuthentication(&auth) != QDialog::Accepted) return false;

  SetNetworkRequest req;
  const std::string id = auth.Id(), password = auth.Password();
  if (FillSetNetworkRequest(rec, type, id.c_str(), password.c_str(), addr[0], addr[1], addr[2], addr[3], &req) != 0) {
    prompt_->Info(Lang(36).toStdString(), PromptIcon::kError);  // the dialog refuses such texts already
    return false;
  }
  // A verification scan may still hold the port pair for the rest of its
  // window; the request would fail to open it.
  StopScan();
  const int32_t result = backend_->SetNetwork(req, options_.set_network_timings);
  switch (SetNetworkOutcomeOf(result)) {
    case SetNetworkOutcome::kAccepted: break;
    case SetNetworkOutcome::kSendFailed: prompt_->Info(Lang(36).toStdString(), PromptIcon::kError); return false;
    case SetNetworkOutcome::kAuthentication: prompt_->Info(Lang(37).toStdString(), PromptIcon::kError); return false;
    case SetNetworkOutcome::kConfiguration: prompt_->Info(Lang(38).toStdString(), PromptIcon::kError); return false;
    case SetNetworkOutcome::kNoAnswer:
      // Without a mark the operator could not tell a silent device from a press that did nothing.
      SetStatus(target, QString::fromLatin1(kSetNetworkNoAnswerText), kWhite, kRed);
      return false;
  }
  SetStatus(target, Lang(42), kBlack, kYellow);
  SetExpectedMac(rec.mac);
  // Only an answer that shows the new setting ends the verification: a
  // device may still answer from its old address before it moves.
  DeviceRecord sent = rec;
  sent.network_type = static_cast<uint8_t>(type);
  sent.configured_ip = addr[0];
  expected_setting_ = sent;
  expected_setting_known_ = true;
  phase_ = RunPhase::kVerifying;
  SetOperationState(kStateVerifyOne);
  ArmTimer0(0);
  return true;
}
