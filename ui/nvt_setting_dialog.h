#pragma once
// The multiple IP setting dialog: assignment from an IP assignment file or
// as consecutive addresses from a start address, with the administrator
// credentials. One object lives with the main window and is reused, so its
// members keep their values between showings.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "config/settings.h"

class Prompt;
class CIpAddressCtrl;

// Controls of the dialog.
enum : int {
  IDC_NVT_NETWORK_GROUP = 1049,
  IDC_NVT_FILE_MODE = 1034,
  IDC_NVT_RANGE_MODE = 1035,
  IDC_NVT_FILE_PATH = 1044,
  IDC_NVT_SELECT_FILE = 1045,
  IDC_NVT_VIEW_FILE = 1047,
  IDC_NVT_VALUES_GROUP = 1050,
  IDC_NVT_STATIC = 1037,
  IDC_NVT_DHCP = 1038,
  IDC_NVT_START_LABEL = 1051,
  IDC_NVT_START_IP = 1039,
  IDC_NVT_MASK_LABEL = 1052,
  IDC_NVT_MASK = 1041,
  IDC_NVT_GATEWAY_LABEL = 1053,
  IDC_NVT_GATEWAY = 1042,
  IDC_NVT_DNS_LABEL = 1054,
  IDC_NVT_DNS = 1043,
  IDC_NVT_AUTH_GROUP = 1071,
  IDC_NVT_ID_LABEL = 1055,
  IDC_NVT_ID = 1072,
  IDC_NVT_PASSWORD_LABEL = 1056,
  IDC_NVT_PASSWORD = 1073,
  IDC_NVT_OK = 1,
  IDC_NVT_CANCEL = 2,
};

// "에러 : 설정할 IP가 0.0.0.0으로 지정되어 있습니다."
extern const char kNvtZeroAddressText[];

class CNVTSettingDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CNVTSettingDlg(Prompt* prompt, QWidget* parent = nullptr);

  // One showing: the initialisation, then the modal loop (through
  // modal_runner, which tests replace). QDialog::Accepted or Rejected.
  int Show();
  // The initialisation of a showing (settings loaded, controls filled).
  void InitDialog();
  // A command by control identifier.
  void OnCommand(int id);
  QWidget* Control(int id) const;
  // Cancel, Esc and closing: the settings file is rewritten as loaded.
  void reject() override;
  // Number of ticked devices, for the range check of OK.
  void SetTickedCount(int32_t n) { ticked_count_ = n; }

  // Read by the main window after OK.
  int32_t assignment_mode_ = 0;
  int32_t static_flag_ = 1;
  std::string file_path_;  // kept between showings
  uint8_t start_ip_[4] = {};
  uint8_t subnet_mask_[4] = {};
  uint8_t gateway_[4] = {};
  uint8_t dns_server_[4] = {};
  CNVTSettings settings_;

  // Replaceable for tests: the modal loop, the file chooser (empty: none
  // chosen) and the viewer.
  std::function<int(CNVTSettingDlg*)> modal_runner;
  std::function<std::string(CNVTSettingDlg*)> choose_file;
  std::function<void(const std::string& path, QWidget* parent)> show_viewer;

 private:
  void ModeSwitch(int32_t mode);
  void OnOk();
  void OnCancel();
  void OnSelectFile();
  void OnViewFile();
  bool Checked(int id) const;
  void Refuse(const std::string& text, int focus_id);

  Prompt* prompt_;
  int32_t ticked_count_ = 0;
  CNVTSettings loaded_;
  std::map<int, QWidget*> controls_;
};
