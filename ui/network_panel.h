#pragma once
// The network setting panel: the address-mode radios and the four addresses,
// showing the selected device's record and read back by "Apply".
#include <QString>

#include "engine/devices/device_record.h"
#include "ui/roles.h"

class CIpAddressCtrl;
class QLineEdit;
class QRadioButton;

class NetworkPanel : public NetworkSettingPanel {
 public:
  // radios: Static IP, DHCP, PPPoE; addresses: IP, subnet mask, gateway, DNS server.
  NetworkPanel(QRadioButton* const radios[3], QLineEdit* mac, CIpAddressCtrl* const addresses[4], Operator* op);
  // A device's record, with the MAC as its row shows it.
  void Show(const DeviceRecord& rec, const QString& mac_cell);
  bool ReadSetting(int32_t* type, uint32_t addr[4]) override;
  bool Dhcp() const;  // the radios show "DHCP"

 private:
  QRadioButton* radios_[3];
  QLineEdit* mac_;
  CIpAddressCtrl* addresses_[4];
  Operator* op_;
};
