// The firmware update on the update panel: choosing the image, the run's
// configuration from the panel and the settings, and the start after the
// panel's checks; the run itself is UpdateRunUi (ui/panel_run.h).
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/update/update_run.h"
#include "ui/backend.h"
#include "ui/main_window.h"
#include "ui/prompt.h"
#include "ui/settings_save.h"

namespace {
QString FromBytes(const char* text, size_t max) { return QString::fromUtf8(text, static_cast<int>(strnlen(text, max))); }

void CopyText(const QString& from, char* to, size_t size) {
  const QByteArray bytes = from.toUtf8();
  const size_t n = std::min(static_cast<size_t>(bytes.size()), size - 1);
  std::memcpy(to, bytes.constData(), n);
  to[n] = 0;
}

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
  const UpdateConfig cfg = UpdateConfigFromPanel();
  if (!update_run_.Start([&](MessageSink* sink) { return backend_->StartUpdate(cfg, sink); })) {
    prompt_->Info("Error, internal", PromptIcon::kError);
    return;
  }
  StorePanelIntoSettings();
}

// ---------------------------------------------------------------- the panel

void CDravenkitDlg::RefreshUpdatePanelCount() {
  const uint8_t* ip = settings_.IP_SETTING_START_IP;
  char text[96];
  std::snprintf(text, sizeof text, ": %d pc(s) from %d.%d.%d.%d", checked_count_, ip[0], ip[1], ip[2], ip[3]);
  SetText(IDC_IP_SETTING_TEXT, QString::fromLatin1(text));
}

void CDravenkitDlg::OnOpenUpdatePanel() {
  if (state_ != kStateIdle && state_ != kStateSyslog) return;
  settings_.Load();
  SetText(IDC_USER_ID, FromBytes(settings_.UPDATE_BEFORE_ID, sizeof settings_.UPDATE_BEFORE_ID));
  SetText(IDC_PASSWORD, FromBytes(settings_.UPDATE_BEFORE_PASSWORD, sizeof settings_.UPDATE_BEFORE_PASSWORD));
  static_cast<QCheckBox*>(Control(IDC_IP_SETTING_CHECK))->setChecked(settings_.UPDATE_IP_SETTING_ENABLE == 1);
  static_cast<QCheckBox*>(Control(IDC_FACTORY_AFTER_CHECK))->setChecked(settings_.UPDATE_FACTORYDEFAULT_ENABLE == 1);
  RefreshUpdatePanelCount();
  auto* type = static_cast<QComboBox*>(Control(IDC_TYPE));
  const int code = settings_.UPDATE_PROJECT_CODE;
  type->setCurrentIndex(code >= 0 && code < type->count() ? code : -1);
  firmware_path_.assign(settings_.UPDATE_FILENAME, strnlen(settings_.UPDATE_FILENAME, sizeof settings_.UPDATE_FILENAME));
  SetText(IDC_FILE_PATH, QString::fromStdString(firmware_path_));
  SetText(IDC_VERSION, FromBytes(settings_.UPDATE_FIRMWARE_VERSION, sizeof settings_.UPDATE_FIRMWARE_VERSION));
  SetOperationState(kStateUpdatePanel);
}

void CDravenkitDlg::StorePanelIntoSettings() {
  CopyText(static_cast<QLineEdit*>(Control(IDC_USER_ID))->text(), settings_.UPDATE_BEFORE_ID,
           sizeof settings_.UPDATE_BEFORE_ID);
  CopyText(static_cast<QLineEdit*>(Control(IDC_PASSWORD))->text(), settings_.UPDATE_BEFORE_PASSWORD,
           sizeof settings_.UPDATE_BEFORE_PASSWORD);
  settings_.UPDATE_IP_SETTING_ENABLE = static_cast<QCheckBox*>(Control(IDC_IP_SETTING_CHECK))->isChecked() ? 1 : 0;
  settings_.UPDATE_FACTORYDEFAULT_ENABLE =
      static_cast<QCheckBox*>(Control(IDC_FACTORY_AFTER_CHECK))->isChecked() ? 1 : 0;
  settings_.UPDATE_PROJECT_CODE = static_cast<QComboBox*>(Control(IDC_TYPE))->currentIndex();
  CopyText(QString::fromStdString(firmware_path_), settings_.UPDATE_FILENAME, sizeof settings_.UPDATE_FILENAME);
  CopyText(static_cast<QLineEdit*>(Control(IDC_VERSION))->text(), settings_.UPDATE_FIRMWARE_VERSION,
           sizeof settings_.UPDATE_FIRMWARE_VERSION);
  SaveSettingsOrTell(settings_, *prompt_);
}

void CDravenkitDlg::OnUpdateCancel() {
  PanelRun* run = update_run_.Running() ? static_cast<PanelRun*>(&update_run_)
                  : factory_run_.Running() ? static_cast<PanelRun*>(&factory_run_)
                                           : nullptr;
  if (run) {
    if (run->AskToStop()) StorePanelIntoSettings();
    return;
  }
  if (state_ == kStateUpdateRun && phase_ != RunPhase::kEnded) {  // a run this window did not start
    prompt_->Info(Lang(57).toStdString(), PromptIcon::kInformation);
    return;
  }
  StorePanelIntoSettings();
  SetOperationState(kStateIdle);
}
