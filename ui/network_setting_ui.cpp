// The network setting panel: the two address-mode radios and the values that
// "Apply" (ApplyUi, apply_ui.cpp) reads.
#include <QLineEdit>
#include <QRadioButton>

#include "ui/ip_address_ctrl.h"
#include "ui/network_panel.h"

namespace {
// Language texts of the four address labels, for a message naming the field.
constexpr int kAddressLabelTexts[] = {11, 17, 18, 19};
}  // namespace

NetworkPanel::NetworkPanel(QRadioButton* const radios[3], QLineEdit* mac, CIpAddressCtrl* const addresses[4],
                           Operator* op)
    : mac_(mac), op_(op) {
  for (int i = 0; i < 3; ++i) radios_[i] = radios[i];
  for (int i = 0; i < 4; ++i) addresses_[i] = addresses[i];
}

void NetworkPanel::Show(const DeviceRecord& rec, const QString& mac_cell) {
  const int type = rec.network_type == 0 ? 1 : rec.network_type == 1 ? 0 : 2;  // radio index
  for (int i = 0; i < 3; ++i) radios_[i]->setChecked(i == type);
  mac_->setText(mac_cell);
  addresses_[0]->SetAddress(rec.ip);
  addresses_[1]->SetAddress(rec.subnet_mask);
  addresses_[2]->SetAddress(rec.gateway);
  addresses_[3]->SetAddress(rec.dns_server);
}

bool NetworkPanel::Dhcp() const { return radios_[1]->isChecked(); }

bool NetworkPanel::ReadSetting(int32_t* type, uint32_t out[4]) {
  const int32_t network_type = radios_[0]->isChecked() ? 1 : radios_[1]->isChecked() ? 0 : 2;
  *type = network_type;
  for (int i = 0; i < 4; ++i) {
    out[i] = 0;
    if (addresses_[i]->GetAddress(&out[i]) == 0) continue;
    // DHCP carries no addresses, so an unfinished field there does no harm.
    if (network_type == 0) {
      out[i] = 0;
      continue;
    }
    op_->Tell((op_->Lang(kAddressLabelTexts[i]) + QStringLiteral(" is not a complete IPv4 address")).toStdString(),
              PromptIcon::kWarning);
    addresses_[i]->setFocus();
    return false;
  }
  return true;
}
