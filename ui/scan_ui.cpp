#include "ui/scan_ui.h"

#include "config/settings.h"
#include "ui/backend.h"
#include "ui/colours.h"
#include "ui/main_window.h"
#include "ui/window_texts.h"

ScanUi::ScanUi(OperationHost* host, const ScanTimings& timings, const ScanPorts& ports)
    : host_(host), timings_(timings), ports_(ports) {
  timer0_.setSingleShot(false);
  QObject::connect(&timer0_, &QTimer::timeout, [this] { OnTimer0(); });
}

void ScanUi::OnDiscovery() {
  const int32_t state = host_->State();
  if (state != kStateIdle && state != kStateSyslog) return;
  if (!Start()) return;
  host_->Started(ActiveOp::kScan, RunPhase::kNone, kStateScanning);
}

bool ScanUi::Start() {
  ScanConfig cfg;
  cfg.xflag = host_->SettingsStore().XFLAG;
  cfg.timings = timings_;
  cfg.ports = ports_;
  return host_->Engine()->StartScan(cfg, host_->Sink());
}

void ScanUi::Stop() { host_->Engine()->StopScan(); }

void ScanUi::OnTimer0() {
  if (Start()) ArmTimer0(host_->RescanMs());
}

void ScanUi::OnDeviceFound(const DeviceRecord& rec) {
  const DeviceTable& rows = host_->Rows();
  if (rows.FindKeyByMac(rec) >= 0) return;  // a listed device keeps its row as it is
  const int same_ip = rows.FindKeyByIp(rec.ip);
  const int n = host_->AppendRow(rec);
  if (n < 0 || same_ip < 0) return;
  // Two devices on one address: both rows say so.
  for (int row : {n, same_ip}) {
    host_->SetCellColours(row, kColIp, kWhite, kRed);
    host_->SetStatus(row, host_->Lang(39), kWhite, kRed);
  }
}

void ScanUi::OnDone(const WorkerMessage& msg) {
  if (msg.wparam == kScanDoneFault) {
    const auto* text = std::get_if<std::string>(&msg.payload);
    host_->Tell(text ? *text : std::string(kTalqThreadFaultText), PromptIcon::kError);
  }
  // The verification scans end on their own; only the scan of "Discovery" owns state 2.
  if (host_->State() != kStateScanning) return;
  Stop();
  host_->Ended(kStateIdle);
}
