#include "ui/nvt_setting_dialog.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstring>

#include "config/language.h"
#include "engine/devices/device_record.h"
#include "engine/ops/multiple_ip.h"
#include "engine/ops/set_network.h"
#include "ui/db_viewer.h"
#include "ui/app.h"
#include "ui/ip_address_ctrl.h"
#include "ui/prompt.h"

const char kNvtZeroAddressText[] = "에러 : 설정할 IP가 0.0.0.0으로 지정되어 있습니다.";

namespace {

QString Lang(int key) { return QString::fromUtf8(GetLanguageText(key, LanguageDefault(key))); }

QString Field(const char* text, size_t max) { return QString::fromUtf8(text, static_cast<int>(strnlen(text, max))); }

// The text into a settings field; false when it does not fit.
bool StoreText(const QString& text, char* to, size_t size) {
  const QByteArray bytes = text.toUtf8();
  if (static_cast<size_t>(bytes.size()) >= size) return false;
  std::memcpy(to, bytes.constData(), bytes.size());
  to[bytes.size()] = 0;
  return true;
}

// An address control's value; blank parts count as 0, as in the platform control.
void ReadAddress(QWidget* w, uint8_t out[4]) {
  ParseSettingsAddress(static_cast<CIpAddressCtrl*>(w)->text().toLatin1().constData(), out);
}

void WriteAddress(QWidget* w, const uint8_t in[4]) {
  static_cast<CIpAddressCtrl*>(w)->SetAddress(IpFromOctets(in[0], in[1], in[2], in[3]));
}

}  // namespace

CNVTSettingDlg::CNVTSettingDlg(Prompt* prompt, QWidget* parent) : QDialog(parent), prompt_(prompt) {
  setWindowTitle(QStringLiteral("NVT Setting"));
  auto add = [this](int id, QWidget* w) {
    w->setObjectName(QStringLiteral("ctl%1").arg(id));
    controls_[id] = w;
    return w;
  };
  auto* top = new QVBoxLayout(this);

  auto* file_group = static_cast<QGroupBox*>(add(IDC_NVT_NETWORK_GROUP, new QGroupBox(this)));
  auto* fg = new QGridLayout(file_group);
  auto* file_mode = add(IDC_NVT_FILE_MODE, new QRadioButton(file_group));
  auto* range_mode = add(IDC_NVT_RANGE_MODE, new QRadioButton(file_group));
  auto* path = static_cast<QLineEdit*>(add(IDC_NVT_FILE_PATH, new QLineEdit(file_group)));
  path->setReadOnly(true);
  fg->addWidget(file_mode, 0, 0, 1, 3);
  fg->addWidget(path, 1, 0);
  fg->addWidget(add(IDC_NVT_SELECT_FILE, new QPushButton(file_group)), 1, 1);
  fg->addWidget(add(IDC_NVT_VIEW_FILE, new QPushButton(file_group)), 1, 2);
  fg->addWidget(range_mode, 2, 0, 1, 3);
  auto* modes = new QButtonGroup(this);
  modes->addButton(static_cast<QRadioButton*>(file_mode));
  modes->addButton(static_cast<QRadioButton*>(range_mode));
  top->addWidget(file_group);

  auto* values = static_cast<QGroupBox*>(add(IDC_NVT_VALUES_GROUP, new QGroupBox(this)));
  auto* vg = new QGridLayout(values);
  auto* types = new QButtonGroup(this);
  auto* st = static_cast<QRadioButton*>(add(IDC_NVT_STATIC, new QRadioButton(values)));
  auto* dh = static_cast<QRadioButton*>(add(IDC_NVT_DHCP, new QRadioButton(values)));
  types->addButton(st);
  types->addButton(dh);
  vg->addWidget(st, 0, 0);
  vg->addWidget(dh, 0, 1);
  const int rows[][2] = {{IDC_NVT_START_LABEL, IDC_NVT_START_IP},
                         {IDC_NVT_MASK_LABEL, IDC_NVT_MASK},
                         {IDC_NVT_GATEWAY_LABEL, IDC_NVT_GATEWAY},
                         {IDC_NVT_DNS_LABEL, IDC_NVT_DNS}};
  for (int i = 0; i < 4; ++i) {
    vg->addWidget(add(rows[i][0], new QLabel(values)), i + 1, 0);
    vg->addWidget(add(rows[i][1], new CIpAddressCtrl(values)), i + 1, 1);
  }
  top->addWidget(values);

  auto* auth = static_cast<QGroupBox*>(add(IDC_NVT_AUTH_GROUP, new QGroupBox(this)));
  auto* ag = new QGridLayout(auth);
  ag->addWidget(add(IDC_NVT_ID_LABEL, new QLabel(auth)), 0, 0);
  ag->addWidget(add(IDC_NVT_ID, new QLineEdit(auth)), 0, 1);
  ag->addWidget(add(IDC_NVT_PASSWORD_LABEL, new QLabel(auth)), 1, 0);
  auto* pw = static_cast<QLineEdit*>(add(IDC_NVT_PASSWORD, new QLineEdit(auth)));
  pw->setEchoMode(QLineEdit::Password);
  ag->addWidget(pw, 1, 1);
  top->addWidget(auth);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  auto* ok = static_cast<QPushButton*>(add(IDC_NVT_OK, new QPushButton(QString::fromUtf8("확인"), this)));
  auto* cancel = static_cast<QPushButton*>(add(IDC_NVT_CANCEL, new QPushButton(QString::fromUtf8("취소"), this)));
  ok->setDefault(true);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  top->addLayout(buttons);

  for (int id : {IDC_NVT_FILE_MODE, IDC_NVT_RANGE_MODE, IDC_NVT_STATIC, IDC_NVT_DHCP, IDC_NVT_SELECT_FILE,
                 IDC_NVT_VIEW_FILE, IDC_NVT_OK, IDC_NVT_CANCEL})
    connect(static_cast<QAbstractButton*>(Control(id)), &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });

  modal_runner = [](CNVTSettingDlg* d) { return d->exec(); };
  choose_file = [](CNVTSettingDlg* d) {
    QFileDialog fd(d);
    fd.setFileMode(QFileDialog::ExistingFile);
    fd.setDefaultSuffix(QStringLiteral("txt"));
    fd.setNameFilters({QString::fromUtf8("텍스트(*.txt)"), QString::fromUtf8("모든파일(*.*)")});
    fd.selectFile(QStringLiteral("*.txt"));
    if (fd.exec() != QDialog::Accepted || fd.selectedFiles().isEmpty()) return std::string();
    return fd.selectedFiles().first().toStdString();
  };
  show_viewer = [](const std::string& file, QWidget* parent) {
    CDBViewer viewer(file, parent);
    viewer.exec();
  };
}

QWidget* CNVTSettingDlg::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

bool CNVTSettingDlg::Checked(int id) const { return static_cast<QAbstractButton*>(Control(id))->isChecked(); }

int CNVTSettingDlg::Show() {
  InitDialog();
  return modal_runner(this);
}

void CNVTSettingDlg::InitDialog() {
  settings_.Load();
  loaded_ = settings_;
  setWindowTitle(Lang(43));
  auto set = [this](int id, const QString& text) {
    QWidget* w = Control(id);
    if (auto* g = qobject_cast<QGroupBox*>(w)) g->setTitle(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(text);
    else if (auto* l = qobject_cast<QLabel*>(w)) l->setText(text);
  };
  set(IDC_NVT_NETWORK_GROUP, Lang(43));
  set(IDC_NVT_FILE_MODE, Lang(44));
  set(IDC_NVT_RANGE_MODE, Lang(45));
  set(IDC_NVT_SELECT_FILE, Lang(46));
  set(IDC_NVT_VIEW_FILE, Lang(47));
  set(IDC_NVT_VALUES_GROUP, Lang(43));
  set(IDC_NVT_STATIC, Lang(22));
  set(IDC_NVT_DHCP, Lang(23));
  set(IDC_NVT_START_LABEL, Lang(48));
  set(IDC_NVT_MASK_LABEL, Lang(17));
  set(IDC_NVT_GATEWAY_LABEL, Lang(18));
  set(IDC_NVT_DNS_LABEL, Lang(19));
  set(IDC_NVT_AUTH_GROUP, Lang(30));
  set(IDC_NVT_ID_LABEL, Lang(31));
  set(IDC_NVT_PASSWORD_LABEL, Lang(32));
  static_cast<QAbstractButton*>(Control(settings_.IP_SETTING_TYPE == 1 ? IDC_NVT_FILE_MODE : IDC_NVT_RANGE_MODE))
      ->setChecked(true);
  static_cast<QAbstractButton*>(Control(IDC_NVT_STATIC))->setChecked(true);
  WriteAddress(Control(IDC_NVT_START_IP), settings_.IP_SETTING_START_IP);
  WriteAddress(Control(IDC_NVT_MASK), settings_.IP_SETTING_SUBNETMASK);
  WriteAddress(Control(IDC_NVT_GATEWAY), settings_.IP_SETTING_GATEWAY);
  WriteAddress(Control(IDC_NVT_DNS), settings_.IP_SETTING_DEFAULT_DNS);
  static_cast<QLineEdit*>(Control(IDC_NVT_ID))->setText(Field(settings_.IP_SETTING_ID, sizeof settings_.IP_SETTING_ID));
  static_cast<QLineEdit*>(Control(IDC_NVT_PASSWORD))
      ->setText(Field(settings_.IP_SETTING_PASSWORD, sizeof settings_.IP_SETTING_PASSWORD));
  // The path box starts empty; the member keeps the last file for "View file".
  static_cast<QLineEdit*>(Control(IDC_NVT_FILE_PATH))->clear();
  ModeSwitch(settings_.IP_SETTING_TYPE);
}

void CNVTSettingDlg::ModeSwitch(int32_t mode) {
  const bool file = mode == 1;
  static_cast<QAbstractButton*>(Control(IDC_NVT_FILE_MODE))->setChecked(file);
  static_cast<QAbstractButton*>(Control(IDC_NVT_RANGE_MODE))->setChecked(!file);
  for (int id : {IDC_NVT_SELECT_FILE, IDC_NVT_VIEW_FILE}) Control(id)->setEnabled(file);
  for (int id : {IDC_NVT_STATIC, IDC_NVT_DHCP, IDC_NVT_START_IP}) Control(id)->setEnabled(!file);
  const bool values = !file && Checked(IDC_NVT_STATIC);
  for (int id : {IDC_NVT_MASK, IDC_NVT_GATEWAY, IDC_NVT_DNS}) Control(id)->setEnabled(values);
}

void CNVTSettingDlg::OnCommand(int id) {
  switch (id) {
    case IDC_NVT_OK: OnOk(); break;
    case IDC_NVT_CANCEL: OnCancel(); break;
    case IDC_NVT_SELECT_FILE: OnSelectFile(); break;
    case IDC_NVT_VIEW_FILE: OnViewFile(); break;
    case IDC_NVT_FILE_MODE: ModeSwitch(1); break;
    case IDC_NVT_RANGE_MODE: ModeSwitch(0); break;
    case IDC_NVT_STATIC:
      static_cast<QAbstractButton*>(Control(IDC_NVT_STATIC))->setChecked(true);
      for (int c : {IDC_NVT_MASK, IDC_NVT_GATEWAY, IDC_NVT_DNS}) Control(c)->setEnabled(true);
      break;
    case IDC_NVT_DHCP:
      static_cast<QAbstractButton*>(Control(IDC_NVT_DHCP))->setChecked(true);
      for (int c : {IDC_NVT_MASK, IDC_NVT_GATEWAY, IDC_NVT_DNS}) Control(c)->setEnabled(false);
      break;
    default: break;
  }
}

void CNVTSettingDlg::Refuse(const std::string& text, int focus_id) {
  if (prompt_) prompt_->Info(text, PromptIcon::kError);
  Control(focus_id)->setFocus();
}

void CNVTSettingDlg::OnOk() {
  assignment_mode_ = Checked(IDC_NVT_FILE_MODE) ? 1 : 0;
  settings_.IP_SETTING_TYPE = assignment_mode_;
  static_flag_ = Checked(IDC_NVT_STATIC) ? 1 : 0;
  ReadAddress(Control(IDC_NVT_START_IP), start_ip_);
  if (IpFromOctets(start_ip_[0], start_ip_[1], start_ip_[2], start_ip_[3]) == 0) {
    Refuse(kNvtZeroAddressText, IDC_NVT_START_IP);
    return;
  }
  // A range past .255 would send addresses that do not exist.
  const uint32_t start = IpFromOctets(start_ip_[0], start_ip_[1], start_ip_[2], start_ip_[3]);
  if (assignment_mode_ == 0 && ticked_count_ > NvtRangeCapacity(start)) {
    Refuse(NvtRangeOverflowText(start, ticked_count_), IDC_NVT_START_IP);
    return;
  }
  // Credentials longer than their wire fields would be cut and refused by every device.
  const QByteArray id = static_cast<QLineEdit*>(Control(IDC_NVT_ID))->text().toUtf8();
  const QByteArray pw = static_cast<QLineEdit*>(Control(IDC_NVT_PASSWORD))->text().toUtf8();
  if (const std::string t = AdminIdProblem(id.toStdString()); !t.empty()) {
    Refuse(t, IDC_NVT_ID);
    return;
  }
  if (const std::string t = AdminPasswordProblem(pw.toStdString()); !t.empty()) {
    Refuse(t, IDC_NVT_PASSWORD);
    return;
  }
  ReadAddress(Control(IDC_NVT_MASK), subnet_mask_);
  ReadAddress(Control(IDC_NVT_GATEWAY), gateway_);
  ReadAddress(Control(IDC_NVT_DNS), dns_server_);
  std::memcpy(settings_.IP_SETTING_START_IP, start_ip_, 4);
  std::memcpy(settings_.IP_SETTING_SUBNETMASK, subnet_mask_, 4);
  std::memcpy(settings_.IP_SETTING_GATEWAY, gateway_, 4);
  std::memcpy(settings_.IP_SETTING_DEFAULT_DNS, dns_server_, 4);
  StoreText(QString::fromUtf8(id), settings_.IP_SETTING_ID, sizeof settings_.IP_SETTING_ID);
  StoreText(QString::fromUtf8(pw), settings_.IP_SETTING_PASSWORD, sizeof settings_.IP_SETTING_PASSWORD);
  settings_.Save();
  accept();
}

void CNVTSettingDlg::OnCancel() { reject(); }

void CNVTSettingDlg::reject() {
  // The file is rewritten with the values it had when the dialog opened.
  settings_ = loaded_;
  settings_.Save();
  QDialog::reject();
}

void CNVTSettingDlg::OnSelectFile() {
  const std::string chosen = choose_file ? choose_file(this) : std::string();
  if (chosen.empty()) return;
  if (chosen.size() > 255) {
    if (prompt_) prompt_->Info("The file path is longer than 255 bytes.", PromptIcon::kError);
    return;
  }
  file_path_ = chosen;
  static_cast<QLineEdit*>(Control(IDC_NVT_FILE_PATH))->setText(QString::fromStdString(file_path_));
  if (show_viewer) show_viewer(file_path_, this);
}

void CNVTSettingDlg::OnViewFile() {
  if (file_path_.empty()) return;
  if (show_viewer) show_viewer(file_path_, this);
}
