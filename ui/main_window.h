#pragma once
// The main window: command buttons, the device list, the side panels of each
// operation state, the tables of devices and the handling of every worker
// message. Workers report through MessageSink::Post from any thread; each
// message is queued to the window's thread and handled there.
#include <QColor>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "config/settings.h"
#include "engine/devices/device_table.h"
#include "engine/devices/discovery_scan.h"
#include "engine/ops/factory_default_run.h"
#include "engine/ops/info_query.h"
#include "engine/ops/inventory_run.h"
#include "engine/ops/set_network.h"
#include "engine/ops/multiple_ip.h"
#include "engine/update/update_run.h"
#include "engine/update/worker_messages.h"

class Authentication;
class CCellListCtrl;
class CViewerControl;
class CNVTSettingDlg;
class Prompt;
class QButtonGroup;
class QCloseEvent;
class QKeyEvent;
class QMenu;
class QAction;
class QMenuBar;
class WindowBackend;

// Operation states.
enum : int32_t {
  kStateIdle = 0,
  kStateScanning = 1,
  kStateVerifyOne = 2,
  kStateMultipleIp = 3,
  kStateUpdatePanel = 4,
  kStateUpdateRun = 5,
  kStateSyslog = 6,
};

// Control identifiers of the window (the list's popup menu uses 134 and 135).
enum : int {
  IDC_DISCOVERY = 1000,
  IDC_CLEAR = 1001,
  IDC_DEVICE_LIST = 1002,
  IDC_DELETE_ARP = 1003,
  IDC_MULTIPLE_IP = 1004,
  IDC_FIRMWARE_UPDATE = 1005,
  IDC_PING_RESPONSE = 1073,
  IDC_SYSLOG = 1033,
  IDC_SELECTED_COUNT_LABEL = 1077,
  IDC_SELECTED_COUNT = 1075,
  IDC_LOCAL_GROUP = 1006,
  IDC_LOCAL_IP_LABEL = 1007,
  IDC_LOCAL_MASK_LABEL = 1011,
  IDC_LOCAL_GATEWAY_LABEL = 1012,
  IDC_LOCAL_DNS_LABEL = 1013,
  IDC_LOCAL_IP = 1014,
  IDC_LOCAL_MASK = 1015,
  IDC_LOCAL_GATEWAY = 1016,
  IDC_LOCAL_DNS = 1017,
  IDC_INFO_GROUP = 1008,
  IDC_SYSTEM_MODE_LABEL = 1081,
  IDC_SERIAL_LABEL = 1034,
  IDC_FIRMWARE_LABEL = 1035,
  IDC_SYSTEM_MODE = 1082,
  IDC_SERIAL = 1036,
  IDC_FIRMWARE = 1037,
  IDC_NETWORK_TYPE_GROUP = 1009,
  IDC_STATIC_IP = 1018,
  IDC_DHCP = 1019,
  IDC_PPPOE = 1020,
  IDC_NETWORK_SETTING_GROUP = 1010,
  IDC_MAC_LABEL = 1021,
  IDC_IP_LABEL = 1023,
  IDC_MASK_LABEL = 1024,
  IDC_GATEWAY_LABEL = 1025,
  IDC_DNS_LABEL = 1026,
  IDC_MAC = 1022,
  IDC_IPADDRESS = 102,
  IDC_SUBNETMASK = 103,
  IDC_GATEWAY = 104,
  IDC_DNS = 105,
  IDC_APPLY = 1027,
  IDC_AUTH_GROUP = 1028,
  IDC_USER_ID_LABEL = 1029,
  IDC_PASSWORD_LABEL = 1030,
  IDC_USER_ID = 1055,
  IDC_PASSWORD = 1056,
  IDC_OPTIONS_GROUP = 1032,
  IDC_IP_SETTING_CHECK = 1068,
  IDC_IP_SETTING_TEXT = 1078,
  IDC_FACTORY_AFTER_CHECK = 1062,
  IDC_FIRMWARE_GROUP = 1031,
  IDC_TYPE_LABEL = 1065,
  IDC_TYPE = 1066,
  IDC_FILE_PATH_LABEL = 1058,
  IDC_SELECT_FILE = 1059,
  IDC_FILE_PATH = 1057,
  IDC_VERSION_LABEL = 1060,
  IDC_VERSION = 1061,
  IDC_FACTORY_DEFAULT = 1067,
  IDC_UPDATE_START = 1063,
  IDC_UPDATE_CANCEL = 1064,
  IDC_SYSLOG_LIST = 1046,
  IDC_SYSLOG_START = 1070,
  IDC_SYSLOG_STOP = 1071,
  IDOK_HIDDEN = 1,
  IDCANCEL_HIDDEN = 2,
  ID_MENU_MONITORING = 134,
  ID_MENU_WEB = 135,
  ID_MENU_VIDEO_WALL = 136,
};

// Selected row cells (white on this) and the model name of a device that did not answer ping.
inline QColor SelectionColour() { return QColor(11, 145, 228); }
inline QColor PingFailureColour() { return QColor(221, 11, 84); }

// Device list columns.
enum : int { kColNo = 0, kColModel = 1, kColMac = 2, kColIp = 3, kColWebPort = 4, kColAvPort = 5, kColStatus = 6 };

// Dotted-address entry standing in for the platform's IP address control.
class CIpAddressCtrl : public QLineEdit {
 public:
  explicit CIpAddressCtrl(QWidget* parent = nullptr);
  void SetAddress(uint32_t ip);
  // 0 and *ip for a complete address, -1 otherwise.
  int GetAddress(uint32_t* ip) const;
};

// Timing of the window's own waits; the product values are the defaults.
struct WindowTimings {
  uint32_t rescan_ms = 3000;  // timer 0 while a network change is verified
};

struct WindowOptions {
  WindowBackend* backend = nullptr;  // not owned; must outlive the window
  Prompt* prompt = nullptr;          // not owned; must outlive the window
  WindowTimings timings;
  ScanTimings scan_timings;
  ScanPorts scan_ports;
  InfoQueryTimings info_timings;
  FactoryDefaultTimings factory_timings;
  // The monitoring window's viewer control; empty: the real one.
  std::function<CViewerControl*(QWidget* parent)> make_viewer;
  SetNetworkTimings set_network_timings;
  // Runs the Authentication dialog of "Apply" (tests answer it); empty: exec().
  std::function<int(Authentication&)> run_authentication;
  NvtSettingTimings nvt_timings;
  InventoryTimings inventory_timings;
};

// The layout is drawn in 96-dpi pixels; the window scales it by 5/4 so that
// the wider fonts of Linux desktops fit their controls.
int WindowPx(int layout_px);

// "Dravenkit ver. %s"; an absent version gives "Dravenkit ver. ".
std::string MakeWindowTitle(const char* version);
// The version compiled into this build, or nullptr.
const char* BuildVersion();

class CDravenkitDlg : public QWidget, public MessageSink {
  Q_OBJECT
 public:
  explicit CDravenkitDlg(const WindowOptions& options, QWidget* parent = nullptr);
  ~CDravenkitDlg() override;

  // The window's start-up: title, settings and language, layout, list
  // columns, "Clear", the local adapter panel and every caption. False when
  // the program has to end (no network adapter; the message was shown).
  bool Initialize();

  // MessageSink: any thread. The message is handled later on the window's
  // thread; after the window closed it is dropped.
  void Post(WorkerMessage msg) override;
  // The handling of messages 1025-1035 (window thread).
  void WorkerMessageHandler(const WorkerMessage& msg);

  // A command by control or menu identifier, as a button press sends it.
  void OnCommand(int id);

  int32_t OperationState() const { return state_; }
  // Accepts 0-6; false for other values.
  bool SetOperationState(int32_t state);

  // Controls by identifier (nullptr for unknown ones).
  QWidget* Control(int id) const;
  CCellListCtrl* List() const { return list_; }

  // Tables and window-level values.
  const DeviceTable& Devices() const { return devices_; }
  DeviceTable* VerificationList() { return &verify_list_; }
  DeviceTable* SelectionList() { return &selection_list_; }
  int32_t RowCount() const { return row_count_; }
  int32_t PendingCount() const { return pending_count_; }
  void SetPendingCount(int32_t n) { pending_count_ = n; }
  void SetExpectedMac(const uint8_t mac[6]);
  int32_t SelectedRow() const { return selected_row_; }
  const std::optional<DeviceRecord>& SelectedRecord() const { return selected_record_; }
  int32_t CheckedCount() const { return checked_count_; }
  int32_t SortDirection() const { return sort_direction_; }
  const CNVTSettings& Settings() const { return settings_; }
  // True while a run reads the device table on its thread (states 3 and 5):
  // sorting and "Clear" are refused then, so no worker sees the table re-keyed or emptied.
  bool TablesInUse() const;

  // Timer 0: re-scan while a network change is verified.
  void ArmTimer0(uint32_t ms);
  void KillTimer0();
  bool Timer0Active() const;
  void OnTimer0();

  // Enables or disables the network setting controls together.
  void EnableNetworkControls(bool on);
  // The list's popup menu (shown by a right click).
  QMenu* ContextMenu() const { return context_menu_; }
  // The open monitoring window, or nullptr.
  QWidget* MonitoringWindow() const { return monitoring_; }
  // The inventory window "Read information" opened last, while it is open.
  QWidget* InventoryWindow() const { return inventory_; }
  // The open video wall, or nullptr.
  QWidget* VideoWallWindow() const { return video_wall_; }

  // The multiple IP setting dialog, kept and reused (created at first use).
  CNVTSettingDlg* NvtDialog();

  // Closing: stops every worker cooperatively (bounded waits). Idempotent.
  void Shutdown();

  // Resets the IP-address and status cells of the unticked rows and rebuilds
  // the selection list from the ticked rows (row order, keys 0, 1, ..., each
  // with its row). Returns the number of entries.
  int32_t BuildSelectionList();
  // The refusals both panel runs share (text 57, nothing ticked, empty ID or
  // password); builds the selection list. False when the run must not start.
  bool PanelRunMayStart();

  // The firmware update run (ui/update_run_ui.cpp).
  void OnSelectFirmwareFile();
  void OnUpdateStart();
  void OnUpdateRunEnded(const WorkerMessage& msg);
  UpdateConfig UpdateConfigFromPanel() const;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void CreateControls();
  void CreateColumns();
  void SetCaptions();
  void LayoutForState(int32_t state);
  void FillLocalAdapterPanel(bool* found);
  void SetText(int id, const QString& text);
  void EnableControl(int id, bool on);

  // Commands.
  void OnDiscovery();
  void OnClear();
  void OnDeleteArpTable();
  // ui/list_export_ui.cpp: "Export list..." and the command runner's failure box.
  void CreateExportActions();
  void OnExportList();
  void ReportRunnerFailure(int32_t rc);
  void OnPingResponse();
  void OnOpenUpdatePanel();
  void OnUpdateCancel();
  void OnSyslog();
  void OnStaticIp();
  void OnDhcp();
  // "Apply" (network_setting_ui.cpp).
  void OnApply();
  bool ApplyToDevice(int target, const DeviceRecord& rec);
  int32_t PanelNetworkType() const;
  bool ReadPanelAddresses(int32_t network_type, uint32_t out[4]);
  int RunAuthentication(Authentication* dlg);
  void StorePanelIntoSettings();
  void RefreshUpdatePanelCount();

  // Scan.
  bool StartScan();
  void StopScan();

  // Messages.
  void OnDeviceFound(const DeviceRecord& rec);
  void OnScanDone(const WorkerMessage& msg);
  void OnIpCheckStart();
  void OnUpdateStatus(const StatusReport& report);
  void OnUpdateDone();
  void OnFactoryStatus(const FactoryStatusReport& report);
  void OnFactoryDone(const WorkerMessage& msg);
  // Factory default run (factory_run_ui.cpp).
  void OnFactoryDefault();
  void NoteFactoryProgress(const FactoryStatusReport& report);
  std::string FactoryDoneText(int* missing) const;
  void OnPingResult(const PingResult& result, bool answered);
  void OnInfoText(int id, const std::string& text);

  // Multiple IP setting (multiple_ip_ui.cpp).
  void OnMultipleIpSetting();
  void OnIpSettingResult(const WorkerMessage& msg);
  void OnNvtSettingDone(const WorkerMessage& msg);

  // Merging a record into the list.
  void MergeScanning(const DeviceRecord& rec);
  void MergeVerifyOne(const DeviceRecord& rec);
  void MergeMultipleIp(const DeviceRecord& rec);
  void MergeUpdateRun(const DeviceRecord& rec);
  void WriteIdentityCells(int row, const DeviceRecord& rec);
  void WritePortCells(int row, const DeviceRecord& rec);
  void MarkIpCollision(int row_a, int row_b);
  void SetStatus(int row, const QString& text, const QColor& fg, const QColor& bg);
  void ReplaceRecord(int key, const DeviceRecord& rec);
  void PaintSelectedIpCell(int row);

  // Device list view.
  void OnListClick();
  void OnListDoubleClick();
  void OnListRightClick(QPoint global_pos);
  void OnListKeyDown(int key);
  void OnColumnClick(int col);
  void OnItemChanged();
  void ShowRow(int row);
  void RestoreRowColours(int row);
  void ForgetSelection();
  enum class QueryCheck { kClick, kKey, kNone };
  void StartInfoQueryForRow(int row, QueryCheck check);
  void OpenWebPage(const std::optional<DeviceRecord>& rec);
  void OnMonitoring();
  // ui/inventory_ui.cpp: "Read information" of the popup menu.
  void CreateInventoryAction();
  void OnReadInformation();
  void OnVideoWall();  // ui/video_wall_ui.cpp
  void AfterCheckChange();
  void SortByColumn(int col);
  void ResizeColumns();
  QString Lang(int key) const;

  WindowOptions options_;
  WindowBackend* backend_;
  Prompt* prompt_;

  // Message queueing: Post takes the lock and queues only while accepting.
  std::shared_ptr<std::mutex> post_mu_ = std::make_shared<std::mutex>();
  bool accepting_ = true;
  bool closed_ = false;

  CNVTSettings settings_;
  DeviceTable devices_;
  DeviceTable verify_list_;
  DeviceTable selection_list_;
  int32_t state_ = -1;
  int32_t row_count_ = 0;
  int32_t pending_count_ = 0;
  int32_t selection_count_ = 0;
  uint8_t expected_mac_[6] = {};
  DeviceRecord expected_setting_{};  // what "Apply" sent, when known
  bool expected_setting_known_ = false;
  int32_t selected_row_ = -1;
  std::optional<DeviceRecord> selected_record_;
  int32_t checked_count_ = 0;
  int32_t sort_direction_ = 0;  // 0: the next sort is descending
  bool run_failed_ = false;
  bool factory_running_ = false;  // state 5 belongs to the factory default run
  bool in_sort_ = false;
  bool applying_ = false;
  std::string firmware_path_;

  QTimer timer0_;
  QMenuBar* menu_bar_ = nullptr;
  QWidget* client_ = nullptr;
  CCellListCtrl* list_ = nullptr;
  QMenu* context_menu_ = nullptr;
  QAction* web_action_ = nullptr;
  QAction* monitoring_action_ = nullptr;
  QAction* inventory_action_ = nullptr;
  QPointer<QWidget> monitoring_;
  QPointer<QWidget> inventory_;
  QAction* video_wall_action_ = nullptr;
  QPointer<QWidget> video_wall_;
  QButtonGroup* network_type_ = nullptr;
  std::map<int, QWidget*> controls_;
  CNVTSettingDlg* nvt_dialog_ = nullptr;  // child of the window
  std::set<int> nvt_run_rows_;            // rows of the devices the last run sent to
};
