#pragma once
// "Discovery" and the scans that verify a network change: the scan run, its
// end, the new rows it lists, and timer 0 that re-scans while Apply or the
// multiple IP setting waits for its devices.
#include <QTimer>
#include <cstdint>

#include "engine/devices/discovery_scan.h"
#include "engine/update/worker_messages.h"
#include "ui/operation.h"

class ScanUi {
 public:
  ScanUi(OperationHost* host, const ScanTimings& timings, const ScanPorts& ports);

  void OnDiscovery();
  // A discovery reply in state 2: a device not listed yet gets the next row.
  void OnDeviceFound(const DeviceRecord& rec);
  // UM_SCAN_DONE: a fault is shown; the scan of "Discovery" gives the window back.
  void OnDone(const WorkerMessage& msg);

  // One scan, its replies posted to the window; false when none could start.
  bool Start();
  void Stop();
  // Timer 0: while it runs, every period starts a scan and re-arms it.
  void ArmTimer0(uint32_t ms) { timer0_.start(static_cast<int>(ms)); }
  void KillTimer0() { timer0_.stop(); }
  bool Timer0Active() const { return timer0_.isActive(); }
  void OnTimer0();

 private:
  OperationHost* host_;
  ScanTimings timings_;
  ScanPorts ports_;
  QTimer timer0_;
};
