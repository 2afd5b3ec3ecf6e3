#include "ui/panel_run.h"

#include <cstring>

#include "engine/devices/device_record.h"
#include "engine/ops/factory_default_run.h"
#include "engine/update/update_run.h"
#include "ui/backend.h"
#include "ui/main_window.h"
#include "ui/window_texts.h"

bool PanelRun::Start(const std::function<bool(MessageSink*)>& start) {
  for (const auto& e : *host_->RunSelection()) e->progress = 0;
  if (!start(host_->Sink())) return false;
  phase_ = RunPhase::kRunning;
  host_->Started(kind_, phase_, kStateUpdateRun);
  return true;
}

void PanelRun::Note(const uint8_t mac[6], int32_t status) {
  if (!Running()) return;
  for (const auto& e : *host_->RunSelection()) {
    if (std::memcmp(e->record.mac, mac, 6) == 0) {
      e->progress = status;
      return;
    }
  }
}

void PanelRun::OnStatus(const uint8_t mac[6], int32_t status, const std::string& text) {
  Note(mac, status);
  const int row = host_->Rows().FindKeyByMac(mac);
  if (row < 0) return;
  if (const auto cell = StatusCell(status, text)) host_->ShowRunStatus(row, *cell, status);
}

void PanelRun::OnDeviceFound(const DeviceRecord& rec) {
  const int row = host_->Rows().FindKeyByMac(rec);
  if (row >= 0) host_->ShowUpdatedRecord(row, rec);
}

std::string PanelRun::Tally() const {
  int total = 0, verified = 0;
  std::string others;
  for (const auto& e : *host_->RunSelection()) {
    ++total;
    // 100 ends a device in both runs; 101, back at the factory address, an update's.
    if (e->progress == kFactoryComplete || (kind_ == ActiveOp::kUpdate && e->progress == kUpdateFactoryBack)) {
      ++verified;
      continue;
    }
    if (total - verified <= kNamedDevicesMax) {
      char mac[24];
      others += "\n";
      others += FormatMacList(e->record.mac, mac);
    }
  }
  std::string text = std::to_string(verified) + " of " + std::to_string(total) + " device" +
                     (total == 1 ? " was" : "s were") + " verified.";
  const int missing = total - verified;
  if (missing > 0) {
    text += " Not verified:" + others;
    if (missing > kNamedDevicesMax) text += "\n... and " + std::to_string(missing - kNamedDevicesMax) + " more";
  }
  return text;
}

bool PanelRun::AskToStop() {
  if (!host_->Ask(StopQuestion())) return false;
  // The stop is bounded as at closing; the run's last messages then find the
  // window idle and change nothing.
  StopRun();
  const std::string text = std::string(StoppedText()) + "\n\n" + Tally();
  phase_ = RunPhase::kNone;
  host_->Ended(kStateIdle);
  host_->Tell(text, PromptIcon::kWarning);
  return true;
}

// ---------------------------------------------------------------- firmware update

void UpdateRunUi::OnDone(const WorkerMessage& msg) {
  // A stopped run's late end, or one of another run, changes nothing; a run
  // set up by hand (state 5 with no operation) is taken as this one.
  if (host_->State() != kStateUpdateRun || host_->Active() == ActiveOp::kFactory) return;
  if (msg.wparam == 0) {
    phase_ = RunPhase::kNone;
    host_->Tell(host_->Lang(58).toStdString(), PromptIcon::kInformation);
    host_->Ended(kStateIdle);
    return;
  }
  // Not every device was updated: the rows show which; the window stays in
  // the run's state until Cancel, which is now accepted.
  if (msg.wparam == kUpdateDoneFault) {
    const auto* text = std::get_if<std::string>(&msg.payload);
    host_->Tell(text ? *text : std::string(kUpdateThreadFaultText), PromptIcon::kError);
  }
  phase_ = RunPhase::kEnded;
  host_->PhaseChanged(phase_);
  host_->Tell(std::string(kUpdateFailedText) + "\n\n" + Tally(), PromptIcon::kWarning);
}

void UpdateRunUi::StopRun() { host_->Engine()->StopUpdate(); }
const char* UpdateRunUi::StopQuestion() const { return kStopUpdateQuestion; }
const char* UpdateRunUi::StoppedText() const { return kUpdateStoppedText; }

// ---------------------------------------------------------------- factory default

std::string FactoryRunUi::DoneText(int* missing_out) const {
  int missing = 0, total = 0;
  std::string names;
  for (const auto& e : *host_->RunSelection()) {
    ++total;
    if (e->progress == kFactoryComplete) continue;
    if (++missing <= kNamedDevicesMax) {
      char mac[24];
      names += "\n";
      names += FormatMacList(e->record.mac, mac);
    }
  }
  *missing_out = missing;
  // A box that says "complete" must not hide the devices that stayed away.
  if (missing == 0) return host_->Lang(61).toStdString();
  std::string text = std::string(kFactoryIncompleteText) + "\n\n" + std::to_string(missing) + " of " +
                     std::to_string(total) + " device" + (total == 1 ? "" : "s") + " did not come back at " +
                     kFactoryDefaultIpText + (missing <= kNamedDevicesMax ? ":" : ".");
  if (missing <= kNamedDevicesMax) text += names;
  return text;
}

void FactoryRunUi::OnDone(const WorkerMessage& msg) {
  if (host_->State() != kStateUpdateRun || host_->Active() == ActiveOp::kUpdate) return;
  if (msg.wparam == kFactoryDoneFault) {
    const auto* fault = std::get_if<std::string>(&msg.payload);
    host_->Tell(fault ? *fault : std::string(kFactoryThreadFaultText), PromptIcon::kError);
  }
  int missing = 0;
  const std::string text = Owns() ? DoneText(&missing) : host_->Lang(61).toStdString();
  phase_ = RunPhase::kNone;
  host_->Tell(text, missing == 0 ? PromptIcon::kInformation : PromptIcon::kWarning);
  host_->Ended(kStateIdle);
}

void FactoryRunUi::StopRun() { host_->Engine()->StopFactoryDefault(); }
const char* FactoryRunUi::StopQuestion() const { return kStopFactoryQuestion; }
const char* FactoryRunUi::StoppedText() const { return kFactoryStoppedText; }
