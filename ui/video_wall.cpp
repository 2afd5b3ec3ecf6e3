#include "ui/video_wall.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

#include "engine/video/video_client.h"
#include "ui/monitoring.h"
#include "ui/prompt.h"
#include "ui/viewer_control.h"

std::string VideoWallTooManyText(int ticked) {
  return "The video wall shows at most " + std::to_string(kVideoWallMax) + " devices; " + std::to_string(ticked) +
         " are ticked.";
}


int WallStreamPort(const DeviceRecord& rec, bool first_stream) {
  const int ports[3] = {rec.av_port1, rec.av_port2, rec.av_port3};
  if (first_stream && ports[0] != 0) return ports[0];
  for (int s = 2; s >= 0; --s)
    if (ports[s] != 0) return ports[s];
  return 0;
}

CVideoWall::CVideoWall(std::vector<DeviceRecord> devices, const ViewerFactory& viewer, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Video wall"));
  setSizeGripEnabled(true);
  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(6, 6, 6, 6);
  first_stream_ = new QCheckBox(QStringLiteral("Stream 1 (full size)"), this);
  connect(first_stream_, &QCheckBox::toggled, this, &CVideoWall::SetFirstStream);
  top->addWidget(first_stream_);
  auto* grid = new QGridLayout();
  grid->setSpacing(4);
  top->addLayout(grid, 1);

  const int n = static_cast<int>(devices.size());
  const int columns = n > 0 ? static_cast<int>(std::ceil(std::sqrt(double(n)))) : 1;
  cells_.resize(devices.size());
  for (int i = 0; i < n; ++i) {
    Cell& c = cells_[i];
    c.rec = devices[i];
    auto* box = new QWidget(this);
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(2);
    c.viewer = viewer ? viewer(box) : new CPixviewerctrlctrl1(box);
    c.viewer->setMinimumSize(160, 90);
    c.caption = new QLabel(box);
    c.caption->setAlignment(Qt::AlignCenter);
    v->addWidget(c.viewer, 1);
    v->addWidget(c.caption);
    grid->addWidget(box, i / columns, i % columns);
    connect(c.viewer, &CViewerControl::controlEvent, this,
            [this, i](int id, const QVariantList& args) { OnViewerEvent(i, id, args); });
  }
  const int rows = n > 0 ? (n + columns - 1) / columns : 1;
  resize(std::min(1600, columns * 330 + 12), std::min(1000, rows * 210 + 40));
  for (int i = 0; i < n; ++i) ConnectCell(i);
}

CVideoWall::~CVideoWall() { StopAll(); }

QString CVideoWall::CaptionText(int i) const { return cells_[i].caption->text(); }

void CVideoWall::ShowCaption(int i) {
  Cell& c = cells_[i];
  char ip[16];
  QString text = QString::fromLatin1(FormatIp(c.rec.ip, ip));
  if (!c.reason.isEmpty()) text += QStringLiteral(": ") + c.reason;
  c.caption->setText(text);
  c.caption->setStyleSheet(c.reason.isEmpty() ? QString() : QStringLiteral("color: #c00000;"));
}

void CVideoWall::ConnectCell(int i) {
  Cell& c = cells_[i];
  c.viewer->Dispatch(DISPID_DISCONNECT, {});
  c.port = WallStreamPort(c.rec, first_stream_on_);
  c.reason.clear();
  if (c.port == 0) {
    c.reason = QString::fromLatin1(VideoFailureText(kVideoNoPort));
  } else {
    // The monitoring window's connection: its address, ID and password.
    const MonitoringConnection conn = MakeMonitoringConnection(c.rec);
    c.viewer->Dispatch(DISPID_SET_SERVER, {QString::fromUtf8(conn.address), int32_t(c.port), QString()});
    c.viewer->Dispatch(DISPID_SET_LOGIN, {QString::fromUtf8(conn.id), QString::fromUtf8(conn.password)});
    c.viewer->Dispatch(DISPID_OPTION_29, {true});
    c.viewer->Dispatch(DISPID_OPTION_17, {false});
    c.viewer->Dispatch(DISPID_SET_CHANNEL, {QVariant::fromValue<int16_t>(int16_t(1))});
    c.viewer->Dispatch(DISPID_CONNECT, {});
  }
  ShowCaption(i);
}

void CVideoWall::SetFirstStream(bool on) {
  if (stopped_) return;
  if (first_stream_->isChecked() != on) {
    first_stream_->setChecked(on);  // its toggled signal comes back here
    return;
  }
  first_stream_on_ = on;
  for (auto& c : cells_) c.viewer->BeginDisconnect();
  for (int i = 0; i < Count(); ++i) ConnectCell(i);
}

void CVideoWall::OnViewerEvent(int i, int id, const QVariantList& args) {
  if (stopped_ || i < 0 || i >= Count()) return;
  int32_t code;
  if (id == DISPID_EVENT_LOGIN_FAILED) {
    const int c = args.isEmpty() ? 0 : args[0].toInt();
    code = c == 1 ? kVideoBusy : c == 2 ? kVideoAuth : kVideoRefused;
  } else if (id == DISPID_EVENT_NO_ANSWER) {
    code = kVideoNoAnswer;
  } else {
    return;
  }
  // No message box: sixteen viewers could fail at once. The caption tells.
  cells_[i].viewer->Dispatch(DISPID_DISCONNECT, {});
  cells_[i].reason = QString::fromLatin1(VideoFailureText(code));
  ShowCaption(i);
}

void CVideoWall::StopAll() {
  if (stopped_) return;
  stopped_ = true;
  for (auto& c : cells_) c.viewer->BeginDisconnect();
  for (auto& c : cells_) c.viewer->Dispatch(DISPID_DISCONNECT, {});
}

void CVideoWall::done(int r) {
  StopAll();
  QDialog::done(r);
}

void CVideoWall::closeEvent(QCloseEvent* e) {
  StopAll();
  e->accept();
  QDialog::closeEvent(e);
}

CVideoWall* OpenVideoWall(const std::vector<DeviceRecord>& ticked, Prompt* prompt,
                          const CVideoWall::ViewerFactory& viewer, QWidget* parent) {
  const int n = static_cast<int>(ticked.size());
  if (n == 0) return nullptr;
  if (n > kVideoWallMax) {
    prompt->Info(VideoWallTooManyText(n), PromptIcon::kWarning);
    return nullptr;
  }
  auto* wall = new CVideoWall(ticked, viewer, parent);
  wall->setAttribute(Qt::WA_DeleteOnClose);
  wall->show();
  return wall;
}
