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
#include "ui/command_table.h"
#include "ui/control_ids.h"
#include "ui/apply_ui.h"
#include "ui/info_query_ui.h"
#include "ui/list_ops.h"
#include "ui/multiple_ip_ui.h"
#include "ui/operation.h"
#include "ui/panel_run.h"
#include "ui/prompt.h"
#include "ui/scan_ui.h"

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

// Devices a closing box names; beyond this only the count is given.
constexpr int kNamedDevicesMax = 8;

// Selected row cells (white on this) and the model name of a device that did not answer ping.
inline QColor SelectionColour() { return QColor(11, 145, 228); }
inline QColor PingFailureColour() { return QColor(221, 11, 84); }

// Device list columns.
enum : int { kColNo = 0, kColModel = 1, kColMac = 2, kColIp = 3, kColWebPort = 4, kColAvPort = 5, kColStatus = 6 };

// Dotted-address entry standing in for the platform's IP address control.
// As the platform's control: a part over 255 is named in a message and set to
// 255; any other character than digits and dots is refused with a message.
class CIpAddressCtrl : public QLineEdit {
 public:
  explicit CIpAddressCtrl(QWidget* parent = nullptr);
  void SetPrompt(Prompt* prompt) { prompt_ = prompt; }
  void SetAddress(uint32_t ip);
  // 0 and *ip for a complete address, -1 otherwise.
  int GetAddress(uint32_t* ip) const;

 private:
  void OnEdited(const QString& text);
  Prompt* prompt_ = nullptr;
  QString accepted_;  // the last text that was a possible address
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

class CDravenkitDlg;

// What the workers post to. It outlives the window (the backend keeps it), and
// once the window has closed it drops every message.
class WindowPostBox : public MessageSink {
 public:
  explicit WindowPostBox(CDravenkitDlg* window) : window_(window) {}
  void Post(WorkerMessage msg) override;  // any thread
  // An information query's message: handled only while that query is the newest.
  void PostQueryText(WorkerMessage msg, uint32_t generation);
  void Detach();  // the window's thread, at closing

 private:
  std::mutex mu_;
  CDravenkitDlg* window_;  // nullptr once detached
};

// The sink of one information query: its messages carry the query's generation.
class InfoQuerySink : public MessageSink {
 public:
  InfoQuerySink(std::shared_ptr<WindowPostBox> box, uint32_t generation)
      : box_(std::move(box)), generation_(generation) {}
  void Post(WorkerMessage msg) override { box_->PostQueryText(std::move(msg), generation_); }

 private:
  std::shared_ptr<WindowPostBox> box_;
  uint32_t generation_;
};


class CDravenkitDlg : public QWidget, public MessageSink, private OperationHost {
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
  DeviceTable* VerificationList() { return multiple_ip_.VerificationList(); }
  DeviceTable* SelectionList() { return &selection_list_; }
  int32_t RowCount() const { return row_count_; }
  int32_t PendingCount() const { return multiple_ip_.PendingCount(); }
  void SetPendingCount(int32_t n) { multiple_ip_.SetPendingCount(n); }
  void SetExpectedMac(const uint8_t mac[6]) { apply_ui_.SetExpectedMac(mac); }
  int32_t SelectedRow() const { return selected_row_; }
  const std::optional<DeviceRecord>& SelectedRecord() const { return selected_record_; }
  int32_t CheckedCount() const { return checked_count_; }
  int32_t SortDirection() const { return sort_direction_; }
  const CNVTSettings& Settings() const { return settings_; }
  // True while a run reads the device table on its thread (states 3 and 5):
  // sorting and "Clear" are refused then, so no worker sees the table re-keyed or emptied.
  bool TablesInUse() const;

  // Timer 0: re-scan while a network change is verified.
  void ArmTimer0(uint32_t ms) override { scan_ui_.ArmTimer0(ms); }
  void KillTimer0() override { scan_ui_.KillTimer0(); }
  bool Timer0Active() const { return scan_ui_.Timer0Active(); }
  void OnTimer0() { scan_ui_.OnTimer0(); }

  // What the command table decides from, as the window knows it now.
  CommandInputs CurrentCommandInputs() const;
  ActiveOp ActiveOperation() const { return op_; }
  RunPhase Phase() const override { return phase_; }
  // The list's popup menu (shown by a right click).
  QMenu* ContextMenu() const { return context_menu_; }
  // The open monitoring window, or nullptr.
  QWidget* MonitoringWindow() const { return monitoring_ui_.Window(); }
  // The inventory window "Read information" opened last, while it is open.
  QWidget* InventoryWindow() const { return inventory_ui_.Window(); }
  // The open video wall, or nullptr.
  QWidget* VideoWallWindow() const { return video_wall_ui_.Window(); }

  // The multiple IP setting dialog, kept and reused (created at first use).
  CNVTSettingDlg* NvtDialog() override;

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
  // Enables every command control as the command table says; the only place that does.
  void RefreshCommands();
  // A run that writes to the devices is under way (closing would cut it off).
  bool WritingRunInProgress() const;

  // Commands.
  void OnClear();
  // ui/list_export_ui.cpp: the "Export list..." entries.
  void CreateExportActions();
  void OnOpenUpdatePanel();
  void OnUpdateCancel();
  void OnSyslog();
  void OnStaticIp();
  void OnDhcp();
  // The panel that "Apply" reads (network_setting_ui.cpp).
  bool ReadPanelSetting(int32_t* type, uint32_t addr[4]) override;
  void StorePanelIntoSettings();
  void RefreshUpdatePanelCount();

  // The scans of the verifications.
  bool StartScan() override { return scan_ui_.Start(); }
  void StopScan() override { scan_ui_.Stop(); }

  // Factory default run (factory_run_ui.cpp).
  void OnFactoryDefault();
  // The panel run that owns state 5 (one set up by hand is taken as the update).
  PanelRun& RunOfState();

  // The cells operations write (list_rows.cpp).
  int AppendRow(const DeviceRecord& rec) override;
  void ShowVerifiedRecord(int row, const DeviceRecord& rec) override;
  void ShowMovedRecord(int row, const DeviceRecord& rec, const std::set<int>& keep_rows) override;
  void ShowUpdatedRecord(int row, const DeviceRecord& rec) override;
  void ShowRunStatus(int row, const RunStatusCell& cell, int32_t status) override;
  void WriteIdentityCells(int row, const DeviceRecord& rec);
  void WritePortCells(int row, const DeviceRecord& rec);
  void MarkIpCollision(int row_a, int row_b);
  void MarkMovedOntoAnother(int row, uint32_t ip);
  void SetStatus(int row, const QString& text, const QColor& fg, const QColor& bg) override;
  void ReplaceRecord(int key, const DeviceRecord& rec);
  void PaintSelectedIpCell(int row) override;
  void RefreshSelectedRow(int row);

  // Device list view.
  void OnListClick();
  void OnListDoubleClick();
  void OnListRightClick(QPoint global_pos);
  void OnListKeyDown(int key);
  void OnListKeyHandled(int key);
  // The row the list made current when it is selected, else the first selected row.
  int CurrentSelectedRow() const;
  void OnColumnClick(int col);
  void OnItemChanged();
  void ShowRow(int row);
  void RestoreRowColours(int row);
  void ForgetSelection() override;
  void OpenWebPage(const std::optional<DeviceRecord>& rec);
  // ui/inventory_ui.cpp: "Read information" of the popup menu.
  void CreateInventoryAction();
  void AfterCheckChange();
  void SortByColumn(int col);
  void ResizeColumns();
  QString Lang(int key) const override;

  // OperationHost: what the operations' window parts see of the window.
  const DeviceTable& Rows() const override;
  DeviceTable* RunSelection() override;
  void ShowText(int id, const QString& text) override;
  QString TextOf(int id) const override;
  void Tell(const std::string& text, PromptIcon icon) override;
  bool Ask(const std::string& question) override;
  WindowBackend* Engine() override;
  MessageSink* Sink() override;
  Prompt* Prompts() override { return prompt_; }
  QWidget* Window() override { return this; }
  int ListRows() const override;
  QString CellText(int row, int col) const override;
  std::vector<DeviceRecord> ListedRecords(bool ticked_only) const override;
  void SetCellLook(int row, int col, const QColor& fg, const QColor& bg, bool bold) override;
  int SelectedKey() const override { return selected_row_; }
  const std::optional<DeviceRecord>& Selected() const override { return selected_record_; }
  void Started(ActiveOp op, RunPhase phase, int32_t state) override;
  void PhaseChanged(RunPhase phase) override;
  void Claim(ActiveOp op, RunPhase phase) override;
  void SetCellColours(int row, int col, const QColor& fg, const QColor& bg) override;
  void ShowRowRecord(int row) override { ShowRow(row); }
  bool Ticked(int row) const override;
  DeviceTableEntry* RowEntry(int row) override { return devices_.FindByKey(row); }
  CNVTSettings& SettingsStore() override { return settings_; }
  uint32_t RescanMs() const override { return options_.timings.rescan_ms; }
  void Ended(int32_t state) override;
  int32_t State() const override { return state_; }
  ActiveOp Active() const override { return op_; }

  WindowOptions options_;
  WindowBackend* backend_;
  Prompt* prompt_;

  friend class WindowPostBox;
  std::shared_ptr<WindowPostBox> post_box_;
  bool closed_ = false;

  CNVTSettings settings_;
  DeviceTable devices_;
  DeviceTable selection_list_;
  int32_t state_ = -1;
  int32_t row_count_ = 0;
  int32_t selection_count_ = 0;
  int32_t selected_row_ = -1;
  std::optional<DeviceRecord> selected_record_;
  int32_t checked_count_ = 0;
  int32_t sort_direction_ = 0;  // 0: the next sort is descending
  ActiveOp op_ = ActiveOp::kNone;  // the operation that owns the state
  RunPhase phase_ = RunPhase::kNone;
  bool in_sort_ = false;
  bool key_had_selection_ = false;
  bool in_key_ = false;  // the list is handling a key
  int query_row_by_change_ = -1;  // the row a current-row change has just queried
  std::string firmware_path_;

  QMenuBar* menu_bar_ = nullptr;
  QWidget* client_ = nullptr;
  CCellListCtrl* list_ = nullptr;
  QMenu* context_menu_ = nullptr;
  QAction* web_action_ = nullptr;
  QAction* monitoring_action_ = nullptr;
  QAction* inventory_action_ = nullptr;
  QAction* video_wall_action_ = nullptr;
  QButtonGroup* network_type_ = nullptr;
  std::map<int, QWidget*> controls_;
  std::multimap<int, QAction*> actions_;  // menu commands by identifier
  CNVTSettingDlg* nvt_dialog_ = nullptr;  // child of the window
  ScanUi scan_ui_{this, options_.scan_timings, options_.scan_ports};
  // The panel's runs (ui/panel_run.h).
  UpdateRunUi update_run_{this};
  FactoryRunUi factory_run_{this};
  std::unique_ptr<InfoQueryUi> info_query_;  // made with the post box
  // The list's short operations (ui/list_ops.h).
  PingArpUi ping_arp_{this};
  ApplyUi apply_ui_{this, options_.set_network_timings, options_.run_authentication};
  MultipleIpUi multiple_ip_{this, options_.nvt_timings};
  MonitoringUi monitoring_ui_{this, options_.make_viewer};
  ListExportUi export_ui_{this};
  InventoryUi inventory_ui_{this, options_.inventory_timings};
  VideoWallUi video_wall_ui_{this, options_.make_viewer};
};
