// "Export list..." of the list's popup menu and the window's menu: the rows
// as shown, with their records, into a CSV file.
#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "engine/devices/device_csv.h"
#include "ui/list_ops.h"
#include "ui/main_window.h"
#include "ui/prompt.h"

namespace {
const char kExportText[] = "Export list...";
}

void CDravenkitDlg::CreateExportActions() {
  QAction* in_list = context_menu_->addAction(QString::fromLatin1(kExportText));
  connect(in_list, &QAction::triggered, this, [this] { OnCommand(ID_MENU_EXPORT); });
  actions_.emplace(ID_MENU_EXPORT, in_list);
  const QList<QAction*> menus = menu_bar_->actions();
  if (menus.isEmpty() || !menus.front()->menu()) return;
  QMenu* window_menu = menus.front()->menu();
  QAction* first = window_menu->actions().value(0, nullptr);
  QAction* in_menu = new QAction(QString::fromLatin1(kExportText), window_menu);
  connect(in_menu, &QAction::triggered, this, [this] { OnCommand(ID_MENU_EXPORT); });
  actions_.emplace(ID_MENU_EXPORT, in_menu);
  window_menu->insertAction(first, in_menu);
  window_menu->insertSeparator(first);
}

void ListExportUi::OnExportList() {
  const std::string path = host_->Prompts()->SaveFileName("Export list", "devices.csv");
  if (path.empty()) return;
  std::vector<DeviceCsvRow> rows;
  const int n = host_->ListRows();
  rows.reserve(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) {
    const DeviceTableEntry* e = host_->Rows().FindByKey(r);
    if (!e) continue;  // every row has its record; nothing to export without one
    DeviceCsvRow row;
    row.number = host_->CellText(r, kColNo).trimmed().toStdString();
    row.model = host_->CellText(r, kColModel).toStdString();
    row.mac = host_->CellText(r, kColMac).toStdString();
    row.ip = host_->CellText(r, kColIp).toStdString();
    row.web_port = host_->CellText(r, kColWebPort).toStdString();
    row.av_port = host_->CellText(r, kColAvPort).toStdString();
    row.status = host_->CellText(r, kColStatus).toStdString();
    row.record = e->record;
    rows.push_back(std::move(row));
  }
  std::string error;
  if (WriteDeviceCsv(path, rows, &error) != 0)
    host_->Tell("Could not write \"" + path + "\": " + error, PromptIcon::kError);
}
