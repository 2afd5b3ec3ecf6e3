#pragma once
// The main window: its layout in each operation state, the device tables, the
// operation state, and the routing of commands and worker messages to the
// operations (ui/window_operations.h). Workers report through MessageSink::Post
// from any thread; each message is queued to the window's thread and handled there.
#include <QWidget>
#include <cstdint>
#include <map>
#include <memory>

#include "config/settings.h"
#include "engine/devices/device_table.h"
#include "engine/update/worker_messages.h"
#include "ui/command_table.h"
#include "ui/roles.h"
#include "ui/window_options.h"
#include "ui/window_parts.h"

class DeviceRows;
class NetworkPanel;
class Operation;
class QAction;
class QCloseEvent;
class QKeyEvent;
class QMenu;
class QMenuBar;
class WindowPostBox;
struct WindowOperations;

class CDravenkitDlg : public QWidget, public MessageSink, private StateOwner {
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
  // The handling of messages 1025-1036 (window thread): each goes to the
  // operation that takes it, a discovery reply to the owner of the state it arrives in.
  void WorkerMessageHandler(const WorkerMessage& msg);

  // A command by control or menu identifier, as a button press sends it.
  void OnCommand(int id);

  int32_t OperationState() const { return state_; }
  // Accepts 0-6; false for other values.
  bool SetOperationState(int32_t state);

  // Controls by identifier (nullptr for unknown ones).
  QWidget* Control(int id) const;

  // Closing: stops every worker cooperatively (bounded waits). Idempotent.
  void Shutdown();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  friend class WindowPostBox;
  friend class WindowProbe;  // the tests' view of the window (tests/ui/window_probe.h)

  void CreateControls();
  // The list's popup menu and the "Dravenkit" menu's entries.
  void CreateMenus();
  void SetCaptions();
  void LayoutForState(int32_t state);
  void FillLocalAdapterPanel(bool* found);
  // What the command table decides from, as the window knows it now.
  CommandInputs CurrentCommandInputs() const;
  // Enables every command control as the command table says; the only place that does.
  void RefreshCommands();
  void OnClear();
  void OnSyslog();
  // The operation that owns the current state (nullptr in states 0, 4 and 6).
  Operation* OwnerOfState() const;

  // StateOwner: the operations take and give back the state.
  int32_t State() const override { return state_; }
  ActiveOp Active() const override { return op_; }
  RunPhase Phase() const override { return phase_; }
  void Started(ActiveOp op, RunPhase phase, int32_t state) override;
  void PhaseChanged(RunPhase phase) override;
  void Claim(ActiveOp op, RunPhase phase) override;
  void Ended(int32_t state) override;

  WindowOptions options_;
  std::shared_ptr<WindowPostBox> post_box_;
  bool closed_ = false;

  // The tables: the devices by row, and the selection list of the panel runs.
  CNVTSettings settings_;
  DeviceTable devices_;
  DeviceTable selection_list_;
  int32_t state_ = -1;
  ActiveOp op_ = ActiveOp::kNone;  // the operation that owns the state
  RunPhase phase_ = RunPhase::kNone;

  QMenuBar* menu_bar_ = nullptr;
  QWidget* client_ = nullptr;
  QMenu* context_menu_ = nullptr;
  std::map<int, QWidget*> controls_;
  std::multimap<int, QAction*> actions_;  // menu commands by identifier
  ControlFields fields_{&controls_};
  PromptOperator operator_;
  std::unique_ptr<WindowEngine> engine_;
  std::unique_ptr<NetworkPanel> network_panel_;
  std::unique_ptr<DeviceRows> rows_;
  std::unique_ptr<WindowOperations> ops_;
};
