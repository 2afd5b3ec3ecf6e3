#pragma once
// What an operation may do to the window, in narrow roles: each operation is
// given only the roles it uses, in its constructor. None of them reaches the
// window's controls or members otherwise.
#include <QColor>
#include <QString>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/devices/device_table.h"
#include "ui/command_table.h"
#include "ui/prompt.h"

class WindowBackend;
class MessageSink;
class QWidget;
class CNVTSettings;
struct RunStatusCell;

// The rows as the list shows them, and the selection.
class RowsView {
 public:
  virtual ~RowsView() = default;
  virtual const DeviceTable& Rows() const = 0;  // the device table, keys are rows
  virtual int ListRows() const = 0;
  virtual QString CellText(int row, int col) const = 0;
  virtual bool Ticked(int row) const = 0;
  virtual int32_t CheckedCount() const = 0;  // as "Selected Count" shows it
  // The records of the rows in list order (only the ticked ones when ticked_only).
  virtual std::vector<DeviceRecord> ListedRecords(bool ticked_only) const = 0;
  // The selected row and its record (-1 and empty when none).
  virtual int SelectedKey() const = 0;
  virtual const std::optional<DeviceRecord>& Selected() const = 0;
};

// A row's cells.
class RowCells {
 public:
  virtual ~RowCells() = default;
  // The status cell (its text whole as the tool tip when it does not fit).
  virtual void SetStatus(int row, const QString& text, const QColor& fg, const QColor& bg) = 0;
  virtual void SetCellLook(int row, int col, const QColor& fg, const QColor& bg, bool bold) = 0;
  // The address cell back in black on white and the status emptied (and the progress bar removed).
  virtual void ClearMarks(int row, bool progress_too) = 0;
  // A panel run's status code in its device's status cell.
  virtual void ShowRunStatus(int row, const RunStatusCell& cell, int32_t status) = 0;
  // Forgetting the selection gives the row its own colours back.
  virtual void ForgetSelection() = 0;
};

// A row's record.
class RowRecords {
 public:
  virtual ~RowRecords() = default;
  // A device the scan found: the next row, unticked (-1: the list refused it).
  virtual int AppendRow(const DeviceRecord& rec) = 0;
  // A verified device's new record into its row (collision marks included).
  virtual void ShowVerifiedRecord(int row, const DeviceRecord& rec) = 0;
  // A device of a multiple IP setting found at its new address: its row, and
  // every other row's marks cleared except those of keep_rows.
  virtual void ShowMovedRecord(int row, const DeviceRecord& rec, const std::set<int>& keep_rows) = 0;
  // A device's new record during a panel run: its cells, the address cell
  // marked when another row has its address; the status stays.
  virtual void ShowUpdatedRecord(int row, const DeviceRecord& rec) = 0;
  // The network setting a request sent, into the row's record (the panel shows it when selected).
  virtual void AmendSetting(int row, const DeviceRecord& sent) = 0;
  // The selected row's address cell in the selection colours.
  virtual void PaintSelectedIpCell(int row) = 0;
};

// The operation state: the window owns it; an operation takes it when it
// starts and gives it back at its end.
class StateOwner {
 public:
  virtual ~StateOwner() = default;
  virtual int32_t State() const = 0;
  virtual ActiveOp Active() const = 0;
  virtual RunPhase Phase() const = 0;
  // The operation takes the window into state (its phase as given).
  virtual void Started(ActiveOp op, RunPhase phase, int32_t state) = 0;
  virtual void PhaseChanged(RunPhase phase) = 0;
  // The operation owns the window (or gives it back) without a change of state.
  virtual void Claim(ActiveOp op, RunPhase phase) = 0;
  // The window back, in the state the end leads to.
  virtual void Ended(int32_t state) = 0;
};

// The panels' fields by identifier.
class PanelFields {
 public:
  virtual ~PanelFields() = default;
  virtual void ShowText(int id, const QString& text) = 0;  // a label or an entry
  virtual QString TextOf(int id) const = 0;
  virtual bool Checked(int id) const = 0;  // a check box or a radio
  virtual void SetChecked(int id, bool on) = 0;
  virtual int Choice(int id) const = 0;  // a list box's index
  virtual void SetChoice(int id, int index) = 0;
  virtual void Focus(int id) = 0;
};

// The network setting panel, as "Apply" reads it.
class NetworkSettingPanel {
 public:
  virtual ~NetworkSettingPanel() = default;
  // The type (1 static, 0 DHCP, 2 PPPoE) and four addresses; false (the
  // field named, focused) when one is incomplete.
  virtual bool ReadSetting(int32_t* type, uint32_t addr[4]) = 0;
};

// Asking and telling the operator.
class Operator {
 public:
  virtual ~Operator() = default;
  virtual void Tell(const std::string& text, PromptIcon icon) = 0;
  virtual bool Ask(const std::string& question) = 0;
  virtual QString Lang(int key) const = 0;  // a language text
  virtual Prompt* Prompts() = 0;
  virtual QWidget* Window() = 0;  // the parent of the windows an operation opens
};

// The engine, the sink its workers post to, and the settings.
class EngineAccess {
 public:
  virtual ~EngineAccess() = default;
  virtual WindowBackend* Engine() = 0;
  virtual MessageSink* Sink() = 0;
  virtual CNVTSettings& Settings() = 0;
};

// The scans that verify a network change: timer 0 re-scans while one is verified.
class VerificationScans {
 public:
  virtual ~VerificationScans() = default;
  virtual bool StartScan() = 0;
  virtual void StopScan() = 0;
  virtual void ArmTimer0(uint32_t ms) = 0;
  virtual void KillTimer0() = 0;
  virtual uint32_t RescanMs() const = 0;
};
