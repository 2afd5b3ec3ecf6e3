#include "ui/viewer_control.h"

#include <QDateTime>
#include <QPaintEvent>
#include <QPainter>

CPixviewerctrlctrl1::CPixviewerctrlctrl1(QWidget* parent) : CViewerControl(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  clock_.setInterval(1000);
  connect(&clock_, &QTimer::timeout, this, [this] { update(); });
}

CPixviewerctrlctrl1::~CPixviewerctrlctrl1() { client_.Stop(); }

bool CPixviewerctrlctrl1::Dispatch(int id, const QVariantList& args) {
  switch (id) {
    case DISPID_SET_SERVER:
      if (args.size() < 2) return false;
      source_.address = args[0].toString().toStdString();
      source_.port = args[1].toInt();
      return true;
    case DISPID_SET_LOGIN:
      if (args.size() < 2) return false;
      source_.user = args[0].toString().toStdString();
      source_.password = args[1].toString().toStdString();
      return true;
    case DISPID_OPTION_29:
    case DISPID_OPTION_17:
      if (args.size() < 1) return false;
      (id == DISPID_OPTION_29 ? option29_ : option17_) = args[0].toBool();
      return true;
    case DISPID_SET_CHANNEL: {
      if (args.size() < 1) return false;
      const int ch = args[0].toInt();
      if (ch < 1 || ch > 4) return false;
      source_.channel = ch;
      return true;
    }
    case DISPID_CONNECT:
      painted_ = 0;
      picture_ = QImage();
      connected_ = true;
      client_.Start(source_, timings_, this);
      update();
      return true;
    case DISPID_DISCONNECT:
      connected_ = false;
      client_.Stop();
      picture_ = QImage();
      update();
      return true;
    case DISPID_CAPTION:
      if (args.size() < 1) return false;
      caption_ = args[0].toInt();
      if (caption_ == kCaptionOn) clock_.start();
      else clock_.stop();
      update();
      return true;
    default:
      return false;
  }
}

void CPixviewerctrlctrl1::BeginDisconnect() {
  connected_ = false;
  client_.Signal();
}

// Worker thread: only one hand-over waits at a time; frames that arrive
// meanwhile replace each other in the client's slot.
void CPixviewerctrlctrl1::OnVideoFrame(uint64_t gen) {
  if (frame_queued_.exchange(true)) return;
  QMetaObject::invokeMethod(this, [this, gen] { TakeNewestFrame(gen); }, Qt::QueuedConnection);
}

void CPixviewerctrlctrl1::OnVideoFailed(uint64_t gen, int32_t code) {
  QMetaObject::invokeMethod(this, [this, gen, code] { Failed(gen, code); }, Qt::QueuedConnection);
}

void CPixviewerctrlctrl1::TakeNewestFrame(uint64_t gen) {
  frame_queued_.store(false);
  if (!connected_ || gen != client_.Generation() || !client_.TakeFrame(&frame_)) return;
  picture_ = QImage(frame_.bgra.data(), frame_.width, frame_.height, frame_.width * 4, QImage::Format_RGB32).copy();
  ++painted_;
  update();
}

void CPixviewerctrlctrl1::Failed(uint64_t gen, int32_t code) {
  if (!connected_ || gen != client_.Generation()) return;
  if (code == kVideoNoAnswer) emit controlEvent(DISPID_EVENT_NO_ANSWER, {});
  else emit controlEvent(DISPID_EVENT_LOGIN_FAILED, {QVariant::fromValue<int16_t>(int16_t(code))});
}

QString CPixviewerctrlctrl1::CaptionText() const {
  const VideoStats st = client_.Stats();
  return QStringLiteral("%1  port %2  ch %3  %4 fps  %5")
      .arg(QString::fromStdString(source_.address))
      .arg(source_.port)
      .arg(source_.channel)
      .arg(st.fps, 0, 'f', 1)
      .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

void CPixviewerctrlctrl1::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (!picture_.isNull()) {
    QSize s = picture_.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, picture_);
  }
  if (caption_ == kCaptionOn) {
    const QString text = CaptionText();
    const QRect box = p.fontMetrics().boundingRect(text).adjusted(-4, -2, 4, 2).translated(8 - 0, 8 + p.fontMetrics().ascent());
    p.fillRect(box, QColor(0, 0, 0, 160));
    p.setPen(Qt::yellow);
    p.drawText(box, Qt::AlignCenter, text);
  }
}
