#pragma once
// The short operations of the list: ping and ARP, monitoring, export, the
// inventory window and the video wall. None of them owns the window's state;
// the windows they open are children of the operator's window.
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "engine/ops/inventory_run.h"
#include "ui/operation.h"

class CViewerControl;
struct PingResult;

// The box of a system command that could not be run (nothing for rc 0).
void ReportRunnerFailure(Operator* op, int32_t rc);

using MakeViewer = std::function<CViewerControl*(QWidget* parent)>;

// "Delete ARP table", "Ping response" and the model cells of UM_PING_RESULT.
class PingArpUi : public Operation {
 public:
  PingArpUi(const RowsView* rows, RowCells* cells, Operator* op, EngineAccess* engine)
      : Operation(nullptr, ActiveOp::kNone, -1, false), rows_(rows), cells_(cells), operator_(op), engine_(engine) {}
  bool OnCommand(int id) override;
  bool OnMessage(const WorkerMessage& msg) override;
  // "Clear" flushes the ARP table and stops the ping run.
  void OnClear() override;
  void Stop() override;

 private:
  void OnPingResult(const PingResult& result, bool answered);
  const RowsView* rows_;
  RowCells* cells_;
  Operator* operator_;
  EngineAccess* engine_;
};

class MonitoringUi : public Operation {
 public:
  MonitoringUi(const RowsView* rows, RowCells* cells, Operator* op, MakeViewer make_viewer)
      : Operation(nullptr, ActiveOp::kNone, -1, false),
        rows_(rows),
        cells_(cells),
        operator_(op),
        make_viewer_(std::move(make_viewer)) {}
  bool OnCommand(int id) override;
  QWidget* Window() const { return window_; }

 private:
  const RowsView* rows_;
  RowCells* cells_;
  Operator* operator_;
  MakeViewer make_viewer_;
  QPointer<QWidget> window_;
};

class ListExportUi : public Operation {
 public:
  ListExportUi(const RowsView* rows, Operator* op)
      : Operation(nullptr, ActiveOp::kNone, -1, false), rows_(rows), operator_(op) {}
  bool OnCommand(int id) override;

 private:
  const RowsView* rows_;
  Operator* operator_;
};

class InventoryUi : public Operation {
 public:
  InventoryUi(const RowsView* rows, Operator* op, EngineAccess* engine, const InventoryTimings& timings)
      : Operation(nullptr, ActiveOp::kNone, -1, false),
        rows_(rows),
        operator_(op),
        engine_(engine),
        timings_(timings) {}
  bool OnCommand(int id) override;
  QWidget* Window() const { return window_; }

 private:
  const RowsView* rows_;
  Operator* operator_;
  EngineAccess* engine_;
  InventoryTimings timings_;
  QPointer<QWidget> window_;
};

class VideoWallUi : public Operation {
 public:
  VideoWallUi(const RowsView* rows, Operator* op, MakeViewer make_viewer)
      : Operation(nullptr, ActiveOp::kNone, -1, false),
        rows_(rows),
        operator_(op),
        make_viewer_(std::move(make_viewer)) {}
  bool OnCommand(int id) override;
  QWidget* Window() const { return window_; }

 private:
  const RowsView* rows_;
  Operator* operator_;
  MakeViewer make_viewer_;
  QPointer<QWidget> window_;
};
