// The window's handling of what the workers report: discovery replies merged
// into the list in each operation state, and the status column of the update
// and factory default runs.
#include "ui/main_window.h"

#include <QLabel>
#include <QStyle>
#include <cstring>
#include <optional>

#include "config/language.h"
#include "engine/devices/device_format.h"
#include "ui/backend.h"
#include "ui/cell_list.h"
#include "ui/prompt.h"
#include "ui/window_texts.h"

namespace {

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kYellow(255, 255, 0);

// What one status code of the update or factory default run shows.
struct StatusAction {
  enum Progress { kNone, kShow, kSet, kRemove } progress = kNone;
  bool set_text = false;
  std::string text;
  QColor fg, bg;
};

StatusAction TextAction(StatusAction::Progress progress, std::string text, const QColor& fg, const QColor& bg) {
  StatusAction a;
  a.progress = progress;
  a.set_text = true;
  a.text = std::move(text);
  a.fg = fg;
  a.bg = bg;
  return a;
}

StatusAction ProgressAction(StatusAction::Progress progress) {
  StatusAction a;
  a.progress = progress;
  return a;
}

// UM_UPDATE_STATUS codes, including those no run of this system posts.
std::optional<StatusAction> UpdateStatusAction(int32_t status, const std::string& report_text) {
  using P = StatusAction::Progress;
  switch (status) {
    case 0: return TextAction(P::kNone, "update init", kBlack, kYellow);
    case 1: return TextAction(P::kNone, "ip setting ...", kBlack, kYellow);
    case 2: return TextAction(P::kNone, "Now preparing for update ...", kBlack, kYellow);
    case 3: return ProgressAction(P::kShow);
    case 100: return TextAction(P::kRemove, report_text.empty() ? "update complete." : report_text, kBlack, kGreen);
    case -1: return TextAction(P::kNone, "update error 'UPLOAD_TOOL -1'", kWhite, kRed);
    case -2: return TextAction(P::kNone, "update error 'UPLOAD_TOOL -2'", kWhite, kRed);
    case -3: return TextAction(P::kNone, "update error 'UPLOAD_FIRMWARE'", kWhite, kRed);
    case -4: return TextAction(P::kNone, "update error 'SESSION -1'", kWhite, kRed);
    case -5: return TextAction(P::kNone, "update error 'CONNECTION -2'", kWhite, kRed);
    case -6: return TextAction(P::kNone, "ip setting error 'authentication'", kWhite, kRed);
    case -7: return TextAction(P::kNone, "ip setting error 'unknown'", kWhite, kRed);
    case -8: return TextAction(P::kNone, "update error 'THREAD -1'", kWhite, kRed);
    case -9: return TextAction(P::kRemove, "update error 'UPDATE_TIMEOUT'", kWhite, kRed);
    case -10: return TextAction(P::kRemove, "update error 'AFTER_PROCESSING'", kWhite, kRed);
    case -11: return TextAction(P::kRemove, "update error 'CHECK_FIRMWARE_VERSION'", kWhite, kRed);
    case -12: return TextAction(P::kRemove, "update error 'CHECK_FACTORYDEFAULT'", kWhite, kRed);
    case -14: return TextAction(P::kRemove, "update error 'THREAD DOUPLOAD'", kWhite, kRed);
    default: break;
  }
  if (status >= 4 && status <= 99) return ProgressAction(P::kSet);
  if (status >= 101) return TextAction(P::kNone, report_text.empty() ? "..." : report_text, kBlack, kGreen);
  return std::nullopt;  // -13 and below -14
}

// UM_FACTORY_STATUS codes.
std::optional<StatusAction> FactoryStatusAction(int32_t status) {
  using P = StatusAction::Progress;
  switch (status) {
    case 0: return TextAction(P::kNone, "factorydefault init", kBlack, kYellow);
    case 3: return ProgressAction(P::kShow);
    case 100: return TextAction(P::kRemove, "factorydefault complete.", kBlack, kGreen);
    case -1: return TextAction(P::kNone, "factorydefault error 'UPLOAD_TOOL -1'", kWhite, kRed);
    case -2: return TextAction(P::kNone, "factorydefault error 'UPLOAD_TOOL -2'", kWhite, kRed);
    case -3: return TextAction(P::kNone, "factorydefault error 'UPLOAD_FIRMWARE'", kWhite, kRed);
    case -4: return TextAction(P::kNone, "factorydefault error 'SESSION -1'", kWhite, kRed);
    case -5: return TextAction(P::kNone, "factorydefault error 'CONNECTION -2'", kWhite, kRed);
    case -8: return TextAction(P::kNone, "factorydefault error 'THREAD -1'", kWhite, kRed);
    case -9: return TextAction(P::kRemove, "factorydefault error 'FACTORY_TIMEOUT'", kWhite, kRed);
    case -10: return TextAction(P::kRemove, "factorydefault error 'AFTER_PROCESSING'", kWhite, kRed);
    case -11: return TextAction(P::kRemove, "factorydefault error 'CHECK_FIRMWARE_VERSION'", kWhite, kRed);
    case -12: return TextAction(P::kRemove, "factorydefault error 'CHECK_FACTORYDEFAULT'", kWhite, kRed);
    default: break;
  }
  if (status == 1 || status == 2 || (status >= 4 && status <= 99)) return ProgressAction(P::kSet);
  return std::nullopt;
}

void ApplyProgress(CCellListCtrl* list, int row, const StatusAction& a, int32_t status) {
  switch (a.progress) {
    case StatusAction::kShow: list->SetProgress(row, kColStatus, true); break;
    case StatusAction::kSet: list->UpdateProgress(row, kColStatus, status); break;
    case StatusAction::kRemove: list->DeleteProgress(row, kColStatus); break;
    case StatusAction::kNone: break;
  }
}

}  // namespace

void CDravenkitDlg::OnDeviceFound(const DeviceRecord& rec) {
  switch (state_) {
    case kStateScanning: MergeScanning(rec); break;
    case kStateVerifyOne: apply_ui_.OnDeviceFound(rec); break;
    case kStateMultipleIp: multiple_ip_.OnDeviceFound(rec); break;
    case kStateUpdateRun: MergeUpdateRun(rec); break;
    default: break;  // states 0, 4 and 6 ignore records
  }
}

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

void CDravenkitDlg::MergeScanning(const DeviceRecord& rec) {
  if (devices_.FindKeyByMac(rec) >= 0) return;  // a listed device keeps its row as it is
  const int n = row_count_;
  if (list_->InsertItem(n, QString::fromStdString(DeviceNumberCell(n + 1))) < 0) return;
  list_->SetCheckbox(n, kColNo, 0);
  WriteIdentityCells(n, rec);
  const int m = devices_.FindKeyByIp(rec.ip);
  if (m >= 0) {
    MarkIpCollision(n, m);
    SetStatus(n, Lang(39), kWhite, kRed);
    SetStatus(m, Lang(39), kWhite, kRed);
  }
  WritePortCells(n, rec);
  devices_.Append(n, rec);
  ++row_count_;
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

void CDravenkitDlg::MergeUpdateRun(const DeviceRecord& rec) {
  const int m = devices_.FindKeyByMac(rec);
  if (m < 0) return;
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

void CDravenkitDlg::OnUpdateStatus(const StatusReport& report) {
  update_run_.Note(report.mac, report.status);
  const int row = devices_.FindKeyByMac(report.mac);
  if (row < 0) return;
  const auto action = UpdateStatusAction(report.status, std::string(report.text, strnlen(report.text, sizeof report.text)));
  if (!action) return;
  ApplyProgress(list_, row, *action, report.status);
  if (action->set_text) SetStatus(row, QString::fromStdString(action->text), action->fg, action->bg);
}

void CDravenkitDlg::OnFactoryStatus(const FactoryStatusReport& report) {
  factory_run_.Note(report.mac, report.status);
  const int row = devices_.FindKeyByMac(report.mac);
  if (row < 0) return;
  const auto action = FactoryStatusAction(report.status);
  if (!action) return;
  ApplyProgress(list_, row, *action, report.status);
  if (action->set_text) SetStatus(row, QString::fromStdString(action->text), action->fg, action->bg);
}
