// The rows as operations read and write them: a new row, a device's new
// record with its collision marks, and the status column.
#include <QStyle>
#include <cstring>

#include "config/language.h"
#include "engine/devices/device_format.h"
#include "ui/backend.h"
#include "ui/cell_list.h"
#include "ui/colours.h"
#include "ui/device_rows.h"
#include "ui/list_columns.h"
#include "ui/operation.h"
#include "ui/run_status.h"

int DeviceRows::ListRows() const { return list_->GetItemCount(); }
QString DeviceRows::CellText(int row, int col) const { return list_->GetItemText(row, col); }
bool DeviceRows::Ticked(int row) const { return list_->GetCheckbox(row, kColNo) == 1; }

std::vector<DeviceRecord> DeviceRows::ListedRecords(bool ticked_only) const {
  std::vector<DeviceRecord> out;
  for (int r = 0, n = list_->GetItemCount(); r < n; ++r) {
    if (ticked_only && !Ticked(r)) continue;
    if (const DeviceTableEntry* e = devices_.FindByKey(r)) out.push_back(e->record);
  }
  return out;
}

void DeviceRows::SetCellLook(int row, int col, const QColor& fg, const QColor& bg, bool bold) {
  list_->SetItemColours(row, col, fg, bg);
  list_->SetBold(row, col, bold ? 1 : 0);
}

void DeviceRows::ClearMarks(int row, bool progress_too) {
  list_->SetItemColours(row, kColIp, kBlack, kWhite);
  if (progress_too) list_->DeleteProgress(row, kColStatus);
  SetStatus(row, QString(), kBlack, kWhite);
}

void DeviceRows::AmendSetting(int row, const DeviceRecord& sent) {
  DeviceTableEntry* e = devices_.FindByKey(row);
  if (!e) return;
  e->record.network_type = sent.network_type;
  e->record.configured_ip = sent.configured_ip;
  e->record.subnet_mask = sent.subnet_mask;
  e->record.gateway = sent.gateway;
  e->record.dns_server = sent.dns_server;
  if (row == selected_row_) ShowRow(row);
}

void DeviceRows::WriteIdentityCells(int row, const DeviceRecord& rec) {
  list_->SetItemText(row, kColModel, QString::fromStdString(DeviceModelCell(rec)));
  list_->SetItemText(row, kColMac, QString::fromStdString(DeviceMacCell(rec)));
  list_->SetItemText(row, kColIp, QString::fromStdString(DeviceIpCell(rec)));
}

void DeviceRows::WritePortCells(int row, const DeviceRecord& rec) {
  list_->SetItemText(row, kColWebPort, QString::fromStdString(DeviceWebPortCell(rec)));
  list_->SetItemText(row, kColAvPort, QString::fromStdString(DeviceAvPortCell(rec)));
}

void DeviceRows::MarkIpCollision(int row_a, int row_b) {
  list_->SetItemColours(row_a, kColIp, kWhite, kRed);
  list_->SetItemColours(row_b, kColIp, kWhite, kRed);
}

void DeviceRows::SetStatus(int row, const QString& text, const QColor& fg, const QColor& bg) {
  list_->SetItemText(row, kColStatus, text, fg, bg);
  // A status wider than its cell is shown whole as the cell's tool tip.
  const int room = list_->columnWidth(kColStatus) - 2 * list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) - 4;
  const bool fits = list_->fontMetrics().horizontalAdvance(text) <= room;
  list_->SetItemToolTipText(row, kColStatus, fits ? QString() : text, true);
}

void DeviceRows::ReplaceRecord(int key, const DeviceRecord& rec) {
  if (DeviceTableEntry* e = devices_.FindByKey(key)) e->record = rec;
}

void DeviceRows::RefreshSelectedRow(int row) {
  if (row < 0 || row != selected_row_) return;
  // The panel and the information fields follow the device's new record, and
  // its cells keep the selection colours.
  ShowRow(row);
  if (info_) info_->StartForRow(row, InfoQueryUi::Check::kClick);
}

void DeviceRows::PaintSelectedIpCell(int row) {
  if (row >= 0 && row == selected_row_) list_->SetItemColours(row, kColIp, kWhite, SelectionColour());
}

int DeviceRows::AppendRow(const DeviceRecord& rec) {
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
void DeviceRows::MarkMovedOntoAnother(int m, uint32_t ip) {
  const int k = devices_.FindKeyByIp(ip);
  if (k < 0 || k == m) return;
  MarkIpCollision(m, k);
  SetStatus(m, Lang(41), kWhite, kRed);
  SetStatus(k, Lang(39), kWhite, kRed);
}

void DeviceRows::ShowVerifiedRecord(int m, const DeviceRecord& rec) {
  WriteIdentityCells(m, rec);
  list_->SetItemColours(m, kColIp, kBlack, kWhite);
  SetStatus(m, Lang(40), kBlack, kGreen);
  MarkMovedOntoAnother(m, rec.ip);
  WritePortCells(m, rec);
  ReplaceRecord(m, rec);
  PaintSelectedIpCell(m);
  list_->viewport()->update();
}

void DeviceRows::ShowMovedRecord(int m, const DeviceRecord& rec, const std::set<int>& keep_rows) {
  SetStatus(m, Lang(40), kBlack, kGreen);
  WriteIdentityCells(m, rec);
  list_->SetItemColours(m, kColIp, kBlack, kWhite);
  // The run's own marks (verified, failed, waiting) stay.
  ClearMarksExcept(this, list_->GetItemCount(), [&](int r) { return r == m || keep_rows.count(r) > 0; });
  MarkMovedOntoAnother(m, rec.ip);
  WritePortCells(m, rec);
  ReplaceRecord(m, rec);
  RefreshSelectedRow(m);
  if (selected_row_ >= 0 && selected_row_ != m) ShowRow(selected_row_);  // the loop above repainted it
  list_->viewport()->update();
}

void DeviceRows::ShowUpdatedRecord(int m, const DeviceRecord& rec) {
  WriteIdentityCells(m, rec);
  list_->SetItemColours(m, kColIp, kBlack, kWhite);
  const int k = devices_.FindKeyByIp(rec.ip);
  if (k >= 0 && k != m) MarkIpCollision(m, k);
  WritePortCells(m, rec);
  ReplaceRecord(m, rec);
  RefreshSelectedRow(m);
  PaintSelectedIpCell(m);
  list_->viewport()->update();
}

void DeviceRows::ShowRunStatus(int row, const RunStatusCell& cell, int32_t status) {
  switch (cell.progress) {
    case RunStatusCell::kShow: list_->SetProgress(row, kColStatus, true); break;
    case RunStatusCell::kSet: list_->UpdateProgress(row, kColStatus, status); break;
    case RunStatusCell::kRemove: list_->DeleteProgress(row, kColStatus); break;
    case RunStatusCell::kNone: break;
  }
  if (cell.set_text) SetStatus(row, QString::fromStdString(cell.text), cell.fg, cell.bg);
}
