// The network setting panel: the two address-mode radios and the values that
// "Apply" (ApplyUi, apply_ui.cpp) reads.
#include <QRadioButton>

#include "ui/main_window.h"
#include "ui/prompt.h"

namespace {

constexpr int kAddressControls[] = {IDC_IPADDRESS, IDC_SUBNETMASK, IDC_GATEWAY, IDC_DNS};
// Language texts of the four address labels, for a message naming the field.
constexpr int kAddressLabelTexts[] = {11, 17, 18, 19};

}  // namespace

// The command table reads the radios: DHCP disables the four address controls.
void CDravenkitDlg::OnStaticIp() { RefreshCommands(); }
void CDravenkitDlg::OnDhcp() { RefreshCommands(); }

bool CDravenkitDlg::ReadPanelSetting(int32_t* type, uint32_t out[4]) {
  const int32_t network_type = static_cast<QRadioButton*>(Control(IDC_STATIC_IP))->isChecked() ? 1
                               : static_cast<QRadioButton*>(Control(IDC_DHCP))->isChecked()    ? 0
                                                                                               : 2;
  *type = network_type;
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
