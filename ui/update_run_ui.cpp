// The update panel and the firmware update: the panel's fields from and into
// the settings, choosing the image, the run's configuration from the panel
// and the settings, its start after the panel's checks, and its end.
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "config/settings.h"
#include "engine/update/update_run.h"
#include "ui/backend.h"
#include "ui/panel_run.h"
#include "ui/settings_save.h"
#include "ui/window_texts.h"

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

// ---------------------------------------------------------------- the panel

bool UpdatePanelUi::OnCommand(int id) {
  if (id == IDC_FIRMWARE_UPDATE) {
    Open();
  } else if (id == IDC_SELECT_FILE) {
    const std::string path = operator_->Prompts()->ChooseFile();
    if (path.empty()) return true;
    firmware_path_ = path;
    fields_->ShowText(IDC_FILE_PATH, QString::fromStdString(firmware_path_));
  } else if (id == IDC_UPDATE_CANCEL) {  // the runs have taken it while one goes on
    OnCancel();
  } else {
    return false;
  }
  return true;
}

void UpdatePanelUi::RefreshCount() {
  const uint8_t* ip = engine_->Settings().IP_SETTING_START_IP;
  char text[96];
  std::snprintf(text, sizeof text, ": %d pc(s) from %d.%d.%d.%d", rows_->CheckedCount(), ip[0], ip[1], ip[2], ip[3]);
  fields_->ShowText(IDC_IP_SETTING_TEXT, QString::fromLatin1(text));
}

void UpdatePanelUi::Open() {
  if (!AcceptsNewOperation(state_->State())) return;
  CNVTSettings& s = engine_->Settings();
  s.Load();
  fields_->ShowText(IDC_USER_ID, FromBytes(s.UPDATE_BEFORE_ID, sizeof s.UPDATE_BEFORE_ID));
  fields_->ShowText(IDC_PASSWORD, FromBytes(s.UPDATE_BEFORE_PASSWORD, sizeof s.UPDATE_BEFORE_PASSWORD));
  fields_->SetChecked(IDC_IP_SETTING_CHECK, s.UPDATE_IP_SETTING_ENABLE == 1);
  fields_->SetChecked(IDC_FACTORY_AFTER_CHECK, s.UPDATE_FACTORYDEFAULT_ENABLE == 1);
  RefreshCount();
  fields_->SetChoice(IDC_TYPE, s.UPDATE_PROJECT_CODE);
  firmware_path_.assign(s.UPDATE_FILENAME, strnlen(s.UPDATE_FILENAME, sizeof s.UPDATE_FILENAME));
  fields_->ShowText(IDC_FILE_PATH, QString::fromStdString(firmware_path_));
  fields_->ShowText(IDC_VERSION, FromBytes(s.UPDATE_FIRMWARE_VERSION, sizeof s.UPDATE_FIRMWARE_VERSION));
  state_->Started(ActiveOp::kNone, RunPhase::kNone, kStateUpdatePanel);
}

void UpdatePanelUi::StoreIntoSettings() {
  CNVTSettings& s = engine_->Settings();
  CopyText(fields_->TextOf(IDC_USER_ID), s.UPDATE_BEFORE_ID, sizeof s.UPDATE_BEFORE_ID);
  CopyText(fields_->TextOf(IDC_PASSWORD), s.UPDATE_BEFORE_PASSWORD, sizeof s.UPDATE_BEFORE_PASSWORD);
  s.UPDATE_IP_SETTING_ENABLE = fields_->Checked(IDC_IP_SETTING_CHECK) ? 1 : 0;
  s.UPDATE_FACTORYDEFAULT_ENABLE = fields_->Checked(IDC_FACTORY_AFTER_CHECK) ? 1 : 0;
  s.UPDATE_PROJECT_CODE = fields_->Choice(IDC_TYPE);
  CopyText(QString::fromStdString(firmware_path_), s.UPDATE_FILENAME, sizeof s.UPDATE_FILENAME);
  CopyText(fields_->TextOf(IDC_VERSION), s.UPDATE_FIRMWARE_VERSION, sizeof s.UPDATE_FIRMWARE_VERSION);
  SaveSettingsOrTell(s, *operator_->Prompts());
}

void UpdatePanelUi::OnCancel() {
  if (state_->State() == kStateUpdateRun && state_->Phase() != RunPhase::kEnded) {  // a run this window did not start
    operator_->Tell(operator_->Lang(57).toStdString(), PromptIcon::kInformation);
    return;
  }
  Close();
}

void UpdatePanelUi::Close() {
  StoreIntoSettings();
  state_->Ended(kStateIdle);
}

// ---------------------------------------------------------------- firmware update

UpdateConfig UpdateRunUi::ConfigFromPanel() const {
  const CNVTSettings& s = r_.engine->Settings();
  UpdateConfig cfg;
  cfg.ip_setting = r_.fields->Checked(IDC_IP_SETTING_CHECK);
  cfg.factory_after = r_.fields->Checked(IDC_FACTORY_AFTER_CHECK);
  cfg.type_index = r_.fields->Choice(IDC_TYPE);
  cfg.before_id = r_.fields->TextOf(IDC_USER_ID).toStdString().substr(0, 63);
  cfg.before_password = r_.fields->TextOf(IDC_PASSWORD).toStdString().substr(0, 63);
  cfg.expected_version = r_.fields->TextOf(IDC_VERSION).toStdString().substr(0, 255);
  cfg.firmware_path = r_.panel->FirmwarePath();
  cfg.after_id = Bytes(s.UPDATE_AFTER_ID, sizeof s.UPDATE_AFTER_ID).substr(0, 63);
  cfg.after_password = Bytes(s.UPDATE_AFTER_PASSWORD, sizeof s.UPDATE_AFTER_PASSWORD).substr(0, 63);
  cfg.xflag = s.UPDATE_XFLAG;
  cfg.start_ip = Address(s.IP_SETTING_START_IP);
  cfg.subnet_mask = Address(s.IP_SETTING_SUBNETMASK);
  cfg.gateway = Address(s.IP_SETTING_GATEWAY);
  cfg.dns_server = Address(s.IP_SETTING_DEFAULT_DNS);
  for (int32_t key = 0; key < r_.selection->Count(); ++key)
    if (const DeviceTableEntry* e = r_.selection->FindByKey(key)) cfg.devices.push_back(e->record);
  return cfg;
}

void UpdateRunUi::OnStart() {
  if (!MayStart()) return;
  if (r_.panel->FirmwarePath().empty()) {
    r_.op->Tell(r_.op->Lang(56).toStdString(), PromptIcon::kWarning);
    return;
  }
  // An empty version, or credentials the address step would send cut.
  const UpdateRefusal refusal = CheckUpdateConfig(ConfigFromPanel());
  if (refusal.field != UpdateField::kNone) {
    r_.op->Tell(refusal.text, PromptIcon::kWarning);
    r_.fields->Focus(refusal.field == UpdateField::kVersion ? IDC_VERSION
                     : refusal.field == UpdateField::kId    ? IDC_USER_ID
                                                            : IDC_PASSWORD);
    return;
  }
  if (!r_.op->Ask(r_.op->Lang(50).toStdString())) return;
  const UpdateConfig cfg = ConfigFromPanel();
  Start([&](MessageSink* sink) { return r_.engine->Engine()->StartUpdate(cfg, sink); });
}

bool UpdateRunUi::OnMessage(const WorkerMessage& msg) {
  if (msg.id == UM_UPDATE_STATUS) {
    if (const auto* r = std::get_if<StatusReport>(&msg.payload))
      OnStatus(r->mac, r->status, std::string(r->text, strnlen(r->text, sizeof r->text)));
  } else if (msg.id == UM_UPDATE_DONE) {
    OnDone(msg);
  } else {
    return false;
  }
  return true;
}

void UpdateRunUi::OnDone(const WorkerMessage& msg) {
  // A stopped run's late end, or one of another run, changes nothing; a run
  // set up by hand (state 5 with no operation) is taken as this one.
  if (state_->State() != kStateUpdateRun || state_->Active() == ActiveOp::kFactory) return;
  if (msg.wparam == 0) {
    r_.op->Tell(r_.op->Lang(58).toStdString(), PromptIcon::kInformation);
    state_->Ended(kStateIdle);
    return;
  }
  // Not every device was updated: the rows show which; the window stays in
  // the run's state until Cancel, which is now accepted.
  if (msg.wparam == kUpdateDoneFault) r_.op->Tell(FaultTextOr(msg, kUpdateThreadFaultText), PromptIcon::kError);
  state_->PhaseChanged(RunPhase::kEnded);
  r_.op->Tell(std::string(kUpdateFailedText) + "\n\n" + Tally(), PromptIcon::kWarning);
}

void UpdateRunUi::StopRun() { r_.engine->Engine()->StopUpdate(); }
const char* UpdateRunUi::StopQuestion() const { return kStopUpdateQuestion; }
const char* UpdateRunUi::StoppedText() const { return kUpdateStoppedText; }
