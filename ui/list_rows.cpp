// The cells of the list that operations write through the window: a new row,
// a device's new record with its collision marks, and the status column.
#include "ui/main_window.h"

#include <QStyle>
#include <cstring>

#include "config/language.h"
#include "engine/devices/device_format.h"
#include "ui/backend.h"
#include "ui/cell_list.h"
#include "ui/colours.h"

void CDravenkitDlg::WriteIdentityCells(int row, const DeviceRecord& rec) {
  list_->SetItemText(row, kColModel, QString::fromStdString(DeviceModelCell(rec)));
  list_->SetItemText(row, kColMac, QString::fromStdString(DeviceMacCell(rec)));
  list_->SetItemText(row, kColIp, QString::fromStdString(DeviceIpCell(rec)));
}

void CDravenkitDlg::WritePortCells(int row, const DeviceRecord& rec) {
  list_->SetItemText(row, kColWebPort, QString::fromStdString(DeviceWebPortCell(rec)));
  list_->SetItemText(row, kColAvPort, QString::fromStdString(DeviceAvPortCell(rec)));
}

void CDravenkitDlg::MarkIpCollision(int row_a, int row_b) {
  list_->SetItemColours(row_a, kColIp, kWhite, kRed);
  list_->SetItemColours(row_b, kColIp, kWhite, kRed);
}

void CDravenkitDlg::SetStatus(int row, const QString& text, const QColor& fg, const QColor& bg) {
  list_->SetItemText(row, kColStatus, text, fg, bg);
  // A status wider than its cell is shown whole as the cell's tool tip.
  const int room = list_->columnWidth(kColStatus) - 2 * list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) - 4;
  const bool fits = list_->fontMetrics().horizontalAdvance(text) <= room;
  list_->SetItemToolTipText(row, kColStatus, fits ? QString() : text, true);
}

void CDravenkitDlg::ReplaceRecord(int key, const DeviceRecord& rec) {
  if (DeviceTableEntry* e = devices_.FindByKey(key)) e->record = rec;
}

void CDravenkitDlg::RefreshSelectedRow(int row) {
  if (row < 0 || row != selected_row_) return;
  // The panel and the information fields follow the device's new record, and
  // its cells keep the selection colours.
  ShowRow(row);
  info_query_->StartForRow(row, InfoQueryUi::Check::kClick);
}

void CDravenkitDlg::PaintSelectedIpCell(int row) {
  if (row >= 0 && row == selected_row_) list_->SetItemColours(row, kColIp, kWhite, SelectionColour());
}

int CDravenkitDlg::AppendRow(const DeviceRecord& rec) {
  const int n = row_count_;
  if (list_->InsertItem(n, QString::fromStdString(DeviceNumberCell(n + 1))) < 0) return -1;
  list_->SetCheckbox(n, kColNo, 0);
  WriteIdentityCells(n, rec);
  WritePortCells(n, rec);
  devices_.Append(n, rec);
  ++row_count_;
  return n;
}

// A device that moved to an address another listed row already has: both
// rows say so, in white on red.
void CDravenkitDlg::MarkMovedOntoAnother(int m, uint32_t ip) {
  const int k = devices_.FindKeyByIp(ip);
  if (k < 0 || k == m) return;
  MarkIpCollision(m, k);
  SetStatus(m, Lang(41), kWhite, kRed);
  SetStatus(k, Lang(39), kWhite, kRed);
}

void CDravenkitDlg::ShowVerifiedRecord(int m, const DeviceRecord& rec) {
  WriteIdentityCells(m, rec);
  list_->SetItemColours(m, kColIp, kBlack, kWhite);
  SetStatus(m, Lang(40), kBlack, kGreen);
  MarkMovedOntoAnother(m, rec.ip);
  WritePortCells(m, rec);
  ReplaceRecord(m, rec);
  PaintSelectedIpCell(m);
  update();
}

void CDravenkitDlg::ShowMovedRecord(int m, const DeviceRecord& rec, const std::set<int>& keep_rows) {
  SetStatus(m, Lang(40), kBlack, kGreen);
  WriteIdentityCells(m, rec);
  list_->SetItemColours(m, kColIp, kBlack, kWhite);
  const int n = list_->GetItemCount();
  for (int r = 0; r < n; ++r) {
    if (r == m || keep_rows.count(r)) continue;  // the run's own marks (verified, failed, waiting) stay
    list_->SetItemColours(r, kColIp, kBlack, kWhite);
    SetStatus(r, QString(), kBlack, kWhite);
  }
  MarkMovedOntoAnother(m, rec.ip);
  WritePortCells(m, rec);
  ReplaceRecord(m, rec);
  RefreshSelectedRow(m);
  if (selected_row_ >= 0 && selected_row_ != m) ShowRow(selected_row_);  // the loop above repainted it
  update();
}

void CDravenkitDlg::ShowUpdatedRecord(int m, const DeviceRecord& rec) {
  WriteIdentityCells(m, rec);
  list_->SetItemColours(m, kColIp, kBlack, kWhite);
  const int k = devices_.FindKeyByIp(rec.ip);
  if (k >= 0 && k != m) MarkIpCollision(m, k);
  WritePortCells(m, rec);
  ReplaceRecord(m, rec);
  RefreshSelectedRow(m);
  PaintSelectedIpCell(m);
  update();
}

void CDravenkitDlg::ShowRunStatus(int row, const RunStatusCell& cell, int32_t status) {
  switch (cell.progress) {
    case RunStatusCell::kShow: list_->SetProgress(row, kColStatus, true); break;
    case RunStatusCell::kSet: list_->UpdateProgress(row, kColStatus, status); break;
    case RunStatusCell::kRemove: list_->DeleteProgress(row, kColStatus); break;
    case RunStatusCell::kNone: break;
  }
  if (cell.set_text) SetStatus(row, QString::fromStdString(cell.text), cell.fg, cell.bg);
}
