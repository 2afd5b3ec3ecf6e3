#pragma once
// The short operations of the list: ping and ARP, monitoring, export, the
// inventory window and the video wall. Each reaches the window only through
// OperationHost; the windows they open are children of the host's window.
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "engine/ops/inventory_run.h"
#include "ui/operation.h"

class CViewerControl;
struct PingResult;

// The box of a system command that could not be run (nothing for rc 0).
void ReportRunnerFailure(OperationHost* host, int32_t rc);

using MakeViewer = std::function<CViewerControl*(QWidget* parent)>;

class PingArpUi {
 public:
  explicit PingArpUi(OperationHost* host) : host_(host) {}
  void OnDeleteArpTable();
  void OnPingResponse();
  // UM_PING_RESULT: the model cell of the device's row.
  void OnPingResult(const PingResult& result, bool answered);

 private:
  OperationHost* host_;
};

class MonitoringUi {
 public:
  MonitoringUi(OperationHost* host, MakeViewer make_viewer) : host_(host), make_viewer_(std::move(make_viewer)) {}
  void OnMonitoring();
  QWidget* Window() const { return window_; }

 private:
  OperationHost* host_;
  MakeViewer make_viewer_;
  QPointer<QWidget> window_;
};

class ListExportUi {
 public:
  explicit ListExportUi(OperationHost* host) : host_(host) {}
  void OnExportList();

 private:
  OperationHost* host_;
};

class InventoryUi {
 public:
  InventoryUi(OperationHost* host, const InventoryTimings& timings) : host_(host), timings_(timings) {}
  void OnReadInformation();
  QWidget* Window() const { return window_; }

 private:
  OperationHost* host_;
  InventoryTimings timings_;
  QPointer<QWidget> window_;
};

class VideoWallUi {
 public:
  VideoWallUi(OperationHost* host, MakeViewer make_viewer) : host_(host), make_viewer_(std::move(make_viewer)) {}
  void OnVideoWall();
  QWidget* Window() const { return window_; }

 private:
  OperationHost* host_;
  MakeViewer make_viewer_;
  QPointer<QWidget> window_;
};
