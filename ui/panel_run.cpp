// What both panel runs share: the start's checks and the selection list, the
// status cells, the records found while they run, Cancel and the tally.
#include "ui/panel_run.h"

#include <cstring>

#include "engine/devices/device_record.h"
#include "ui/backend.h"
#include "ui/list_columns.h"
#include "ui/window_texts.h"

bool PanelRun::OnCommand(int id) {
  if (id == StartControl()) {
    OnStart();
    return true;
  }
  if (id != IDC_UPDATE_CANCEL || !Running()) return false;
  if (AskToStop()) r_.panel->StoreIntoSettings();
  return true;
}

bool PanelRun::MayStart() {
  if (state_->State() == kStateUpdateRun) {
    r_.op->Tell(r_.op->Lang(57).toStdString(), PromptIcon::kInformation);
    return false;
  }
  if (BuildSelectionList() == 0) {
    r_.op->Tell(r_.op->Lang(28).toStdString(), PromptIcon::kWarning);
    r_.panel->Close();
    return false;
  }
  // Both runs log in with the panel's credentials.
  if (r_.fields->TextOf(IDC_USER_ID).isEmpty()) {
    r_.op->Tell(r_.op->Lang(34).toStdString(), PromptIcon::kWarning);
    r_.fields->Focus(IDC_USER_ID);
    return false;
  }
  if (r_.fields->TextOf(IDC_PASSWORD).isEmpty()) {
    r_.op->Tell(r_.op->Lang(35).toStdString(), PromptIcon::kWarning);
    r_.fields->Focus(IDC_PASSWORD);
    return false;
  }
  return true;
}

int32_t PanelRun::BuildSelectionList() {
  const int n = r_.rows->ListRows();
  // Rows left out of the run lose what an earlier run showed on them.
  ClearMarksExcept(r_.cells, n, [this](int r) { return r_.rows->Ticked(r); }, true);
  r_.selection->Clear();
  int32_t key = 0;
  for (int r = 0; r < n; ++r) {
    if (!r_.rows->Ticked(r)) continue;
    // Keys of the device table are the rows.
    const DeviceTableEntry* e = r_.rows->Rows().FindByKey(r);
    if (!e) continue;
    r_.selection->AppendWithRow(key++, r, e->record);
  }
  return key;
}

void PanelRun::Start(const std::function<bool(MessageSink*)>& start) {
  for (const auto& e : *r_.selection) e->progress = 0;
  if (!start(r_.engine->Sink())) {
    r_.op->Tell("Error, internal", PromptIcon::kError);
    return;
  }
  state_->Started(Kind(), RunPhase::kRunning, kStateUpdateRun);
  r_.panel->StoreIntoSettings();
}

void PanelRun::OnStatus(const uint8_t mac[6], int32_t status, const std::string& text) {
  if (Running()) {
    for (const auto& e : *r_.selection) {
      if (std::memcmp(e->record.mac, mac, 6) == 0) {
        e->progress = status;
        break;
      }
    }
  }
  const int row = r_.rows->Rows().FindKeyByMac(mac);
  if (row < 0) return;
  if (const auto cell = StatusCell(status, text)) r_.cells->ShowRunStatus(row, *cell, status);
}

void PanelRun::OnDeviceFound(const DeviceRecord& rec) {
  const int row = r_.rows->Rows().FindKeyByMac(rec);
  if (row >= 0) r_.records->ShowUpdatedRecord(row, rec);
}

std::string PanelRun::Tally() const {
  int total = 0, verified = 0;
  MacLines others;
  for (const auto& e : *r_.selection) {
    ++total;
    // 100 ends a device in both runs; 101, back at the factory address, an update's.
    if (e->progress == kFactoryComplete || (Kind() == ActiveOp::kUpdate && e->progress == kUpdateFactoryBack)) {
      ++verified;
      continue;
    }
    others.Add(e->record.mac, kNamedDevicesMax);
  }
  std::string text = std::to_string(verified) + " of " + std::to_string(total) + " device" +
                     (total == 1 ? " was" : "s were") + " verified.";
  const int missing = total - verified;
  if (missing > 0) {
    text += " Not verified:" + others.lines;
    if (missing > kNamedDevicesMax) text += "\n... and " + std::to_string(missing - kNamedDevicesMax) + " more";
  }
  return text;
}

bool PanelRun::AskToStop() {
  if (!r_.op->Ask(StopQuestion())) return false;
  // The stop is bounded as at closing; the run's last messages then find the
  // window idle and change nothing.
  StopRun();
  const std::string text = std::string(StoppedText()) + "\n\n" + Tally();
  state_->Ended(kStateIdle);
  r_.op->Tell(text, PromptIcon::kWarning);
  return true;
}
