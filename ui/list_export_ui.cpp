// "Export list..." of the list's popup menu and the window's menu: the rows
// as shown, with their records, into a CSV file.
#include "engine/devices/device_csv.h"
#include "ui/list_columns.h"
#include "ui/list_ops.h"

bool ListExportUi::OnCommand(int id) {
  if (id != ID_MENU_EXPORT) return false;
  const std::string path = operator_->Prompts()->SaveFileName("Export list", "devices.csv");
  if (path.empty()) return true;
  std::vector<DeviceCsvRow> rows;
  const int n = rows_->ListRows();
  rows.reserve(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) {
    const DeviceTableEntry* e = rows_->Rows().FindByKey(r);
    if (!e) continue;  // every row has its record; nothing to export without one
    DeviceCsvRow row;
    row.number = rows_->CellText(r, kColNo).trimmed().toStdString();
    row.model = rows_->CellText(r, kColModel).toStdString();
    row.mac = rows_->CellText(r, kColMac).toStdString();
    row.ip = rows_->CellText(r, kColIp).toStdString();
    row.web_port = rows_->CellText(r, kColWebPort).toStdString();
    row.av_port = rows_->CellText(r, kColAvPort).toStdString();
    row.status = rows_->CellText(r, kColStatus).toStdString();
    row.record = e->record;
    rows.push_back(std::move(row));
  }
  std::string error;
  if (WriteDeviceCsv(path, rows, &error) != 0)
    operator_->Tell("Could not write \"" + path + "\": " + error, PromptIcon::kError);
  return true;
}
