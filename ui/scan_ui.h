#pragma once
// "Discovery" and the scans that verify a network change: the scan run, its
// end, the new rows it lists, and timer 0 that re-scans while Apply or the
// multiple IP setting waits for its devices. "Discovery" owns state 1.
#include <QTimer>
#include <cstdint>

#include "engine/devices/discovery_scan.h"
#include "ui/operation.h"

class ScanUi : public Operation, public VerificationScans {
 public:
  ScanUi(StateOwner* state, const RowsView* rows, RowCells* cells, RowRecords* records, Operator* op,
         EngineAccess* engine, const ScanTimings& timings, const ScanPorts& ports, uint32_t rescan_ms);

  bool OnCommand(int id) override;                   // "Discovery"
  bool OnMessage(const WorkerMessage& msg) override;  // UM_SCAN_DONE
  // A discovery reply in state 1: a device not listed yet gets the next row.
  void OnDeviceFound(const DeviceRecord& rec) override;
  void OnClear() override { StopScan(); }
  void OnIdleAgain(int32_t old_state) override;
  void Stop() override;

  // VerificationScans: one scan, its replies posted to the window; false when none could start.
  bool StartScan() override;
  void StopScan() override;
  void ArmTimer0(uint32_t ms) override { timer0_.start(static_cast<int>(ms)); }
  void KillTimer0() override { timer0_.stop(); }
  uint32_t RescanMs() const override { return rescan_ms_; }
  bool Timer0Active() const { return timer0_.isActive(); }
  // Timer 0: while it runs, every period starts a scan and re-arms it.
  void OnTimer0();

 private:
  void OnDone(const WorkerMessage& msg);
  const RowsView* rows_;
  RowCells* cells_;
  RowRecords* records_;
  Operator* operator_;
  EngineAccess* engine_;
  ScanTimings timings_;
  ScanPorts ports_;
  uint32_t rescan_ms_;
  QTimer timer0_;
};
