#pragma once
// What an operation's window part may ask of the window: the rows it reads,
// the messages and questions it shows, "I started" and "I ended". Operations
// never reach the window's controls or members otherwise.
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
class CNVTSettingDlg;
struct RunStatusCell;

class OperationHost {
 public:
  virtual ~OperationHost() = default;
  virtual const DeviceTable& Rows() const = 0;            // the device table, keys are rows
  virtual DeviceTable* RunSelection() = 0;                // the selection list of the panel runs
  virtual void ShowText(int id, const QString& text) = 0;  // a label or field by identifier
  virtual QString TextOf(int id) const = 0;
  virtual void Tell(const std::string& text, PromptIcon icon) = 0;
  virtual bool Ask(const std::string& question) = 0;
  virtual QString Lang(int key) const = 0;
  virtual WindowBackend* Engine() = 0;
  virtual MessageSink* Sink() = 0;
  virtual Prompt* Prompts() = 0;
  virtual QWidget* Window() = 0;  // the parent of the windows an operation opens
  // The list as shown: its rows, a cell's text, the records of the rows in list
  // order (only the ticked ones when ticked_only), and the look of a cell.
  virtual int ListRows() const = 0;
  virtual QString CellText(int row, int col) const = 0;
  virtual std::vector<DeviceRecord> ListedRecords(bool ticked_only) const = 0;
  virtual void SetCellLook(int row, int col, const QColor& fg, const QColor& bg, bool bold) = 0;
  // The selected row and its record (-1 and empty when none); forgetting it
  // gives the row its own colours back.
  virtual int SelectedKey() const = 0;
  virtual const std::optional<DeviceRecord>& Selected() const = 0;
  virtual void ForgetSelection() = 0;
  // The cells an operation writes: the status (its text whole as the tool tip
  // when it does not fit), a cell's colours, and a verified device's new record
  // into its row (collision marks included).
  virtual void SetStatus(int row, const QString& text, const QColor& fg, const QColor& bg) = 0;
  virtual void SetCellColours(int row, int col, const QColor& fg, const QColor& bg) = 0;
  virtual void ShowVerifiedRecord(int row, const DeviceRecord& rec) = 0;
  // A device the scan found: the next row, unticked (-1: the list refused it).
  virtual int AppendRow(const DeviceRecord& rec) = 0;
  // A device's new record during a panel run: its cells, the address cell
  // marked when another row has its address; the status stays.
  virtual void ShowUpdatedRecord(int row, const DeviceRecord& rec) = 0;
  // A panel run's status code in its device's status cell.
  virtual void ShowRunStatus(int row, const RunStatusCell& cell, int32_t status) = 0;
  // A device of a multiple IP setting found at its new address: its row, and
  // every other row's marks cleared except those of keep_rows.
  virtual void ShowMovedRecord(int row, const DeviceRecord& rec, const std::set<int>& keep_rows) = 0;
  virtual void PaintSelectedIpCell(int row) = 0;  // the selected row's address cell in the selection colours
  virtual void ShowRowRecord(int row) = 0;         // the panels show the row's record
  virtual bool Ticked(int row) const = 0;
  virtual DeviceTableEntry* RowEntry(int row) = 0;  // a row's record to amend (nullptr: none)
  virtual CNVTSettings& SettingsStore() = 0;
  virtual CNVTSettingDlg* NvtDialog() = 0;          // the multiple IP setting dialog, kept and reused
  // The network setting panel's type (1 static, 0 DHCP, 2 PPPoE) and four
  // addresses; false (the field named, focused) when one is incomplete.
  virtual bool ReadPanelSetting(int32_t* type, uint32_t addr[4]) = 0;
  // The verification scans: timer 0 re-scans while a change is verified.
  virtual void ArmTimer0(uint32_t ms) = 0;
  virtual void KillTimer0() = 0;
  virtual void StopScan() = 0;
  virtual bool StartScan() = 0;
  virtual uint32_t RescanMs() const = 0;
  // The operation takes the window into state (its phase as given), changes its phase, or gives
  // the window back in the state its end leads to.
  virtual void Started(ActiveOp op, RunPhase phase, int32_t state) = 0;
  virtual void PhaseChanged(RunPhase phase) = 0;
  // The operation owns the window (or gives it back) without a change of state.
  virtual void Claim(ActiveOp op, RunPhase phase) = 0;
  virtual RunPhase Phase() const = 0;
  virtual void Ended(int32_t state) = 0;
  virtual int32_t State() const = 0;
  virtual ActiveOp Active() const = 0;
};
