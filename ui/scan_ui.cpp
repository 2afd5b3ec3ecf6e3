#include "ui/scan_ui.h"

#include "config/settings.h"
#include "ui/backend.h"
#include "ui/colours.h"
#include "ui/list_columns.h"
#include "ui/window_texts.h"

ScanUi::ScanUi(StateOwner* state, const RowsView* rows, RowCells* cells, RowRecords* records, Operator* op,
               EngineAccess* engine, const ScanTimings& timings, const ScanPorts& ports, uint32_t rescan_ms)
    : Operation(state, ActiveOp::kScan, kStateScanning, false),
      rows_(rows),
      cells_(cells),
      records_(records),
      operator_(op),
      engine_(engine),
      timings_(timings),
      ports_(ports),
      rescan_ms_(rescan_ms) {
  timer0_.setSingleShot(false);
  QObject::connect(&timer0_, &QTimer::timeout, [this] { OnTimer0(); });
}

bool ScanUi::OnCommand(int id) {
  if (id != IDC_DISCOVERY) return false;
  if (AcceptsNewOperation(state_->State()) && StartScan())
    state_->Started(ActiveOp::kScan, RunPhase::kNone, kStateScanning);
  return true;
}

bool ScanUi::OnMessage(const WorkerMessage& msg) {
  if (msg.id != UM_SCAN_DONE) return false;
  OnDone(msg);
  return true;
}

bool ScanUi::StartScan() {
  ScanConfig cfg;
  cfg.xflag = engine_->Settings().XFLAG;
  cfg.timings = timings_;
  cfg.ports = ports_;
  return engine_->Engine()->StartScan(cfg, engine_->Sink());
}

void ScanUi::StopScan() { engine_->Engine()->StopScan(); }

void ScanUi::Stop() {
  KillTimer0();
  StopScan();
}

void ScanUi::OnIdleAgain(int32_t old_state) {
  if (old_state == kStateVerifyOne || old_state == kStateMultipleIp || old_state == kStateUpdatePanel) KillTimer0();
}

void ScanUi::OnTimer0() {
  if (StartScan()) ArmTimer0(rescan_ms_);
}

void ScanUi::OnDeviceFound(const DeviceRecord& rec) {
  const DeviceTable& rows = rows_->Rows();
  if (rows.FindKeyByMac(rec) >= 0) return;  // a listed device keeps its row as it is
  const int same_ip = rows.FindKeyByIp(rec.ip);
  const int n = records_->AppendRow(rec);
  if (n < 0 || same_ip < 0) return;
  // Two devices on one address: both rows say so.
  for (int row : {n, same_ip}) {
    cells_->SetCellLook(row, kColIp, kWhite, kRed, false);
    cells_->SetStatus(row, operator_->Lang(39), kWhite, kRed);
  }
}

void ScanUi::OnDone(const WorkerMessage& msg) {
  if (msg.wparam == kScanDoneFault) operator_->Tell(FaultTextOr(msg, kTalqThreadFaultText), PromptIcon::kError);
  // The verification scans end on their own; only the scan of "Discovery" owns state 1.
  if (state_->State() != kStateScanning) return;
  StopScan();
  state_->Ended(kStateIdle);
}
