// "Export list..." of the list's popup menu and the window's menu, and the
// message box of a system command that could not be run.
#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "engine/devices/device_csv.h"
#include "engine/ops/ping_tools.h"
#include "ui/cell_list.h"
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

void CDravenkitDlg::OnExportList() {
  const std::string path = prompt_->SaveFileName("Export list", "devices.csv");
  if (path.empty()) return;
  std::vector<DeviceCsvRow> rows;
  const int n = list_->GetItemCount();
  rows.reserve(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) {
    const DeviceTableEntry* e = devices_.FindByKey(r);
    if (!e) continue;  // every row has its record; nothing to export without one
    DeviceCsvRow row;
    row.number = list_->GetItemText(r, kColNo).trimmed().toStdString();
    row.model = list_->GetItemText(r, kColModel).toStdString();
    row.mac = list_->GetItemText(r, kColMac).toStdString();
    row.ip = list_->GetItemText(r, kColIp).toStdString();
    row.web_port = list_->GetItemText(r, kColWebPort).toStdString();
    row.av_port = list_->GetItemText(r, kColAvPort).toStdString();
    row.status = list_->GetItemText(r, kColStatus).toStdString();
    row.record = e->record;
    rows.push_back(std::move(row));
  }
  std::string error;
  if (WriteDeviceCsv(path, rows, &error) != 0)
    prompt_->Info("Could not write \"" + path + "\": " + error, PromptIcon::kError);
}

void CDravenkitDlg::ReportRunnerFailure(int32_t rc) {
  if (const char* text = RunCommandFailureText(rc)) prompt_->Info(text, PromptIcon::kError);
}
