#include "ui/run_status.h"

#include "ui/colours.h"

namespace {


RunStatusCell TextCell(RunStatusCell::Progress progress, std::string text, const QColor& fg, const QColor& bg) {
  RunStatusCell a;
  a.progress = progress;
  a.set_text = true;
  a.text = std::move(text);
  a.fg = fg;
  a.bg = bg;
  return a;
}

RunStatusCell ProgressCell(RunStatusCell::Progress progress) {
  RunStatusCell a;
  a.progress = progress;
  return a;
}

}  // namespace

// UM_UPDATE_STATUS codes, including those no run of this system posts. A
// failed upload (-1, -2, -3) ends its device while the bar is shown: the bar
// goes, or the cell would draw only the bar and hide the reason.
std::optional<RunStatusCell> UpdateStatusCell(int32_t status, const std::string& report_text) {
  using P = RunStatusCell::Progress;
  switch (status) {
    case 0: return TextCell(P::kNone, "update init", kBlack, kYellow);
    case 1: return TextCell(P::kNone, "ip setting ...", kBlack, kYellow);
    case 2: return TextCell(P::kNone, "Now preparing for update ...", kBlack, kYellow);
    case 3: return ProgressCell(P::kShow);
    case 100: return TextCell(P::kRemove, report_text.empty() ? "update complete." : report_text, kBlack, kGreen);
    case -1: return TextCell(P::kRemove, "update error 'UPLOAD_TOOL -1'", kWhite, kRed);
    case -2: return TextCell(P::kRemove, "update error 'UPLOAD_TOOL -2'", kWhite, kRed);
    case -3: return TextCell(P::kRemove, "update error 'UPLOAD_FIRMWARE'", kWhite, kRed);
    case -4: return TextCell(P::kNone, "update error 'SESSION -1'", kWhite, kRed);
    case -5: return TextCell(P::kNone, "update error 'CONNECTION -2'", kWhite, kRed);
    case -6: return TextCell(P::kNone, "ip setting error 'authentication'", kWhite, kRed);
    case -7: return TextCell(P::kNone, "ip setting error 'unknown'", kWhite, kRed);
    case -8: return TextCell(P::kNone, "update error 'THREAD -1'", kWhite, kRed);
    case -9: return TextCell(P::kRemove, "update error 'UPDATE_TIMEOUT'", kWhite, kRed);
    case -10: return TextCell(P::kRemove, "update error 'AFTER_PROCESSING'", kWhite, kRed);
    case -11: return TextCell(P::kRemove, "update error 'CHECK_FIRMWARE_VERSION'", kWhite, kRed);
    case -12: return TextCell(P::kRemove, "update error 'CHECK_FACTORYDEFAULT'", kWhite, kRed);
    case -14: return TextCell(P::kRemove, "update error 'THREAD DOUPLOAD'", kWhite, kRed);
    default: break;
  }
  if (status >= 4 && status <= 99) return ProgressCell(P::kSet);
  if (status >= 101) return TextCell(P::kNone, report_text.empty() ? "..." : report_text, kBlack, kGreen);
  return std::nullopt;  // -13 and below -14
}

// UM_FACTORY_STATUS codes.
std::optional<RunStatusCell> FactoryStatusCell(int32_t status) {
  using P = RunStatusCell::Progress;
  switch (status) {
    case 0: return TextCell(P::kNone, "factorydefault init", kBlack, kYellow);
    case 3: return ProgressCell(P::kShow);
    case 100: return TextCell(P::kRemove, "factorydefault complete.", kBlack, kGreen);
    case -1: return TextCell(P::kNone, "factorydefault error 'UPLOAD_TOOL -1'", kWhite, kRed);
    case -2: return TextCell(P::kNone, "factorydefault error 'UPLOAD_TOOL -2'", kWhite, kRed);
    case -3: return TextCell(P::kNone, "factorydefault error 'UPLOAD_FIRMWARE'", kWhite, kRed);
    case -4: return TextCell(P::kNone, "factorydefault error 'SESSION -1'", kWhite, kRed);
    case -5: return TextCell(P::kNone, "factorydefault error 'CONNECTION -2'", kWhite, kRed);
    case -8: return TextCell(P::kNone, "factorydefault error 'THREAD -1'", kWhite, kRed);
    case -9: return TextCell(P::kRemove, "factorydefault error 'FACTORY_TIMEOUT'", kWhite, kRed);
    case -10: return TextCell(P::kRemove, "factorydefault error 'AFTER_PROCESSING'", kWhite, kRed);
    case -11: return TextCell(P::kRemove, "factorydefault error 'CHECK_FIRMWARE_VERSION'", kWhite, kRed);
    case -12: return TextCell(P::kRemove, "factorydefault error 'CHECK_FACTORYDEFAULT'", kWhite, kRed);
    default: break;
  }
  if (status == 1 || status == 2 || (status >= 4 && status <= 99)) return ProgressCell(P::kSet);
  return std::nullopt;
}
