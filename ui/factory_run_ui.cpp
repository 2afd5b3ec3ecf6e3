// "FactoryDefault" on the update panel: its start after the panel's checks,
// its statuses and its closing box.
#include <string>

#include "engine/ops/factory_default_run.h"
#include "ui/backend.h"
#include "ui/list_columns.h"
#include "ui/panel_run.h"
#include "ui/window_texts.h"

void FactoryRunUi::OnStart() {
  if (!MayStart()) return;
  if (!r_.op->Ask(r_.op->Lang(60).toStdString())) return;
  FactoryDefaultConfig cfg;
  cfg.user = r_.fields->TextOf(IDC_USER_ID).toStdString();
  cfg.password = r_.fields->TextOf(IDC_PASSWORD).toStdString();
  cfg.timings = timings_;
  for (const auto& e : *r_.selection) cfg.devices.push_back(e->record);
  Start([&](MessageSink* sink) { return r_.engine->Engine()->StartFactoryDefault(cfg, sink); });
}

bool FactoryRunUi::OnMessage(const WorkerMessage& msg) {
  if (msg.id == UM_FACTORY_STATUS) {
    if (const auto* r = std::get_if<FactoryStatusReport>(&msg.payload)) OnStatus(r->mac, r->status, {});
  } else if (msg.id == UM_FACTORY_DONE) {
    OnDone(msg);
  } else {
    return false;
  }
  return true;
}

std::string FactoryRunUi::DoneText(int* missing_out) const {
  int total = 0;
  MacLines missing;
  for (const auto& e : *r_.selection) {
    ++total;
    if (e->progress != kFactoryComplete) missing.Add(e->record.mac, kNamedDevicesMax);
  }
  *missing_out = missing.count;
  // A box that says "complete" must not hide the devices that stayed away.
  if (missing.count == 0) return r_.op->Lang(61).toStdString();
  const bool named = missing.count <= kNamedDevicesMax;
  std::string text = std::string(kFactoryIncompleteText) + "\n\n" + std::to_string(missing.count) + " of " +
                     std::to_string(total) + " device" + (total == 1 ? "" : "s") + " did not come back at " +
                     kFactoryDefaultIpText + (named ? ":" : ".");
  if (named) text += missing.lines;
  return text;
}

void FactoryRunUi::OnDone(const WorkerMessage& msg) {
  if (state_->State() != kStateUpdateRun || state_->Active() == ActiveOp::kUpdate) return;
  if (msg.wparam == kFactoryDoneFault) r_.op->Tell(FaultTextOr(msg, kFactoryThreadFaultText), PromptIcon::kError);
  int missing = 0;
  const std::string text = Owns() ? DoneText(&missing) : r_.op->Lang(61).toStdString();
  r_.op->Tell(text, missing == 0 ? PromptIcon::kInformation : PromptIcon::kWarning);
  state_->Ended(kStateIdle);
}

void FactoryRunUi::StopRun() { r_.engine->Engine()->StopFactoryDefault(); }
const char* FactoryRunUi::StopQuestion() const { return kStopFactoryQuestion; }
const char* FactoryRunUi::StoppedText() const { return kFactoryStoppedText; }
