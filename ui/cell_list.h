#pragma once
// Report list whose every cell carries its own colours, bold flag, check box,
// progress bar and tool tip, drawn by the control itself; and the header that
// can show a check box in a column heading.
#include <QAbstractTableModel>
#include <QColor>
#include <QHeaderView>
#include <QString>
#include <QStyledItemDelegate>
#include <QTableView>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// One cell. An invalid colour stands for the list's default colour.
struct CellRecord {
  int32_t enabled = 1;  // read on the row's first cell
  int32_t bold = 0;
  QString tooltip;
  bool tooltip_whole = false;  // shown without the length cap
  QColor text_colour;
  QColor bg_colour;
  int32_t progress = 0;  // non-zero: a bar instead of the text
  int32_t progress_value = 0;
  QString progress_text;  // empty: "%d%%" of the value
  int32_t progress_text_flag = 1;
  int32_t check = -1;  // -1 none, 0 unchecked, 1 checked
  QString text;
};

class CellListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit CellListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void AddColumn(const QString& heading, Qt::Alignment align);
  void SetColumnHeading(int col, const QString& heading);
  Qt::Alignment ColumnAlignment(int col) const;

  int InsertRow(int row, const QString& text, const QColor& fg, const QColor& bg);
  void RemoveAllRows();
  // nullptr when out of range.
  CellRecord* Cell(int row, int col);
  const CellRecord* Cell(int row, int col) const;
  void CellChanged(int row, int col);
  void RowChanged(int row);
  // Reorders the rows: new row i is old row order[i]; order is a permutation.
  void ApplyRowOrder(const std::vector<int>& order);
  bool tooltips_enabled = false;

 private:
  struct Column {
    QString heading;
    Qt::Alignment align;
  };
  std::vector<Column> columns_;
  std::vector<std::vector<CellRecord>> rows_;
};

class CellDelegate : public QStyledItemDelegate {
 public:
  explicit CellDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// Header with optional check boxes in its headings and our own sort mark.
class CXHeaderCtrl : public QHeaderView {
  Q_OBJECT
 public:
  explicit CXHeaderCtrl(QWidget* parent = nullptr);
  // -1 no box, 0 empty, 1 ticked.
  void SetCheckState(int col, int state);
  int CheckState(int col) const;
  // Column showing a sort mark (-1 none) and its direction.
  void SetSortMark(int col, bool ascending);
  int SortMarkColumn() const { return sort_col_; }
  bool SortMarkAscending() const { return sort_ascending_; }

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

 private:
  std::vector<int> checks_;
  int sort_col_ = -1;
  bool sort_ascending_ = false;
};

class CCellListCtrl : public QTableView {
  Q_OBJECT
 public:
  explicit CCellListCtrl(QWidget* parent = nullptr);

  // Columns are created once; width in pixels.
  void InsertColumn(int col, const QString& heading, Qt::Alignment align, int width);
  void SetColumnHeading(int col, const QString& heading);
  int GetColumnCount() const;
  int GetItemCount() const;

  // Returns the new row or -1. Invalid colours take the defaults.
  int InsertItem(int row, const QString& text, const QColor& fg = QColor(), const QColor& bg = QColor());
  bool SetItemText(int row, int col, const QString& text);
  // Text left as it is when none is given.
  bool SetItemText(int row, int col, const std::optional<QString>& text, const QColor& fg, const QColor& bg);
  bool SetItemColours(int row, int col, const QColor& fg, const QColor& bg);
  QString GetItemText(int row, int col) const;
  // -1 when the cell does not exist or has no box.
  int GetCheckbox(int row, int col) const;
  bool SetCheckbox(int row, int col, int state);
  int GetBold(int row, int col) const;
  bool SetBold(int row, int col, int bold);
  bool SetEnabled(int row, int enabled);
  bool SetItemToolTipText(int row, int col, const QString& text, bool whole = false);
  bool SetProgress(int row, int col, bool show_text = true, const QString& text = QString());
  bool UpdateProgress(int row, int col, int value);
  bool DeleteProgress(int row, int col);
  // Colours and attributes of a cell (tests and drawing).
  const CellRecord* GetCell(int row, int col) const;
  void DeleteAllItems();
  void EnableToolTips(bool on);

  // Reorders the rows (new row i is old row order[i]); the view selection is dropped.
  void ApplyRowOrder(const std::vector<int>& order);

  // Selected rows in ascending order; the first one or -1.
  std::vector<int> SelectedRows() const;
  int FirstSelectedRow() const;
  // Makes row the only selected and focused row (-1: no selection).
  void SelectRow(int row);

  CXHeaderCtrl* Header() const { return header_; }
  CellListModel* Model() const { return model_; }

  // Default colours of the list.
  QColor DefaultText() const;
  QColor DefaultBackground() const;

 signals:
  // A cell's check box was toggled by a click.
  void checkboxClicked(int row, int col);
  // Left button released over the list, after the selection was updated (row may be -1).
  void listClick();
  void listDoubleClick();
  // Right click, after the list selected the row under the pointer.
  void listRightClick(QPoint global_pos);
  // A key press, before the list moves its selection.
  void listKeyDown(int key);
  // After the list has handled the key (and moved its current row).
  void listKeyHandled(int key);
  // A heading was clicked (also after a heading check box toggled).
  void columnClick(int col);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers mods) override;

 private:
  void UpdateHeaderCheck(int col);
  void OnSectionClicked(int col);

  CellListModel* model_;
  CXHeaderCtrl* header_;
};
