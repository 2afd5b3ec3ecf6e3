#pragma once
// The window's device list: the rows as the list shows them with their
// records (the window's device table, keys are rows), the selection and its
// display, the check boxes and their count, sorting, the list's click, key,
// right-click and double-click handlers, and the cells operations write.
#include <QObject>
#include <QPoint>
#include <functional>
#include <optional>
#include <set>

#include "ui/info_query_ui.h"
#include "ui/roles.h"

class CCellListCtrl;
class NetworkPanel;
class QMenu;

class DeviceRows : public QObject, public RowsView, public RowCells, public RowRecords {
 public:
  DeviceRows(CCellListCtrl* list, DeviceTable* devices, QMenu* popup, NetworkPanel* network_panel,
             PanelFields* fields, const StateOwner* state, Operator* op, EngineAccess* engine);
  // The query the selection starts, and what a change of the selection or the checks tells the window.
  void SetInfoQuery(InfoQueryUi* info) { info_ = info; }
  void OnSelectionChanged(std::function<void()> f) { selection_changed_ = std::move(f); }
  void OnChecksChanged(std::function<void()> f) { checks_changed_ = std::move(f); }

  void CreateColumns();
  void ResizeColumns();
  // "Clear": no rows, no selection, nothing ticked.
  void Clear();
  // "Web page" of the popup menu.
  void OnWebPage();
  int32_t RowCount() const { return row_count_; }
  int32_t SortDirection() const { return sort_direction_; }

  // RowsView
  const DeviceTable& Rows() const override { return devices_; }
  int ListRows() const override;
  QString CellText(int row, int col) const override;
  bool Ticked(int row) const override;
  int32_t CheckedCount() const override { return checked_count_; }
  std::vector<DeviceRecord> ListedRecords(bool ticked_only) const override;
  int SelectedKey() const override { return selected_row_; }
  const std::optional<DeviceRecord>& Selected() const override { return selected_record_; }
  // RowCells
  void SetStatus(int row, const QString& text, const QColor& fg, const QColor& bg) override;
  void SetCellLook(int row, int col, const QColor& fg, const QColor& bg, bool bold) override;
  void ClearMarks(int row, bool progress_too) override;
  void ShowRunStatus(int row, const RunStatusCell& cell, int32_t status) override;
  void ForgetSelection() override;
  // RowRecords
  int AppendRow(const DeviceRecord& rec) override;
  void ShowVerifiedRecord(int row, const DeviceRecord& rec) override;
  void ShowMovedRecord(int row, const DeviceRecord& rec, const std::set<int>& keep_rows) override;
  void ShowUpdatedRecord(int row, const DeviceRecord& rec) override;
  void AmendSetting(int row, const DeviceRecord& sent) override;
  void PaintSelectedIpCell(int row) override;

 private:
  QString Lang(int key) const { return op_->Lang(key); }
  void WriteIdentityCells(int row, const DeviceRecord& rec);
  void WritePortCells(int row, const DeviceRecord& rec);
  void MarkIpCollision(int row_a, int row_b);
  void MarkMovedOntoAnother(int row, uint32_t ip);
  void ReplaceRecord(int key, const DeviceRecord& rec);
  void RefreshSelectedRow(int row);
  void OnListClick();
  void OnListDoubleClick();
  void OnListRightClick(QPoint global_pos);
  void OnListKeyDown(int key);
  void OnListKeyHandled(int key);
  // The row the list made current when it is selected, else the first selected row.
  int CurrentSelectedRow() const;
  void OnItemChanged();
  void ShowRow(int row);
  void RestoreRowColours(int row);
  void OpenWebPage(const std::optional<DeviceRecord>& rec);
  void AfterCheckChange();
  void SortByColumn(int col);
  void SelectionChanged() {
    if (selection_changed_) selection_changed_();
  }

  CCellListCtrl* list_;
  DeviceTable& devices_;
  QMenu* popup_;
  NetworkPanel* network_panel_;
  PanelFields* fields_;
  const StateOwner* state_;
  Operator* op_;
  EngineAccess* engine_;
  InfoQueryUi* info_ = nullptr;
  std::function<void()> selection_changed_, checks_changed_;
  int32_t row_count_ = 0;
  int32_t selected_row_ = -1;
  std::optional<DeviceRecord> selected_record_;
  int32_t checked_count_ = 0;
  int32_t sort_direction_ = 0;  // 0: the next sort is descending
  bool in_sort_ = false;
  bool key_had_selection_ = false;
  bool in_key_ = false;  // the list is handling a key
  int query_row_by_change_ = -1;  // the row a current-row change has just queried
};
