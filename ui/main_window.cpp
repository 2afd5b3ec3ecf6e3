// The main window as a map. It keeps the layout of each operation state, the
// device tables, the operation state and the command table's inputs, and
// routes commands and worker messages to its operations (window_operations.h),
// each made with the roles it uses (roles.h):
//   scan, timer 0                ScanUi, scan_ui.cpp (UM_SCAN_DONE; UM_DEVICE_FOUND in state 1)
//   Apply and its verification   ApplyUi, apply_ui.cpp (UM_DEVICE_FOUND in state 2)
//   multiple IP setting          MultipleIpUi, multiple_ip_ui.cpp (UM_IP_SETTING_RESULT,
//                                UM_IP_CHECK_START; UM_DEVICE_FOUND in state 3)
//   update panel                 UpdatePanelUi, update_run_ui.cpp ("Firmware update", "Select", Cancel)
//   firmware update              UpdateRunUi, update_run_ui.cpp (UM_UPDATE_*; UM_DEVICE_FOUND in state 5)
//   factory default run          FactoryRunUi, factory_run_ui.cpp (UM_FACTORY_*; UM_DEVICE_FOUND in state 5)
//   information query            InfoQueryUi (UM_*_TEXT, each query's own sink)
//   ping and ARP                 PingArpUi, ping_arp_ui.cpp (UM_PING_RESULT)
//   monitoring, export           MonitoringUi, ListExportUi (monitoring_ui.cpp, list_export_ui.cpp)
//   inventory, video wall        InventoryUi, VideoWallUi (inventory_ui.cpp, video_wall_ui.cpp)
// Each state of the window is owned by one operation, so a discovery reply
// goes to the owner of the state it arrives in; every other message and
// command goes to the first operation in the list that takes it. The rows and
// the cells operations write are DeviceRows (device_list.cpp, list_rows.cpp).
// Which control may be pressed is ComputeCommandStates (command_table.h),
// applied by RefreshCommands after every command and message.
#include "ui/main_window.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "config/language.h"
#include "engine/talq/talq_client.h"
#include "ui/app.h"
#include "ui/backend.h"
#include "ui/cell_list.h"
#include "ui/colours.h"
#include "ui/device_rows.h"
#include "ui/ip_address_ctrl.h"
#include "ui/list_columns.h"
#include "ui/network_panel.h"
#include "ui/operation.h"
#include "ui/post_box.h"
#include "ui/prompt.h"
#include "ui/settings_save.h"
#include "ui/window_operations.h"
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

// ---------------------------------------------------------------- window

CDravenkitDlg::CDravenkitDlg(const WindowOptions& options, QWidget* parent)
    : QWidget(parent), options_(options), operator_(options.prompt, this) {
  post_box_ = std::make_shared<WindowPostBox>(this);
  options_.backend->KeepSinkAlive(post_box_);
  engine_ = std::make_unique<WindowEngine>(options_.backend, post_box_.get(), &settings_);
  setWindowIcon(DravenkitIcon());
  CreateControls();
}

CDravenkitDlg::~CDravenkitDlg() {
  Shutdown();
  UnloadLanguage();
}

QWidget* CDravenkitDlg::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------- the operation state

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
  in.rows = rows_->ListRows();
  int ticked = 0;  // the boxes themselves, however they were set
  for (int r = 0, n = in.rows; r < n; ++r)
    if (rows_->Ticked(r)) ++ticked;
  in.ticked = ticked;
  in.row_selected = rows_->SelectedKey() >= 0 && rows_->Selected().has_value();
  in.worker_running = state_ == kStateScanning || phase_ == RunPhase::kSending || phase_ == RunPhase::kRunning;
  in.panel_dhcp = network_panel_->Dhcp();
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
    a->SetPrompt(options_.prompt);
    add(id, a);
  }
  auto* network_type = new QButtonGroup(this);
  for (int id : {IDC_STATIC_IP, IDC_DHCP, IDC_PPPOE}) {
    auto* r = new QRadioButton(client_);
    add(id, r);
    network_type->addButton(r, id);
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

  auto* list = new CCellListCtrl(client_);
  add(IDC_DEVICE_LIST, list);
  context_menu_ = new QMenu(this);
  CreateMenus();

  // The window's parts and operations, each given the roles it uses.
  QRadioButton* const radios[3] = {static_cast<QRadioButton*>(Control(IDC_STATIC_IP)),
                                   static_cast<QRadioButton*>(Control(IDC_DHCP)),
                                   static_cast<QRadioButton*>(Control(IDC_PPPOE))};
  CIpAddressCtrl* const addresses[4] = {
      static_cast<CIpAddressCtrl*>(Control(IDC_IPADDRESS)), static_cast<CIpAddressCtrl*>(Control(IDC_SUBNETMASK)),
      static_cast<CIpAddressCtrl*>(Control(IDC_GATEWAY)), static_cast<CIpAddressCtrl*>(Control(IDC_DNS))};
  network_panel_ =
      std::make_unique<NetworkPanel>(radios, static_cast<QLineEdit*>(Control(IDC_MAC)), addresses, &operator_);
  StateOwner* const state = this;
  rows_ = std::make_unique<DeviceRows>(list, &devices_, context_menu_, network_panel_.get(), &fields_, state,
                                       &operator_, engine_.get());
  ops_ = std::make_unique<WindowOperations>(options_, state, rows_.get(), network_panel_.get(), &fields_, &operator_,
                                            engine_.get(), &selection_list_, post_box_);
  rows_->SetInfoQuery(&ops_->info_query);
  rows_->OnSelectionChanged([this] { RefreshCommands(); });
  rows_->OnChecksChanged([this] {
    ops_->panel.RefreshCount();
    RefreshCommands();
  });
}

void CDravenkitDlg::CreateMenus() {
  auto entry = [this](QMenu* menu, int id, const QString& text, QAction* before = nullptr) {
    QAction* a = new QAction(text, menu);
    menu->insertAction(before, a);
    connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
    actions_.emplace(id, a);
    return a;
  };
  entry(context_menu_, ID_MENU_MONITORING, QStringLiteral("Monitoring"));
  entry(context_menu_, ID_MENU_WEB, QStringLiteral("Web page"));
  entry(context_menu_, ID_MENU_VIDEO_WALL, QStringLiteral("Video wall"));
  const QString export_text = QStringLiteral("Export list...");
  entry(context_menu_, ID_MENU_EXPORT, export_text);
  entry(context_menu_, ID_MENU_READ_INFORMATION, QStringLiteral("Read information"));
  // "Export list..." also heads the "Dravenkit" menu, above Close.
  QMenu* window_menu = menu_bar_->actions().front()->menu();
  QAction* first = window_menu->actions().value(0, nullptr);
  entry(window_menu, ID_MENU_EXPORT, export_text, first);
  window_menu->insertSeparator(first);
}

bool CDravenkitDlg::Initialize() {
  setWindowTitle(QString::fromStdString(MakeWindowTitle(BuildVersion())));
  settings_.Load();
  SaveSettingsIfMissing(settings_, *options_.prompt);
  LoadLanguage();
  TalqSetTraceEnabled(settings_.XDEBUG_SERVER_ENABLE == 1);
  SetOperationState(kStateIdle);
  static_cast<CCellListCtrl*>(Control(IDC_DEVICE_LIST))->EnableToolTips(true);
  rows_->CreateColumns();
  OnClear();
  bool found = false;
  FillLocalAdapterPanel(&found);
  if (!found) {
    operator_.Tell(kNoAdaptersText, PromptIcon::kError);
    Shutdown();
    return false;
  }
  SetCaptions();
  fields_.ShowText(IDC_USER_ID, QString::fromLatin1(kInfoQueryUser));
  fields_.ShowText(IDC_PASSWORD, QString::fromLatin1(kDefaultDevicePassword));
  RefreshCommands();
  return true;
}

void CDravenkitDlg::SetCaptions() {
  auto label = [](int key) { return QString::fromUtf8(LanguageLabel(key).c_str()); };
  const std::pair<int, QString> captions[] = {
      {IDC_DISCOVERY, operator_.Lang(3)},
      {IDC_CLEAR, operator_.Lang(4)},
      {IDC_DELETE_ARP, operator_.Lang(5)},
      {IDC_PING_RESPONSE, QStringLiteral("Ping response")},
      {IDC_MULTIPLE_IP, operator_.Lang(6)},
      {IDC_FIRMWARE_UPDATE, operator_.Lang(7)},
      {IDC_SYSLOG, QStringLiteral("Syslog")},
      {IDC_SELECTED_COUNT_LABEL, QStringLiteral("Selected Count : ")},
      {IDC_LOCAL_GROUP, operator_.Lang(15)},
      {IDC_LOCAL_IP_LABEL, label(16)},
      {IDC_LOCAL_MASK_LABEL, label(17)},
      {IDC_LOCAL_GATEWAY_LABEL, label(18)},
      {IDC_LOCAL_DNS_LABEL, label(19)},
      {IDC_INFO_GROUP, operator_.Lang(63)},
      {IDC_SYSTEM_MODE_LABEL, QString::fromUtf8(SystemModeLabel().c_str())},
      {IDC_SERIAL_LABEL, label(64)},
      {IDC_FIRMWARE_LABEL, label(65)},
      {IDC_NETWORK_TYPE_GROUP, operator_.Lang(21)},
      {IDC_STATIC_IP, operator_.Lang(22)},
      {IDC_DHCP, operator_.Lang(23)},
      {IDC_PPPOE, operator_.Lang(24)},
      {IDC_NETWORK_SETTING_GROUP, operator_.Lang(25)},
      {IDC_MAC_LABEL, label(10)},
      {IDC_IP_LABEL, label(11)},
      {IDC_MASK_LABEL, label(17)},
      {IDC_GATEWAY_LABEL, label(18)},
      {IDC_DNS_LABEL, label(19)},
      {IDC_APPLY, operator_.Lang(26)},
      {IDC_AUTH_GROUP, operator_.Lang(30)},
      {IDC_USER_ID_LABEL, label(31)},
      {IDC_PASSWORD_LABEL, label(32)},
      {IDC_OPTIONS_GROUP, operator_.Lang(54)},
      {IDC_IP_SETTING_CHECK, QStringLiteral("IP setting")},
      {IDC_FACTORY_AFTER_CHECK, operator_.Lang(55)},
      {IDC_FIRMWARE_GROUP, operator_.Lang(51)},
      {IDC_TYPE_LABEL, QStringLiteral("Type")},
      {IDC_FILE_PATH_LABEL, operator_.Lang(52)},
      {IDC_SELECT_FILE, operator_.Lang(46)},
      {IDC_VERSION_LABEL, operator_.Lang(53)},
      {IDC_FACTORY_DEFAULT, operator_.Lang(59)},
      {IDC_UPDATE_START, operator_.Lang(7)},
      {IDC_UPDATE_CANCEL, operator_.Lang(2)},
      {IDC_SYSLOG_START, QStringLiteral("Start")},
      {IDC_SYSLOG_STOP, QStringLiteral("Stop")},
  };
  for (const auto& [id, text] : captions) fields_.ShowText(id, text);
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
  if (!Control(IDC_DEVICE_LIST)->isHidden()) rows_->ResizeColumns();
}

bool CDravenkitDlg::SetOperationState(int32_t state) {
  if (state < kStateIdle || state > kStateSyslog) return false;
  const int32_t old = state_;
  if (state == kStateIdle) {
    for (Operation* o : ops_->all) o->OnIdleAgain(old);
    if (old == kStateUpdatePanel) selection_list_.Clear();
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

void CDravenkitDlg::FillLocalAdapterPanel(bool* found) {
  LocalAdapterInfo info;
  *found = options_.backend->GetLocalAdapterInfo(&info) >= 0 && info.found;
  if (!*found) return;
  fields_.ShowText(IDC_LOCAL_IP, QString::fromStdString(info.ip));
  fields_.ShowText(IDC_LOCAL_MASK, QString::fromStdString(info.subnet_mask));
  fields_.ShowText(IDC_LOCAL_GATEWAY, QString::fromStdString(info.gateway));
  fields_.ShowText(IDC_LOCAL_DNS, QString::fromStdString(info.dns_server));
}

// ---------------------------------------------------------------- commands

void CDravenkitDlg::OnCommand(int id) {
  switch (id) {
    case IDC_CLEAR: OnClear(); break;
    case IDC_SYSLOG: OnSyslog(); break;
    case IDC_STATIC_IP:  // the command table reads the radios: DHCP disables the four address controls
    case IDC_DHCP: break;
    case ID_MENU_WEB: rows_->OnWebPage(); break;
    case IDCANCEL_HIDDEN: close(); break;
    default:
      for (Operation* o : ops_->all)
        if (o->OnCommand(id)) break;
      break;
  }
  if (!closed_) RefreshCommands();
}

void CDravenkitDlg::OnClear() {
  if (Operation* owner = OwnerOfState(); owner && owner->TakesClear()) return;
  for (Operation* o : ops_->all) o->OnClear();
  rows_->Clear();
  selection_list_.Clear();
  fields_.ShowText(IDC_SERIAL, QStringLiteral("-"));
  fields_.ShowText(IDC_FIRMWARE, QStringLiteral("-"));
  fields_.ShowText(IDC_SYSTEM_MODE, QStringLiteral("-"));
  fields_.ShowText(IDC_SELECTED_COUNT, QStringLiteral("0"));
  SetOperationState(kStateIdle);
}

void CDravenkitDlg::OnSyslog() {
  if (state_ == kStateUpdateRun) {
    operator_.Tell(operator_.Lang(57).toStdString(), PromptIcon::kInformation);
    return;
  }
  if (AcceptsNewOperation(state_))
    for (int r = 0, n = rows_->ListRows(); r < n; ++r) rows_->SetStatus(r, QString(), kWhite, kWhite);
  SetOperationState(kStateSyslog);
}

// ---------------------------------------------------------------- messages

void CDravenkitDlg::Post(WorkerMessage msg) { post_box_->Post(std::move(msg)); }

Operation* CDravenkitDlg::OwnerOfState() const {
  // State 5 set up by hand (no operation) is taken as the update's.
  Operation* owner = nullptr;
  for (Operation* o : ops_->all) {
    if (o->OwnedState() != state_) continue;
    if (o->Kind() == op_) return o;
    if (!owner) owner = o;
  }
  return owner;
}

void CDravenkitDlg::WorkerMessageHandler(const WorkerMessage& msg) {
  if (msg.id == UM_DEVICE_FOUND) {
    // States 0, 4 and 6 have no scan of their own.
    const auto* rec = std::get_if<DeviceRecord>(&msg.payload);
    if (Operation* owner = OwnerOfState(); rec && owner) owner->OnDeviceFound(*rec);
  } else {
    for (Operation* o : ops_->all)
      if (o->OnMessage(msg)) break;
  }
  if (!closed_) RefreshCommands();
}

// ---------------------------------------------------------------- closing

void CDravenkitDlg::Shutdown() {
  if (closed_) return;
  closed_ = true;
  post_box_->Detach();
  // Every stop is cooperative with a bounded wait; the ping run is stopped
  // too, so that it cannot outlive the window.
  for (Operation* o : ops_->all) o->Stop();
}

void CDravenkitDlg::closeEvent(QCloseEvent* e) {
  // Esc, the close box and the menu's Close all come here; they ask before
  // cutting off a run that writes to the devices.
  bool writing = false;
  for (const Operation* o : ops_->all) writing = writing || o->WritingNow();
  if (!closed_ && writing && !options_.prompt->Question(kCloseDuringRunText)) {
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
