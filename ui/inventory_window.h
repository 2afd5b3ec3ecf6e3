#pragma once
// The inventory window: "Read information" over the ticked devices (or all),
// one row per device filled as the answers arrive, counts against a version
// the operator may type, and "Export..." to CSV. It works on its own copies
// of the records and never touches the main window's tables or states.
#include <QWidget>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/ops/inventory_run.h"
#include "engine/update/worker_messages.h"

class Prompt;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class WindowBackend;

class CInventoryWindow : public QWidget, public MessageSink {
  Q_OBJECT
 public:
  // Starts the run at once (through the backend); parent may be null.
  // shared_ips: addresses that devices outside `devices` share with them.
  CInventoryWindow(std::vector<DeviceRecord> devices, WindowBackend* backend, Prompt* prompt,
                   const InventoryTimings& timings, QWidget* parent = nullptr, std::vector<uint32_t> shared_ips = {});
  // Stops the run (bounded wait) and joins it; no message reaches the window after.
  ~CInventoryWindow() override;

  // MessageSink: any thread; handled later on the window's thread.
  void Post(WorkerMessage msg) override;

  bool Running() const { return running_; }
  int32_t Answered() const { return answered_; }
  int32_t Failed() const { return failed_; }
  int32_t Mismatched() const;
  QTableWidget* Table() const { return table_; }
  QLineEdit* ExpectedVersion() const { return expected_; }
  QLabel* CountLabel() const { return counts_; }
  void OnExport();

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void Handle(const WorkerMessage& msg);
  void OnResult(const InventoryResult& r);
  void WriteRow(size_t index);
  void WriteRows(const std::vector<size_t>& indexes);
  void RefreshCounts();
  void StopRun();

  std::vector<DeviceRecord> devices_;
  std::vector<std::optional<InventoryResult>> results_;
  WindowBackend* backend_;
  Prompt* prompt_;
  std::unique_ptr<InventoryRunner> runner_;
  std::vector<QTableWidgetItem*> row_items_;  // column 0 of each device's row
  std::mutex post_mu_;
  bool accepting_ = true;
  bool running_ = false;
  int32_t answered_ = 0, failed_ = 0;
  QTableWidget* table_ = nullptr;
  QLineEdit* expected_ = nullptr;
  QLabel* counts_ = nullptr;
  QPushButton* export_ = nullptr;
};
