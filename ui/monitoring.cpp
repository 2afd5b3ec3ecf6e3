#include "ui/monitoring.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <cstdio>
#include <cstring>

#include "engine/ops/info_query.h"
#include "ui/prompt.h"
#include "ui/viewer_control.h"

const char kMonitorTooManyText[] = "Maximum connection을 초과하였습니다.\n";
const char kMonitorLoginText[] = "ID/Password가 잘못되었거나 또는\n\n포트가 disable 되어 있는 지 확인하십시오.\n";
const char kMonitorLoginErrorText[] = "로그인 에러!\n";
const char kMonitorNoAnswerText[] = "서버가 응답하지 않습니다.\n";

namespace {

constexpr int kDefaultAvPort = 1852;

void CopyText(char (&dst)[64], const std::string& src) {
  // The fields hold 63 characters; longer texts are cut.
  std::snprintf(dst, sizeof dst, "%s", src.c_str());
}

}  // namespace

MonitoringConnection MakeMonitoringConnection(const DeviceRecord& rec) {
  MonitoringConnection c;
  char ip[16];
  CopyText(c.address, FormatIp(rec.ip, ip));
  c.port = static_cast<int16_t>(rec.av_port1 != 0 ? rec.av_port1 : kDefaultAvPort);
  CopyText(c.id, kInfoQueryUser);
  CopyText(c.password, kDefaultDevicePassword);
  c.stream_port[0] = static_cast<int16_t>(rec.av_port1);
  c.stream_port[1] = static_cast<int16_t>(rec.av_port2);
  c.stream_port[2] = static_cast<int16_t>(rec.av_port3);
  return c;
}

CMonitoring::CMonitoring(const MonitoringConnection& conn, Prompt* prompt, const ViewerFactory& viewer,
                         QWidget* parent)
    : QDialog(parent), conn_(conn), prompt_(prompt) {
  setWindowTitle(QStringLiteral("Monitoring"));
  setSizeGripEnabled(true);
  setMinimumSize(kMonitorMinWidth, kMonitorMinHeight);
  viewer_ = viewer ? viewer(this) : new CPixviewerctrlctrl1(this);
  controls_[IDC_PIXVIEWERCTRLCTRL1] = viewer_;
  connect(viewer_, &CViewerControl::controlEvent, this, &CMonitoring::OnViewerEvent);

  const char* streams[3] = {"1st", "2nd", "3rd"};
  for (int i = 0; i < 3; ++i) {
    auto* r = new QRadioButton(QString::fromLatin1(streams[i]), this);
    controls_[IDC_STREAM_1ST + i] = r;
    connect(r, &QRadioButton::clicked, this, [this, i] { OnStream(i); });
  }
  controls_[IDC_CHANNEL_LABEL] = new QLabel(QStringLiteral("Channel :"), this);
  auto* channel = new QComboBox(this);
  controls_[IDC_CHANNEL] = channel;
  auto* caption = new QPushButton(QStringLiteral("Caption"), this);
  controls_[IDC_CAPTION] = caption;
  connect(caption, &QPushButton::clicked, this, &CMonitoring::OnCaption);
  controls_[IDC_MON_ID_LABEL] = new QLabel(QStringLiteral("ID : "), this);
  controls_[IDC_MON_ID] = new QLineEdit(this);
  controls_[IDC_MON_PASS_LABEL] = new QLabel(QStringLiteral("Pass :"), this);
  auto* pass = new QLineEdit(this);
  pass->setEchoMode(QLineEdit::Password);
  controls_[IDC_MON_PASS] = pass;
  auto* button = new QPushButton(QStringLiteral("Connect"), this);
  controls_[IDC_MON_CONNECT] = button;
  connect(button, &QPushButton::clicked, this, &CMonitoring::OnConnectButton);
  for (auto* b : {caption, button}) b->setAutoDefault(false);  // Enter is the dialog's OK

  OnInitDialog();
  // The channel list reports changes only after it was filled.
  connect(channel, &QComboBox::currentIndexChanged, this, &CMonitoring::OnChannelChanged);
}

CMonitoring::~CMonitoring() = default;

QWidget* CMonitoring::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void CMonitoring::OnInitDialog() {
  resize(kMonitorMinWidth, kMonitorMinHeight);
  Layout(kMonitorMinWidth, kMonitorMinHeight);
  static_cast<QRadioButton*>(Control(IDC_STREAM_1ST))->setChecked(true);
  auto* channel = static_cast<QComboBox*>(Control(IDC_CHANNEL));
  for (const char* t : {"1", "2", "3", "4"}) channel->addItem(QString::fromLatin1(t));
  channel->setCurrentIndex(0);
  static_cast<QLineEdit*>(Control(IDC_MON_ID))->setText(QString::fromUtf8(conn_.id));
  static_cast<QLineEdit*>(Control(IDC_MON_PASS))->setText(QString::fromUtf8(conn_.password));
  OnConnectButton();
}

void CMonitoring::ConnectSequence() {
  auto* r1 = static_cast<QRadioButton*>(Control(IDC_STREAM_1ST));
  if (conn_.stream_port[0] < 1) {
    // An exclusive group never lets its last checked button go.
    r1->setAutoExclusive(false);
    r1->setChecked(false);
    r1->setAutoExclusive(true);
    r1->setEnabled(false);
  }
  if (conn_.stream_port[1] < 1) Control(IDC_STREAM_2ND)->setEnabled(false);
  if (conn_.stream_port[2] < 1) Control(IDC_STREAM_3RD)->setEnabled(false);
  viewer_->Dispatch(DISPID_SET_SERVER, {QString::fromUtf8(conn_.address), int32_t(conn_.port), QString()});
  viewer_->Dispatch(DISPID_SET_LOGIN, {QString::fromUtf8(conn_.id), QString::fromUtf8(conn_.password)});
  viewer_->Dispatch(DISPID_OPTION_29, {true});
  viewer_->Dispatch(DISPID_OPTION_17, {false});
  viewer_->Dispatch(DISPID_SET_CHANNEL, {QVariant::fromValue<int16_t>(int16_t(channel_))});
  viewer_->Dispatch(DISPID_CONNECT, {});
}

void CMonitoring::OnConnectButton() {
  CopyText(conn_.id, static_cast<QLineEdit*>(Control(IDC_MON_ID))->text().toStdString());
  CopyText(conn_.password, static_cast<QLineEdit*>(Control(IDC_MON_PASS))->text().toStdString());
  ConnectSequence();
  connected_ = connected_ ? 0 : 1;
  auto* button = static_cast<QPushButton*>(Control(IDC_MON_CONNECT));
  if (connected_) {
    button->setText(QStringLiteral("Disconnect"));
    Control(IDC_MON_ID)->setEnabled(false);
    Control(IDC_MON_PASS)->setEnabled(false);
  } else {
    viewer_->Dispatch(DISPID_DISCONNECT, {});
    button->setText(QStringLiteral("Connect"));
    Control(IDC_MON_ID)->setEnabled(true);
    Control(IDC_MON_PASS)->setEnabled(true);
  }
}

void CMonitoring::OnStream(int index) {
  if (index < 0 || index > 2) return;
  viewer_->Dispatch(DISPID_DISCONNECT, {});
  conn_.port = conn_.stream_port[index];
  if (connected_) ConnectSequence();
}

void CMonitoring::OnChannelChanged(int index) {
  if (index < 0) return;
  viewer_->Dispatch(DISPID_DISCONNECT, {});
  channel_ = index + 1;
  if (connected_) ConnectSequence();
}

void CMonitoring::OnCaption() {
  caption_ = caption_ ? 0 : 1;
  viewer_->Dispatch(DISPID_CAPTION, {QVariant::fromValue<int16_t>(int16_t(caption_ ? kCaptionOn : 0))});
}

void CMonitoring::EnterDisconnected() {
  viewer_->Dispatch(DISPID_DISCONNECT, {});
  static_cast<QPushButton*>(Control(IDC_MON_CONNECT))->setText(QStringLiteral("Connect"));
  Control(IDC_MON_ID)->setEnabled(true);
  Control(IDC_MON_PASS)->setEnabled(true);
  connected_ = 0;
}

void CMonitoring::OnViewerEvent(int id, const QVariantList& args) {
  if (id == DISPID_EVENT_LOGIN_FAILED) {
    const int code = args.isEmpty() ? 0 : args[0].toInt();
    const char* text = code == 1 ? kMonitorTooManyText : code == 2 ? kMonitorLoginText : kMonitorLoginErrorText;
    prompt_->Info(text, PromptIcon::kWarning);
  } else if (id == DISPID_EVENT_NO_ANSWER) {
    prompt_->Info(kMonitorNoAnswerText, PromptIcon::kWarning);
  } else {
    return;
  }
  EnterDisconnected();
}

void CMonitoring::Place(int id, int x, int y, int w, int h) {
  if (QWidget* c = Control(id)) c->setGeometry(x, y, w, h);
}

void CMonitoring::Layout(int cx, int cy) {
  const int y = cy - 30;
  Place(IDC_PIXVIEWERCTRLCTRL1, 5, 5, cx - 10, cy - 48);
  Place(IDC_STREAM_1ST, 10, y, 40, 20);
  Place(IDC_STREAM_2ND, 60, y, 40, 20);
  Place(IDC_STREAM_3RD, 110, y, 40, 20);
  Place(IDC_CHANNEL_LABEL, 160, cy - 27, 50, 20);
  Place(IDC_CHANNEL, 210, y, 40, 20);
  Place(IDC_CAPTION, 260, y, 50, 20);
  Place(IDC_MON_ID_LABEL, 320, cy - 27, 20, 20);
  Place(IDC_MON_ID, 340, y, 50, 20);
  Place(IDC_MON_PASS_LABEL, 400, cy - 27, 30, 20);
  Place(IDC_MON_PASS, 430, y, 50, 20);
  Place(IDC_MON_CONNECT, 490, y, 70, 20);
  update();
}

void CMonitoring::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  Layout(e->size().width(), e->size().height());
}

void CMonitoring::closeEvent(QCloseEvent* e) {
  // Closing the window ends it the OK way; the control goes with it.
  e->accept();
  done(QDialog::Accepted);
}

void CMonitoring::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    accept();
    return;
  }
  QDialog::keyPressEvent(e);  // Esc: Cancel
}
