#include "ui/cell_list.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <algorithm>

namespace {

constexpr int kTextMargin = 5;
constexpr int kTooltipMax = 79;
const QColor kProgressFill(224, 224, 224);
const QColor kBoxFrame(51, 102, 153);
const QColor kCheckMark(51, 153, 51);

// Box as high as the cell less one pixel, 9 pixels from its left edge, or
// centred when the cell has no text.
QRect CheckBoxRect(const QRect& cell, bool has_text) {
  const int side = std::max(1, cell.height() - 1);
  const int left = has_text ? cell.left() + 9 : cell.left() + (cell.width() - side) / 2;
  return QRect(left, cell.top(), side, side);
}

void DrawCheckBox(QPainter* p, const QRect& box, int state, const QColor& fill, const QColor& mark) {
  p->setRenderHint(QPainter::Antialiasing, false);
  p->setBrush(Qt::NoBrush);
  p->fillRect(box, fill);
  p->setPen(kBoxFrame);
  p->drawRect(box.adjusted(0, 0, -1, -1));
  if (state != 1) return;
  // Seven strokes of three pixels: four going down, three going up.
  p->setPen(mark);
  const int x0 = box.left() + (box.width() - 7) / 2;
  const int y0 = box.top() + (box.height() - 7) / 2 + 1;
  for (int i = 0; i < 4; ++i) p->drawLine(x0 + i, y0 + i, x0 + i, y0 + i + 2);
  for (int i = 0; i < 3; ++i) p->drawLine(x0 + 4 + i, y0 + 2 - i, x0 + 4 + i, y0 + 4 - i);
}

}  // namespace

// ---------------------------------------------------------------- model

CellListModel::CellListModel(QObject* parent) : QAbstractTableModel(parent) {}

int CellListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CellListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant CellListModel::data(const QModelIndex& index, int role) const {
  const CellRecord* c = Cell(index.row(), index.column());
  if (!c) return {};
  if (role == Qt::DisplayRole) return c->text;
  if (role == Qt::ToolTipRole) {
    if (!tooltips_enabled || c->tooltip.isEmpty()) return {};
    return c->tooltip_whole ? c->tooltip : c->tooltip.left(kTooltipMax);
  }
  return {};
}

QVariant CellListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns_.size())) return {};
  if (role == Qt::DisplayRole) return columns_[section].heading;
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(columns_[section].align | Qt::AlignVCenter);
  return {};
}

void CellListModel::AddColumn(const QString& heading, Qt::Alignment align) {
  const int c = static_cast<int>(columns_.size());
  beginInsertColumns(QModelIndex(), c, c);
  columns_.push_back({heading, align});
  for (auto& r : rows_) r.emplace_back();
  endInsertColumns();
}

void CellListModel::SetColumnHeading(int col, const QString& heading) {
  if (col < 0 || col >= static_cast<int>(columns_.size())) return;
  columns_[col].heading = heading;
  emit headerDataChanged(Qt::Horizontal, col, col);
}

Qt::Alignment CellListModel::ColumnAlignment(int col) const {
  if (col < 0 || col >= static_cast<int>(columns_.size())) return Qt::AlignLeft;
  return columns_[col].align;
}

int CellListModel::InsertRow(int row, const QString& text, const QColor& fg, const QColor& bg) {
  if (row < 0 || row > static_cast<int>(rows_.size()) || columns_.empty()) return -1;
  beginInsertRows(QModelIndex(), row, row);
  std::vector<CellRecord> cells(columns_.size());
  for (auto& c : cells) {
    c.text_colour = fg;
    c.bg_colour = bg;
  }
  cells[0].text = text;
  rows_.insert(rows_.begin() + row, std::move(cells));
  endInsertRows();
  return row;
}

void CellListModel::RemoveAllRows() {
  if (rows_.empty()) return;
  beginRemoveRows(QModelIndex(), 0, static_cast<int>(rows_.size()) - 1);
  rows_.clear();
  endRemoveRows();
}

CellRecord* CellListModel::Cell(int row, int col) {
  if (row < 0 || col < 0 || row >= static_cast<int>(rows_.size()) || col >= static_cast<int>(columns_.size()))
    return nullptr;
  return &rows_[row][col];
}

const CellRecord* CellListModel::Cell(int row, int col) const {
  return const_cast<CellListModel*>(this)->Cell(row, col);
}

void CellListModel::CellChanged(int row, int col) {
  const QModelIndex i = index(row, col);
  emit dataChanged(i, i);
}

void CellListModel::RowChanged(int row) {
  if (columns_.empty()) return;
  emit dataChanged(index(row, 0), index(row, static_cast<int>(columns_.size()) - 1));
}

void CellListModel::ApplyRowOrder(const std::vector<int>& order) {
  const int n = static_cast<int>(rows_.size());
  if (static_cast<int>(order.size()) != n) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<int> old_to_new(n);
  std::vector<std::vector<CellRecord>> moved(n);
  for (int i = 0; i < n; ++i) {
    old_to_new[order[i]] = i;
    moved[i] = std::move(rows_[order[i]]);
  }
  rows_ = std::move(moved);
  const QModelIndexList from = persistentIndexList();
  QModelIndexList to;
  to.reserve(from.size());
  for (const QModelIndex& i : from) to.append(index(old_to_new[i.row()], i.column()));
  changePersistentIndexList(from, to);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---------------------------------------------------------------- drawing

void CellDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const auto* model = qobject_cast<const CellListModel*>(index.model());
  const auto* view = qobject_cast<const CCellListCtrl*>(option.widget);
  if (!model || !view) return;
  const CellRecord* c = model->Cell(index.row(), index.column());
  const CellRecord* first = model->Cell(index.row(), 0);
  if (!c || !first) return;
  const QPalette& pal = view->palette();
  const bool enabled = first->enabled != 0;

  QColor fg = enabled ? c->text_colour : pal.color(QPalette::Disabled, QPalette::Text);
  QColor bg = c->bg_colour;
  // The selected row shows the highlight only while the list has the focus;
  // otherwise the cells keep their own colours.
  if ((option.state & QStyle::State_Selected) && view->hasFocus()) {
    fg = pal.color(QPalette::Active, QPalette::HighlightedText);
    bg = pal.color(QPalette::Active, QPalette::Highlight);
  }
  const QRect r = option.rect;
  p->save();
  p->setClipRect(r);

  if (c->progress) {
    const QRect bar = r.adjusted(1, 0, 0, -1);
    p->fillRect(bar, kProgressFill);
    p->setPen(Qt::black);
    p->drawLine(bar.topLeft(), bar.topRight());
    p->drawLine(bar.topLeft(), bar.bottomLeft());
    p->setPen(pal.color(QPalette::Dark));
    p->drawLine(bar.bottomLeft(), bar.bottomRight());
    p->drawLine(bar.topRight(), bar.bottomRight());
    if (c->progress_value > 0) {
      const int value = std::min(c->progress_value, 100);
      const int fill_w = (bar.width() - 1) * value / 100;
      const QRect filled(bar.left() + 1, bar.top() + 1, std::max(0, fill_w - 1), bar.height() - 2);
      p->fillRect(filled, pal.color(QPalette::Active, QPalette::Highlight));
      if (c->progress_text_flag) {
        const QString text = c->progress_text.isEmpty() ? QString("%1%").arg(c->progress_value) : c->progress_text;
        const QRect tr = bar.adjusted(1, 1, -1, -1);
        p->setFont(option.font);
        p->setClipRect(filled);
        p->setPen(pal.color(QPalette::Active, QPalette::HighlightedText));
        p->drawText(tr, Qt::AlignCenter | Qt::TextSingleLine, text);
        p->setClipRect(QRect(filled.right() + 1, r.top(), r.right() - filled.right(), r.height()));
        p->setPen(c->text_colour);
        p->drawText(tr, Qt::AlignCenter | Qt::TextSingleLine, text);
      }
    }
    p->restore();
    return;
  }

  p->fillRect(r, bg);
  QFont font = option.font;
  if (c->bold) font.setWeight(QFont::Bold);
  p->setFont(font);
  QRect text_rect = r.adjusted(kTextMargin, 0, -kTextMargin, 0);
  if (c->check >= 0) {
    const QRect box = CheckBoxRect(r, !c->text.isEmpty());
    const QColor mark = enabled ? kCheckMark : pal.color(QPalette::Disabled, QPalette::Text);
    DrawCheckBox(p, box, c->check, view->DefaultBackground(), mark);
    text_rect = QRect(box.right() + 1 + 4, r.top(), std::max(0, r.right() - box.right() - 4), r.height());
  }
  if (!c->text.isEmpty()) {
    p->setPen(fg);
    const Qt::Alignment align = c->check >= 0 ? Qt::AlignLeft : model->ColumnAlignment(index.column());
    const QString shown = QFontMetrics(font).elidedText(c->text, Qt::ElideRight, text_rect.width());
    p->drawText(text_rect, int(align | Qt::AlignVCenter | Qt::TextSingleLine), shown);
  }
  p->restore();
}

// ---------------------------------------------------------------- header

CXHeaderCtrl::CXHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setSectionsClickable(true);
  setSectionsMovable(false);
  setHighlightSections(false);
}

void CXHeaderCtrl::SetCheckState(int col, int state) {
  if (col < 0) return;
  if (col >= static_cast<int>(checks_.size())) checks_.resize(col + 1, -1);
  if (checks_[col] == state) return;
  checks_[col] = state;
  viewport()->update();
}

int CXHeaderCtrl::CheckState(int col) const {
  return col >= 0 && col < static_cast<int>(checks_.size()) ? checks_[col] : -1;
}

void CXHeaderCtrl::SetSortMark(int col, bool ascending) {
  sort_col_ = col;
  sort_ascending_ = ascending;
  viewport()->update();
}

void CXHeaderCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  if (!rect.isValid()) return;
  QStyleOptionHeader opt;
  initStyleOption(&opt);
  opt.rect = rect;
  opt.section = logicalIndex;
  opt.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
  const QString heading = model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString() : QString();
  const int check = CheckState(logicalIndex);
  opt.text = check >= 0 ? QString() : heading;
  opt.sortIndicator = QStyleOptionHeader::None;
  if (logicalIndex == sort_col_)
    opt.sortIndicator = sort_ascending_ ? QStyleOptionHeader::SortUp : QStyleOptionHeader::SortDown;
  const int count = this->count();
  opt.position = count == 1                   ? QStyleOptionHeader::OnlyOneSection
                 : logicalIndex == 0          ? QStyleOptionHeader::Beginning
                 : logicalIndex == count - 1  ? QStyleOptionHeader::End
                                              : QStyleOptionHeader::Middle;
  painter->save();
  style()->drawControl(QStyle::CE_Header, &opt, painter, this);
  painter->restore();
  painter->save();
  if (check >= 0) {
    const QRect inner = rect.adjusted(0, 2, 0, -2);
    const QRect box = CheckBoxRect(inner, !heading.isEmpty());
    DrawCheckBox(painter, box, check, Qt::white, kCheckMark);
    painter->setPen(palette().color(QPalette::ButtonText));
    painter->drawText(QRect(box.right() + 5, rect.top(), std::max(0, rect.right() - box.right() - 5), rect.height()),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, heading);
  }
  painter->restore();
}

// ---------------------------------------------------------------- list

CCellListCtrl::CCellListCtrl(QWidget* parent)
    : QTableView(parent), model_(new CellListModel(this)), header_(new CXHeaderCtrl(this)) {
  // Fixed list colours, so that the colour rules of the cells read the same
  // on every desktop theme.
  QPalette pal = palette();
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    pal.setColor(group, QPalette::Text, Qt::black);
    pal.setColor(group, QPalette::Base, Qt::white);
    pal.setColor(group, QPalette::Highlight, QColor(11, 145, 228));
    pal.setColor(group, QPalette::HighlightedText, Qt::white);
  }
  setPalette(pal);
  setHorizontalHeader(header_);
  setModel(model_);
  setItemDelegate(new CellDelegate(this));
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 5);
  header_->setSectionResizeMode(QHeaderView::Interactive);
  header_->setStretchLastSection(false);
  header_->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  connect(header_, &QHeaderView::sectionClicked, this, &CCellListCtrl::OnSectionClicked);
}

QColor CCellListCtrl::DefaultText() const { return palette().color(QPalette::Active, QPalette::Text); }
QColor CCellListCtrl::DefaultBackground() const { return palette().color(QPalette::Active, QPalette::Base); }

void CCellListCtrl::InsertColumn(int col, const QString& heading, Qt::Alignment align, int width) {
  if (col != model_->columnCount()) return;  // columns are only appended
  model_->AddColumn(heading, align);
  header_->resizeSection(col, width);
}

void CCellListCtrl::SetColumnHeading(int col, const QString& heading) { model_->SetColumnHeading(col, heading); }
int CCellListCtrl::GetColumnCount() const { return model_->columnCount(); }
int CCellListCtrl::GetItemCount() const { return model_->rowCount(); }

int CCellListCtrl::InsertItem(int row, const QString& text, const QColor& fg, const QColor& bg) {
  return model_->InsertRow(row, text, fg.isValid() ? fg : DefaultText(), bg.isValid() ? bg : DefaultBackground());
}

bool CCellListCtrl::SetItemText(int row, int col, const QString& text) {
  CellRecord* c = model_->Cell(row, col);
  if (!c) return false;
  c->text = text;
  model_->CellChanged(row, col);
  return true;
}

bool CCellListCtrl::SetItemText(int row, int col, const std::optional<QString>& text, const QColor& fg,
                                const QColor& bg) {
  CellRecord* c = model_->Cell(row, col);
  if (!c) return false;
  if (text) c->text = *text;
  c->text_colour = fg.isValid() ? fg : DefaultText();
  c->bg_colour = bg.isValid() ? bg : DefaultBackground();
  model_->CellChanged(row, col);
  return true;
}

bool CCellListCtrl::SetItemColours(int row, int col, const QColor& fg, const QColor& bg) {
  return SetItemText(row, col, std::nullopt, fg, bg);
}

QString CCellListCtrl::GetItemText(int row, int col) const {
  const CellRecord* c = model_->Cell(row, col);
  return c ? c->text : QString();
}

int CCellListCtrl::GetCheckbox(int row, int col) const {
  const CellRecord* c = model_->Cell(row, col);
  return c ? c->check : -1;
}

bool CCellListCtrl::SetCheckbox(int row, int col, int state) {
  CellRecord* c = model_->Cell(row, col);
  if (!c) return false;
  c->check = state;
  model_->CellChanged(row, col);
  UpdateHeaderCheck(col);
  return true;
}

int CCellListCtrl::GetBold(int row, int col) const {
  const CellRecord* c = model_->Cell(row, col);
  return c ? c->bold : 0;
}

bool CCellListCtrl::SetBold(int row, int col, int bold) {
  CellRecord* c = model_->Cell(row, col);
  if (!c) return false;
  c->bold = bold;
  model_->CellChanged(row, col);
  return true;
}

bool CCellListCtrl::SetEnabled(int row, int enabled) {
  CellRecord* c = model_->Cell(row, 0);
  if (!c) return false;
  c->enabled = enabled;
  model_->RowChanged(row);
  return true;
}

bool CCellListCtrl::SetItemToolTipText(int row, int col, const QString& text, bool whole) {
  CellRecord* c = model_->Cell(row, col);
  if (!c) return false;
  c->tooltip = text;
  c->tooltip_whole = whole;
  return true;
}

bool CCellListCtrl::SetProgress(int row, int col, bool show_text, const QString& text) {
  CellRecord* c = model_->Cell(row, col);
  if (!c) return false;
  c->progress = 1;
  c->progress_value = 0;
  c->progress_text_flag = show_text ? 1 : 0;
  c->progress_text = text;
  model_->CellChanged(row, col);
  return true;
}

bool CCellListCtrl::UpdateProgress(int row, int col, int value) {
  CellRecord* c = model_->Cell(row, col);
  if (!c || !c->progress) return false;
  c->progress_value = value;
  model_->CellChanged(row, col);
  return true;
}

bool CCellListCtrl::DeleteProgress(int row, int col) {
  CellRecord* c = model_->Cell(row, col);
  if (!c) return false;
  c->progress = 0;
  c->progress_value = 0;
  model_->CellChanged(row, col);
  return true;
}

const CellRecord* CCellListCtrl::GetCell(int row, int col) const { return model_->Cell(row, col); }

void CCellListCtrl::DeleteAllItems() { model_->RemoveAllRows(); }

void CCellListCtrl::EnableToolTips(bool on) { model_->tooltips_enabled = on; }

void CCellListCtrl::ApplyRowOrder(const std::vector<int>& order) { model_->ApplyRowOrder(order); }

std::vector<int> CCellListCtrl::SelectedRows() const {
  std::vector<int> rows;
  if (!selectionModel()) return rows;
  for (const QModelIndex& i : selectionModel()->selectedRows()) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

int CCellListCtrl::FirstSelectedRow() const {
  const std::vector<int> rows = SelectedRows();
  return rows.empty() ? -1 : rows.front();
}

void CCellListCtrl::SelectRow(int row) {
  if (row < 0 || row >= model_->rowCount()) {
    selectionModel()->clearSelection();
    return;
  }
  const QModelIndex i = model_->index(row, 0);
  selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CCellListCtrl::UpdateHeaderCheck(int col) {
  if (header_->CheckState(col) < 0) return;
  const int n = model_->rowCount();
  bool all = true;
  for (int r = 0; r < n && all; ++r) {
    const CellRecord* c = model_->Cell(r, col);
    if (c->check >= 0 && c->check != 1) all = false;
  }
  header_->SetCheckState(col, all ? 1 : 0);
}

void CCellListCtrl::OnSectionClicked(int col) {
  const int state = header_->CheckState(col);
  if (state >= 0) {
    const int next = state ? 0 : 1;
    header_->SetCheckState(col, next);
    const int n = model_->rowCount();
    for (int r = 0; r < n; ++r) {
      CellRecord* c = model_->Cell(r, col);
      if (c->check >= 0) c->check = next;
    }
    if (n > 0) emit model_->dataChanged(model_->index(0, col), model_->index(n - 1, col));
  }
  emit columnClick(col);
}

void CCellListCtrl::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) {
    const QModelIndex i = indexAt(e->position().toPoint());
    CellRecord* c = i.isValid() ? model_->Cell(i.row(), i.column()) : nullptr;
    if (c && c->check >= 0) {
      c->check = c->check ? 0 : 1;
      model_->CellChanged(i.row(), i.column());
      emit checkboxClicked(i.row(), i.column());
      UpdateHeaderCheck(i.column());
    }
  }
  QTableView::mousePressEvent(e);
}

void CCellListCtrl::mouseReleaseEvent(QMouseEvent* e) {
  QTableView::mouseReleaseEvent(e);
  if (e->button() == Qt::LeftButton) emit listClick();
}

void CCellListCtrl::mouseDoubleClickEvent(QMouseEvent* e) {
  QTableView::mouseDoubleClickEvent(e);
  if (e->button() == Qt::LeftButton) emit listDoubleClick();
}

void CCellListCtrl::contextMenuEvent(QContextMenuEvent* e) { emit listRightClick(e->globalPos()); }

QModelIndex CCellListCtrl::moveCursor(CursorAction action, Qt::KeyboardModifiers mods) {
  // Home and End go to the first and the last row, as in the platform's list view.
  const int rows = model()->rowCount();
  if ((action == MoveHome || action == MoveEnd) && rows > 0) {
    const int col = currentIndex().isValid() ? currentIndex().column() : 0;
    return model()->index(action == MoveHome ? 0 : rows - 1, col);
  }
  return QTableView::moveCursor(action, mods);
}

void CCellListCtrl::keyPressEvent(QKeyEvent* e) {
  emit listKeyDown(e->key());
  QTableView::keyPressEvent(e);
  emit listKeyHandled(e->key());
}
