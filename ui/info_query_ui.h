#pragma once
// The selection's information query: the newest query owns the panel (each
// posts through its own sink, stamped with its generation), a device shared
// by two rows is not asked, and fields the query never fills show "failed".
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/ops/info_query.h"
#include "ui/operation.h"

class WindowPostBox;

// The longest an information query can take by its own bounds.
uint32_t InfoQueryDeadlineMs(const InfoQueryTimings& t);

class InfoQueryUi : public Operation {
 public:
  // How the start treats a device whose address another row shares (the
  // click and the key handlers clear the fields differently; the popup asks anyway).
  enum class Check { kClick, kKey, kNone };
  InfoQueryUi(const RowsView* rows, PanelFields* fields, EngineAccess* engine,
              std::shared_ptr<WindowPostBox> box, const InfoQueryTimings& timings);

  void StartForRow(int row, Check check);
  // A newer selection or "Clear": the answers of every query so far are void.
  void Void();
  uint32_t Generation() const { return generation_; }
  // UM_FIRMWARE_VERSION_TEXT, UM_SERIAL_TEXT, UM_SYSTEM_MODE_TEXT of the newest query.
  bool OnMessage(const WorkerMessage& msg) override;
  void OnClear() override { Void(); }
  void Stop() override;

 private:
  void OnText(int id, const std::string& text);
  void OnDeadline();
  const RowsView* rows_;
  PanelFields* fields_;
  EngineAccess* engine_;
  std::shared_ptr<WindowPostBox> box_;
  InfoQueryTimings timings_;
  uint32_t generation_ = 0;
  QTimer deadline_;  // fields still empty then show "failed"
};
