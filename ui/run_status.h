#pragma once
// What one status code of the firmware update or the factory default run
// shows in its device's status cell: a text in its colours, and what happens
// to the progress bar.
#include <QColor>
#include <cstdint>
#include <optional>
#include <string>

struct RunStatusCell {
  enum Progress { kNone, kShow, kSet, kRemove } progress = kNone;
  bool set_text = false;
  std::string text;
  QColor fg, bg;
};

// UM_UPDATE_STATUS codes (report_text: the report's own text, used by 100 and above).
std::optional<RunStatusCell> UpdateStatusCell(int32_t status, const std::string& report_text);
// UM_FACTORY_STATUS codes.
std::optional<RunStatusCell> FactoryStatusCell(int32_t status);
