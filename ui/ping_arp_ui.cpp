// "Delete ARP table" and "Ping response": the system commands and the model
// cells that show which device did not answer.
#include "engine/ops/ping_tools.h"
#include "engine/update/worker_messages.h"
#include "ui/backend.h"
#include "ui/colours.h"
#include "ui/list_columns.h"
#include "ui/list_ops.h"

void ReportRunnerFailure(Operator* op, int32_t rc) {
  if (const char* text = RunCommandFailureText(rc)) op->Tell(text, PromptIcon::kError);
}

bool PingArpUi::OnCommand(int id) {
  if (id == IDC_DELETE_ARP) {
    ReportRunnerFailure(operator_, engine_->Engine()->DeleteArpTable());
    operator_->Tell(operator_->Lang(27).toStdString(), PromptIcon::kInformation);
  } else if (id == IDC_PING_RESPONSE) {
    // Start stops a recorded run first, so a second press begins again.
    engine_->Engine()->StartPing(PingTargetsFromTable(rows_->Rows()), engine_->Sink());
  } else {
    return false;
  }
  return true;
}

bool PingArpUi::OnMessage(const WorkerMessage& msg) {
  if (msg.id != UM_PING_RESULT) return false;
  if (const auto* r = std::get_if<PingResult>(&msg.payload)) OnPingResult(*r, msg.wparam != 0);
  return true;
}

void PingArpUi::OnClear() {
  ReportRunnerFailure(operator_, engine_->Engine()->DeleteArpTable());
  engine_->Engine()->StopPing();
}

void PingArpUi::Stop() { engine_->Engine()->StopPing(); }

void PingArpUi::OnPingResult(const PingResult& result, bool answered) {
  const int row = rows_->Rows().FindKeyByMac(result.mac);
  if (row < 0) return;  // the device left the list (Clear)
  const bool selected = row == rows_->SelectedKey();
  const QColor bg = selected ? SelectionColour() : kWhite;
  if (answered)
    cells_->SetCellLook(row, kColModel, selected ? kWhite : kBlack, bg, false);
  else
    cells_->SetCellLook(row, kColModel, PingFailureColour(), bg, true);
}
