// "Delete ARP table" and "Ping response": the system commands and the model
// cells that show which device did not answer.
#include "engine/ops/ping_tools.h"
#include "engine/update/worker_messages.h"
#include "ui/backend.h"
#include "ui/list_ops.h"
#include "ui/main_window.h"

void ReportRunnerFailure(OperationHost* host, int32_t rc) {
  if (const char* text = RunCommandFailureText(rc)) host->Tell(text, PromptIcon::kError);
}

void PingArpUi::OnDeleteArpTable() {
  ReportRunnerFailure(host_, host_->Engine()->DeleteArpTable());
  host_->Tell(host_->Lang(27).toStdString(), PromptIcon::kInformation);
}

void PingArpUi::OnPingResponse() {
  // Start stops a recorded run first, so a second press begins again.
  host_->Engine()->StartPing(PingTargetsFromTable(host_->Rows()), host_->Sink());
}

void PingArpUi::OnPingResult(const PingResult& result, bool answered) {
  const int row = host_->Rows().FindKeyByMac(result.mac);
  if (row < 0) return;  // the device left the list (Clear)
  const bool selected = row == host_->SelectedKey();
  const QColor white(255, 255, 255), black(0, 0, 0);
  const QColor bg = selected ? SelectionColour() : white;
  if (answered)
    host_->SetCellLook(row, kColModel, selected ? white : black, bg, false);
  else
    host_->SetCellLook(row, kColModel, PingFailureColour(), bg, true);
}
