#include "ui/operation.h"

std::string FaultTextOr(const WorkerMessage& msg, const char* fallback) {
  const auto* text = std::get_if<std::string>(&msg.payload);
  return text ? *text : std::string(fallback);
}

void ClearMarksExcept(RowCells* cells, int rows, const std::function<bool(int row)>& keep, bool progress_too) {
  for (int r = 0; r < rows; ++r)
    if (!keep(r)) cells->ClearMarks(r, progress_too);
}

void MacLines::Add(const uint8_t mac[6], int max) {
  if (++count > max) return;
  char text[24];
  lines += "\n";
  lines += FormatMacList(mac, text);
}
