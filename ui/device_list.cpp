// The device list of the main window: columns, selection display, checks,
// sorting and the handlers that start the information query.
#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QStyle>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/language.h"
#include "engine/devices/device_format.h"
#include "ui/backend.h"
#include "ui/cell_list.h"
#include "ui/colours.h"
#include "ui/device_rows.h"
#include "ui/list_columns.h"
#include "ui/network_panel.h"
#include "ui/operation.h"
#include "ui/prompt.h"
#include "ui/window_texts.h"

namespace {

struct ColumnSpec {
  int key;  // language text of the heading
  int weight;
};
const ColumnSpec kColumns[] = {{8, 6}, {9, 8}, {10, 11}, {11, 9}, {12, 6}, {13, 10}, {14, 15}};

// Leading decimal integer of a text; text that is not a number counts as 0.
long NumberKey(const QString& text) { return std::strtol(text.toLatin1().constData(), nullptr, 10); }

// The four parts of a dotted text as integers, split at the first three dots.
std::array<long, 4> AddressKey(const QString& text) {
  std::array<long, 4> parts{0, 0, 0, 0};
  const QByteArray bytes = text.toLatin1();
  const char* p = bytes.constData();
  for (int i = 0; i < 4; ++i) {
    parts[i] = std::strtol(p, nullptr, 10);
    if (i == 3) break;
    const char* dot = std::strchr(p, '.');
    if (!dot) break;
    p = dot + 1;
  }
  return parts;
}

}  // namespace

DeviceRows::DeviceRows(CCellListCtrl* list, DeviceTable* devices, QMenu* popup, NetworkPanel* network_panel,
                       PanelFields* fields, const StateOwner* state, Operator* op, EngineAccess* engine)
    : list_(list),
      devices_(*devices),
      popup_(popup),
      network_panel_(network_panel),
      fields_(fields),
      state_(state),
      op_(op),
      engine_(engine) {
  connect(list_, &CCellListCtrl::listClick, this, &DeviceRows::OnListClick);
  connect(list_, &CCellListCtrl::listDoubleClick, this, &DeviceRows::OnListDoubleClick);
  connect(list_, &CCellListCtrl::listRightClick, this, &DeviceRows::OnListRightClick);
  connect(list_, &CCellListCtrl::listKeyDown, this, &DeviceRows::OnListKeyDown);
  connect(list_, &CCellListCtrl::listKeyHandled, this, &DeviceRows::OnListKeyHandled);
  connect(list_, &CCellListCtrl::columnClick, this, &DeviceRows::SortByColumn);
  connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &DeviceRows::OnItemChanged);
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &DeviceRows::OnItemChanged);
}

void DeviceRows::Clear() {
  list_->DeleteAllItems();
  list_->Header()->SetCheckState(kColNo, 0);
  devices_.Clear();
  row_count_ = 0;
  selected_row_ = -1;
  selected_record_.reset();
  checked_count_ = 0;
}

void DeviceRows::OnWebPage() {
  if (!selected_record_)
    ForgetSelection();
  else
    OpenWebPage(selected_record_);
}

void DeviceRows::CreateColumns() {
  for (int c = 0; c < static_cast<int>(std::size(kColumns)); ++c)
    list_->InsertColumn(c, Lang(kColumns[c].key), Qt::AlignLeft, 50);
  list_->Header()->SetCheckState(kColNo, 0);
  ResizeColumns();
}

void DeviceRows::ResizeColumns() {
  if (list_->GetColumnCount() != static_cast<int>(std::size(kColumns))) return;
  const int scroll = list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list_);
  const int usable = list_->width() - scroll - 2;
  for (int c = 0; c < static_cast<int>(std::size(kColumns)); ++c)
    list_->Header()->resizeSection(c, kColumns[c].weight * usable / 64);
}

// ---------------------------------------------------------------- selection display

void DeviceRows::RestoreRowColours(int row) {
  const QString collision = Lang(39);
  const QString status = list_->GetItemText(row, kColStatus);
  for (int c = 0; c < list_->GetColumnCount(); ++c) {
    if (c == kColModel && list_->GetBold(row, c)) {
      list_->SetItemColours(row, c, PingFailureColour(), kWhite);
    } else if (c == kColStatus && !status.isEmpty()) {
      // a status keeps its colours
    } else if (c == kColIp && (status == collision || status == Lang(41))) {
      list_->SetItemColours(row, c, kWhite, kRed);
    } else {
      list_->SetItemColours(row, c, kBlack, kWhite);
    }
  }
}

void DeviceRows::ShowRow(int row) {
  const DeviceTableEntry* e = devices_.FindByKey(row);
  if (!e) return;  // nothing to show for a row without a record
  if (selected_row_ >= 0 && selected_row_ != row) RestoreRowColours(selected_row_);
  selected_row_ = row;
  const bool status_shown = !list_->GetItemText(row, kColStatus).isEmpty();
  for (int c = 0; c < list_->GetColumnCount(); ++c) {
    if (c == kColStatus && status_shown) continue;
    // A device that did not answer ping keeps its crimson name on the selection.
    const QColor fg = c == kColModel && list_->GetBold(row, c) ? PingFailureColour() : kWhite;
    list_->SetItemColours(row, c, fg, SelectionColour());
  }
  const DeviceRecord& rec = e->record;
  network_panel_->Show(rec, list_->GetItemText(row, kColMac));
  selected_record_ = rec;
  list_->viewport()->update();
  SelectionChanged();
}

void DeviceRows::ForgetSelection() {
  // The row that was shown gets its own colours back.
  if (selected_row_ >= 0) RestoreRowColours(selected_row_);
  selected_row_ = -1;
  selected_record_.reset();
  SelectionChanged();
}

void DeviceRows::OnItemChanged() {
  if (in_sort_) return;
  const QModelIndex cur = list_->currentIndex();
  if (!cur.isValid() || !list_->selectionModel()->isRowSelected(cur.row(), QModelIndex())) return;
  if (cur.row() == selected_row_) return;
  ShowRow(cur.row());
  // The query follows the row the list made current, however it got there;
  // a key's move is queried once the key has been handled.
  if (in_key_) return;
  info_->StartForRow(cur.row(), InfoQueryUi::Check::kClick);
  query_row_by_change_ = cur.row();
}

int DeviceRows::CurrentSelectedRow() const {
  const QModelIndex cur = list_->currentIndex();
  if (cur.isValid() && list_->selectionModel()->isRowSelected(cur.row(), QModelIndex())) return cur.row();
  return list_->FirstSelectedRow();
}

// ---------------------------------------------------------------- handlers

void DeviceRows::AfterCheckChange() {
  int count = 0;
  const int n = list_->GetItemCount();
  for (int r = 0; r < n; ++r)
    if (list_->GetCheckbox(r, kColNo) == 1) ++count;
  checked_count_ = count;
  fields_->ShowText(IDC_SELECTED_COUNT, QString::number(count));
  if (checks_changed_) checks_changed_();
}

void DeviceRows::OnListClick() {
  const std::vector<int> rows = list_->SelectedRows();
  if (rows.empty()) {
    ForgetSelection();
    fields_->ShowText(IDC_SERIAL, QStringLiteral("-"));
    fields_->ShowText(IDC_FIRMWARE, QStringLiteral("-"));
    fields_->ShowText(IDC_SYSTEM_MODE, QStringLiteral("-"));
    return;
  }
  const int current = CurrentSelectedRow();
  const int a = current >= 0 ? current : rows.front();
  ShowRow(a);
  if (list_->GetCheckbox(a, kColNo) == 1)
    for (int r : rows) list_->SetCheckbox(r, kColNo, 1);
  AfterCheckChange();
  // The press that made the row current has started its query already.
  if (query_row_by_change_ != a) info_->StartForRow(a, InfoQueryUi::Check::kClick);
  query_row_by_change_ = -1;
}

void DeviceRows::OnListKeyDown(int) {
  // With no selected row there is no device to ask about.
  key_had_selection_ = selected_row_ >= 0;
  in_key_ = true;
}

void DeviceRows::OnListKeyHandled(int) {
  in_key_ = false;
  if (!key_had_selection_) return;
  const int current = CurrentSelectedRow();
  const int target = current >= 0 ? current : selected_row_;
  if (target < 0) return;
  info_->StartForRow(target, InfoQueryUi::Check::kKey);
  ShowRow(target);
}

void DeviceRows::OnListRightClick(QPoint global_pos) {
  const int row = list_->FirstSelectedRow();
  if (row < 0) {
    ForgetSelection();
    return;
  }
  info_->StartForRow(row, InfoQueryUi::Check::kNone);
  ShowRow(row);
  popup_->popup(global_pos);
}

void DeviceRows::OnListDoubleClick() {
  const int row = list_->FirstSelectedRow();
  const DeviceTableEntry* e = row >= 0 ? devices_.FindByKey(row) : nullptr;
  if (!e) {
    ForgetSelection();
    return;
  }
  OpenWebPage(e->record);
}

void DeviceRows::OpenWebPage(const std::optional<DeviceRecord>& rec) {
  if (!rec) return;
  char ip[16];
  FormatIp(rec->ip, ip);
  char url[64];
  if (rec->web_port != 0)
    std::snprintf(url, sizeof url, "http://%s:%d", ip, rec->web_port);
  else
    std::snprintf(url, sizeof url, "http://%s", ip);
  if (!engine_->Engine()->OpenUrl(url))
    op_->Tell(std::string(kWebPageFailedText) + ": no web browser could be started.\n" + url, PromptIcon::kError);
}

void DeviceRows::SortByColumn(int col) {
  if (TablesInUse(state_->State())) {  // a run reads the table by key on its thread: no sort,
    AfterCheckChange();  // but a "No." click has changed the check boxes
    return;
  }
  const int n = list_->GetItemCount();
  if (col > 0 && col < list_->GetColumnCount() && n > 0) {
    in_sort_ = true;
    list_->setUpdatesEnabled(false);
    const bool ascending = sort_direction_ != 0;
    std::vector<int> order(n);
    for (int r = 0; r < n; ++r) order[r] = r;
    if (col == kColIp) {
      std::vector<std::array<long, 4>> keys(n);
      for (int r = 0; r < n; ++r) keys[r] = AddressKey(list_->GetItemText(r, col));
      std::stable_sort(order.begin(), order.end(),
                       [&](int a, int b) { return ascending ? keys[a] < keys[b] : keys[b] < keys[a]; });
    } else if (col == kColWebPort) {
      std::vector<long> keys(n);
      for (int r = 0; r < n; ++r) keys[r] = NumberKey(list_->GetItemText(r, col));
      std::stable_sort(order.begin(), order.end(),
                       [&](int a, int b) { return ascending ? keys[a] < keys[b] : keys[b] < keys[a]; });
    } else {
      std::vector<QString> keys(n);
      for (int r = 0; r < n; ++r) keys[r] = list_->GetItemText(r, col).toCaseFolded();
      std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c = keys[a].compare(keys[b]);
        return ascending ? c < 0 : c > 0;
      });
    }
    sort_direction_ = sort_direction_ ? 0 : 1;
    list_->ApplyRowOrder(order);
    std::vector<std::string> mac_cells(n);
    for (int r = 0; r < n; ++r) {
      list_->SetItemText(r, kColNo, QString::fromStdString(DeviceNumberCell(r + 1)));
      mac_cells[r] = list_->GetItemText(r, kColMac).toStdString();
    }
    RekeyAfterSort(&devices_, mac_cells);
    // The device shown before the sort stays the selected one.
    int row = -1;
    if (selected_record_) row = devices_.FindKeyByMac(selected_record_->mac);
    selected_row_ = row;
    if (row < 0) selected_record_.reset();
    list_->SelectRow(row);
    if (row >= 0) list_->scrollTo(list_->Model()->index(row, 0));
    list_->Header()->SetSortMark(col, ascending);
    list_->setUpdatesEnabled(true);
    in_sort_ = false;
  }
  AfterCheckChange();
}
