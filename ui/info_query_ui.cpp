#include "ui/info_query_ui.h"

#include "engine/update/worker_messages.h"
#include "ui/backend.h"
#include "ui/post_box.h"
#include "ui/window_texts.h"

uint32_t InfoQueryDeadlineMs(const InfoQueryTimings& t) {
  // ping, the system mode transfer, then two requests (connect, send, reply each), and a second to spare
  const uint32_t ping = static_cast<uint32_t>(t.ping_count) * static_cast<uint32_t>(t.ping_timeout_ms);
  const uint32_t http = t.http.deadline_ms * 2 + t.http.send_ms;
  return ping + static_cast<uint32_t>(t.curl.connect_timeout_ms + t.curl.total_timeout_ms) + 2 * http + 1000;
}

InfoQueryUi::InfoQueryUi(const RowsView* rows, PanelFields* fields, EngineAccess* engine,
                         std::shared_ptr<WindowPostBox> box, const InfoQueryTimings& timings)
    : Operation(nullptr, ActiveOp::kNone, -1, false),
      rows_(rows),
      fields_(fields),
      engine_(engine),
      box_(std::move(box)),
      timings_(timings) {
  deadline_.setSingleShot(true);
  QObject::connect(&deadline_, &QTimer::timeout, [this] { OnDeadline(); });
}

void InfoQueryUi::StartForRow(int row, Check check) {
  const DeviceTableEntry* e = rows_->Rows().FindByKey(row);
  if (!e) return;
  if (check != Check::kNone) {
    int same = 0;
    for (const auto& other : rows_->Rows())
      if (other->record.ip == e->record.ip) ++same;
    if (same > 1) {
      // Which device would answer is unknown: show nothing rather than a guess.
      fields_->ShowText(IDC_FIRMWARE, QString());
      fields_->ShowText(IDC_SERIAL, check == Check::kClick ? QString() : QStringLiteral("-"));
      fields_->ShowText(IDC_SYSTEM_MODE, check == Check::kClick ? QString() : QStringLiteral("-"));
      return;
    }
  }
  VersionQueryParam p{e->record.ip, e->record.web_port, timings_};
  Void();
  // The engine keeps the query's sink for as long as its thread may use it.
  auto sink = std::make_shared<InfoQuerySink>(box_, generation_);
  WindowBackend* engine = engine_->Engine();
  engine->KeepSinkAlive(sink);
  if (engine->StartInfoQuery(p, sink.get())) deadline_.start(static_cast<int>(InfoQueryDeadlineMs(timings_)));
}

void InfoQueryUi::Void() {
  ++generation_;
  deadline_.stop();
}

void InfoQueryUi::Stop() {
  Void();
  engine_->Engine()->StopInfoQuery();
}

bool InfoQueryUi::OnMessage(const WorkerMessage& msg) {
  if (msg.id != UM_FIRMWARE_VERSION_TEXT && msg.id != UM_SERIAL_TEXT && msg.id != UM_SYSTEM_MODE_TEXT) return false;
  if (const auto* t = std::get_if<std::string>(&msg.payload)) OnText(msg.id, *t);
  return true;
}

void InfoQueryUi::OnText(int id, const std::string& text) {
  const std::string shown = text.substr(0, 255);
  const int field = id == UM_FIRMWARE_VERSION_TEXT ? IDC_FIRMWARE : id == UM_SERIAL_TEXT ? IDC_SERIAL : IDC_SYSTEM_MODE;
  fields_->ShowText(field, QString::fromUtf8(shown.data(), static_cast<int>(shown.size())));
  // The query reads the system mode before the firmware version: a version
  // answer while the mode is still empty means the mode query brought nothing.
  if (id == UM_FIRMWARE_VERSION_TEXT && !text.empty() && fields_->TextOf(IDC_SYSTEM_MODE).isEmpty())
    fields_->ShowText(IDC_SYSTEM_MODE, QString::fromLatin1(kInfoFailedText));
  // The serial number is the query's last answer.
  if (id == UM_SERIAL_TEXT && !text.empty()) deadline_.stop();
}

void InfoQueryUi::OnDeadline() {
  // A device whose web server took the request and never answered.
  for (int id : {IDC_SYSTEM_MODE, IDC_FIRMWARE, IDC_SERIAL})
    if (fields_->TextOf(id).isEmpty()) fields_->ShowText(id, QString::fromLatin1(kInfoFailedText));
}
