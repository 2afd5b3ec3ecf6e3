// The main window as a map. It keeps the layout of each operation state, the
// device tables, the operation state and the command table's inputs; the
// operations live beside it:
//   scan, timer 0                ScanUi, scan_ui.cpp (UM_DEVICE_FOUND in state 2, UM_SCAN_DONE)
//   Apply and its verification   ApplyUi, apply_ui.cpp (UM_DEVICE_FOUND in state 1)
//   multiple IP setting          MultipleIpUi, multiple_ip_ui.cpp (UM_IP_SETTING_RESULT,
//                                UM_IP_CHECK_START, UM_DEVICE_FOUND in state 3)
//   firmware update              update_run_ui.cpp (the panel), UpdateRunUi (UM_UPDATE_*,
//                                UM_DEVICE_FOUND in state 5)
//   factory default run          factory_run_ui.cpp (the button), FactoryRunUi (UM_FACTORY_*,
//                                UM_DEVICE_FOUND in state 5)
//   information query            InfoQueryUi (UM_*_TEXT, each query's own sink)
//   ping and ARP                 PingArpUi, ping_arp_ui.cpp (UM_PING_RESULT)
//   monitoring, export           MonitoringUi, ListExportUi (monitoring_ui.cpp, list_export_ui.cpp)
//   inventory, video wall        InventoryUi, VideoWallUi (inventory_ui.cpp, video_wall_ui.cpp)
// Each state of the window is owned by one operation, so a discovery reply
// goes to the owner of the state it arrives in. The cells operations write go
// through list_rows.cpp. Which control may be pressed is ComputeCommandStates
// (command_table.h), applied by RefreshCommands after every command and message.
#include "ui/main_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

#include "config/language.h"
#include "engine/devices/device_format.h"
#include "engine/talq/talq_client.h"
#include "ui/app.h"
#include "ui/backend.h"
#include "ui/cell_list.h"
#include "ui/colours.h"
#include "ui/prompt.h"
#include "ui/settings_save.h"
#include "ui/window_texts.h"

namespace {


constexpr int kClientWidth = 1020;
constexpr int kClientHeight = 545;

struct Placement {
  int id, x, y, w, h;
};

// Placed in every state (1005 only when UPDATE_ENABLE is 1).
const Placement kAlways[] = {
    {IDC_DISCOVERY, 10, 10, 130, 55},       {IDC_CLEAR, 150, 10, 130, 55},
    {IDC_DELETE_ARP, 290, 10, 130, 55},     {IDC_PING_RESPONSE, 430, 10, 130, 55},
    {IDC_MULTIPLE_IP, 570, 10, 130, 55},    {IDC_FIRMWARE_UPDATE, 710, 10, 130, 55},
    {IDC_SELECTED_COUNT_LABEL, 10, 75, 80, 20}, {IDC_SELECTED_COUNT, 95, 75, 40, 20},
};
const Placement kListPlacement = {IDC_DEVICE_LIST, 10, 105, 740, 420};

// States 0-3: the local adapter, device information and network setting panels.
const Placement kNetworkPanel[] = {
    {IDC_LOCAL_GROUP, 760, 75, 250, 105},
    {IDC_LOCAL_IP_LABEL, 770, 95, 110, 20},     {IDC_LOCAL_MASK_LABEL, 770, 115, 110, 20},
    {IDC_LOCAL_GATEWAY_LABEL, 770, 135, 110, 20}, {IDC_LOCAL_DNS_LABEL, 770, 155, 110, 20},
    {IDC_LOCAL_IP, 890, 95, 80, 20},            {IDC_LOCAL_MASK, 890, 115, 80, 20},
    {IDC_LOCAL_GATEWAY, 890, 135, 80, 20},      {IDC_LOCAL_DNS, 890, 155, 80, 20},
    {IDC_INFO_GROUP, 760, 185, 250, 350},
    {IDC_NETWORK_TYPE_GROUP, 770, 275, 230, 50},
    {IDC_SYSTEM_MODE_LABEL, 750, 201, 97, 20},  {IDC_SERIAL_LABEL, 750, 221, 97, 20},
    {IDC_FIRMWARE_LABEL, 750, 241, 97, 20},
    {IDC_SYSTEM_MODE, 850, 201, 130, 20},       {IDC_SERIAL, 850, 221, 110, 20},
    {IDC_FIRMWARE, 850, 241, 130, 40},
    {IDC_STATIC_IP, 780, 292, 70, 20},          {IDC_DHCP, 860, 292, 70, 20},
    {IDC_PPPOE, 940, 292, 70, 20},
    {IDC_NETWORK_SETTING_GROUP, 770, 335, 230, 200},
    {IDC_MAC_LABEL, 780, 361, 97, 20},          {IDC_IP_LABEL, 780, 384, 97, 20},
    {IDC_MASK_LABEL, 780, 407, 97, 20},         {IDC_GATEWAY_LABEL, 780, 430, 97, 20},
    {IDC_DNS_LABEL, 780, 453, 97, 20},
    {IDC_MAC, 882, 361, 110, 16},               {IDC_IPADDRESS, 882, 384, 110, 16},
    {IDC_SUBNETMASK, 882, 407, 110, 16},        {IDC_GATEWAY, 882, 430, 110, 16},
    {IDC_DNS, 882, 453, 110, 16},
    {IDC_APPLY, 840, 500, 90, 30},
};

// States 4 and 5: the firmware update panel.
const Placement kUpdatePanel[] = {
    {IDC_AUTH_GROUP, 760, 75, 250, 80},        {IDC_USER_ID_LABEL, 770, 101, 90, 20},
    {IDC_PASSWORD_LABEL, 770, 125, 90, 20},    {IDC_USER_ID, 870, 100, 110, 16},
    {IDC_PASSWORD, 870, 123, 110, 16},         {IDC_OPTIONS_GROUP, 760, 175, 250, 60},
    {IDC_IP_SETTING_CHECK, 775, 190, 70, 20},  {IDC_IP_SETTING_TEXT, 853, 192, 150, 20},
    {IDC_FACTORY_AFTER_CHECK, 775, 210, 220, 20}, {IDC_FIRMWARE_GROUP, 760, 255, 250, 180},
    {IDC_TYPE_LABEL, 775, 280, 120, 20},       {IDC_TYPE, 775, 300, 220, 20},
    {IDC_FILE_PATH_LABEL, 775, 330, 120, 20},  {IDC_SELECT_FILE, 935, 330, 60, 20},
    {IDC_FILE_PATH, 775, 350, 220, 20},        {IDC_VERSION_LABEL, 775, 380, 220, 20},
    {IDC_VERSION, 775, 400, 220, 20},          {IDC_FACTORY_DEFAULT, 765, 480, 90, 40},
    {IDC_UPDATE_START, 860, 480, 95, 40},      {IDC_UPDATE_CANCEL, 960, 480, 45, 40},
};

// State 6: the syslog view.
const Placement kSyslogPanel[] = {
    {IDC_SYSLOG_LIST, 10, 100, 740, 420},
    {IDC_SYSLOG_START, 795, 480, 90, 40},
    {IDC_SYSLOG_STOP, 890, 480, 95, 40},
};

}  // namespace

// ---------------------------------------------------------------- helpers

int WindowPx(int layout_px) { return layout_px * 5 / 4; }

std::string MakeWindowTitle(const char* version) { return std::string("Dravenkit ver. ") + (version ? version : ""); }

const char* BuildVersion() {
#ifdef DRAVENKIT_VERSION
  return DRAVENKIT_VERSION;
#else
  return nullptr;
#endif
}

// ---------------------------------------------------------------- window

CDravenkitDlg::CDravenkitDlg(const WindowOptions& options, QWidget* parent)
    : QWidget(parent), options_(options), backend_(options.backend), prompt_(options.prompt) {
  post_box_ = std::make_shared<WindowPostBox>(this);
  backend_->KeepSinkAlive(post_box_);
  info_query_ = std::make_unique<InfoQueryUi>(static_cast<OperationHost*>(this), post_box_, options_.info_timings);
  setWindowIcon(DravenkitIcon());
  CreateControls();
}

CDravenkitDlg::~CDravenkitDlg() {
  Shutdown();
  UnloadLanguage();
}

QString CDravenkitDlg::Lang(int key) const { return QString::fromUtf8(GetLanguageText(key, LanguageDefault(key))); }

QWidget* CDravenkitDlg::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void CDravenkitDlg::SetText(int id, const QString& text) {
  QWidget* w = Control(id);
  if (auto* l = qobject_cast<QLabel*>(w)) l->setText(text);
  else if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(text);
  else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(text);
  else if (auto* g = qobject_cast<QGroupBox*>(w)) g->setTitle(text);
}

// ---------------------------------------------------------------- what operations see

const DeviceTable& CDravenkitDlg::Rows() const { return devices_; }
DeviceTable* CDravenkitDlg::RunSelection() { return &selection_list_; }
void CDravenkitDlg::ShowText(int id, const QString& text) { SetText(id, text); }
QString CDravenkitDlg::TextOf(int id) const {
  QWidget* w = Control(id);
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  return {};
}
void CDravenkitDlg::Tell(const std::string& text, PromptIcon icon) { prompt_->Info(text, icon); }
bool CDravenkitDlg::Ask(const std::string& question) { return prompt_->Question(question); }
WindowBackend* CDravenkitDlg::Engine() { return backend_; }
MessageSink* CDravenkitDlg::Sink() { return post_box_.get(); }
int CDravenkitDlg::ListRows() const { return list_->GetItemCount(); }
QString CDravenkitDlg::CellText(int row, int col) const { return list_->GetItemText(row, col); }

std::vector<DeviceRecord> CDravenkitDlg::ListedRecords(bool ticked_only) const {
  std::vector<DeviceRecord> out;
  for (int r = 0, n = list_->GetItemCount(); r < n; ++r) {
    if (ticked_only && list_->GetCheckbox(r, kColNo) != 1) continue;
    if (const DeviceTableEntry* e = devices_.FindByKey(r)) out.push_back(e->record);
  }
  return out;
}

void CDravenkitDlg::SetCellColours(int row, int col, const QColor& fg, const QColor& bg) {
  list_->SetItemColours(row, col, fg, bg);
}

bool CDravenkitDlg::Ticked(int row) const { return list_->GetCheckbox(row, kColNo) == 1; }

void CDravenkitDlg::SetCellLook(int row, int col, const QColor& fg, const QColor& bg, bool bold) {
  list_->SetItemColours(row, col, fg, bg);
  list_->SetBold(row, col, bold ? 1 : 0);
}

void CDravenkitDlg::Started(ActiveOp op, RunPhase phase, int32_t state) {
  op_ = op;
  phase_ = phase;
  SetOperationState(state);
}

void CDravenkitDlg::PhaseChanged(RunPhase phase) {
  phase_ = phase;
  RefreshCommands();
}

void CDravenkitDlg::Claim(ActiveOp op, RunPhase phase) {
  op_ = op;
  phase_ = phase;
  RefreshCommands();
}

void CDravenkitDlg::Ended(int32_t state) {
  op_ = ActiveOp::kNone;
  phase_ = RunPhase::kNone;
  SetOperationState(state);
}

CommandInputs CDravenkitDlg::CurrentCommandInputs() const {
  CommandInputs in;
  in.state = state_;
  in.op = op_;
  in.phase = phase_;
  in.rows = list_->GetItemCount();
  int ticked = 0;  // the boxes themselves, however they were set
  for (int r = 0, n = in.rows; r < n; ++r)
    if (list_->GetCheckbox(r, kColNo) == 1) ++ticked;
  in.ticked = ticked;
  in.row_selected = selected_row_ >= 0 && selected_record_.has_value();
  in.worker_running = state_ == kStateScanning || phase_ == RunPhase::kSending || phase_ == RunPhase::kRunning;
  in.panel_dhcp = static_cast<QRadioButton*>(Control(IDC_DHCP))->isChecked();
  return in;
}

void CDravenkitDlg::RefreshCommands() {
  for (const CommandState& c : ComputeCommandStates(CurrentCommandInputs())) {
    if (QWidget* w = Control(c.id)) w->setEnabled(c.enabled);
    const auto range = actions_.equal_range(c.id);
    for (auto it = range.first; it != range.second; ++it) it->second->setEnabled(c.enabled);
  }
}

void CDravenkitDlg::CreateControls() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  menu_bar_ = new QMenuBar(this);
  // Stands in for the window's system menu: close, a separator and About.
  QMenu* system = menu_bar_->addMenu(QStringLiteral("Dravenkit"));
  system->addAction(QStringLiteral("Close"), this, &QWidget::close);
  system->addSeparator();
  system->addAction(QString::fromUtf8(kAboutMenuText), this, [this] {
    QDialog* about = CreateAboutDialog(this);
    about->exec();
    delete about;
  });
  outer->setMenuBar(menu_bar_);
  client_ = new QWidget(this);
  client_->setFixedSize(WindowPx(kClientWidth), WindowPx(kClientHeight));
  outer->addWidget(client_);

  auto add = [this](int id, QWidget* w) {
    w->setObjectName(QString("ctl%1").arg(id));
    w->hide();
    controls_[id] = w;
    return w;
  };
  // Group boxes first, so that the controls drawn over them stay on top.
  for (int id : {IDC_LOCAL_GROUP, IDC_INFO_GROUP, IDC_NETWORK_TYPE_GROUP, IDC_NETWORK_SETTING_GROUP, IDC_AUTH_GROUP,
                 IDC_OPTIONS_GROUP, IDC_FIRMWARE_GROUP})
    add(id, new QGroupBox(client_));
  for (int id : {IDC_DISCOVERY, IDC_CLEAR, IDC_DELETE_ARP, IDC_PING_RESPONSE, IDC_MULTIPLE_IP, IDC_FIRMWARE_UPDATE,
                 IDC_SYSLOG, IDC_APPLY, IDC_SELECT_FILE, IDC_FACTORY_DEFAULT, IDC_UPDATE_START, IDC_UPDATE_CANCEL,
                 IDC_SYSLOG_START, IDC_SYSLOG_STOP, IDOK_HIDDEN, IDCANCEL_HIDDEN}) {
    auto* b = new QPushButton(client_);
    b->setAutoDefault(false);
    add(id, b);
    connect(b, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
  }
  for (int id : {IDC_SELECTED_COUNT_LABEL, IDC_LOCAL_IP_LABEL, IDC_LOCAL_MASK_LABEL, IDC_LOCAL_GATEWAY_LABEL,
                 IDC_LOCAL_DNS_LABEL, IDC_LOCAL_IP, IDC_LOCAL_MASK, IDC_LOCAL_GATEWAY, IDC_LOCAL_DNS,
                 IDC_SYSTEM_MODE_LABEL, IDC_SERIAL_LABEL, IDC_FIRMWARE_LABEL, IDC_SYSTEM_MODE, IDC_SERIAL,
                 IDC_FIRMWARE, IDC_MAC_LABEL, IDC_IP_LABEL, IDC_MASK_LABEL, IDC_GATEWAY_LABEL, IDC_DNS_LABEL,
                 IDC_USER_ID_LABEL, IDC_PASSWORD_LABEL, IDC_IP_SETTING_TEXT, IDC_TYPE_LABEL, IDC_FILE_PATH_LABEL,
                 IDC_VERSION_LABEL}) {
    auto* l = new QLabel(client_);
    l->setTextFormat(Qt::PlainText);
    add(id, l);
  }
  // The information labels end just before their values.
  for (int id : {IDC_SYSTEM_MODE_LABEL, IDC_SERIAL_LABEL, IDC_FIRMWARE_LABEL})
    static_cast<QLabel*>(Control(id))->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  static_cast<QLabel*>(Control(IDC_FIRMWARE))->setWordWrap(true);
  static_cast<QLabel*>(Control(IDC_FIRMWARE))->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Its first line level with its label, which is centred in a 20-pixel row.
  static_cast<QLabel*>(Control(IDC_FIRMWARE))
      ->setContentsMargins(0, (WindowPx(20) - fontMetrics().height()) / 2, 0, 0);
  for (int id : {IDC_SELECTED_COUNT, IDC_MAC, IDC_FILE_PATH, IDC_USER_ID, IDC_PASSWORD, IDC_VERSION}) {
    auto* e = new QLineEdit(client_);
    add(id, e);
  }
  for (int id : {IDC_SELECTED_COUNT, IDC_MAC, IDC_FILE_PATH}) static_cast<QLineEdit*>(Control(id))->setReadOnly(true);
  static_cast<QLineEdit*>(Control(IDC_PASSWORD))->setEchoMode(QLineEdit::Password);
  for (int id : {IDC_IPADDRESS, IDC_SUBNETMASK, IDC_GATEWAY, IDC_DNS}) {
    auto* a = new CIpAddressCtrl(client_);
    a->SetPrompt(prompt_);
    add(id, a);
  }
  network_type_ = new QButtonGroup(this);
  for (int id : {IDC_STATIC_IP, IDC_DHCP, IDC_PPPOE}) {
    auto* r = new QRadioButton(client_);
    add(id, r);
    network_type_->addButton(r, id);
    connect(r, &QRadioButton::clicked, this, [this, id] { OnCommand(id); });
  }
  for (int id : {IDC_IP_SETTING_CHECK, IDC_FACTORY_AFTER_CHECK}) add(id, new QCheckBox(client_));
  auto* type = new QComboBox(client_);
  type->addItem(QStringLiteral("TERN1"));
  type->addItem(QStringLiteral("PLOV"));
  add(IDC_TYPE, type);
  auto* syslog = new QListWidget(client_);
  QPalette pal = syslog->palette();
  pal.setColor(QPalette::Base, Qt::black);
  pal.setColor(QPalette::Text, QColor(0, 255, 0));
  syslog->setPalette(pal);
  add(IDC_SYSLOG_LIST, syslog);

  list_ = new CCellListCtrl(client_);
  add(IDC_DEVICE_LIST, list_);
  connect(list_, &CCellListCtrl::listClick, this, &CDravenkitDlg::OnListClick);
  connect(list_, &CCellListCtrl::listDoubleClick, this, &CDravenkitDlg::OnListDoubleClick);
  connect(list_, &CCellListCtrl::listRightClick, this, &CDravenkitDlg::OnListRightClick);
  connect(list_, &CCellListCtrl::listKeyDown, this, &CDravenkitDlg::OnListKeyDown);
  connect(list_, &CCellListCtrl::listKeyHandled, this, &CDravenkitDlg::OnListKeyHandled);
  connect(list_, &CCellListCtrl::columnClick, this, &CDravenkitDlg::OnColumnClick);
  connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &CDravenkitDlg::OnItemChanged);
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CDravenkitDlg::OnItemChanged);

  context_menu_ = new QMenu(this);
  monitoring_action_ = context_menu_->addAction(QStringLiteral("Monitoring"));
  connect(monitoring_action_, &QAction::triggered, this, [this] { OnCommand(ID_MENU_MONITORING); });
  actions_.emplace(ID_MENU_MONITORING, monitoring_action_);
  web_action_ = context_menu_->addAction(QStringLiteral("Web page"));
  connect(web_action_, &QAction::triggered, this, [this] { OnCommand(ID_MENU_WEB); });
  actions_.emplace(ID_MENU_WEB, web_action_);
  video_wall_action_ = context_menu_->addAction(QStringLiteral("Video wall"));
  connect(video_wall_action_, &QAction::triggered, this, [this] { OnCommand(ID_MENU_VIDEO_WALL); });
  actions_.emplace(ID_MENU_VIDEO_WALL, video_wall_action_);
  CreateExportActions();
  CreateInventoryAction();
}

bool CDravenkitDlg::Initialize() {
  setWindowTitle(QString::fromStdString(MakeWindowTitle(BuildVersion())));
  settings_.Load();
  SaveSettingsIfMissing(settings_, *prompt_);
  LoadLanguage();
  TalqSetTraceEnabled(settings_.XDEBUG_SERVER_ENABLE == 1);
  SetOperationState(kStateIdle);
  list_->EnableToolTips(true);
  CreateColumns();
  OnClear();
  bool found = false;
  FillLocalAdapterPanel(&found);
  if (!found) {
    prompt_->Info(kNoAdaptersText, PromptIcon::kError);
    Shutdown();
    return false;
  }
  SetCaptions();
  SetText(IDC_USER_ID, QString::fromLatin1(kInfoQueryUser));
  SetText(IDC_PASSWORD, QString::fromLatin1(kDefaultDevicePassword));
  RefreshCommands();
  return true;
}

void CDravenkitDlg::SetCaptions() {
  auto label = [](int key) { return QString::fromUtf8(LanguageLabel(key).c_str()); };
  const std::pair<int, QString> captions[] = {
      {IDC_DISCOVERY, Lang(3)},
      {IDC_CLEAR, Lang(4)},
      {IDC_DELETE_ARP, Lang(5)},
      {IDC_PING_RESPONSE, QStringLiteral("Ping response")},
      {IDC_MULTIPLE_IP, Lang(6)},
      {IDC_FIRMWARE_UPDATE, Lang(7)},
      {IDC_SYSLOG, QStringLiteral("Syslog")},
      {IDC_SELECTED_COUNT_LABEL, QStringLiteral("Selected Count : ")},
      {IDC_LOCAL_GROUP, Lang(15)},
      {IDC_LOCAL_IP_LABEL, label(16)},
      {IDC_LOCAL_MASK_LABEL, label(17)},
      {IDC_LOCAL_GATEWAY_LABEL, label(18)},
      {IDC_LOCAL_DNS_LABEL, label(19)},
      {IDC_INFO_GROUP, Lang(63)},
      {IDC_SYSTEM_MODE_LABEL, QString::fromUtf8(SystemModeLabel().c_str())},
      {IDC_SERIAL_LABEL, label(64)},
      {IDC_FIRMWARE_LABEL, label(65)},
      {IDC_NETWORK_TYPE_GROUP, Lang(21)},
      {IDC_STATIC_IP, Lang(22)},
      {IDC_DHCP, Lang(23)},
      {IDC_PPPOE, Lang(24)},
      {IDC_NETWORK_SETTING_GROUP, Lang(25)},
      {IDC_MAC_LABEL, label(10)},
      {IDC_IP_LABEL, label(11)},
      {IDC_MASK_LABEL, label(17)},
      {IDC_GATEWAY_LABEL, label(18)},
      {IDC_DNS_LABEL, label(19)},
      {IDC_APPLY, Lang(26)},
      {IDC_AUTH_GROUP, Lang(30)},
      {IDC_USER_ID_LABEL, label(31)},
      {IDC_PASSWORD_LABEL, label(32)},
      {IDC_OPTIONS_GROUP, Lang(54)},
      {IDC_IP_SETTING_CHECK, QStringLiteral("IP setting")},
      {IDC_FACTORY_AFTER_CHECK, Lang(55)},
      {IDC_FIRMWARE_GROUP, Lang(51)},
      {IDC_TYPE_LABEL, QStringLiteral("Type")},
      {IDC_FILE_PATH_LABEL, Lang(52)},
      {IDC_SELECT_FILE, Lang(46)},
      {IDC_VERSION_LABEL, Lang(53)},
      {IDC_FACTORY_DEFAULT, Lang(59)},
      {IDC_UPDATE_START, Lang(7)},
      {IDC_UPDATE_CANCEL, Lang(2)},
      {IDC_SYSLOG_START, QStringLiteral("Start")},
      {IDC_SYSLOG_STOP, QStringLiteral("Stop")},
  };
  for (const auto& [id, text] : captions) SetText(id, text);
}

void CDravenkitDlg::LayoutForState(int32_t state) {
  auto place = [this](const Placement& p) {
    if (QWidget* w = Control(p.id)) {
      w->setGeometry(WindowPx(p.x), WindowPx(p.y), WindowPx(p.w), WindowPx(p.h));
      w->show();
    }
  };
  auto hide = [this](int id) {
    if (QWidget* w = Control(id)) w->hide();
  };
  for (const Placement& p : kAlways) {
    if (p.id == IDC_FIRMWARE_UPDATE && settings_.UPDATE_ENABLE != 1)
      hide(p.id);
    else
      place(p);
  }
  hide(IDC_SYSLOG);
  hide(IDOK_HIDDEN);
  hide(IDCANCEL_HIDDEN);
  if (state == kStateSyslog)
    hide(IDC_DEVICE_LIST);
  else
    place(kListPlacement);
  const bool update_panel = state == kStateUpdatePanel || state == kStateUpdateRun;
  const bool network_panel = state < kStateUpdatePanel || state > kStateSyslog;
  for (const Placement& p : kNetworkPanel) network_panel ? place(p) : hide(p.id);
  for (const Placement& p : kUpdatePanel) update_panel ? place(p) : hide(p.id);
  for (const Placement& p : kSyslogPanel) state == kStateSyslog ? place(p) : hide(p.id);
  if (!list_->isHidden()) ResizeColumns();
}

bool CDravenkitDlg::SetOperationState(int32_t state) {
  if (state < kStateIdle || state > kStateSyslog) return false;
  const int32_t old = state_;
  if (state == kStateIdle && (old == kStateVerifyOne || old == kStateMultipleIp || old == kStateUpdatePanel)) {
    KillTimer0();
    if (old == kStateMultipleIp) multiple_ip_.Reset();
    if (old == kStateUpdatePanel) {
      selection_list_.Clear();
      selection_count_ = 0;
    }
  }
  state_ = state;
  // Idle, the panel and the syslog view belong to no operation.
  if (state == kStateIdle || state == kStateUpdatePanel || state == kStateSyslog) {
    op_ = ActiveOp::kNone;
    phase_ = RunPhase::kNone;
  }
  LayoutForState(state);
  RefreshCommands();
  return true;
}

bool CDravenkitDlg::TablesInUse() const { return state_ == kStateMultipleIp || state_ == kStateUpdateRun; }

void CDravenkitDlg::FillLocalAdapterPanel(bool* found) {
  LocalAdapterInfo info;
  *found = backend_->GetLocalAdapterInfo(&info) >= 0 && info.found;
  if (!*found) return;
  SetText(IDC_LOCAL_IP, QString::fromStdString(info.ip));
  SetText(IDC_LOCAL_MASK, QString::fromStdString(info.subnet_mask));
  SetText(IDC_LOCAL_GATEWAY, QString::fromStdString(info.gateway));
  SetText(IDC_LOCAL_DNS, QString::fromStdString(info.dns_server));
}

// ---------------------------------------------------------------- commands

void CDravenkitDlg::OnCommand(int id) {
  switch (id) {
    case IDC_DISCOVERY: scan_ui_.OnDiscovery(); break;
    case IDC_CLEAR: OnClear(); break;
    case IDC_DELETE_ARP: ping_arp_.OnDeleteArpTable(); break;
    case IDC_PING_RESPONSE: ping_arp_.OnPingResponse(); break;
    case IDC_FIRMWARE_UPDATE: OnOpenUpdatePanel(); break;
    case IDC_UPDATE_CANCEL: OnUpdateCancel(); break;
    case IDC_SELECT_FILE: OnSelectFirmwareFile(); break;
    case IDC_UPDATE_START: OnUpdateStart(); break;
    case IDC_FACTORY_DEFAULT: OnFactoryDefault(); break;
    case IDC_SYSLOG: OnSyslog(); break;
    case IDC_MULTIPLE_IP: multiple_ip_.OnMultipleIpSetting(); break;
    case IDC_STATIC_IP: OnStaticIp(); break;
    case IDC_DHCP: OnDhcp(); break;
    case IDC_APPLY: apply_ui_.OnApply(); break;
    case ID_MENU_WEB:
      if (!selected_record_)
        ForgetSelection();
      else
        OpenWebPage(selected_record_);
      break;
    case ID_MENU_MONITORING: monitoring_ui_.OnMonitoring(); break;
    case ID_MENU_VIDEO_WALL: video_wall_ui_.OnVideoWall(); break;
    case ID_MENU_READ_INFORMATION: inventory_ui_.OnReadInformation(); break;
    case ID_MENU_EXPORT: export_ui_.OnExportList(); break;
    case IDCANCEL_HIDDEN: close(); break;
    default: break;
  }
  if (!closed_) RefreshCommands();
}

void CDravenkitDlg::OnClear() {
  if (state_ == kStateMultipleIp) {
    // Every request is out: "Clear" ends the verification; the rows keep their marks.
    if (phase_ == RunPhase::kSending) return;
    backend_->StopNvtSetting();
    StopScan();
    SetOperationState(kStateIdle);
    return;
  }
  if (TablesInUse()) return;  // a run reads the tables on its thread
  ReportRunnerFailure(this, backend_->DeleteArpTable());
  StopScan();
  backend_->StopPing();
  info_query_->Void();
  list_->DeleteAllItems();
  list_->Header()->SetCheckState(kColNo, 0);
  devices_.Clear();
  multiple_ip_.Reset();
  selection_list_.Clear();
  row_count_ = 0;
  selection_count_ = 0;
  selected_row_ = -1;
  selected_record_.reset();
  checked_count_ = 0;
  SetText(IDC_SERIAL, QStringLiteral("-"));
  SetText(IDC_FIRMWARE, QStringLiteral("-"));
  SetText(IDC_SYSTEM_MODE, QStringLiteral("-"));
  SetText(IDC_SELECTED_COUNT, QStringLiteral("0"));
  SetOperationState(kStateIdle);
}

void CDravenkitDlg::OnSyslog() {
  if (state_ == kStateUpdateRun) {
    prompt_->Info(Lang(57).toStdString(), PromptIcon::kInformation);
    return;
  }
  if (state_ == kStateIdle || state_ == kStateSyslog) {
    const int n = list_->GetItemCount();
    for (int r = 0; r < n; ++r) SetStatus(r, QString(), kWhite, kWhite);
  }
  SetOperationState(kStateSyslog);
}

// ---------------------------------------------------------------- messages

void CDravenkitDlg::Post(WorkerMessage msg) { post_box_->Post(std::move(msg)); }

void CDravenkitDlg::WorkerMessageHandler(const WorkerMessage& msg) {
  switch (msg.id) {
    case UM_DEVICE_FOUND:
      if (const auto* rec = std::get_if<DeviceRecord>(&msg.payload)) {
        switch (state_) {
          case kStateScanning: scan_ui_.OnDeviceFound(*rec); break;
          case kStateVerifyOne: apply_ui_.OnDeviceFound(*rec); break;
          case kStateMultipleIp: multiple_ip_.OnDeviceFound(*rec); break;
          case kStateUpdateRun: RunOfState().OnDeviceFound(*rec); break;
          default: break;  // states 0, 4 and 6 have no scan of their own
        }
      }
      break;
    case UM_SCAN_DONE: scan_ui_.OnDone(msg); break;
    case UM_IP_CHECK_START: multiple_ip_.OnNvtSettingDone(msg); break;
    case UM_IP_SETTING_RESULT: multiple_ip_.OnIpSettingResult(msg); break;
    case UM_UPDATE_STATUS:
      if (const auto* r = std::get_if<StatusReport>(&msg.payload))
        update_run_.OnStatus(r->mac, r->status, std::string(r->text, strnlen(r->text, sizeof r->text)));
      break;
    case UM_UPDATE_DONE: update_run_.OnDone(msg); break;
    case UM_FACTORY_STATUS:
      if (const auto* r = std::get_if<FactoryStatusReport>(&msg.payload)) factory_run_.OnStatus(r->mac, r->status, {});
      break;
    case UM_FACTORY_DONE: factory_run_.OnDone(msg); break;
    case UM_PING_RESULT:
      if (const auto* r = std::get_if<PingResult>(&msg.payload)) ping_arp_.OnPingResult(*r, msg.wparam != 0);
      break;
    case UM_FIRMWARE_VERSION_TEXT:
    case UM_SERIAL_TEXT:
    case UM_SYSTEM_MODE_TEXT:
      if (const auto* t = std::get_if<std::string>(&msg.payload)) info_query_->OnText(msg.id, *t);
      break;
    default: break;
  }
  if (!closed_) RefreshCommands();
}

PanelRun& CDravenkitDlg::RunOfState() {
  if (op_ == ActiveOp::kFactory) return factory_run_;
  return update_run_;
}

// ---------------------------------------------------------------- closing

void CDravenkitDlg::Shutdown() {
  if (closed_) return;
  closed_ = true;
  post_box_->Detach();
  KillTimer0();
  info_query_->Void();
  // Every stop is cooperative with a bounded wait; the ping run is stopped
  // too, so that it cannot outlive the window.
  backend_->StopScan();
  backend_->StopInfoQuery();
  backend_->StopPing();
  backend_->StopUpdate();
  backend_->StopFactoryDefault();
  backend_->StopNvtSetting();
}

bool CDravenkitDlg::WritingRunInProgress() const {
  if (state_ == kStateMultipleIp) return phase_ == RunPhase::kSending;
  return update_run_.Running() || factory_run_.Running();
}

void CDravenkitDlg::closeEvent(QCloseEvent* e) {
  // Esc, the close box and the menu's Close all come here.
  if (!closed_ && WritingRunInProgress() && !prompt_->Question(kCloseDuringRunText)) {
    e->ignore();
    return;
  }
  Shutdown();
  e->accept();
}

void CDravenkitDlg::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    OnCommand(IDCANCEL_HIDDEN);
    return;
  }
  QWidget::keyPressEvent(e);
}
