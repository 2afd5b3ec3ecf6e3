// The window's part of the firmware update: choosing the image, starting the
// run after the panel's checks, and the end of a run that did not update
// every device.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>

#include "engine/update/update_run.h"
#include "ui/backend.h"
#include "ui/main_window.h"
#include "ui/prompt.h"

namespace {
std::string Bytes(const char* text, size_t max) { return std::string(text, strnlen(text, max)); }
uint32_t Address(const uint8_t o[4]) { return IpFromOctets(o[0], o[1], o[2], o[3]); }
}  // namespace

std::string QtPrompt::ChooseFile() {
  QFileDialog dialog(parent_, QString(), QString(), QString::fromUtf8("모든 파일 (*.*)"));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setOption(QFileDialog::ReadOnly, false);
  dialog.setDefaultSuffix(QString());
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? std::string() : files.front().toStdString();
}

void CDravenkitDlg::OnSelectFirmwareFile() {
  const std::string path = prompt_->ChooseFile();
  if (path.empty()) return;
  firmware_path_ = path;
  SetText(IDC_FILE_PATH, QString::fromStdString(firmware_path_));
}

UpdateConfig CDravenkitDlg::UpdateConfigFromPanel() const {
  UpdateConfig cfg;
  cfg.ip_setting = static_cast<QCheckBox*>(Control(IDC_IP_SETTING_CHECK))->isChecked();
  cfg.factory_after = static_cast<QCheckBox*>(Control(IDC_FACTORY_AFTER_CHECK))->isChecked();
  cfg.type_index = static_cast<QComboBox*>(Control(IDC_TYPE))->currentIndex();
  cfg.before_id = static_cast<QLineEdit*>(Control(IDC_USER_ID))->text().toStdString().substr(0, 63);
  cfg.before_password = static_cast<QLineEdit*>(Control(IDC_PASSWORD))->text().toStdString().substr(0, 63);
  cfg.expected_version = static_cast<QLineEdit*>(Control(IDC_VERSION))->text().toStdString().substr(0, 255);
  cfg.firmware_path = firmware_path_;
  cfg.after_id = Bytes(settings_.UPDATE_AFTER_ID, sizeof settings_.UPDATE_AFTER_ID).substr(0, 63);
  cfg.after_password = Bytes(settings_.UPDATE_AFTER_PASSWORD, sizeof settings_.UPDATE_AFTER_PASSWORD).substr(0, 63);
  cfg.xflag = settings_.UPDATE_XFLAG;
  cfg.start_ip = Address(settings_.IP_SETTING_START_IP);
  cfg.subnet_mask = Address(settings_.IP_SETTING_SUBNETMASK);
  cfg.gateway = Address(settings_.IP_SETTING_GATEWAY);
  cfg.dns_server = Address(settings_.IP_SETTING_DEFAULT_DNS);
  for (int32_t key = 0; key < selection_list_.Count(); ++key)
    if (const DeviceTableEntry* e = selection_list_.FindByKey(key)) cfg.devices.push_back(e->record);
  return cfg;
}

void CDravenkitDlg::OnUpdateStart() {
  if (!PanelRunMayStart()) return;
  if (firmware_path_.empty()) {
    prompt_->Info(Lang(56).toStdString(), PromptIcon::kWarning);
    return;
  }
  // An empty version, or credentials the address step would send cut.
  const UpdateRefusal refusal = CheckUpdateConfig(UpdateConfigFromPanel());
  if (refusal.field != UpdateField::kNone) {
    prompt_->Info(refusal.text, PromptIcon::kWarning);
    const int focus = refusal.field == UpdateField::kVersion ? IDC_VERSION
                      : refusal.field == UpdateField::kId    ? IDC_USER_ID
                                                             : IDC_PASSWORD;
    Control(focus)->setFocus();
    return;
  }
  if (!prompt_->Question(Lang(50).toStdString())) return;
  if (!backend_->StartUpdate(UpdateConfigFromPanel(), this)) {
    prompt_->Info("Error, internal", PromptIcon::kError);
    return;
  }
  run_failed_ = false;
  SetOperationState(kStateUpdateRun);
  StorePanelIntoSettings();
}

void CDravenkitDlg::OnUpdateRunEnded(const WorkerMessage& msg) {
  if (msg.wparam == 0) {
    OnUpdateDone();
    return;
  }
  // Not every device was updated: the rows show which; the window stays in
  // the run's state until Cancel, which is now accepted.
  if (msg.wparam == kUpdateDoneFault) {
    const auto* text = std::get_if<std::string>(&msg.payload);
    prompt_->Info(text ? *text : std::string(kUpdateThreadFaultText), PromptIcon::kError);
  }
  if (state_ == kStateUpdateRun) run_failed_ = true;
}
